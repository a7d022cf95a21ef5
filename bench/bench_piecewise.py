"""Piecewise quadratic and cubic spline against SciPy, side by side in one process.

Run: .venv/bin/python bench/bench_piecewise.py   (once scripts/bench.sh has installed the module into .venv)

Spline: morvelay.CubicSplineInterpolator against scipy.interpolate.CubicSpline (not-a-knot, the same end
conditions).  Quadratic: morvelay.QuadraticInterpolator against make_interp_spline(k=2).  Evaluation is
1,000,000 float64 queries on 1,000 knots, sorted and random, on evenly and unevenly spaced knots; fit is
1,000,000 points.  "copy floor" is numpy.copyto of the same number of doubles: the least any evaluation
that reads the queries and writes the answers can cost.  Times are the best of several runs.
"""

import time

import numpy as np
from scipy.interpolate import CubicSpline, make_interp_spline

import morvelay

M = 1_000_000
KNOTS = 1_000
FIT_POINTS = 1_000_000


def best_of(function, repeat=7):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        function()
        best = min(best, time.perf_counter() - start)
    return best


def knots(uniform, n, rng):
    if uniform:
        return np.linspace(0.0, 10.0, n)
    return np.concatenate(([0.0], np.sort(rng.uniform(0.0, 10.0, n - 2)), [10.0]))


def row(label, ours, theirs, floor=None):
    text = f"{label:<44} {ours * 1e3:9.3f} ms {theirs * 1e3:9.3f} ms {theirs / ours:7.1f}x"
    if floor is not None:
        text += f"   {ours / floor:5.1f}x floor"
    print(text)


def main():
    rng = np.random.default_rng(20240601)
    queries = rng.uniform(-0.5, 10.5, M)
    sorted_queries = np.sort(queries)
    source, target = np.empty(M), np.empty(M)
    floor = best_of(lambda: np.copyto(target, source))
    print(f"copy floor (numpy.copyto of {M} doubles): {floor * 1e3:.3f} ms\n")
    print(f"{'case':<44} {'morvelay':>12} {'scipy':>12} {'ratio':>8}")

    makers = [
        ("cubic spline", morvelay.CubicSplineInterpolator, lambda x, y: CubicSpline(x, y)),
        ("quadratic", morvelay.QuadraticInterpolator, lambda x, y: make_interp_spline(x, y, k=2)),
    ]
    for name, ours_class, theirs_make in makers:
        for uniform in (True, False):
            x = knots(uniform, KNOTS, rng)
            y = np.sin(x) + 0.1 * rng.normal(size=KNOTS)
            ours = ours_class()
            ours.fit(x, y)
            theirs = theirs_make(x, y)
            grid = "uniform" if uniform else "non-uniform"
            for order, q in (("sorted", sorted_queries), ("random", queries)):
                row(
                    f"{name} eval {order}, {grid} knots",
                    best_of(lambda q=q, f=ours: f(q)),
                    best_of(lambda q=q, f=theirs: f(q)),
                    floor if order == "sorted" else None,
                )
        x = knots(False, FIT_POINTS, rng)
        y = np.sin(x)
        # A new instance per fit, as SciPy builds a new object per fit.
        row(
            f"{name} fit, {FIT_POINTS} points",
            best_of(lambda x=x, y=y, make=ours_class: make().fit(x, y), 3),
            best_of(lambda x=x, y=y, make=theirs_make: make(x, y), 3),
        )
        print()


if __name__ == "__main__":
    main()
