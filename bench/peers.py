"""morvelay against the fastest packages a performance-minded user would pick: numba (np.interp compiled, and
the ten-line kernels such a user writes), interpn (Rust), EconForge's interpolation, and JAX with interpax.

Each family runs in a process of its own, pinned to one CPU with its thread pools held to one worker, and
morvelay runs beside it in that process, interleaved, on the same data.  Every process reports its
threads' run time from the kernel's scheduler statistics over the timed calls, which shows that only one
thread did the work.  The first call of a JIT peer (its compile) is reported apart from the steady
times, and so is JAX's compile for a new query length.

    python bench/peers.py                   # every family, one process each
    python bench/peers.py --family numba    # one family, in this process, as JSON (what the first runs)

The peers are installed into .venv by scripts/bench.sh from requirements-bench.txt; a family whose
package is missing is skipped with a note.
"""

from __future__ import annotations

import argparse
import importlib
import importlib.util
import json
import statistics
import subprocess
import sys
import time
from collections.abc import Callable
from dataclasses import dataclass
from importlib import metadata
from pathlib import Path

import harness  # before numpy, scipy and the peers: it holds their thread pools to one thread
import numpy as np
import scipy.interpolate as si
from harness import ThreadClock, copy_of, fitted, relative_difference, timed

import morvelay

FAMILIES = ("numba", "interpn", "interpolation", "jax")
HERE = Path(__file__).resolve().parent
SAME = 1e-12  # relative: two evaluations of one interpolant differ by rounding only
KNOTS, QUERIES, RBF_QUERIES = 1000, 1_000_000, 100_000


@dataclass
class PeerRow:
    workload: str
    peer: str
    ours: Callable[[], object]
    theirs: Callable[[], object]
    count: int
    differs: str = ""  # how the peer's interpolant differs from ours; empty when it is the same one
    new_length: Callable[[], object] | None = None  # the peer on a query length it has not seen (JAX)


class Data:
    """The workloads, the same in every process: 1k knots (even and uneven) with 1M queries, 1k uneven RBF
    centres with 100k queries, and morvelay fitted to each."""

    def __init__(self) -> None:
        rng = np.random.default_rng(harness.RNG_SEED)
        self.grids = {}
        for grid in ("uniform", "uneven"):
            if grid == "uniform":
                x = np.linspace(0.0, 999.0, KNOTS)
            else:
                steps = rng.uniform(0.5, 1.5, KNOTS - 1)
                x = np.concatenate([[0.0], np.cumsum(steps)]) * (KNOTS - 1) / steps.sum()
            y = np.sin(x / 37.0) + 0.1 * np.cos(x)
            q = rng.uniform(x[0], x[-1], QUERIES)
            self.grids[grid] = {
                "x": x,
                "y": y,
                "random": q,
                "sorted": np.sort(q),
                "linear": fitted(morvelay.LinearInterpolator(), x, y),
                "spline": fitted(morvelay.CubicSplineInterpolator(), x, y),
            }
        self.centres = np.arange(float(KNOTS)) + rng.uniform(-0.3, 0.3, KNOTS)
        self.values = np.sin(0.05 * self.centres) + 0.1 * np.cos(0.7 * self.centres)
        self.rbf_q = rng.uniform(0.0, KNOTS - 1.0, RBF_QUERIES)
        self.rbf = fitted(morvelay.RBFInterpolator("gaussian", 1.0), self.centres, self.values)

    def rows_for(self, build) -> list[PeerRow]:
        """Calls build(grid, order, data) for the four linear workloads' grids and orders."""
        return [
            row
            for grid in ("uniform", "uneven")
            for order in ("random", "sorted")
            for row in build(grid, order, self.grids[grid])
        ]


def spline_coefficients(x: np.ndarray, y: np.ndarray) -> np.ndarray:
    """The not-a-knot spline's segment polynomials as a (segments, 4) table, for the hand-written kernels."""
    return np.ascontiguousarray(si.CubicSpline(x, y).c.T)


# ---------------------------------------------------------------------------------------------- numba


