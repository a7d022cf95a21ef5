#!/usr/bin/env bash
# Builds what a Python user installs, and installs it the way they would:
#   1. `python -m build`: the sdist, and a wheel built from that sdist, into dist/;
#   2. `auditwheel repair`: the wheel retagged manylinux_2_x, x the lowest its symbols allow, into
#      dist/ (the plain linux wheel is removed);
#   3. the manylinux wheel installed into a fresh virtual environment whose PATH holds no compiler (and
#      CC/CXX point at false), where the README's Python block must run and print what it says;
#   4. the sdist installed with `pip install morvelay-*.tar.gz` into another fresh environment (this one
#      compiles), where the same block must run.
# The interpreter is .venv's base Python 3.13, found by scripts/setup-python.sh (PYTHON= overrides it).
# Usage: scripts/dist.sh [--no-sdist-install] (skips step 4, which is the second full compile).
set -euo pipefail
cd "$(dirname "$0")/.."
sdist_install=true
case "${1:-}" in
    "") ;;
    --no-sdist-install) sdist_install=false ;;
    *) echo "usage: bash scripts/dist.sh [--no-sdist-install]" >&2; exit 2 ;;
esac
bash scripts/setup-python.sh requirements-dev.txt
tools="$PWD/.venv/bin"
base_python="$("$tools/python" -c 'import sys; print(sys._base_executable)')"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

echo "== dist: sdist and wheel (python -m build)"
rm -rf dist
# CMake and Ninja come from .venv, so the isolated build needs only the declared build requirements.
PATH="$tools:$PATH" CMAKE_BUILD_PARALLEL_LEVEL="${MORVELAY_JOBS:-$(nproc)}" "$tools/python" -m build --outdir dist . \
    >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; exit 1; }
sdist="$(ls dist/morvelay-*.tar.gz)"
wheel="$(ls dist/morvelay-*.whl)"

echo "== dist: auditwheel repair"
PATH="$tools:$PATH" "$tools/auditwheel" repair --wheel-dir dist/repaired "$wheel" >"$scratch/repair.log" 2>&1 ||
    { cat "$scratch/repair.log"; exit 1; }
repaired="$(ls dist/repaired/morvelay-*manylinux_2_*.whl)"
mv "$repaired" dist/ && rm -r dist/repaired "$wheel"
repaired="dist/$(basename "$repaired")"
# The extension carries its own C++ runtime: nothing is grafted into the wheel beside it.
"$tools/python" - "$repaired" <<'PY'
import sys
import zipfile

names = zipfile.ZipFile(sys.argv[1]).namelist()
extra = [n for n in names if n.endswith(".so") or ".so." in n]
if len(extra) != 1 or not extra[0].startswith("morvelay.cpython-"):
    sys.exit(f"{sys.argv[1]}: expected the extension alone, found {extra}")
PY
echo "dist: $repaired ($(du -k "$repaired" | cut -f1) KiB), $(basename "$sdist")"

# The README's first Python block and what its comments say it prints.
"$tools/python" - README.md "$scratch" <<'PY'
import re
import sys
from pathlib import Path

readme, scratch = Path(sys.argv[1]).read_text(), Path(sys.argv[2])
block = re.search(r"\n## Python\n.*?```python\n(.*?)```", readme, flags=re.DOTALL)
if not block:
    sys.exit("README.md: no Python block under 'Python'")
(scratch / "readme.py").write_text(block.group(1))
printed = [m.group(1) for m in re.finditer(r"^[ \t]*print\(.*#.*?(?:: )?([^:#\n]*)$", block.group(1), flags=re.MULTILINE)]
(scratch / "printed.txt").write_text("\n".join(p.strip() for p in printed))
PY

run_readme() {  # venv folder: runs the block from a scratch folder, with nothing but the venv on PATH
    mkdir -p "$scratch/run"
    (cd "$scratch/run" && env -u PYTHONPATH -u VIRTUAL_ENV PATH="$1/bin" CC=/bin/false CXX=/bin/false \
        "$1/bin/python" -I "$scratch/readme.py") >"$scratch/out.txt" 2>&1 || { cat "$scratch/out.txt"; exit 1; }
    # Every line the comments promise ends a printed line, in order.
    "$tools/python" - "$scratch/out.txt" "$scratch/printed.txt" <<'PY'
import sys
from pathlib import Path

lines = Path(sys.argv[1]).read_text().splitlines()
promised = Path(sys.argv[2]).read_text().splitlines()
if len(lines) != len(promised) or any(not line.endswith(p) for line, p in zip(lines, promised, strict=False)):
    sys.exit("README block printed:\n" + "\n".join(lines) + "\nits comments say:\n" + "\n".join(promised))
PY
}

echo "== dist: the manylinux wheel in a fresh venv, no compiler on PATH"
"$base_python" -m venv "$scratch/wheel-venv"
env -u PYTHONPATH -u VIRTUAL_ENV PATH="$scratch/wheel-venv/bin" CC=/bin/false CXX=/bin/false \
    "$scratch/wheel-venv/bin/python" -m pip install -q --disable-pip-version-check "$PWD/$repaired"
run_readme "$scratch/wheel-venv"
echo "dist: wheel installs without a compiler and runs the README's Python block"

if "$sdist_install"; then
    echo "== dist: pip install $(basename "$sdist") in a fresh venv"
    "$base_python" -m venv "$scratch/sdist-venv"
    PATH="$tools:$PATH" CMAKE_BUILD_PARALLEL_LEVEL="${MORVELAY_JOBS:-$(nproc)}" \
        "$scratch/sdist-venv/bin/python" -m pip install -q --disable-pip-version-check "$PWD/$sdist" \
        >"$scratch/sdist.log" 2>&1 || { cat "$scratch/sdist.log"; exit 1; }
    run_readme "$scratch/sdist-venv"
    echo "dist: sdist builds, installs and runs the README's Python block"
fi
