#!/usr/bin/env bash
# The Python suite against an AddressSanitizer build of the extension (and of the C library its ctypes
# tests load).  CPython itself is not built with the sanitizer: the runtime is preloaded, leak detection
# is off (the interpreter keeps its objects at exit by design), and PYTHONMALLOC=malloc routes Python's
# own allocations through the sanitizer, so an overrun of an object this module made is caught too.
# Usage: tests/reliability/python_asan.sh [build dir = build/python-asan] [pytest arguments...]
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/python-asan}"
shift || true
python="$(command -v python)"
jobs="$(nproc)"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVELAY_PYTHON=ON -DMORVELAY_WERROR=ON \
    -DMORVELAY_SANITIZE=address -DPython_EXECUTABLE="$python" >/dev/null
cmake --build "$build" -j "$jobs" --target morvelay_python morvelay

# allocator_may_return_null: an impossible request (pickle allocates whatever a damaged length field in a
# fuzzed pickle asks, exabytes included) fails as it does without the sanitizer, with MemoryError, instead
# of aborting the run.  Callers may add options through ASAN_OPTIONS.
#
# libstdc++ is preloaded beside the runtime: the sanitizer's __cxa_throw interceptor must find the real
# one at startup, and the interpreter itself does not link libstdc++ (the first C++ throw would abort).
runtime="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libstdc++.so)"
PYTHONPATH="$PWD/$build" MORVELAY_C_LIB_DIR="$PWD/$build" PYTHONMALLOC=malloc LD_PRELOAD="$runtime" \
    ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:allocator_may_return_null=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}" "$python" -m pytest -q -p no:cacheprovider tests/python "$@"
