"""Side-by-side benchmarks: morvelay against the routine a NumPy/SciPy user would otherwise call.

Both run in this process, interleaved (ours, theirs, ours, ...), after a warm-up, and the table reports
medians of the repeats.  Every row also checks that both sides agree numerically.  BLAS and OpenMP are
held to one thread so the references run single-threaded like morvelay.  The peers table (bench/peers.py)
runs each other package family in a process of its own, pinned to one CPU.

    bash scripts/bench.sh                   # the main table, with .venv's Python (sets up and builds first)
    bash scripts/bench.sh --growth          # also ns/query against the number of knots (piecewise methods)
    bash scripts/bench.sh --markdown FILE   # also write the tables as Markdown
    bash scripts/bench.sh --docs            # all of it, into docs/benchmarks.md and the README's summary
    bash scripts/bench.sh --filter spline   # only rows whose workload contains the text
"""

from __future__ import annotations

import argparse
import itertools
import os
import platform
import statistics
import warnings

import harness  # before numpy, scipy and the peers: it holds their thread pools to one thread
import numpy as np
import peers
import scipy
import scipy.interpolate as si
from bench_threads import thread_rows
from harness import Row, evaluated_alike, fitted, format_time, measure, timed
from numpy.polynomial import Polynomial
from numpy.polynomial import chebyshev as npcheb

import morvelay

from summary import DOCS, ROOT, SummaryError, update_readme

RNG = np.random.default_rng(harness.RNG_SEED)


def uneven_knots(n: int) -> np.ndarray:
    steps = RNG.uniform(0.5, 1.5, n - 1)
    return np.concatenate([[0.0], np.cumsum(steps)]) * (n - 1) / steps.sum()


def chebyshev_points(n: int) -> np.ndarray:
    return np.cos(np.pi * (np.arange(n) + 0.5) / n)


def bit_reversed(n: int) -> np.ndarray:
    bits = max(1, (n - 1).bit_length())
    order = sorted(range(n), key=lambda i: int(f"{i:0{bits}b}"[::-1], 2))
    return np.array(order)


def rbf_centres(n: int, uniform: bool) -> tuple[np.ndarray, np.ndarray]:
    """Unit-spaced centres (uniform) or jittered ones no two closer than 0.4: kernel matrices that stay
    well conditioned at epsilon around 1, so both solvers give the same weights."""
    x = np.arange(n, dtype=np.float64)
    if not uniform:
        x = x + RNG.uniform(-0.3, 0.3, n)
    return x, np.sin(0.05 * x) + 0.1 * np.cos(0.7 * x)


def has(name: str) -> bool:
    return hasattr(morvelay, name)


