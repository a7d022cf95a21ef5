#!/usr/bin/env bash
# Sets up (Python packages only), builds and installs the module into .venv, installs the peers of
# requirements-bench.txt, then runs the benchmarks with .venv's Python, whatever python comes first on
# PATH.  Arguments go to bench/run.py:
#   bash scripts/bench.sh                   # the main table and the peers table
#   bash scripts/bench.sh --filter spline   # only the rows whose workload contains the text
#   bash scripts/bench.sh --no-peers        # the main table only
#   bash scripts/bench.sh --docs            # everything, and rewrite docs/benchmarks.md and the README's summary
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-python.sh requirements-tour.txt

# The peers one package at a time, holding NumPy at the version the rest was tested with: a peer that
# cannot be installed is named here, and bench/peers.py skips its family with a note.
stamp=.venv/.installed-requirements-bench.txt
digest="$(sha256sum requirements-bench.txt | cut -d' ' -f1)"
if [[ ! -f "$stamp" || "$(cat "$stamp")" != "$digest" ]]; then
    numpy_version="$(.venv/bin/python -c 'import numpy; print(numpy.__version__)')"
    all_installed=1
    while read -r package; do
        [[ -z "$package" || "$package" == \#* ]] && continue
        echo "bench: installing the peer $package"
        .venv/bin/python -m pip install -q "$package" "numpy==$numpy_version" ||
            { echo "bench: $package could not be installed: its rows are skipped"; all_installed=0; }
    done <requirements-bench.txt
    (( all_installed )) && echo "$digest" >"$stamp"
fi

.venv/bin/python -m pip install -q --no-build-isolation --config-settings=build-dir=build/python .
exec .venv/bin/python bench/run.py "$@"
