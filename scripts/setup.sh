#!/usr/bin/env bash
# Prepares a fresh machine: a Python 3.13 virtual environment in .venv with the build and test tools,
# and GoogleTest from Debian.  Safe to run again; it only installs what is missing.
# PYTHON=/path/to/python3.13 overrides the interpreter search.
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
fi
stamp=.venv/.requirements-installed
if [[ ! -f "$stamp" || requirements-dev.txt -nt "$stamp" ]]; then
    echo "setup: installing Python packages"
    .venv/bin/python -m pip install -q --upgrade pip
    .venv/bin/python -m pip install -q -r requirements-dev.txt
    touch "$stamp"
fi

missing=()
[[ -f /usr/include/gtest/gtest.h ]] || missing+=(libgtest-dev)
command -v valgrind >/dev/null 2>&1 || missing+=(valgrind)
command -v pkg-config >/dev/null 2>&1 || missing+=(pkg-config)
if (( ${#missing[@]} )); then
    echo "setup: installing ${missing[*]} from Debian"
    sudo_cmd=""
    [[ "$(id -u)" -ne 0 ]] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