def numba_rows(data: Data) -> list[PeerRow]:
    import numba

    @numba.njit
    def np_interp(q, x, y):
        return np.interp(q, x, y)

    # What a performance user writes for evenly spaced knots: the segment from one multiply, clamped.
    @numba.njit
    def uniform_linear(q, x0, inv_h, y):
        out = np.empty_like(q)
        last = y.size - 2
        for k in range(q.size):
            t = (q[k] - x0) * inv_h
            i = min(max(int(t), 0), last)
            out[k] = y[i] + (t - i) * (y[i + 1] - y[i])
        return out

    # ... and for any knots: bisection.
    @numba.njit
    def bisect_linear(q, x, y):
        out = np.empty_like(q)
        for k in range(q.size):
            v, lo, hi = q[k], 0, x.size - 1
            while hi - lo > 1:
                mid = (lo + hi) >> 1
                if x[mid] <= v:
                    lo = mid
                else:
                    hi = mid
            out[k] = y[lo] + (v - x[lo]) * (y[lo + 1] - y[lo]) / (x[lo + 1] - x[lo])
        return out

    # The same two searches over the not-a-knot spline's coefficients from SciPy: our interpolant.
    @numba.njit
    def uniform_cubic(q, x, inv_h, c):
        out = np.empty_like(q)
        last = c.shape[0] - 1
        for k in range(q.size):
            i = min(max(int((q[k] - x[0]) * inv_h), 0), last)
            d = q[k] - x[i]
            out[k] = ((c[i, 0] * d + c[i, 1]) * d + c[i, 2]) * d + c[i, 3]
        return out

    @numba.njit
    def bisect_cubic(q, x, c):
        out = np.empty_like(q)
        for k in range(q.size):
            v, lo, hi = q[k], 0, x.size - 1
            while hi - lo > 1:
                mid = (lo + hi) >> 1
                if x[mid] <= v:
                    lo = mid
                else:
                    hi = mid
            d = v - x[lo]
            out[k] = ((c[lo, 0] * d + c[lo, 1]) * d + c[lo, 2]) * d + c[lo, 3]
        return out

    @numba.njit
    def uniform_linear_scalar(v, x0, inv_h, y):
        i = min(max(int((v - x0) * inv_h), 0), y.size - 2)
        t = (v - x0) * inv_h - i
        return y[i] + t * (y[i + 1] - y[i])

    def linear(grid, order, d):
        x, y, q, f = d["x"], d["y"], d[order], d["linear"]
        rows = [
            PeerRow(f"linear {order}, {grid}", "njit(np.interp)", lambda: f(q), lambda: np_interp(q, x, y), QUERIES),
            PeerRow(
                f"linear {order}, {grid}",
                "numba bisection kernel",
                lambda: f(q),
                lambda: bisect_linear(q, x, y),
                QUERIES,
            ),
        ]
        if grid == "uniform":
            inv_h = (x.size - 1) / (x[-1] - x[0])
            rows.append(
                PeerRow(
                    f"linear {order}, {grid}",
                    "numba O(1) uniform kernel",
                    lambda: f(q),
                    lambda: uniform_linear(q, x[0], inv_h, y),
                    QUERIES,
                )
            )
        return rows

    rows = data.rows_for(linear)
    for grid in ("uniform", "uneven"):
        d = data.grids[grid]
        x, q, f, c = d["x"], d["random"], d["spline"], spline_coefficients(d["x"], d["y"])
        if grid == "uniform":
            inv_h = (x.size - 1) / (x[-1] - x[0])
            rows.append(
                PeerRow(
                    f"cubic spline random, {grid}",
                    "numba O(1) uniform kernel",
                    lambda f=f, q=q: f(q),
                    lambda x=x, q=q, c=c, inv_h=inv_h: uniform_cubic(q, x, inv_h, c),
                    QUERIES,
                )
            )
        rows.append(
            PeerRow(
                f"cubic spline random, {grid}",
                "numba bisection kernel",
                lambda f=f, q=q: f(q),
                lambda x=x, q=q, c=c: bisect_cubic(q, x, c),
                QUERIES,
            )
        )
    d = data.grids["uniform"]
    x, y, f = d["x"], d["y"], d["linear"]
    inv_h = (x.size - 1) / (x[-1] - x[0])
    rows += calls_rows(
        f,
        "numba scalar kernel",
        lambda v: uniform_linear_scalar(v, x[0], inv_h, y),
        "njit(np.interp)",
        lambda a: np_interp(a, x, y),
    )
    return rows


