#!/usr/bin/env bash
# Builds and runs the host examples against an installed library, through its pkg-config file, and
# compares what they print with what their comments promise: the C++ RAII example always, the Fortran
# ISO_C_BINDING module and demo where gfortran is present (skipped with a message otherwise;
# scripts/setup-test-tools.sh installs it).  Usage: tests/install/examples.sh [build dir = build/native].
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build/native}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
export PKG_CONFIG_PATH="$scratch/prefix/lib/pkgconfig"

expect() {  # program name, expected output
    local actual
    actual="$(env -u LD_LIBRARY_PATH "$scratch/$1")"
    [[ "$actual" == "$2" ]] || { printf '%s printed:\n%s\nexpected:\n%s\n' "$1" "$actual" "$2"; exit 1; }
    echo "examples: $1 ok"
}

c++ -std=c++17 -Wall -Wextra -Werror -pedantic "$root/examples/cpp/raii.cpp" $(pkg-config --cflags --libs morvelay) \
    -o "$scratch/raii"
expect raii "spline(1.5) = 3.375
cheb(0.5) = 0.250000, cheb(1.5) = 2.250000
error: x value 3.0000 is outside interpolation range [0.0000, 2.0000]
error: n_points must be positive"

if command -v gfortran >/dev/null 2>&1; then
    (cd "$scratch" && gfortran -std=f2018 -Wall -Werror "$root/examples/fortran/morvelay.f90" \
        "$root/examples/fortran/demo.f90" $(pkg-config --libs morvelay) -o demo)
    expect demo "linear:   5.000  15.000
error: x values must be distinct
chebyshev:  3.375000
error: x value 3.0000 is outside interpolation range [0.0000, 2.0000]"
else
    echo "examples: Fortran skipped: no gfortran (scripts/setup-test-tools.sh installs it with apt)"
fi
