#!/usr/bin/env bash
# Checks the type stubs against the installed module (stubtest) and type-checks the examples and the
# stub usage in tests/typing with mypy --strict.  Usage: tests/typing/run.sh [python]
# The python must have morvelay installed (pip install .) together with mypy, NumPy and matplotlib.
set -euo pipefail
cd "$(dirname "$0")/../.."
python="${1:-python}"
cache="build/mypy_cache"

# stubtest compares every name, signature and default in the stubs with the runtime module.
"$python" -m mypy.stubtest morvelay --allowlist tests/typing/stubtest-allowlist.txt
# --warn-unused-ignores makes each "type: ignore" in calls.py an assertion that the mistake is caught.
"$python" -m mypy --strict --warn-unused-ignores --cache-dir "$cache" examples/ tests/typing/calls.py
