#!/usr/bin/env bash
# Sets up, builds (warnings are errors) and runs every test: the C++ core suite, the C interface suite
# and C99 host, the Python suite, and the format and lint checks.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export PATH="$PWD/.venv/bin:$PATH"
jobs="$(nproc)"

echo "== native build and C/C++ tests"
cmake -S . -B build/native -G Ninja -DMORVELAY_TESTS=ON -DMORVELAY_WERROR=ON >/dev/null
cmake --build build/native -j "$jobs"
ln -sf build/native/compile_commands.json compile_commands.json
ctest --test-dir build/native --output-on-failure -j "$jobs"

echo "== Python module and tests"
python -m pip install -q --no-build-isolation --config-settings=cmake.define.MORVELAY_WERROR=ON .
python -m pytest -q

echo "== format and lint"
git ls-files -co --exclude-standard -- '*.cpp' '*.hpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
ruff check .
ruff format --check .
echo "all tests passed"