def calls_rows(f, scalar_peer: str, scalar, array_peer: str, array) -> list[PeerRow]:
    """Per-call cost: f(0.5) against the peer's scalar call, and f(array([0.5])) against its array call,
    each looped as timeit does."""
    import itertools

    calls = 100_000
    single = np.array([0.5])

    def looped(call, argument):
        def run():
            for _ in itertools.repeat(None, calls):
                call(argument)
            return call(argument)

        return run

    return [
        PeerRow("scalar call f(0.5), linear", scalar_peer, looped(f, 0.5), looped(scalar, 0.5), calls),
        PeerRow("one-element array call f(array([0.5]))", array_peer, looped(f, single), looped(array, single), calls),
    ]


# -------------------------------------------------------------------------------------------- interpn


def interpn_rows(data: Data) -> list[PeerRow]:
    from interpn import raw

    native = importlib.import_module("interpn.interpn")  # the extension; the package's name for it is a function

    def regular(kind, x, y):
        dims, starts, steps = np.array([x.size]), np.array([x[0]]), np.array([(x[-1] - x[0]) / (x.size - 1)])
        if kind == "linear":
            return lambda q: out_of(q, lambda o: raw.interpn_linear_regular_f64(dims, starts, steps, y, [q], o))
        return lambda q: out_of(q, lambda o: raw.interpn_cubic_regular_f64(dims, starts, steps, y, True, [q], o))

    def rectilinear(kind, x, y):
        if kind == "linear":
            return lambda q: out_of(q, lambda o: raw.interpn_linear_rectilinear_f64([x], y, [q], o))
        return lambda q: out_of(q, lambda o: raw.interpn_cubic_rectilinear_f64([x], y, True, [q], o))

    def linear(grid, order, d):
        x, y, q, f = d["x"], d["y"], d[order], d["linear"]
        name = "interpn_linear_regular_f64" if grid == "uniform" else "interpn_linear_rectilinear_f64"
        peer = (regular if grid == "uniform" else rectilinear)("linear", x, y)
        return [PeerRow(f"linear {order}, {grid}", name, lambda: f(q), lambda: peer(q), QUERIES)]

    def bspline(grid, x, y):
        # Coefficients once, as MultiBspline*.new does; the evaluation is the native call it wraps.
        coefficients, scratch = np.zeros_like(y), np.zeros(2 * y.size)
        if grid == "uniform":
            dims, starts, steps = np.array([x.size]), np.array([x[0]]), np.array([(x[-1] - x[0]) / (x.size - 1)])
            raw.coefficients_bspline_regular_f64(dims, y, coefficients, scratch)
            return lambda q: out_of(
                q, lambda o: native._eval_bspline_regular_f64(dims, starts, steps, coefficients, True, [q], o)
            )
        raw.coefficients_bspline_rectilinear_f64([x], y, coefficients, scratch)
        return lambda q: out_of(q, lambda o: native._eval_bspline_rectilinear_f64([x], coefficients, True, [q], o))

    rows = data.rows_for(linear)
    for grid in ("uniform", "uneven"):
        d = data.grids[grid]
        x, y, q, f = d["x"], d["y"], d["random"], d["spline"]
        peer = bspline(grid, x, y)
        rows.append(
            PeerRow(
                f"cubic spline random, {grid}",
                f"interpn B-spline ({'regular' if grid == 'uniform' else 'rectilinear'})",
                lambda f=f, q=q: f(q),
                lambda peer=peer, q=q: peer(q),
                QUERIES,
                differs="its own end conditions",
            )
        )
        name = "interpn_cubic_regular_f64" if grid == "uniform" else "interpn_cubic_rectilinear_f64"
        peer = (regular if grid == "uniform" else rectilinear)("cubic", x, y)
        rows.append(
            PeerRow(
                f"cubic spline random, {grid}",
                name,
                lambda f=f, q=q: f(q),
                lambda peer=peer, q=q: peer(q),
                QUERIES,
                differs="C1 cubic Hermite, finite-difference slopes",
            )
        )
    return rows


def out_of(q: np.ndarray, fill: Callable[[np.ndarray], None]) -> np.ndarray:
    """A peer that fills a caller's array, given a new one as morvelay's call returns one."""
    out = np.empty_like(q)
    fill(out)
    return out


# ------------------------------------------------------------------------------ EconForge interpolation