def batch_rows() -> list[Row]:
    rows: list[Row] = []
    m = 1_000_000
    for grid in ("uniform", "uneven"):
        x = np.linspace(0.0, 999.0, 1000) if grid == "uniform" else uneven_knots(1000)
        y = np.sin(x / 37.0) + 0.1 * np.cos(x)
        random_q = RNG.uniform(x[0], x[-1], m)
        sorted_q = np.sort(random_q)
        linear = fitted(morvelay.LinearInterpolator(), x, y)
        for order, q in (("sorted", sorted_q), ("random", random_q)):
            rows.append(
                Row(
                    f"linear eval {order}, {grid} 1k knots",
                    "numpy.interp",
                    lambda q=q, f=linear: f(q),
                    lambda q=q, x=x, y=y: np.interp(q, x, y),
                    m,
                )
            )
        if has("CubicSplineInterpolator"):
            ours = fitted(morvelay.CubicSplineInterpolator(), x, y)
            theirs = si.CubicSpline(x, y)
            for order, q in (("sorted", sorted_q), ("random", random_q)):
                rows.append(
                    Row(
                        f"cubic spline eval {order}, {grid}",
                        "scipy CubicSpline",
                        lambda q=q, f=ours: f(q),
                        lambda q=q, f=theirs: f(q),
                        m,
                    )
                )
        if has("QuadraticInterpolator"):
            ours = fitted(morvelay.QuadraticInterpolator(), x, y)
            theirs = si.make_interp_spline(x, y, k=2)
            for order, q in (("sorted", sorted_q), ("random", random_q)):
                # Different piecewise quadratics (overlapping triplets vs a C1 spline) through the same
                # data: they agree to the interpolation error, which the 0.1 cos(x) term at unit spacing
                # makes about 1e-2; a wrong segment would be off by the data's range.
                rows.append(
                    Row(
                        f"quadratic eval {order}, {grid}",
                        "make_interp_spline(k=2)",
                        lambda q=q, f=ours: f(q),
                        lambda q=q, f=theirs: f(q),
                        m,
                        tolerance=5e-2,
                    )
                )

    nodes = chebyshev_points(64)
    values = 1.0 / (1.0 + 25.0 * nodes**2)
    q = RNG.uniform(-1.0, 1.0, 100_000)
    if has("LagrangeInterpolator"):
        ours = fitted(morvelay.LagrangeInterpolator(), nodes, values)
        theirs = si.BarycentricInterpolator(nodes, values)
        rows.append(
            Row(
                "Lagrange eval, 64 Chebyshev nodes",
                "BarycentricInterpolator",
                lambda f=ours: f(q),
                lambda f=theirs: f(q),
                len(q),
            )
        )
    if has("NewtonInterpolator"):
        order = bit_reversed(64)
        ours = fitted(morvelay.NewtonInterpolator(), nodes[order], values[order])
        with warnings.catch_warnings():  # SciPy warns about the degree; the row checks agreement itself
            warnings.simplefilter("ignore")
            theirs = si.KroghInterpolator(nodes[order], values[order])
        rows.append(
            Row(
                "Newton eval, 64 nodes (bit-reversed)",
                "KroghInterpolator",
                lambda f=ours: f(q),
                lambda f=theirs: f(q),
                len(q),
                tolerance=1e-10,
            )
        )
    if has("HermiteInterpolator"):
        hx = np.linspace(-1.0, 1.0, 16)
        hy, hdy = np.sin(2 * hx), 2 * np.cos(2 * hx)
        ours = fitted(morvelay.HermiteInterpolator(), hx, hy, hdy)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            theirs = si.KroghInterpolator(np.repeat(hx, 2), np.column_stack([hy, hdy]).ravel())
        rows.append(
            Row(
                "Hermite eval, 16 nodes",
                "KroghInterpolator (doubled)",
                lambda f=ours: f(q),
                lambda f=theirs: f(q),
                len(q),
                tolerance=1e-9,
            )
        )
    if has("LeastSquaresInterpolator"):
        lx = RNG.uniform(-1.0, 1.0, 10_000)
        ly = 1.0 + lx - 2 * lx**3 + 0.01 * RNG.standard_normal(lx.size)
        ours = fitted(morvelay.LeastSquaresInterpolator(3), lx, ly)
        coefficients = np.polyfit(lx, ly, 3)
        big_q = RNG.uniform(-1.0, 1.0, m)
        rows.append(
            Row(
                "least squares eval, degree 3",
                "numpy.polyval",
                lambda f=ours: f(big_q),
                lambda: np.polyval(coefficients, big_q),
                m,
                tolerance=1e-10,
            )
        )
    if has("ChebyshevInterpolator"):
        ours = morvelay.ChebyshevInterpolator(64)
        ours.fit_function(lambda t: 1.0 / (1.0 + 25.0 * t * t))
        series = ours.get_coefficients()
        big_q = RNG.uniform(-1.0, 1.0, m)
        rows.append(
            Row(
                "Chebyshev eval, 64 coefficients",
                "chebyshev.chebval",
                lambda f=ours: f(big_q),
                lambda: npcheb.chebval(big_q, series),
                m,
            )
        )
    if has("RBFInterpolator"):
        for grid in ("uniform", "scattered"):
            cx, cy = rbf_centres(1000, grid == "uniform")
            rq = RNG.uniform(cx.min(), cx.max(), 100_000)
            ours = fitted(morvelay.RBFInterpolator("gaussian", 1.0), cx, cy)
            theirs = si.RBFInterpolator(cx[:, None], cy, kernel="gaussian", epsilon=1.0, degree=-1)
            rows.append(
                Row(
                    f"RBF gaussian eval, {grid} 1k centres",
                    "scipy RBFInterpolator",
                    lambda f=ours, q=rq: f(q),
                    lambda f=theirs, q=rq: f(q[:, None]),
                    len(rq),
                    tolerance=1e-10,
                )
            )
            if grid == "scattered":
                # SciPy's thin plate spline is (eps r)^2 log(eps r): with epsilon 1 both are r^2 log r.
                ours = fitted(morvelay.RBFInterpolator("thin_plate_spline", 1.0), cx, cy)
                with warnings.catch_warnings():  # degree=-1 is below SciPy's minimum for this kernel
                    warnings.simplefilter("ignore")
                    theirs = si.RBFInterpolator(cx[:, None], cy, kernel="thin_plate_spline", epsilon=1.0, degree=-1)
                rows.append(
                    Row(
                        f"RBF thin plate spline eval, {grid} 1k",
                        "scipy RBFInterpolator",
                        lambda f=ours, q=rq: f(q),
                        lambda f=theirs, q=rq: f(q[:, None]),
                        len(rq),
                        tolerance=1e-8,
                    )
                )
    return rows


