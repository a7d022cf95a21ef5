#!/usr/bin/env bash
# The full set-up the test command needs: .venv with every Python package (requirements-dev.txt) and the
# system test tools (GoogleTest, valgrind, pkg-config).  Safe to run again; it only installs what is
# missing.  The tour and the benchmarks use scripts/setup-python.sh alone, without apt or root.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-python.sh requirements-dev.txt
bash scripts/setup-test-tools.sh
