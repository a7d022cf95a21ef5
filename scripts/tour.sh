#!/usr/bin/env bash
# Sets up, builds and installs the module into .venv, then runs the tour of all methods.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
.venv/bin/python -m pip install -q --no-build-isolation .
.venv/bin/python examples/tour.py "$@"