def fit_rows() -> list[Row]:
    rows: list[Row] = []
    # Each fit returns the fitted object; the rows compare the two fitted objects at probe points.
    n = 1_000_000
    x = np.linspace(0.0, 1.0, n)
    y = np.sin(7 * x)
    probe = RNG.uniform(0.0, 1.0, 1000)
    same_at_probe = evaluated_alike(lambda f: f(probe), lambda f: f(probe))
    linear = morvelay.LinearInterpolator()
    for reference, construct in (
        ("scipy interp1d", lambda: si.interp1d(x, y)),
        ("make_interp_spline(k=1)", lambda: si.make_interp_spline(x, y, k=1)),
    ):
        rows.append(
            Row("linear fit, 1M points", reference, lambda: fitted(linear, x, y), construct, 0, agree=same_at_probe)
        )
    if has("CubicSplineInterpolator"):
        spline = morvelay.CubicSplineInterpolator()
        rows.append(
            Row(
                "cubic spline fit, 1M points",
                "scipy CubicSpline",
                lambda: fitted(spline, x, y),
                lambda: si.CubicSpline(x, y),
                0,
                agree=same_at_probe,
            )
        )
        # A new instance each time: its segments are fresh memory, as in a process that fits once.
        rows.append(
            Row(
                "cubic spline first fit, 1M points",
                "scipy CubicSpline",
                lambda: fitted(morvelay.CubicSplineInterpolator(), x, y),
                lambda: si.CubicSpline(x, y),
                0,
                agree=same_at_probe,
            )
        )
    if has("LeastSquaresInterpolator"):
        lsq = morvelay.LeastSquaresInterpolator(3)
        rows.append(
            Row(
                "least squares fit, N=1M, degree 3",
                "numpy.polyfit",
                lambda: fitted(lsq, x, y),
                lambda: np.polyfit(x, y, 3),
                0,
                agree=evaluated_alike(lambda f: f(probe), lambda c: np.polyval(c, probe)),
                tolerance=1e-8,
            )
        )
        rows.append(
            Row(
                "least squares fit, N=1M, degree 3",
                "Polynomial.fit",
                lambda: fitted(lsq, x, y),
                lambda: Polynomial.fit(x, y, 3),
                0,
                agree=same_at_probe,
                tolerance=1e-8,
            )
        )
    if has("LagrangeInterpolator"):
        nodes = chebyshev_points(2000)
        values = np.sin(3 * nodes)
        lagrange = morvelay.LagrangeInterpolator()
        node_probe = RNG.uniform(-1.0, 1.0, 1000)
        rows.append(
            Row(
                "Lagrange fit, 2000 nodes",
                "BarycentricInterpolator",
                lambda: fitted(lagrange, nodes, values),
                lambda: si.BarycentricInterpolator(nodes, values),
                0,
                agree=evaluated_alike(lambda f: f(node_probe), lambda f: f(node_probe)),
            )
        )
    if has("ChebyshevInterpolator"):
        cheb = morvelay.ChebyshevInterpolator(4096)
        cheb_y = np.sin(3 * np.array(cheb.get_nodes()))
        node_probe = RNG.uniform(-1.0, 1.0, 1000)

        def cheb_fit():
            cheb.fit(cheb_y)
            return cheb

        rows.append(
            Row(
                "Chebyshev fit, 4096 nodes",
                "chebinterpolate",
                cheb_fit,
                lambda: npcheb.chebinterpolate(lambda t: np.sin(3 * t), 4095),
                0,
                agree=evaluated_alike(lambda f: f(node_probe), lambda c: npcheb.chebval(node_probe, c)),
            )
        )
    if has("RBFInterpolator"):
        for centres in (1000, 2000):
            cx, cy = rbf_centres(centres, False)
            rq = RNG.uniform(0.0, centres - 1.0, 1000)
            rbf = morvelay.RBFInterpolator("multiquadric", 0.5)
            rows.append(
                Row(
                    f"RBF fit, {centres} centres",
                    "scipy RBFInterpolator",
                    lambda r=rbf, a=cx, b=cy: fitted(r, a, b),
                    lambda a=cx, b=cy: si.RBFInterpolator(a[:, None], b, kernel="multiquadric", epsilon=0.5, degree=-1),
                    0,
                    agree=evaluated_alike(lambda f, q=rq: f(q), lambda f, q=rq: f(q[:, None])),
                    tolerance=1e-9,
                )
            )
        # With epsilon 1 SciPy's (eps r)^2 log(eps r) is our r^2 log r; degree=-1 is below SciPy's minimum
        # for this kernel (it warns), and the comparison needs the same interpolant.
        cx, cy = rbf_centres(1000, False)
        rq = RNG.uniform(0.0, 999.0, 1000)
        tps = morvelay.RBFInterpolator("thin_plate_spline", 1.0)

        def scipy_tps(a=cx, b=cy):
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                return si.RBFInterpolator(a[:, None], b, kernel="thin_plate_spline", epsilon=1.0, degree=-1)

        rows.append(
            Row(
                "RBF thin plate spline fit, 1000 centres",
                "scipy RBFInterpolator",
                lambda: fitted(tps, cx, cy),
                scipy_tps,
                0,
                agree=evaluated_alike(lambda f: f(rq), lambda f: f(rq[:, None])),
                tolerance=1e-8,
            )
        )
    return rows


