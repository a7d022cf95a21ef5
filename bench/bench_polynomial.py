"""Global polynomial interpolators side by side with SciPy, in one process.

Run: .venv/bin/python bench/bench_polynomial.py   (once scripts/bench.sh has installed the module into .venv)
Reports the best of several runs of each operation and the ratio SciPy time / morvelay time.
"""

import timeit
import warnings

import numpy as np
from scipy.interpolate import BarycentricInterpolator, KroghInterpolator

from morvelay import HermiteInterpolator, LagrangeInterpolator, NewtonInterpolator

QUERIES = 100_000


def chebyshev(n):
    return np.cos(np.pi * (2 * np.arange(n) + 1) / (2 * n))


def bit_reversed(n):
    bits = max(1, (n - 1).bit_length())
    return np.array(sorted(range(n), key=lambda k: int(format(k, f"0{bits}b")[::-1], 2)))


def best(callable_, number=1, repeat=7):
    return min(timeit.repeat(callable_, number=number, repeat=repeat)) / number


def report(label, ours, theirs):
    print(f"{label:<44} morvelay {ours * 1e3:9.3f} ms   scipy {theirs * 1e3:9.3f} ms   ratio {theirs / ours:7.1f}x")


def main():
    rng = np.random.default_rng(0)
    t = rng.uniform(-1.0, 1.0, QUERIES)
    f = np.exp

    x = chebyshev(64)
    lagrange = LagrangeInterpolator()
    lagrange.fit(x, f(x))
    bary = BarycentricInterpolator(x, f(x))
    print(f"max |lagrange - scipy| = {np.max(np.abs(lagrange(t) - bary(t))):.2e}")
    report("Lagrange eval, 64 nodes, 100k queries", best(lambda: lagrange(t)), best(lambda: bary(t)))
    report(
        "Lagrange fit, 64 nodes",
        best(lambda: lagrange.fit(x, f(x)), 200),
        best(lambda: BarycentricInterpolator(x, f(x)), 200),
    )
    y2 = np.cos(x)
    report(
        "Lagrange update_y vs set_yi",
        best(lambda: lagrange.update_y(y2), 2000),
        best(lambda: bary.set_yi(y2), 2000),
    )

    def grow_ours():
        interp = LagrangeInterpolator()
        interp.fit(x[:32], f(x[:32]))
        for v in x[32:]:
            interp.add_point(v, f(v))

    def grow_scipy():
        interp = BarycentricInterpolator(x[:32], f(x[:32]))
        for v in x[32:]:
            interp.add_xi([v], [f(v)])

    report("Lagrange 32 x add_point vs add_xi", best(grow_ours, 20), best(grow_scipy, 20))

    order = bit_reversed(64)  # sorted nodes would cost the Newton form about 1e-3
    newton = NewtonInterpolator()
    newton.fit(x[order], f(x[order]))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        krogh = KroghInterpolator(x[order], f(x[order]))
        print(f"max |newton - krogh| = {np.max(np.abs(newton(t) - krogh(t))):.2e}")
        report("Newton eval, 64 nodes, 100k queries", best(lambda: newton(t)), best(lambda: krogh(t), repeat=3))
        report(
            "Newton fit, 64 nodes",
            best(lambda: newton.fit(x[order], f(x[order])), 200),
            best(lambda: KroghInterpolator(x[order], f(x[order])), 20),
        )

    xh = chebyshev(16)[bit_reversed(16)]
    hermite = HermiteInterpolator()
    hermite.fit(xh, f(xh), f(xh))
    doubled = np.repeat(xh, 2)
    values = np.column_stack([f(xh), f(xh)]).ravel()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        krogh_h = KroghInterpolator(doubled, values)
        print(f"max |hermite - krogh| = {np.max(np.abs(hermite(t) - krogh_h(t))):.2e}")
        report("Hermite eval, 16 doubled nodes, 100k queries", best(lambda: hermite(t)), best(lambda: krogh_h(t)))
        report(
            "Hermite fit, 16 nodes",
            best(lambda: hermite.fit(xh, f(xh), f(xh)), 200),
            best(lambda: KroghInterpolator(doubled, values), 200),
        )

    scalar = 0.3
    report("Lagrange scalar call", best(lambda: lagrange(scalar), 20000), best(lambda: bary(scalar), 2000))


if __name__ == "__main__":
    main()
