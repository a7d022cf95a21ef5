"""A tour of morvelay: every method fitted to the same data, its error, its speed, and a figure.

The data is Runge's function f(x) = 1 / (1 + 25 x^2) on [-1, 1], sampled at equally spaced points (where
global polynomials famously oscillate) and at Chebyshev points (where they do not).  For each method the
table gives the largest error on a fine grid and the time per point of a batch evaluation, next to the
NumPy/SciPy routine a user would otherwise call.

Run:  python examples/tour.py [--no-figure]
"""

from __future__ import annotations

import sys
import time
from collections.abc import Callable
from dataclasses import dataclass

import numpy as np

import morvelay


def runge(x: np.ndarray) -> np.ndarray:
    return 1.0 / (1.0 + 25.0 * x * x)


def runge_slope(x: np.ndarray) -> np.ndarray:
    return -50.0 * x * runge(x) ** 2


N_DATA = 21
EQUAL = np.linspace(-1.0, 1.0, N_DATA)
CHEBYSHEV = np.cos(np.pi * (np.arange(N_DATA) + 0.5) / N_DATA)[::-1]
FINE = np.linspace(-1.0, 1.0, 2001)
SPEED_QUERIES = np.random.default_rng(0).uniform(-1.0, 1.0, 200_000)


@dataclass
class Method:
    name: str
    nodes: np.ndarray  # where the data is sampled
    build: Callable[[np.ndarray, np.ndarray], Callable[[np.ndarray], np.ndarray]]
    reference_name: str = ""
    reference: Callable[[np.ndarray, np.ndarray], Callable[[np.ndarray], np.ndarray]] | None = None


def fitted(instance: object, *arguments: object) -> object:
    instance.fit(*arguments)  # type: ignore[attr-defined]
    return instance


def scipy_interpolate():
    try:
        import scipy.interpolate as interpolate
    except ImportError:
        return None
    return interpolate


SI = scipy_interpolate()


def krogh_hermite(x: np.ndarray, y: np.ndarray) -> Callable[[np.ndarray], np.ndarray]:
    """SciPy's Hermite interpolant: KroghInterpolator over doubled nodes (it warns above degree 30)."""
    import warnings

    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return SI.KroghInterpolator(np.repeat(x, 2), np.column_stack([y, runge_slope(x)]).ravel())


METHODS: list[Method] = [
    Method(
        "linear",
        EQUAL,
        lambda x, y: fitted(morvelay.LinearInterpolator(), x, y),
        "numpy.interp",
        lambda x, y: lambda q: np.interp(q, x, y),
    ),
    Method(
        "lagrange",
        CHEBYSHEV,
        lambda x, y: fitted(morvelay.LagrangeInterpolator(), x, y),
        "BarycentricInterpolator",
        (lambda x, y: SI.BarycentricInterpolator(x, y)) if SI else None,
    ),
    Method(
        "newton",
        CHEBYSHEV,
        lambda x, y: fitted(morvelay.NewtonInterpolator(), x, y),
        "KroghInterpolator",
        (lambda x, y: SI.KroghInterpolator(x, y)) if SI else None,
    ),
    Method(
        "quadratic",
        EQUAL,
        lambda x, y: fitted(morvelay.QuadraticInterpolator(), x, y),
        "make_interp_spline(k=2)",
        (lambda x, y: SI.make_interp_spline(x, y, k=2)) if SI else None,
    ),
    Method(
        "cubic spline",
        EQUAL,
        lambda x, y: fitted(morvelay.CubicSplineInterpolator(), x, y),
        "scipy CubicSpline",
        (lambda x, y: SI.CubicSpline(x, y)) if SI else None,
    ),
    Method(
        "hermite",
        CHEBYSHEV,
        lambda x, y: fitted(morvelay.HermiteInterpolator(), x, y, runge_slope(x)),
        "KroghInterpolator (doubled)",
        krogh_hermite if SI else None,
    ),
    Method(
        "least squares 8",
        EQUAL,
        lambda x, y: fitted(morvelay.LeastSquaresInterpolator(8), x, y),
        "numpy.polyfit + polyval",
        lambda x, y: (lambda c: lambda q: np.polyval(c, q))(np.polyfit(x, y, 8)),
    ),
    Method(
        "rbf imq 5",
        EQUAL,
        lambda x, y: fitted(morvelay.RBFInterpolator("inverse_multiquadric", 5.0), x, y),
        "scipy RBFInterpolator",
        # Same kernel and epsilon, no polynomial term; SciPy wants points as rows.
        (
            lambda x, y: (lambda r: lambda q: r(q[:, None]))(
                SI.RBFInterpolator(x[:, None], y, kernel="inverse_multiquadric", epsilon=5.0, degree=-1)
            )
        )
        if SI
        else None,
    ),
    Method(
        "chebyshev",
        CHEBYSHEV,
        # The nodes run from the largest x down, so the values go in reversed.
        lambda x, y: fitted(morvelay.ChebyshevInterpolator(N_DATA), list(y[::-1])),
        "numpy chebval",
        lambda x, y: (lambda c: lambda q: np.polynomial.chebyshev.chebval(q, c))(
            np.polynomial.chebyshev.chebfit(x, y, N_DATA - 1)
        ),
    ),
]


