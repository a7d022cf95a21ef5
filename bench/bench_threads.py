"""Threads and call overheads: what letting the GIL go buys, and what small or non-float64 inputs cost.

    python bench/run.py --filter thread     # within the main table
    python bench/bench_threads.py           # these rows alone

Rows, each as ratio = reference time / morvelay time:
  * two threads evaluating one instance (1M-point spline batches, 20k-point RBF batches) against the same
    batches on one thread: about 2 on an idle 2-core machine, less when other processes share the cores
    (a control row runs numpy.sort the same way, to show what the machine allows at the time);
  * a one-element float64 array call against numpy.interp on the same array and against a scalar call;
  * float32 and int64 1M-point calls (answered with a list) against building that list alone
    (ndarray.tolist() of the float64 results): the cast and the evaluation on top of the list.
"""

from __future__ import annotations

import itertools

import harness  # before numpy, scipy and the peers: it holds their thread pools to one thread
import numpy as np
from harness import Row, on_threads

import morvelay

RNG = np.random.default_rng(harness.RNG_SEED)


def thread_rows() -> list[Row]:
    rows = []
    x = np.linspace(0.0, 999.0, 1000)
    y = np.sin(x / 37.0) + 0.1 * np.cos(x)
    spline = morvelay.CubicSplineInterpolator()
    spline.fit(x, y)
    spline_batches = [RNG.uniform(0.0, 999.0, 1_000_000) for _ in range(2)]
    centres = np.arange(1000.0) + RNG.uniform(-0.3, 0.3, 1000)
    rbf = morvelay.RBFInterpolator("gaussian", 1.0)
    rbf.fit(centres, np.sin(0.05 * centres) + 0.1 * np.cos(0.7 * centres))
    rbf_batches = [RNG.uniform(0.0, 999.0, 20_000) for _ in range(2)]
    repeats = 4  # batches per thread per timing, so thread start-up stays small beside the work
    for label, f, batches in (
        ("spline eval 2x1M", spline, spline_batches),
        ("RBF eval 2x20k (1k centres)", rbf, rbf_batches),
    ):

        def two(f=f, batches=batches):
            return on_threads(lambda i: [f(batches[i]) for _ in range(repeats)][-1], 2)

        def one(f=f, batches=batches):
            return [[f(q) for _ in range(repeats)][-1] for q in batches]

        rows.append(Row(f"threads: {label}, 2 threads", "same work, one thread", two, one, 0, wall_clock=True))

    # The same pattern on a NumPy routine that lets the GIL go: the ratio the machine itself allows now
    # (other processes on the cores, or per-session scheduling, hold it near 1 whatever the code does).
    sort_batches = [RNG.uniform(size=1_000_000) for _ in range(2)]
    rows.append(
        Row(
            "threads: control, numpy.sort 2x1M, 2 threads",
            "same work, one thread",
            lambda: on_threads(lambda i: [np.sort(sort_batches[i]) for _ in range(repeats)][-1], 2),
            lambda: [[np.sort(q) for _ in range(repeats)][-1] for q in sort_batches],
            0,
            wall_clock=True,
        )
    )

    linear = morvelay.LinearInterpolator()
    knots = np.linspace(0.0, 1.0, 1000)
    values = np.sin(7 * knots)
    linear.fit(knots, values)
    single = np.array([0.5])
    calls = 100_000

    def one_element(f=linear, a=single):
        for _ in itertools.repeat(None, calls):
            f(a)
        return f(a)

    def numpy_one_element(interp=np.interp, a=single):
        for _ in itertools.repeat(None, calls):
            interp(a, knots, values)
        return interp(a, knots, values)

    def scalar(f=linear):
        for _ in itertools.repeat(None, calls):
            f(0.5)
        return f(0.5)

    rows.append(
        Row(
            "one-element array call f(array([0.5]))",
            "numpy.interp(array([0.5]))",
            one_element,
            numpy_one_element,
            calls,
        )
    )
    rows.append(Row("one-element array call f(array([0.5]))", "scalar call f(0.5)", one_element, scalar, calls))

    queries = RNG.uniform(0.0, 999.0, 1_000_000)
    as_float64 = spline(queries)
    for dtype in (np.float32, np.int64):
        typed = queries.astype(dtype)
        rows.append(
            Row(
                f"{np.dtype(dtype).name} 1M call (list), spline",
                "building the list alone",
                lambda f=spline, q=typed: f(q),
                as_float64.tolist,
                len(queries),
                speed_only=True,
            )
        )
    return rows


def main() -> int:
    print(f"{'workload':<48}{'reference':<30}{'morvelay':>13}{'reference':>13}{'ratio':>8}")
    for row in thread_rows():
        measured = harness.measure(row, 7)
        ours, theirs = measured.ours, measured.theirs
        print(
            f"{row.name:<48}{row.reference:<30}{harness.format_time(ours, row.count):>13}"
            f"{harness.format_time(theirs, row.count):>13}{theirs / ours:>7.2f}x",
            flush=True,
        )
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