def interpolation_rows(data: Data) -> list[PeerRow]:
    # Its bundled template engine imports `cgi` (gone since Python 3.13) for an HTML escape the splines
    # never call: a stand-in lets the package load.
    if importlib.util.find_spec("cgi") is None:
        import html
        import types

        sys.modules["cgi"] = types.ModuleType("cgi")
        sys.modules["cgi"].escape = lambda text, quote=False: html.escape(text, quote)  # type: ignore[attr-defined]
    from interpolation.splines import CGrid, UCGrid, eval_cubic, eval_linear, filter_cubic

    def linear(grid, order, d):
        x, y, q, f = d["x"], d["y"], d[order], d["linear"]
        points = q.reshape(-1, 1)
        g = UCGrid((x[0], x[-1], x.size)) if grid == "uniform" else CGrid(x)
        return [
            PeerRow(f"linear {order}, {grid}", "eval_linear", lambda: f(q), lambda: eval_linear(g, y, points), QUERIES)
        ]

    rows = data.rows_for(linear)
    d = data.grids["uniform"]
    x, y, q, f = d["x"], d["y"], d["random"], d["spline"]
    g = UCGrid((x[0], x[-1], x.size))
    coefficients = filter_cubic(g, y)
    points = q.reshape(-1, 1)
    rows.append(
        PeerRow(
            "cubic spline random, uniform",
            "eval_cubic (filter_cubic)",
            lambda: f(q),
            lambda: eval_cubic(g, coefficients, points),
            QUERIES,
            differs="cubic B-spline with natural ends",
        )
    )
    return rows


# ------------------------------------------------------------------------------------- JAX, interpax


def jax_rows(data: Data) -> list[PeerRow]:
    import jax

    jax.config.update("jax_enable_x64", True)
    # Otherwise a CPU computation runs on a worker thread while the caller waits: one at a time, but on
    # two threads.  Synchronous dispatch runs it on the calling thread, which the thread check then shows.
    jax.config.update("jax_cpu_enable_async_dispatch", False)
    import interpax
    import jax.numpy as jnp

    interp = jax.jit(jnp.interp)
    evaluate = jax.jit(lambda interpolant, q: interpolant(q))
    evaluate_column = jax.jit(lambda interpolant, q: interpolant(q[:, None]))

    def ready(call):
        return lambda: call().block_until_ready()

    def longer(q):
        return jnp.asarray(np.append(q, q[:1]))  # a length the compiled function has not seen

    def linear(grid, order, d):
        x, y, q, f = d["x"], d["y"], d[order], d["linear"]
        xj, yj, qj, qn = jnp.asarray(x), jnp.asarray(y), jnp.asarray(q), longer(q)
        return [
            PeerRow(
                f"linear {order}, {grid}",
                "jit(jnp.interp)",
                lambda: f(q),
                ready(lambda: interp(qj, xj, yj)),
                QUERIES,
                new_length=ready(lambda: interp(qn, xj, yj)),
            )
        ]

    rows = data.rows_for(linear)
    for grid in ("uniform", "uneven"):
        d = data.grids[grid]
        x, y, q, f = d["x"], d["y"], d["random"], d["spline"]
        qj, qn = jnp.asarray(q), longer(q)
        for peer, interpolant, differs in (
            ("interpax CubicSpline", interpax.CubicSpline(x, y), ""),
            (
                "interpax Interpolator1D(cubic)",
                interpax.Interpolator1D(x, y, method="cubic"),
                "C1 cubic Hermite, finite-difference slopes",
            ),
        ):
            rows.append(
                PeerRow(
                    f"cubic spline random, {grid}",
                    peer,
                    lambda f=f, q=q: f(q),
                    ready(lambda s=interpolant, qj=qj: evaluate(s, qj)),
                    QUERIES,
                    differs=differs,
                    new_length=ready(lambda s=interpolant, qn=qn: evaluate(s, qn)),
                )
            )
    rbf = interpax.RBFInterpolator(data.centres[:, None], data.values, kernel="gaussian", epsilon=1.0, degree=-1)
    qj, qn = jnp.asarray(data.rbf_q), longer(data.rbf_q)
    rows.append(
        PeerRow(
            "RBF gaussian, uneven 1k centres",
            "interpax RBFInterpolator",
            lambda: data.rbf(data.rbf_q),
            ready(lambda: evaluate_column(rbf, qj)),
            RBF_QUERIES,
            new_length=ready(lambda: evaluate_column(rbf, qn)),
        )
    )
    return rows