def seconds_per_point(evaluate: Callable[[np.ndarray], object], queries: np.ndarray) -> float:
    evaluate(queries[:1000])  # warm up
    best = float("inf")
    for _ in range(5):
        start = time.perf_counter()
        evaluate(queries)
        best = min(best, time.perf_counter() - start)
    return best / len(queries)


def main() -> int:
    want_figure = "--no-figure" not in sys.argv
    truth = runge(FINE)
    print(f"morvelay tour: Runge's function 1/(1+25x^2) on [-1, 1], {N_DATA} data points\n")
    header = (
        f"{'method':<16}{'nodes':<11}{'max error':>11}{'ns/point':>10}   {'reference':<28}{'ns/point':>9}{'ratio':>8}"
    )
    print(header)
    print("-" * len(header))
    curves = []
    for method in METHODS:
        y = runge(method.nodes)
        interpolant = method.build(method.nodes, y)
        values = np.asarray(interpolant(FINE))
        error = float(np.max(np.abs(values - truth)))
        ours = seconds_per_point(interpolant, SPEED_QUERIES) * 1e9
        line = f"{method.name:<16}{'equal' if method.nodes is EQUAL else 'Chebyshev':<11}{error:>11.2e}{ours:>10.1f}"
        if method.reference is not None:
            theirs = seconds_per_point(method.reference(method.nodes, y), SPEED_QUERIES) * 1e9
            line += f"   {method.reference_name:<28}{theirs:>9.1f}{theirs / ours:>7.1f}x"
        print(line)
        curves.append((method, values))
    print("\nratio = reference time / morvelay time (higher is faster); batch of 200,000 random points.")
    if want_figure:
        draw(curves, truth)
    return 0


def draw(curves: list[tuple[Method, np.ndarray]], truth: np.ndarray) -> None:
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("No figure: install matplotlib (pip install matplotlib) to get tour.png.")
        return
    fig, (top, bottom) = plt.subplots(2, 1, figsize=(10, 9), sharex=True)
    top.plot(FINE, truth, color="black", linewidth=2.5, label="Runge's function")
    for method, values in curves:
        top.plot(FINE, values, linewidth=1.2, label=method.name)
        bottom.semilogy(FINE, np.abs(values - truth) + 1e-17, linewidth=1.0, label=method.name)
    top.set_ylim(-0.5, 1.5)
    top.set_title(f"morvelay: nine interpolants of 1/(1+25x²) from {N_DATA} samples")
    top.legend(fontsize=8, ncol=3)
    bottom.set_ylabel("absolute error")
    bottom.set_xlabel("x")
    bottom.legend(fontsize=8, ncol=3)
    fig.tight_layout()
    fig.savefig("tour.png", dpi=110)
    print("Figure written to tour.png")


if __name__ == "__main__":
    sys.exit(main())
