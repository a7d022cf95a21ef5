#!/usr/bin/env bash
# Mutation testing of the numerical core: how many small faults put into src/core does the C++ suite
# notice?  By hand only (not part of CI or scripts/test.sh), and slow: run it nice'd.
#
# Each mutant (one line changed by the regexp mutator of requirements-mutate.txt, installed into .venv
# here) is swapped into the source tree, the core suite is rebuilt in build/mutate-asan (build/mutate
# with --plain; only what changed)
# and run with a time limit; the source is then restored, also on failure or Ctrl-C.  A mutant is
# killed when the suite fails or times out, survives when it passes, and is counted apart when it does
# not compile.  At the end: killed / survived / not compiled per file, the score over the compiled
# mutants, and each survivor as file:line with its mutated line.
#
# The build uses AddressSanitizer and UndefinedBehaviorSanitizer on an optimised build by default, so a
# mutant that only reads or writes out of bounds counts as killed, as it would in the test command's
# sanitizer stage; --plain drops them (faster, but such mutants then survive in silence).
#
# Usage: bash scripts/mutate.sh [options] [FILE...]
#   FILE            core files to mutate, as paths or names (default: every src/core/*.cpp)
#   --max N         at most N mutants per file, drawn at random (default 12; 0 means all)
#   --seed S        the draw's seed (default 1): the same seed draws the same mutants
#   --timeout SEC   time limit of one run of the suite (default 120)
#   --plain         no sanitizers
#   --without PAT   also score the suite without the tests matching the gtest pattern PAT (a "before"
#                   column, e.g. for new tests): a mutant is first run without them, then, if it
#                   survives, with them alone
#   --list          only list the mutants that would run
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

max=12 seed=1 timeout_s=120 sanitize=address,undefined list_only=false without=""
files=()
while (($#)); do
    case "$1" in
        --max) max="$2"; shift 2 ;;
        --seed) seed="$2"; shift 2 ;;
        --timeout) timeout_s="$2"; shift 2 ;;
        --plain) sanitize=""; shift ;;
        --without) without="$2"; shift 2 ;;
        --list) list_only=true; shift ;;
        -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        -*) echo "mutate.sh: unknown option $1" >&2; exit 2 ;;
        *) files+=("$1"); shift ;;
    esac