PEER_NOTES = [
    "`njit(np.interp)`: NumPy's piecewise line compiled by numba (our linear interpolant inside the knots).",
    "numba bisection / O(1) uniform kernels: the ten-line loops a performance user writes (segment by bisection, "
    "or by one multiply and a clamp on even knots), for the line and for SciPy's not-a-knot `CubicSpline` "
    "coefficients by Horner's rule: our interpolants, without our NaN handling or segment check.",
    "interpn `interpn_linear_*_f64`: the piecewise line (Rust). `interpn_cubic_*_f64`: a C1 cubic Hermite with "
    "central-difference slopes, not a spline. interpn B-spline: an interpolating cubic B-spline.",
    "EconForge `interpolation`: `eval_linear` the piecewise line on `UCGrid`/`CGrid`; `eval_cubic` a cubic "
    "B-spline on even knots whose `filter_cubic` coefficients use natural-type end rows.",
    "`jit(jnp.interp)`: JAX's piecewise line, compiled by XLA. interpax `CubicSpline`: not-a-knot, our interpolant; "
    "`Interpolator1D(method='cubic')`: a C1 cubic with finite-difference slopes. interpax `RBFInterpolator`: "
    "SciPy's formulation (gaussian exp(-(eps r)^2), degree -1 here: no polynomial term), our interpolant.",
]

BUILDERS = {"numba": numba_rows, "interpn": interpn_rows, "interpolation": interpolation_rows, "jax": jax_rows}
PACKAGES = {"numba": ["numba"], "interpn": ["interpn"], "interpolation": ["interpolation"], "jax": ["jax", "interpax"]}


# ------------------------------------------------------------------------------------ one family's run


def run_family(family: str, repeats: int, cpu: int | None) -> dict:
    """Measures one family in this process; the result is what the parent prints."""
    pinned = harness.pin_to_one_cpu(cpu)
    result: dict = {"family": family, "cpu": pinned, "rows": []}
    try:
        result["versions"] = {name: metadata.version(name) for name in PACKAGES[family]}
        data = Data()
        rows = BUILDERS[family](data)
    except ImportError as error:  # an uninstalled peer package: the table notes it and goes on
        result["skipped"] = f"{type(error).__name__}: {error}"
        return result
    clock = ThreadClock()
    for row in rows:
        first = timed(row.theirs, wall_clock=True)  # the peer's first call: its compile, for a JIT
        ours_result, theirs_result = row.ours(), row.theirs()
        difference = relative_difference(ours_result, theirs_result)
        floor = copy_of(ours_result) if isinstance(ours_result, np.ndarray) and ours_result.size > 1 else None
        ours, theirs, copies = [], [], []
        for _ in range(repeats):
            ours.append(clock.region(lambda row=row: timed(row.ours)))
            theirs.append(clock.region(lambda row=row: timed(row.theirs)))
            if floor is not None:
                copies.append(timed(floor))
        steady = statistics.median(theirs)
        result["rows"].append(
            {
                "workload": row.workload,
                "peer": row.peer,
                "count": row.count,
                "ours": statistics.median(ours),
                "theirs": steady,
                "floor": statistics.median(copies) if copies else None,
                "difference": difference,
                "differs": row.differs,
                "first_call": first,
                "new_length": timed(row.new_length, wall_clock=True) if row.new_length else None,
            }
        )
    result["threads"] = clock.report()
    result["single_thread"] = clock.single()
    return result


# --------------------------------------------------------------------------------- the parent's table


def run_all(families: list[str], repeats: int, text_filter: str = "") -> list[dict]:
    results = []
    for family in families:
        command = [sys.executable, str(HERE / "peers.py"), "--family", family, "--repeats", str(repeats)]
        started = time.perf_counter()
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            tail = done.stderr.strip().splitlines()[-1:] or ["no output"]
            results.append({"family": family, "skipped": f"the process failed: {tail[0]}", "rows": []})
        else:
            results.append(json.loads(done.stdout.strip().splitlines()[-1]))
        results[-1]["seconds"] = time.perf_counter() - started
        results[-1]["rows"] = [row for row in results[-1]["rows"] if text_filter in row["workload"]]
        print_family(results[-1])
    return results


