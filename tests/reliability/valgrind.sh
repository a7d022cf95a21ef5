#!/usr/bin/env bash
# The C interface suite, the C99 host and a short fuzzing run under valgrind memcheck, against an
# optimised build with debug information: no invalid access, no uninitialised read, no definite or
# indirect leak.  Usage: tests/reliability/valgrind.sh [build dir = build/valgrind]
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/valgrind}"
jobs="$(nproc)"
(( jobs > 2 )) || jobs=2

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS=-g -DCMAKE_CXX_FLAGS=-g \
    -DMORVELAY_TESTS=ON -DMORVELAY_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target capi_tests c_host fuzz_capi core_tests

memcheck=(valgrind --quiet --leak-check=full --errors-for-leak-kinds=definite,indirect --error-exitcode=1
          --track-origins=yes)
echo "== valgrind: C interface suite"
"${memcheck[@]}" "$build/capi_tests" --gtest_brief=1
echo "== valgrind: C99 host"
"${memcheck[@]}" "$build/c_host"
echo "== valgrind: core suite"
"${memcheck[@]}" "$build/core_tests" --gtest_brief=1
# Under valgrind the driver runs some fifty times slower; a few seconds per family still covers every
# call and the failure paths.
echo "== valgrind: fuzz driver"
"${memcheck[@]}" "$build/fuzz_capi" 3 tests/fuzz/seeds.txt
echo "valgrind: clean"
