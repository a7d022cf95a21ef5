#!/usr/bin/env bash
# Sets up (Python packages only: no apt, no root), builds and installs the module into .venv, then runs
# the tour of all methods.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-python.sh requirements-tour.txt
# The build tree lives under build/ so that a second run only recompiles what changed.
.venv/bin/python -m pip install -q --no-build-isolation --config-settings=build-dir=build/python .
.venv/bin/python examples/tour.py "$@"