def scalar_rows() -> list[Row]:
    x = np.linspace(0.0, 1.0, 1000)
    y = np.sin(7 * x)
    linear = fitted(morvelay.LinearInterpolator(), x, y)
    spline = si.make_interp_spline(x, y, k=1)  # the SciPy object for the same piecewise line
    calls = 100_000

    # The loops run as timeit's do (over itertools.repeat, callee in a local): the Python loop's own cost
    # is part of every call's time, on both sides alike.
    def ours(f=linear):
        for _ in itertools.repeat(None, calls):
            f(0.5)
        return f(0.5)

    def numpy_scalar(interp=np.interp):
        for _ in itertools.repeat(None, calls):
            interp(0.5, x, y)
        return interp(0.5, x, y)

    def scipy_scalar(f=spline):
        for _ in itertools.repeat(None, calls):
            f(0.5)
        return float(f(0.5))

    return [
        Row("scalar call f(0.5), linear", "numpy.interp(0.5, x, y)", ours, numpy_scalar, calls),
        Row("scalar call f(0.5), linear", "make_interp_spline(k=1)(0.5)", ours, scipy_scalar, calls),
    ]


def floor_rows() -> list[Row]:
    """The bandwidth bound: a batch evaluation reads 1M doubles and writes 1M into a new array, as a copy
    does.  The ratio is copy time / evaluation time (1.00x would be at the floor)."""
    source = RNG.uniform(0.0, 1.0, 1_000_000)
    knots = np.linspace(0.0, 1.0, 1000)
    linear = fitted(morvelay.LinearInterpolator(), knots, np.sin(7 * knots))
    sorted_q = np.sort(source)
    copy = harness.copy_of(source)
    return [
        Row(
            f"floor: linear {order}, uniform 1k vs copy 1M",
            "numpy.copyto",
            lambda q=q: linear(q),
            copy,
            len(q),
            speed_only=True,
        )
        for order, q in (("sorted", sorted_q), ("random", source))
    ]


