"""Byte-level fuzzing of pickle.loads over pickles of every class.

Each round takes a pickle of one of the instances in pickle_cases (every protocol), damages it (flipped
bits, random or boundary bytes, insertions, deletions, truncation, swapped 8-byte blocks, which reorder
saved arrays) and loads it.  A refusal, by any exception, is a pass; an interpolator that does load is
then asked every answer (repr, getters, calls), which must succeed or raise ValueError.  What this looks
for is a crash, and the counts show how the damage was met.

The suite runs a short seeded fuzz (test_pickle.py).  A long one, against the AddressSanitizer build:

    MORVELAY_PICKLE_FUZZ_ROUNDS=200000 MORVELAY_PICKLE_FUZZ_SEED=1 \\
        bash tests/reliability/python_asan.sh build/python-asan tests/python/test_pickle.py -k fuzz -s

or directly, with whatever morvelay is importable: python tests/python/pickle_fuzz.py ROUNDS [SEED]
"""

import os
import pickle
import pickletools
import random
import resource
import sys
import warnings
from collections import Counter
from contextlib import contextmanager

import morvelay

from pickle_cases import CASES, answers

CLASSES = tuple(getattr(morvelay, name) for name in dir(morvelay) if not name.startswith("_"))


def mutate(data: bytes, rng: random.Random) -> bytes:
    damaged = bytearray(data)
    for _ in range(rng.choice((1, 1, 1, 2, 3))):
        if not damaged:
            break
        i = rng.randrange(len(damaged))
        kind = rng.randrange(8)
        if kind == 0:
            damaged[i] ^= 1 << rng.randrange(8)
        elif kind == 1:
            damaged[i] = rng.randrange(256)
        elif kind == 2:
            damaged[i] = rng.choice((0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF))
        elif kind == 3:
            damaged.insert(i, rng.randrange(256))
        elif kind == 4:
            del damaged[i]
        elif kind == 5 and rng.random() < 0.25:
            del damaged[i:]
        else:
            j = rng.randrange(len(damaged))
            if i + 8 <= len(damaged) and j + 8 <= len(damaged):
                damaged[i : i + 8], damaged[j : j + 8] = damaged[j : j + 8], damaged[i : i + 8]
    return bytes(damaged)


def outgrows_pickle(data: bytes) -> bool:
    """A memo slot far beyond the pickle's own length, which the unpickler would grow its memo table to
    (and fill) before anything else: pickle's own limit, not this module's, and gigabytes on a 2-byte
    change of the protocol 1-3 LONG_BINPUT.  The stream is read as far as it parses."""
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")  # protocol 0 strings with stray escapes
            for opcode, argument, _ in pickletools.genops(data):
                if opcode.name in ("PUT", "BINPUT", "LONG_BINPUT") and argument > len(data):
                    return True
    except Exception:
        pass
    return False


def outcome_of(data: bytes) -> str:
    if outgrows_pickle(data):
        return "skipped (memo beyond the pickle)"
    try:
        loaded = pickle.loads(data)
    except Exception as error:  # every refusal counts as one; only a crash would fail this fuzz
        if isinstance(error, ValueError) and str(error).startswith("Invalid ") and " state: " in str(error):
            return "ValueError (state refused)"
        return type(error).__name__
    if isinstance(loaded, CLASSES):
        answers(loaded)
        return "loaded an interpolator"
    return "loaded something else"


@contextmanager
def address_space_limit(extra_bytes: int):
    """Caps this process's address space at its current size plus `extra_bytes`, so a damaged pickle
    that still asks for too much meets MemoryError rather than the machine's memory.  Not under
    AddressSanitizer, whose shadow memory reserves terabytes of address space up front."""
    if "asan" in os.environ.get("LD_PRELOAD", ""):
        yield
        return
    with open("/proc/self/statm") as statm:
        current = int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    limit = current + extra_bytes
    if hard != resource.RLIM_INFINITY:
        limit = min(limit, hard)
    resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
    try:
        yield
    finally:
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))


def run(rounds: int, seed: int = 0) -> Counter:
    rng = random.Random(seed)
    pickles = [pickle.dumps(make(), protocol=p) for make in CASES.values() for p in range(pickle.HIGHEST_PROTOCOL + 1)]
    with address_space_limit(2 << 30):
        return Counter(outcome_of(mutate(rng.choice(pickles), rng)) for _ in range(rounds))


def main() -> None:
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    counts = run(rounds, seed)
    print(f"{rounds} damaged pickles (seed {seed}):")
    for outcome, count in counts.most_common():
        print(f"  {count:8d}  {outcome}")


if __name__ == "__main__":
    main()
