"""The README's benchmark summary, built from the table in docs/benchmarks.md, so both always show the
figures of one run.

    python bench/summary.py           # rewrite the summary in README.md from docs/benchmarks.md
    python bench/summary.py --check   # exit 1 if the README's summary is not the one the table gives

bench/run.py --docs writes docs/benchmarks.md and then calls this.  Standard library only: the tests
check the README with it.
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
DOCS = ROOT / "docs" / "benchmarks.md"
README = ROOT / "README.md"
BEGIN = "<!-- benchmark summary: written by bench/summary.py from docs/benchmarks.md; do not edit by hand -->"
END = "<!-- end of benchmark summary -->"

# Each summary line: what was measured, against what, the rows of the table (workload, reference routine)
# whose speed-ups it shows, and how to join them.  "{ours}" in a label takes the first row's morvelay time.
SUMMARY: list[tuple[str, str, list[tuple[str, str]], str]] = [
    (
        "linear, 1M queries on 1k knots: sorted / random uneven / random uniform",
        "`numpy.interp`",
        [
            ("linear eval sorted, uniform 1k knots", "numpy.interp"),
            ("linear eval random, uneven 1k knots", "numpy.interp"),
            ("linear eval random, uniform 1k knots", "numpy.interp"),
        ],
        " / ",
    ),
    (
        "cubic spline, same workloads",
        "`scipy.interpolate.CubicSpline`",
        [
            ("cubic spline eval sorted, uniform", "scipy CubicSpline"),
            ("cubic spline eval random, uneven", "scipy CubicSpline"),
            ("cubic spline eval random, uniform", "scipy CubicSpline"),
        ],
        " / ",
    ),
    (
        "quadratic, same workloads",
        "`make_interp_spline(k=2)`",
        [
            ("quadratic eval sorted, uniform", "make_interp_spline(k=2)"),
            ("quadratic eval random, uneven", "make_interp_spline(k=2)"),
            ("quadratic eval random, uniform", "make_interp_spline(k=2)"),
        ],
        " / ",
    ),
    (
        "Lagrange, Newton, Hermite batch evaluation",
        "`BarycentricInterpolator`, `KroghInterpolator`",
        [
            ("Lagrange eval, 64 Chebyshev nodes", "BarycentricInterpolator"),
            ("Newton eval, 64 nodes (bit-reversed)", "KroghInterpolator"),
            ("Hermite eval, 16 nodes", "KroghInterpolator (doubled)"),
        ],
        ", ",
    ),
    ("Chebyshev, 64 coefficients", "`chebval`", [("Chebyshev eval, 64 coefficients", "chebyshev.chebval")], ""),
    (
        "least squares, degree 3: fit of 1M points / evaluation",
        "`numpy.polyfit` / `polyval`",
        [("least squares fit, N=1M, degree 3", "numpy.polyfit"), ("least squares eval, degree 3", "numpy.polyval")],
        " / ",
    ),
    (
        "RBF gaussian on 1k centres: scattered / evenly spaced",
        "`scipy.interpolate.RBFInterpolator`",
        [
            ("RBF gaussian eval, scattered 1k centres", "scipy RBFInterpolator"),
            ("RBF gaussian eval, uniform 1k centres", "scipy RBFInterpolator"),
        ],
        " / ",
    ),
    (
        "RBF fit of 1,000 / 2,000 centres",
        "`scipy.interpolate.RBFInterpolator`",
        [("RBF fit, 1000 centres", "scipy RBFInterpolator"), ("RBF fit, 2000 centres", "scipy RBFInterpolator")],
        " / ",
    ),
    (
        "scalar call `f(0.5)` ({ours} per call)",
        "`numpy.interp(0.5, x, y)`",
        [("scalar call f(0.5), linear", "numpy.interp(0.5, x, y)")],
        "",
    ),
    (
        "refits of 1M points: linear / cubic spline",
        "`interp1d` / `CubicSpline`",
        [("linear fit, 1M points", "scipy interp1d"), ("cubic spline fit, 1M points", "scipy CubicSpline")],
        " / ",
    ),
]


# The same for the peers tables (bench/peers.py): (workload, peer) keys of their rows.  A peer that was
# not installed for the run shows as "not run".
PEER_SUMMARY: list[tuple[str, str, list[tuple[str, str]], str]] = [
    (
        "linear, 1M random queries on 1k even knots",
        "hand-written numba kernel / interpn",
        [
            ("linear random, uniform", "numba O(1) uniform kernel"),
            ("linear random, uniform", "interpn_linear_regular_f64"),
        ],
        " / ",
    ),
    (
        "linear, 1M random queries on 1k uneven knots",
        "`njit(np.interp)` / interpn",
        [("linear random, uneven", "njit(np.interp)"), ("linear random, uneven", "interpn_linear_rectilinear_f64")],
        " / ",
    ),
    (
        "cubic spline, 1M random queries on 1k even knots",
        "hand-written numba kernel / interpax `CubicSpline`",
        [
            ("cubic spline random, uniform", "numba O(1) uniform kernel"),
            ("cubic spline random, uniform", "interpax CubicSpline"),
        ],
        " / ",
    ),
    (
        "RBF gaussian, 1k uneven centres",
        "interpax `RBFInterpolator` (JAX)",
        [("RBF gaussian, uneven 1k centres", "interpax RBFInterpolator")],
        "",
    ),
]


class SummaryError(Exception):
    pass


def read_table(text: str) -> tuple[dict[tuple[str, str], tuple[str, float]], str]:
    """The main table of docs/benchmarks.md as {(workload, reference routine): (morvelay time, speed-up)},
    and the machine it ran on."""
    lines = text.splitlines()
    try:
        start = next(i for i, line in enumerate(lines) if line.startswith("| workload |"))
    except StopIteration:
        raise SummaryError(f"{DOCS.name}: no table starting with '| workload |'") from None
    rows = {}
    for line in lines[start + 2 :]:
        if not line.startswith("|"):
            break
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        workload, reference, ours, _theirs, speed_up = cells[:5]
        rows[(workload, reference)] = (ours, float(speed_up.rstrip("x")))
    machine = next((line for line in lines if line.startswith("Machine: ")), "Machine: unknown")
    return rows, ", ".join(machine.removeprefix("Machine: ").split(", ")[:2])


def read_peers(text: str) -> dict[tuple[str, str], float]:
    """The peers tables of docs/benchmarks.md as {(workload, peer): ratio}."""
    rows = {}
    lines = text.splitlines()
    start = next((i for i, line in enumerate(lines) if line == "## Peers"), len(lines))
    for line in lines[start:]:
        if line.startswith("## ") and line != "## Peers":
            break
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if line.startswith("|") and len(cells) >= 6 and cells[5].endswith("x"):
            rows[(cells[0], cells[1])] = float(cells[5].rstrip("x"))
    return rows


def ratio_text(ratio: float) -> str:
    return f"{ratio:.0f}x" if ratio >= 9.95 else f"{ratio:.1f}x" if ratio >= 0.95 else f"{ratio:.2f}x"


def time_text(cell: str) -> str:
    """A time cell of the table ("46.36 ns") to two figures ("46 ns")."""
    value, unit = cell.split()
    return f"{float(value):.2g} {unit}" if float(value) < 100 else f"{float(value):.0f} {unit}"


def summary_block(docs_text: str) -> str:
    rows, machine = read_table(docs_text)
    missing = [key for _, _, keys, _ in SUMMARY for key in keys if key not in rows]
    if missing:
        names = "; ".join(f"{workload} against {reference}" for workload, reference in missing)
        raise SummaryError(f"{DOCS.name} has no row for {names}: update SUMMARY in bench/summary.py")
    lines = [
        BEGIN,
        "A summary of the run in [docs/benchmarks.md](docs/benchmarks.md): reference time / morvelay time,",
        f"single thread; {machine}. The last rows are the fastest peers, each pinned to one CPU.",
        "",
        "| workload | against | speed-up |",
        "|---|---|---:|",
    ]
    for label, against, keys, joiner in SUMMARY:
        figures = joiner.join(ratio_text(rows[key][1]) for key in keys)
        lines.append(f"| {label.format(ours=time_text(rows[keys[0]][0]))} | {against} | {figures} |")
    peers = read_peers(docs_text)
    for label, against, keys, joiner in PEER_SUMMARY:
        figures = joiner.join(ratio_text(peers[key]) if key in peers else "not run" for key in keys)
        lines.append(f"| {label} | {against} | {figures} |")
    lines.append(END)
    return "\n".join(lines)


def with_summary(readme_text: str, block: str) -> str:
    if readme_text.count(BEGIN) != 1 or readme_text.count(END) != 1:
        raise SummaryError(f"{README.name}: the summary markers must appear once each")
    head, rest = readme_text.split(BEGIN)
    return head + block + rest.split(END, 1)[1]


def update_readme(check: bool = False) -> bool:
    """Rewrites the README's summary from docs/benchmarks.md (or with check, only compares); True if the
    README already held that summary."""
    readme = README.read_text()
    updated = with_summary(readme, summary_block(DOCS.read_text()))
    if updated != readme and not check:
        README.write_text(updated)
        print(f"summary written to {README.relative_to(ROOT)}")
    return updated == readme


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="only check that README.md is up to date")
    arguments = parser.parse_args()
    try:
        current = update_readme(arguments.check)
    except SummaryError as error:
        print(f"bench/summary.py: {error}", file=sys.stderr)
        return 1
    if arguments.check and not current:
        print("README.md's benchmark summary differs from docs/benchmarks.md: run python bench/summary.py")
        return 1
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