def growth_table(repeats: int) -> list[tuple[str, int, float, float]]:
    results = []
    m = 200_000
    for n in (10, 100, 1_000, 10_000, 100_000, 1_000_000):
        for grid in ("uniform", "uneven"):
            x = np.linspace(0.0, 1.0, n) if grid == "uniform" else uneven_knots(n) / (n - 1)
            y = np.sin(7 * x)
            q = RNG.uniform(0.0, 1.0, m)
            for label, cls in (
                ("linear", "LinearInterpolator"),
                ("cubic spline", "CubicSplineInterpolator"),
                ("quadratic", "QuadraticInterpolator"),
            ):
                if not has(cls):
                    continue
                f = fitted(getattr(morvelay, cls)(), x, y)
                times = [timed(lambda f=f, q=q: f(q)) for _ in range(repeats)]
                results.append((f"{label} random, {grid}", n, statistics.median(times) / m * 1e9, 0.0))
    return results


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--growth", action="store_true")
    parser.add_argument("--markdown", metavar="FILE")
    parser.add_argument(
        "--docs",
        action="store_true",
        help=f"every row and --growth, written to {DOCS.relative_to(ROOT)} and the README's summary",
    )
    parser.add_argument("--filter", default="")
    parser.add_argument("--no-peers", action="store_true", help="skip the peers table (bench/peers.py)")
    arguments = parser.parse_args()
    if arguments.docs:
        if arguments.filter or arguments.no_peers:
            parser.error("--docs records every row: it takes no --filter or --no-peers")
        arguments.growth, arguments.markdown = True, str(DOCS)

    rows = [*floor_rows(), *batch_rows(), *scalar_rows(), *fit_rows(), *thread_rows()]
    chosen = [row for row in rows if arguments.filter in row.name]
    if not chosen:
        names = "\n  ".join(dict.fromkeys(row.name for row in rows))
        parser.error(f"--filter {arguments.filter!r} matches no workload; the workloads are:\n  {names}")
    rows = chosen
    header = f"{'workload':<48}{'reference routine':<30}{'morvelay time':>16}{'reference time':>16}"
    header += f"{'speed-up':>9}  {'agreement':<15}copy floor"
    print(header)
    print("-" * len(header))
    table = []
    for row in rows:
        repeats = arguments.repeats if row.count else max(3, arguments.repeats // 2)
        measured = measure(row, repeats)
        ours, theirs, difference = measured.ours, measured.theirs, measured.agreement
        ratio = theirs / ours
        if row.speed_only:
            agree = "n/a"
        else:
            agree = f"yes ({difference:.0e})" if difference <= row.tolerance else f"NO ({difference:.1e})"
        floor = format_time(measured.floor, row.count).strip() if measured.floor is not None else "-"
        line = (
            f"{row.name:<48}{row.reference:<30}{format_time(ours, row.count):>16}{format_time(theirs, row.count):>16}"
        )
        print(f"{line}{ratio:>8.2f}x  {agree:<15}{floor}", flush=True)
        table.append((row, ours, theirs, ratio, agree, floor))

    peer_results = []
    if not arguments.no_peers:
        peer_results = peers.run_all(list(peers.FAMILIES), arguments.repeats, arguments.filter)
    growth = growth_table(max(3, arguments.repeats // 2)) if arguments.growth else []
    if growth:
        print(f"\n{'ns/query against the number of knots':<44}{'knots':>10}{'morvelay ns/query':>19}")
        for label, n, ns, _ in growth:
            print(f"{label:<44}{n:>10}{ns:>19.2f}")

    if arguments.markdown:
        write_markdown(arguments.markdown, table, peer_results, growth)
    if arguments.docs:
        try:
            update_readme()
        except SummaryError as error:
            print(f"README.md not updated: {error}")
            return 1
    return 0


NOTES_HEADING = "## What limits each ratio"


def write_markdown(path: str, table, peer_results, growth) -> None:
    # The hand-written notes at the end of an existing file survive a rerun.
    notes = ""
    if os.path.exists(path):
        with open(path) as existing:
            text = existing.read()
        if NOTES_HEADING in text:
            notes = text[text.index(NOTES_HEADING) :]
    try:
        load = "load average " + ", ".join(f"{value:.2f}" for value in os.getloadavg())
    except OSError:
        load = "load average unknown"
    lines = [
        "# Benchmarks",
        "",
        "Reproduce (sets up .venv, builds and installs the module, then runs every row with .venv's Python;",
        "this rewrites this file and the summary in README.md, both from the one run):",
        "",
        "    bash scripts/bench.sh --docs",
        "",
        "morvelay and the reference routine run in one process, interleaved, medians of repeats after a warm-up",
        "of the calling thread's CPU time (wall clock for the rows that use two threads: the machine is shared,",
        "and the wall clock would charge each call for the time other processes hold the core)",
        "(three repeats where a call takes over half a second), references single-threaded (BLAS/OpenMP threads",
        "= 1). Speed-up = reference time / morvelay time, so above 1 means morvelay is faster; for the floor rows",
        "it is copy time / evaluation time (1.00x would be at the floor). *Agreement* is the largest difference of",
        "the two results relative to the largest reference value (fits: of the two fitted objects at 1,000 probe",
        "points), against the row's tolerance. *Copy floor*: `np.copyto` into a new array the size of the batch's",
        "result, timed beside it in the same run, per query: no batch call that returns a new array can be faster.",
        "The core alone (no Python face) is measured by `bench/fill_many_bench.cpp` (build with",
        "`-DMORVELAY_BENCH=ON`, run `build/native/fill_many_bench`).",
        "",
        f"Machine: {platform.machine()}, {os.cpu_count()} cores ({processor_name()}), {platform.platform()}; "
        f"{load} when the run started.",
        f"Python {platform.python_version()}, NumPy {np.__version__}, SciPy {scipy.__version__}.",
        "",
        "| workload | reference routine | morvelay time | reference time | speed-up | agreement | copy floor |",
        "|---|---|---:|---:|---:|---|---:|",
    ]
    for row, ours, theirs, ratio, agree, floor in table:
        lines.append(
            f"| {row.name} | {row.reference} | {format_time(ours, row.count).strip()} | "
            f"{format_time(theirs, row.count).strip()} | {ratio:.2f}x | {agree} | {floor} |"
        )
    if peer_results:
        lines += ["", *peers.markdown(peer_results)]
    if growth:
        lines += [
            "",
            "## Cost against the number of knots (random queries)",
            "",
            "| method and queries | knots | morvelay ns/query |",
            "|---|---:|---:|",
        ]
        lines += [f"| {label} | {n} | {ns:.2f} |" for label, n, ns, _ in growth]
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")
        if notes:
            out.write("\n" + notes)
    print(f"\nwritten to {path}")


def processor_name() -> str:
    """The model and the widest vector set the multi-versioned kernels pick on it."""
    name, flags = platform.processor() or "unknown processor", set()
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    name = line.split(":", 1)[1].strip()
                elif line.startswith("flags"):
                    flags = set(line.split(":", 1)[1].split())
                    break
    except OSError:
        return name
    widest = "AVX-512" if "avx512f" in flags else "AVX2" if "avx2" in flags else "SSE2"
    return f"{name} with {widest}"


if __name__ == "__main__":
    raise SystemExit(main())
