#!/usr/bin/env bash
# Sets up (Python packages only), builds and installs the module into .venv, then runs the benchmarks
# with .venv's Python, whatever python comes first on PATH.  Arguments go to bench/run.py:
#   bash scripts/bench.sh                   # the main table
#   bash scripts/bench.sh --filter spline   # only the rows whose workload contains the text
#   bash scripts/bench.sh --docs            # everything, and rewrite docs/benchmarks.md and the README's summary
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-python.sh requirements-tour.txt
.venv/bin/python -m pip install -q --no-build-isolation --config-settings=build-dir=build/python .
exec .venv/bin/python bench/run.py "$@"
