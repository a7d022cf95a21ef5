#!/usr/bin/env bash
# The Python part of the set-up, shared by every command: a Python 3.13 virtual environment in .venv with
# the packages of the requirements files named (default requirements-dev.txt, the full set).  No apt and
# no root.  Each file is installed again only when its contents change, so the tour's short list first
# and the full list later go into the same .venv.
# Usage: scripts/setup-python.sh [requirements file...]; PYTHON=/path/to/python3.13 overrides the search.
set -euo pipefail
cd "$(dirname "$0")/.."

find_python() {
    if [[ -n "${PYTHON:-}" ]]; then echo "$PYTHON"; return; fi
    if command -v python3.13 >/dev/null 2>&1 && python3.13 -c '' >/dev/null 2>&1; then command -v python3.13; return; fi
    if command -v pyenv >/dev/null 2>&1; then
        local root candidate
        root="$(pyenv root)"
        for candidate in "$root"/versions/3.13*/bin/python3.13; do
            [[ -x "$candidate" ]] && { echo "$candidate"; return; }
        done
        if PYENV_VERSION=3.13 python3.13 -c '' >/dev/null 2>&1; then
            PYENV_VERSION=3.13 python3.13 -c 'import sys; print(sys.executable)'; return
        fi
    fi
    for candidate in /usr/bin/python3.13 /usr/local/bin/python3.13; do
        [[ -x "$candidate" ]] && { echo "$candidate"; return; }
    done
    echo "morvelay needs Python 3.13 or later: none found (set PYTHON=/path/to/python3.13)" >&2
    exit 1
}

if [[ ! -x .venv/bin/python ]]; then
    python="$(find_python)"
    "$python" -c 'import sys; assert sys.version_info >= (3, 13), sys.version' || {
        echo "$python is older than 3.13" >&2; exit 1; }
    echo "setup: creating .venv with $python"
    "$python" -m venv .venv
    .venv/bin/python -m pip install -q --upgrade pip
fi

(( $# )) || set -- requirements-dev.txt
for requirements in "$@"; do
    # The stamp holds the file's digest, not a time: a checkout or a merge resets modification times.
    stamp=".venv/.installed-$(basename "$requirements")"
    digest="$(sha256sum "$requirements" | cut -d' ' -f1)"
    if [[ ! -f "$stamp" || "$(cat "$stamp")" != "$digest" ]]; then
        echo "setup: installing the Python packages of $requirements"
        .venv/bin/python -m pip install -q -r "$requirements"
        echo "$digest" >"$stamp"
    fi
done
