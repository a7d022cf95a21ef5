#!/usr/bin/env bash
# Installs the standalone library into a scratch prefix and builds a small C consumer against it both
# ways a host would: CMake's find_package and pkg-config.
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

libdir="$(dirname "$(find "$work/prefix" -name morvelay.pc)")"
export PKG_CONFIG_PATH="$libdir"
if command -v pkg-config >/dev/null; then
    cc -std=c99 -Wall -Wextra -Werror -pedantic "$root/tests/install/consumer.c" $(pkg-config --cflags --libs morvelay) \
        -o "$work/consumer_pc"
else
    # Without pkg-config, read the same two fields it would.
    prefix="$work/prefix"
    cflags="$(sed -n 's/^Cflags: //p' "$libdir/morvelay.pc" | sed "s|\${includedir}|$prefix/include|")"
    libs="$(sed -n 's/^Libs: //p' "$libdir/morvelay.pc" | sed "s|\${libdir}|$libdir/..|")"
    cc -std=c99 -Wall -Wextra -Werror -pedantic "$root/tests/install/consumer.c" $cflags $libs -o "$work/consumer_pc"
fi
LD_LIBRARY_PATH="$(dirname "$libdir")" "$work/consumer_pc"
