#!/usr/bin/env bash
# Sets up, builds (warnings are errors) and runs every test: the C++ core suite, the C interface suite
# and C99 host, the Python suite, and the format and lint checks.
#
# --quick is the edit-test loop: the native build, the C++ and C suites and pytest, nothing else (no
# install check, examples, sanitizers, valgrind, typing, export, wheel or lint stages).  The default, and
# CI, run all.
# MORVELAY_JOBS caps the build and test parallelism (default: every core).
set -euo pipefail
cd "$(dirname "$0")/.."
quick=false
case "${1:-}" in
    "") ;;
    --quick) quick=true ;;
    *) echo "usage: bash scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
bash scripts/setup.sh
export PATH="$PWD/.venv/bin:$PATH"
jobs="${MORVELAY_JOBS:-$(nproc)}"

echo "== native build and C/C++ tests"
cmake -S . -B build/native -G Ninja -DMORVELAY_TESTS=ON -DMORVELAY_BENCH=ON -DMORVELAY_WERROR=ON >/dev/null
cmake --build build/native -j "$jobs"
ln -sf build/native/compile_commands.json compile_commands.json
ctest --test-dir build/native --output-on-failure -j "$jobs"

if ! "$quick"; then
    echo "== installed library consumed through find_package and pkg-config"
    bash tests/install/run.sh
    echo "== the README's C install steps, word for word, in a scratch folder"
    bash tests/install/readme.sh
    echo "== the C++ RAII and Fortran examples against the installed library"
    bash tests/install/examples.sh build/native

    echo "== C/C++ tests under AddressSanitizer + UndefinedBehaviorSanitizer, and ThreadSanitizer"
    cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVELAY_TESTS=ON -DMORVELAY_WERROR=ON \
        -DMORVELAY_SANITIZE=address,undefined >/dev/null
    cmake --build build/asan -j "$jobs"
    ctest --test-dir build/asan --output-on-failure -j "$jobs"
    cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVELAY_TESTS=ON -DMORVELAY_WERROR=ON \
        -DMORVELAY_SANITIZE=thread >/dev/null
    cmake --build build/tsan -j "$jobs" --target capi_tests
    TSAN_OPTIONS=halt_on_error=1 build/tsan/capi_tests --gtest_brief=1

    echo "== valgrind memcheck and the Python suite under AddressSanitizer"
    bash tests/reliability/valgrind.sh
    bash tests/reliability/python_asan.sh
fi

echo "== Python module and tests"
python -m pip install -q --no-build-isolation --config-settings=build-dir=build/python \
    --config-settings=cmake.define.MORVELAY_WERROR=ON .
MORVELAY_C_LIB_DIR="$PWD/build/native" python -m pytest -q
if "$quick"; then
    echo "quick tests passed (everything: bash scripts/test.sh)"
    exit 0
fi

echo "== type stubs against the module (stubtest) and mypy --strict over the examples"
bash tests/typing/run.sh python

echo "== exported symbols: only PyInit_morvelay and morvelay_*; the C library needs no Python and no C++ runtime"
extension="$(python -c 'import morvelay; print(morvelay.__file__)')"
for library in "$extension" build/native/libmorvelay.so; do
    stray="$(nm -D --defined-only "$library" | awk '{print $3}' | grep -v -E '^(PyInit_morvelay|morvelay_[a-z_]+)$' || true)"
    [[ -z "$stray" ]] || { echo "unexpected exports in $library:"; echo "$stray"; exit 1; }
    # The C++ runtime is linked in, so hosts with an older libstdc++ of their own (MATLAB) load it.
    needed="$(objdump -p "$library" | awk '$1 == "NEEDED" {print $2}')"
    if grep -q -E '^(libstdc\+\+|libgcc_s)' <<<"$needed"; then echo "$library needs a C++ runtime:"; echo "$needed"; exit 1; fi
done
[[ "$(nm -D --defined-only "$extension" | grep -c ' PyInit_morvelay$')" == 1 ]] || { echo "no PyInit_morvelay"; exit 1; }
if ldd build/native/libmorvelay.so | grep -q libpython; then echo "libmorvelay depends on libpython"; exit 1; fi

echo "== sdist and manylinux wheel, installed as a user would (scripts/dist.sh)"
bash scripts/dist.sh

echo "== format and lint"
git ls-files -co --exclude-standard -- '*.cpp' '*.hpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
ruff check .
ruff format --check .
echo "all tests passed"