done
if ((${#files[@]} == 0)); then
    files=(src/core/*.cpp)
else
    for i in "${!files[@]}"; do
        f="${files[$i]}"
        [[ -f "$f" ]] || f="src/core/$(basename "$f")"
        [[ -f "$f" && "$f" == src/core/* ]] || { echo "mutate.sh: no core file ${files[$i]}" >&2; exit 2; }
        files[$i]="$f"
    done
fi

bash scripts/setup-python.sh requirements-mutate.txt
work="$root/build/mutate${sanitize:+-asan}"
mkdir -p "$work/mutants" "$work/originals"

# The one file swapped out at a time, restored by every way out of this script.
swapped=""
restore() {
    if [[ -n "$swapped" ]]; then
        # The original's own time stamp, so other build folders see no change; this build's object of
        # the file is dropped so that the next build here compiles the original again.
        cp -p "$work/originals/$(basename "$swapped")" "$swapped"
        find "$work" -name "$(basename "$swapped").o" -delete
        swapped=""
    fi
}
trap restore EXIT
trap 'restore; echo; echo "mutate.sh: interrupted, sources restored" >&2; exit 130' INT TERM

build() { nice cmake --build "$work" --target core_tests -j "${MORVELAY_JOBS:-2}" >"$work/build.log" 2>&1; }
# In a subshell, so that a mutant's crash is reported in run.log and not by this shell.
run_suite() {
    (ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1 nice timeout "$timeout_s" \
        "$work/core_tests" --gtest_brief=1 --gtest_fail_fast ${1:+"--gtest_filter=$1"}
        status=$?
        exit "$status") >"$work/run.log" 2>&1
}

if ! "$list_only"; then
    echo "== build of the core suite in ${work#"$root"/} (sanitizers: ${sanitize:-none})"
    cmake -S . -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVELAY_TESTS=ON \
        -DMORVELAY_SANITIZE="$sanitize" >/dev/null
    build || { cat "$work/build.log"; echo "mutate.sh: the unmutated core does not build" >&2; exit 1; }
    run_suite || { cat "$work/run.log"; echo "mutate.sh: the suite fails without any mutant" >&2; exit 1; }
fi

# Mutants of one file, one per line as "number<TAB>line<TAB>mutated line", after dropping those that
# cannot change behaviour or cannot compile on sight: changes inside comments and blank lines, digits
# changed inside names (x1 -> x0), and duplicates.  Then a reproducible draw of --max of them.
select_mutants() {
    local source="$1" dir="$2"
    .venv/bin/python - "$source" "$dir" "$max" "$seed" <<'PY'
import difflib, pathlib, random, re, sys

source, directory, limit, seed = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
original = source.read_text().splitlines()

def code_of(line):
    """The line without its // comment (strings in the core hold no //)."""
    return line.split("//", 1)[0].rstrip()

OPERATOR = set("-+*/%<>=!&|^")


def plausible(before, after):
    """False for what cannot compile on sight.  clang-format spaces every binary operator, so an operator
    without a space on both sides is unary, a pointer, a reference or a template bracket, and the
    mutator's binary replacements of it do not compile; nor do digits changed inside a name."""
    matcher = difflib.SequenceMatcher(a=before, b=after, autojunk=False)
    for tag, i1, i2, _, _ in matcher.get_opcodes():
        if tag == "equal":
            continue
        if i1 < len(before) and before[i1].isdigit() and i1 > 0 and (before[i1 - 1].isalnum() or before[i1 - 1] == "_"):
            return False
        if i1 < len(before) and before[i1] in OPERATOR or i1 > 0 and before[i1 - 1] in OPERATOR and i1 == i2:
            while i1 > 0 and before[i1 - 1] in OPERATOR:
                i1 -= 1
            i2 = max(i2, i1 + 1)
            while i2 < len(before) and before[i2] in OPERATOR:
                i2 += 1
            if not (i1 > 0 and before[i1 - 1] == " " and i2 < len(before) and before[i2] == " "):
                return False
    # A statement commented out compiles; a brace, a declaration's first line or a list item does not.
    if after.lstrip().startswith("/*") and not before.rstrip().endswith(";"):
        return False
    # Digits replaced inside a floating literal ("0.0" -> "(0-1).0").
    if re.search(r"\)\.\d|\d\.\(", after):
        return False
    return "  " not in after.strip() and not re.search(r"[-+*/%<>=!&|^]{3}", after)


chosen, seen = [], set()
for path in sorted(directory.glob(f"{source.stem}.mutant.*{source.suffix}"), key=lambda p: int(p.stem.split(".")[-1])):
    mutated = path.read_text().splitlines()
    if len(mutated) != len(original):
        continue
    changed = [i for i, (a, b) in enumerate(zip(original, mutated)) if a != b]
    if len(changed) != 1:
        continue
    i = changed[0]
    before, after = code_of(original[i]), code_of(mutated[i])
    if not before.strip() or before == after or original[i].lstrip().startswith(("//", "#include")):
        continue
    if not plausible(before, after):
        continue
    key = (i, re.sub(r"\s+", "", after))
    if key in seen:
        continue
    seen.add(key)
    chosen.append((path, i + 1, original[i].strip(), mutated[i].strip()))
if limit > 0 and len(chosen) > limit:
    chosen = sorted(random.Random(f"{seed}:{source.name}").sample(chosen, limit), key=lambda c: c[1])
for path, line, before, after in chosen:
    print(f"{path}\t{line}\t{before}\t{after}")
PY
}

summary="$work/summary.txt" survivors="$work/survivors.txt"
: >"$summary"
: >"$survivors"
total_killed=0 total_survived=0 total_failed=0 total_before=0
for source in "${files[@]}"; do
    name="$(basename "$source")"
    dir="$work/mutants/$name"
    rm -rf "$dir"
    mkdir -p "$dir"
    (cd "$dir" && "$root/.venv/bin/mutate" "$root/$source" cpp --noCheck --mutantDir "$dir" >/dev/null 2>&1)
    mapfile -t mutants < <(select_mutants "$source" "$dir")
    if "$list_only"; then
        for entry in "${mutants[@]}"; do
            IFS=$'\t' read -r _ line _ after <<<"$entry"
            echo "$source:$line: $after"
        done
        continue
    fi
    echo "== $source: ${#mutants[@]} mutants"
    cp -p "$source" "$work/originals/$name"
    killed=0 survived=0 failed=0 killed_before=0
    for entry in "${mutants[@]}"; do
        IFS=$'\t' read -r path line _ after <<<"$entry"
        swapped="$source"
        cp "$path" "$source"
        if ! build; then
            verdict="not compiled"
            failed=$((failed + 1))
        elif [[ -n "$without" ]] && ! run_suite "-$without"; then
            verdict="killed"
            killed=$((killed + 1)) killed_before=$((killed_before + 1))
        elif run_suite "$without"; then
            verdict="SURVIVED"
            survived=$((survived + 1))
            echo "$source:$line: $after" >>"$survivors"
        else
            verdict="killed"
            [[ -n "$without" ]] && verdict="killed (new)"
            killed=$((killed + 1))
        fi
        restore
        printf '  %-12s %s:%s: %s\n' "$verdict" "$source" "$line" "$after"
    done
    {
        printf '%-32s killed %3d  survived %3d  not compiled %3d' "$source" "$killed" "$survived" "$failed"
        [[ -n "$without" ]] && printf '  (without %s: killed %d)' "$without" "$killed_before"
        echo
    } | tee -a "$summary"
    total_killed=$((total_killed + killed))
    total_survived=$((total_survived + survived))
    total_failed=$((total_failed + failed))
    total_before=$((total_before + killed_before))
done
"$list_only" && exit 0

# The object files now match the restored sources again.
build || true
echo
echo "== summary (seed $seed, at most $max mutants per file)"
cat "$summary"
compiled=$((total_killed + total_survived))
if ((compiled > 0)); then
    printf 'total: %d compiled mutants, %d killed, %d survived (%d.%d%% killed); %d not compiled\n' "$compiled" \
        "$total_killed" "$total_survived" $((1000 * total_killed / compiled / 10)) \
        $((1000 * total_killed / compiled % 10)) "$total_failed"
    [[ -n "$without" ]] && printf 'without %s: %d killed (%d.%d%%)\n' "$without" "$total_before" \
        $((1000 * total_before / compiled / 10)) $((1000 * total_before / compiled % 10))
fi
if [[ -s "$survivors" ]]; then
    echo
    echo "== survivors"
    cat "$survivors"
fi
