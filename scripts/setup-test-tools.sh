#!/usr/bin/env bash
# The test command's system tools: GoogleTest, valgrind, pkg-config and gfortran (the Fortran example)
# from Debian, installed with apt (through sudo when not root) only when missing.  The tour and the
# benchmarks do not need them.
set -euo pipefail

missing=()
[[ -f /usr/include/gtest/gtest.h ]] || missing+=(libgtest-dev)
command -v valgrind >/dev/null 2>&1 || missing+=(valgrind)
command -v pkg-config >/dev/null 2>&1 || missing+=(pkg-config)
command -v gfortran >/dev/null 2>&1 || missing+=(gfortran)
if (( ${#missing[@]} )); then
    echo "setup: installing ${missing[*]} from Debian"
    sudo_cmd=""
    [[ "$(id -u)" -ne 0 ]] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
