"""Writes the committed pickles and what they answer: python tests/python/data/make_pickles.py

One fitted instance per class and two unfitted ones (pickle_cases.py), each pickled with one protocol
(0 to 5 in turn), into <name>.pickle beside this file, and every answer of the instance that was saved
into expected.json.  test_pickle.py checks that each file still loads and answers the same, bit for
bit.  Rerun this only when a saved-state format version changes on purpose; a pickle of an older version
that stops loading is a regression.
"""

import json
import pickle
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))

from pickle_cases import CASES, answers  # noqa: E402

COMMITTED = [
    "linear",
    "lagrange",
    "newton",
    "quadratic",
    "cubic_spline",
    "hermite",
    "least_squares",
    "rbf",
    "chebyshev",
    "chebyshev_unfitted",
    "rbf_unfitted",
]


def main() -> None:
    expected = {}
    for index, name in enumerate(COMMITTED):
        instance = CASES[name]()
        protocol = index % (pickle.HIGHEST_PROTOCOL + 1)
        file = f"{name}.pickle"
        (HERE / file).write_bytes(pickle.dumps(instance, protocol=protocol))
        expected[name] = {"file": file, "protocol": protocol, "answers": answers(instance)}
    (HERE / "expected.json").write_text(json.dumps(expected, indent=1, ensure_ascii=False) + "\n")
    print(f"wrote {len(COMMITTED)} pickles and expected.json to {HERE}")


if __name__ == "__main__":
    main()
