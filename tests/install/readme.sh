#!/usr/bin/env bash
# Follows the README's C install steps word for word: its build commands and its C program are read out of
# README.md, so they cannot drift from what is tested.  In a scratch copy of the sources with HOME pointed
# at a scratch folder: configure without a prefix, build, `cmake --install --prefix "$HOME/morvelay"`, the
# README's cc line, and the program run without LD_LIBRARY_PATH must print what the README says.  Then the
# installed tree is moved and the program rebuilt from it with `pkg-config --define-prefix`, as the README
# says a moved tree is used.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/src" "$scratch/home"

# The steps are the shell block of "C and C++ hosts"; the program is the README's C block, saved as the
# host.c those steps compile.
python3 - "$root/README.md" "$scratch" <<'PY'
import re
import sys
from pathlib import Path

readme, scratch = Path(sys.argv[1]).read_text(), Path(sys.argv[2])
section = readme.split("\n## C and C++ hosts\n", 1)[1]
steps = re.search(r"```sh\n(.*?)```", section, flags=re.DOTALL)
program = re.search(r"\n## C\n.*?```c\n(.*?)```", readme, flags=re.DOTALL)
if not steps or not program:
    sys.exit("README.md: no shell block under 'C and C++ hosts' or no C block under 'C'")
(scratch / "steps.sh").write_text(steps.group(1))
(scratch / "src" / "host.c").write_text(program.group(1))
PY
grep -q -- '--install build/c --prefix "$HOME/morvelay"' "$scratch/steps.sh" || {
    echo "README: the install steps no longer install into \$HOME/morvelay"; exit 1; }
# What the steps' last command, the program, is documented to print (its trailing comment).
expected="$(tail -n 1 "$scratch/steps.sh" | sed -n 's/^[^#]*# *//p')"
[[ -n "$expected" ]] || { echo "README: the install steps should end by running the program, with its output"; exit 1; }

# A copy of the sources as a fresh clone holds them (no build trees, no .venv).
git -C "$root" ls-files -co --exclude-standard -z | tar -C "$root" --null -T - -cf - | tar -C "$scratch/src" -xf -

output="$(cd "$scratch/src" && env -u LD_LIBRARY_PATH HOME="$scratch/home" CMAKE_BUILD_PARALLEL_LEVEL=2 \
    bash -euo pipefail "$scratch/steps.sh" 2>&1)" || { echo "$output"; echo "README install steps failed"; exit 1; }
actual="$(tail -n 1 <<<"$output")"
[[ "$actual" == "$expected" ]] || { echo "$output"; echo "program printed '$actual', README says '$expected'"; exit 1; }

mv "$scratch/home/morvelay" "$scratch/moved"
(cd "$scratch/src" && env -u LD_LIBRARY_PATH PKG_CONFIG_PATH="$scratch/moved/lib/pkgconfig" \
    sh -c 'cc -std=c99 host.c $(pkg-config --define-prefix --cflags --libs morvelay) -o moved && ./moved') \
    >"$scratch/moved.out"
[[ "$(cat "$scratch/moved.out")" == "$expected" ]] || { echo "program built from the moved install failed"; exit 1; }
echo "README C install steps: ok (program printed $expected)"