def verdict(row: dict) -> tuple[float, str, str]:
    """The ratio (peer / morvelay), what the peer computes, and the aim: 1.5x over a peer with our
    interpolant, 1x over one whose interpolant differs."""
    ratio = row["theirs"] / row["ours"]
    same = row["difference"] <= SAME
    if same:
        computes = "same"
    else:
        computes = f"differs by {row['difference']:.1e}" + (f" ({row['differs']})" if row["differs"] else "")
    aim = 1.5 if same else 1.0
    return ratio, computes, f"{aim:.1f}x {'met' if ratio >= aim else 'SHORT'}"


def per_query(seconds: float | None, count: int) -> str:
    return "-" if seconds is None else f"{seconds / count * 1e9:.2f}"


def warm_up_text(row: dict) -> str:
    first = f"first call {row['first_call'] * 1e3:.1f} ms"
    if row["new_length"] is not None:
        first += f", new length {row['new_length'] * 1e3:.1f} ms"
    return first


def print_family(result: dict) -> None:
    versions = ", ".join(f"{k} {v}" for k, v in result.get("versions", {}).items())
    print(f"\n{result['family']} ({versions or 'not installed'}), CPU {result.get('cpu', '?')}", end="")
    if "skipped" in result:
        print(f": skipped, {result['skipped']}")
        return
    proof = "one thread" if result["single_thread"] else "MORE THAN ONE THREAD"
    print(f", {result['seconds']:.0f} s: {result['threads']}: {proof}")
    header = f"  {'workload':<40}{'peer':<32}{'ours ns':>9}{'peer ns':>9}{'copy ns':>9}{'ratio':>8}  {'aim':<11}"
    print(header + "computes, warm-up")
    for row in result["rows"]:
        ratio, computes, aim = verdict(row)
        print(
            f"  {row['workload']:<40}{row['peer']:<32}{per_query(row['ours'], row['count']):>9}"
            f"{per_query(row['theirs'], row['count']):>9}{per_query(row['floor'], row['count']):>9}"
            f"{ratio:>7.2f}x  {aim:<11}{computes}; {warm_up_text(row)}",
            flush=True,
        )


def markdown(results: list[dict]) -> list[str]:
    lines = [
        "## Peers",
        "",
        "Each family in a process of its own, pinned to one CPU (thread pools of numba, XLA and BLAS held to one",
        "worker), morvelay beside it in that process on the same data, interleaved, medians of repeats after a",
        "warm-up, in the calling thread's CPU time (the only thread that ran). Ratio = peer time / morvelay time.",
        "Aim: 1.5x where the peer computes our interpolant, 1x where it differs (the difference is the largest",
        "relative to the largest value). *Copy* is `np.copyto` of a query-sized array in the same run: the floor",
        "of any batch call. The first call of a JIT peer (wall clock)",
        "includes its compile; JAX compiles again for each new query length.",
        "",
        "What each peer computes:",
        "",
        *[f"- {note}" for note in PEER_NOTES],
        "",
    ]
    for result in results:
        versions = ", ".join(f"{k} {v}" for k, v in result.get("versions", {}).items())
        if "skipped" in result:
            lines += [f"- **{result['family']}**: skipped ({result['skipped']}).", ""]
            continue
        proof = "one thread ran" if result["single_thread"] else "more than one thread ran"
        lines += [f"**{result['family']}** ({versions}), CPU {result['cpu']}: {result['threads']}; {proof}.", ""]
        lines += [
            "| workload | peer | morvelay ns/query | peer ns/query | copy ns/query | ratio | aim | computes "
            "| warm-up |",
            "|---|---|---:|---:|---:|---:|---|---|---|",
        ]
        for row in result["rows"]:
            ratio, computes, aim = verdict(row)
            lines.append(
                f"| {row['workload']} | {row['peer']} | {per_query(row['ours'], row['count'])} | "
                f"{per_query(row['theirs'], row['count'])} | {per_query(row['floor'], row['count'])} | "
                f"{ratio:.2f}x | {aim} | {computes} | {warm_up_text(row)} |"
            )
        lines.append("")
    return lines


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--family", choices=FAMILIES, help="run one family in this process and print JSON")
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--cpu", type=int, help="the CPU to pin to (default: the last one allowed)")
    arguments = parser.parse_args()
    if arguments.family:
        print(json.dumps(run_family(arguments.family, arguments.repeats, arguments.cpu)))
        return 0
    run_all(list(FAMILIES), arguments.repeats)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
