#!/usr/bin/env bash
# Installs the standalone library into a scratch prefix and builds a small C consumer against it both
# ways a host would: CMake's find_package and pkg-config.  tests/install/readme.sh follows the README's own
# steps.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$root/build/install-test"
rm -rf "$work"
cmake -S "$root" -B "$work/build" -G Ninja -DCMAKE_INSTALL_PREFIX="$work/prefix" >/dev/null
cmake --build "$work/build" --target morvelay >/dev/null
cmake --install "$work/build" >/dev/null

cmake -S "$root/tests/install" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib" "$work/consumer/consumer"

# The .pc carries an rpath to the installed library: the program runs without LD_LIBRARY_PATH.  The rpath
# is the library's folder itself, absolute and clean, so it holds when lib/pkgconfig is not shipped.  The
# prefix is given with a "." step and a trailing slash, which must not reach the .pc.
rm -rf "$work/prefix"
cmake --install "$work/build" --prefix "$work/./prefix/" >/dev/null
export PKG_CONFIG_PATH="$(dirname "$(find "$work/prefix" -name morvelay.pc)")"
command -v pkg-config >/dev/null || { echo "pkg-config is missing (scripts/setup-test-tools.sh installs it)"; exit 1; }
libs="$(pkg-config --libs morvelay)"
[[ " $libs " == *" -Wl,-rpath,$work/prefix/lib "* ]] || { echo "morvelay.pc: rpath is not $work/prefix/lib: $libs"; exit 1; }
cc -std=c99 -Wall -Wextra -Werror -pedantic "$root/tests/install/consumer.c" $(pkg-config --cflags --libs morvelay) \
    -o "$work/consumer_pc"
env -u LD_LIBRARY_PATH "$work/consumer_pc"
