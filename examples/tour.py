"""A tour of morvelay: every method fitted to the same data, its error, its speed, and a figure.

The data is Runge's function f(x) = 1 / (1 + 25 x^2) on [-1, 1], sampled at 21 equally spaced points
(where a global polynomial through all of them oscillates wildly near the ends) and at 21 Chebyshev
points (where it converges).  Every method sees both samples, except ChebyshevInterpolator, which
places its own nodes.  For each fit the table gives the largest error on a fine grid and the time per
point of one batch evaluation, next to the NumPy/SciPy routine a user would otherwise call.

Run:  python examples/tour.py [--no-figure]        (writes tour.png into the current directory)
"""

from __future__ import annotations

import importlib
import sys
import time
import warnings
from collections.abc import Callable
from dataclasses import dataclass
from typing import Any

import numpy as np
import numpy.typing as npt

import morvelay

FloatArray = npt.NDArray[np.float64]
Evaluator = Callable[[FloatArray], FloatArray]
Builder = Callable[[FloatArray, FloatArray], Evaluator]


def runge(x: FloatArray) -> FloatArray:
    return 1.0 / (1.0 + 25.0 * x * x)


def runge_slope(x: FloatArray) -> FloatArray:
    return -50.0 * x * runge(x) ** 2


N_DATA = 21
EQUAL: FloatArray = np.linspace(-1.0, 1.0, N_DATA)
# ChebyshevInterpolator's own nodes (largest first), in increasing order for everyone else.
CHEBYSHEV: FloatArray = np.array(morvelay.ChebyshevInterpolator(N_DATA).get_nodes()[::-1])
NODE_SETS = {"equal": EQUAL, "Chebyshev": CHEBYSHEV}
FINE: FloatArray = np.linspace(-1.0, 1.0, 2001)
SPEED_QUERIES: FloatArray = np.random.default_rng(0).uniform(-1.0, 1.0, 100_000)


def optional_scipy_interpolate() -> Any:
    """scipy.interpolate if installed (it ships no type information, hence Any), else None."""
    try:
        return importlib.import_module("scipy.interpolate")
    except ImportError:
        return None


SI = optional_scipy_interpolate()


# ---- morvelay: each builder fits one instance; the instance itself is the evaluator.


def linear(x: FloatArray, y: FloatArray) -> Evaluator:
    interp = morvelay.LinearInterpolator()
    interp.fit(x, y)
    return interp


def lagrange(x: FloatArray, y: FloatArray) -> Evaluator:
    interp = morvelay.LagrangeInterpolator()
    interp.fit(x, y)
    return interp


def newton(x: FloatArray, y: FloatArray) -> Evaluator:
    interp = morvelay.NewtonInterpolator()
    interp.fit(x, y)
    return interp


def quadratic(x: FloatArray, y: FloatArray) -> Evaluator:
    interp = morvelay.QuadraticInterpolator()
    interp.fit(x, y)
    return interp


def cubic_spline(x: FloatArray, y: FloatArray) -> Evaluator:
    interp = morvelay.CubicSplineInterpolator()
    interp.fit(x, y)
    return interp


def hermite(x: FloatArray, y: FloatArray) -> Evaluator:
    interp = morvelay.HermiteInterpolator()
    interp.fit(x, y, runge_slope(x))
    return interp


def least_squares(x: FloatArray, y: FloatArray) -> Evaluator:
    interp = morvelay.LeastSquaresInterpolator(degree=8)
    interp.fit(x, y)
    return interp


def rbf(x: FloatArray, y: FloatArray) -> Evaluator:
    interp = morvelay.RBFInterpolator("inverse_multiquadric", epsilon=5.0)
    interp.fit(x, y)
    return interp


def chebyshev(x: FloatArray, y: FloatArray) -> Evaluator:
    interp = morvelay.ChebyshevInterpolator(N_DATA)
    interp.fit(y[::-1])  # x is its node set in increasing order; fit wants the values in node order
    return interp


# ---- what a NumPy/SciPy user would call instead.


def numpy_interp(x: FloatArray, y: FloatArray) -> Evaluator:
    return lambda q: np.interp(q, x, y)


def numpy_polyfit(x: FloatArray, y: FloatArray) -> Evaluator:
    polynomial = np.polynomial.Polynomial.fit(x, y, 8)
    return lambda q: np.asarray(polynomial(q), dtype=np.float64)


def numpy_chebfit(x: FloatArray, y: FloatArray) -> Evaluator:
    coefficients = np.polynomial.chebyshev.chebfit(x, y, N_DATA - 1)
    return lambda q: np.asarray(np.polynomial.chebyshev.chebval(q, coefficients), dtype=np.float64)


def scipy_builder(make: Callable[[FloatArray, FloatArray], Any]) -> Builder | None:
    """A builder around a SciPy interpolator object, or None when SciPy is missing."""
    if SI is None:
        return None

    def build(x: FloatArray, y: FloatArray) -> Evaluator:
        with warnings.catch_warnings():  # KroghInterpolator warns about high degrees; that is the point here
            warnings.simplefilter("ignore")
            instance = make(x, y)
        return lambda q: np.asarray(instance(q), dtype=np.float64)

    return build


def scipy_rbf(x: FloatArray, y: FloatArray) -> Any:
    # Same kernel and epsilon, no polynomial term; SciPy wants points as rows.
    instance = SI.RBFInterpolator(x[:, None], y, kernel="inverse_multiquadric", epsilon=5.0, degree=-1)
    return lambda q: instance(q[:, None])


@dataclass(frozen=True)
class Method:
    name: str
    build: Builder
    reference_name: str
    reference: Builder | None
    node_sets: tuple[str, ...] = ("equal", "Chebyshev")


METHODS: list[Method] = [
    Method("Linear", linear, "numpy.interp", numpy_interp),
    Method(
        "Lagrange", lagrange, "BarycentricInterpolator", scipy_builder(lambda x, y: SI.BarycentricInterpolator(x, y))
    ),
    Method("Newton", newton, "KroghInterpolator", scipy_builder(lambda x, y: SI.KroghInterpolator(x, y))),
    # A different curve from ours (one global C1 spline, not parabolas through triplets): timing only.
    Method(
        "Quadratic", quadratic, "make_interp_spline(k=2)", scipy_builder(lambda x, y: SI.make_interp_spline(x, y, 2))
    ),
    Method("CubicSpline", cubic_spline, "CubicSpline", scipy_builder(lambda x, y: SI.CubicSpline(x, y))),
    Method(
        "Hermite",
        hermite,
        "KroghInterpolator (x doubled)",
        scipy_builder(lambda x, y: SI.KroghInterpolator(np.repeat(x, 2), np.column_stack([y, runge_slope(x)]).ravel())),
    ),
    Method("LeastSquares (degree 8)", least_squares, "Polynomial.fit (degree 8)", numpy_polyfit),
    Method("RBF (inverse_multiquadric, 5)", rbf, "RBFInterpolator", scipy_builder(scipy_rbf)),
    Method("Chebyshev", chebyshev, "chebfit + chebval", numpy_chebfit, ("Chebyshev",)),
]


def seconds_per_point(evaluate: Evaluator, queries: FloatArray) -> float:
    evaluate(queries[:1000])  # warm up
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        evaluate(queries)
        best = min(best, time.perf_counter() - start)
    return best / len(queries)


@dataclass
class Fit:
    method: Method
    nodes: str
    values: FloatArray
    error: float


def main() -> int:
    want_figure = "--no-figure" not in sys.argv
    truth = runge(FINE)
    print(f"morvelay tour: Runge's function 1/(1+25x^2) on [-1, 1] from {N_DATA} samples")
    print("max error on 2001 points in [-1, 1]; time per point of one batch of 100,000 random points\n")
    header = (
        f"{'method':<30}{'nodes':<10}{'max error':>10}{'ns/pt':>7}   "
        f"{'NumPy/SciPy':<30}{'max error':>10}{'ns/pt':>7}{'speed-up':>9}"
    )
    print(header)
    print("-" * len(header))
    fits: list[Fit] = []
    for method in METHODS:
        for nodes in method.node_sets:
            x = NODE_SETS[nodes]
            y = runge(x)
            interpolant = method.build(x, y)
            values = np.asarray(interpolant(FINE), dtype=np.float64)
            error = float(np.max(np.abs(values - truth)))
            ours = seconds_per_point(interpolant, SPEED_QUERIES) * 1e9
            line = f"{method.name:<30}{nodes:<10}{error:>10.1e}{ours:>7.1f}"
            if method.reference is not None:
                reference = method.reference(x, y)
                their_error = float(np.max(np.abs(reference(FINE) - truth)))
                theirs = seconds_per_point(reference, SPEED_QUERIES) * 1e9
                line += f"   {method.reference_name:<30}{their_error:>10.1e}{theirs:>7.1f}{theirs / ours:>8.1f}x"
            print(line)
            fits.append(Fit(method, nodes, values, error))
    print("\nspeed-up = NumPy/SciPy time / morvelay time.  On equally spaced points the global polynomials")
    print("(Lagrange, Newton, Hermite) show Runge's oscillation; on Chebyshev points they converge.")
    if SI is None:
        print("SciPy is not installed: only the NumPy comparisons are shown (pip install scipy for the rest).")
    if want_figure:
        draw(fits, truth)
    return 0


def draw(fits: list[Fit], truth: FloatArray) -> None:
    try:
        matplotlib = importlib.import_module("matplotlib")
        matplotlib.use("Agg")
        plt: Any = importlib.import_module("matplotlib.pyplot")
    except ImportError:
        print("No figure: install matplotlib (pip install matplotlib) and run again to get tour.png.")
        return
    colours = {"equal": "tab:red", "Chebyshev": "tab:blue"}
    fig = plt.figure(figsize=(14, 15))
    blocks = fig.add_gridspec(3, 3, hspace=0.2, wspace=0.22)
    for index, method in enumerate(METHODS):
        row, column = divmod(index, 3)
        panels = blocks[row, column].subgridspec(2, 1, height_ratios=[2, 1], hspace=0.06)
        curve = fig.add_subplot(panels[0])
        error = fig.add_subplot(panels[1], sharex=curve)
        curve.plot(FINE, truth, color="black", linewidth=2.2, alpha=0.35)
        notes = []
        for fit in (fit for fit in fits if fit.method is method):
            x = NODE_SETS[fit.nodes]
            colour = colours[fit.nodes]
            curve.plot(FINE, fit.values, color=colour, linewidth=1.1)
            curve.plot(x, runge(x), "o", color=colour, markersize=2.5)
            # Exact zeros at the nodes would be minus infinity on the log axis.
            error.semilogy(FINE, np.maximum(np.abs(fit.values - truth), 1e-300), color=colour, linewidth=0.9)
            notes.append(f"{fit.nodes}: {fit.error:.1e}")
        curve.set_title(method.name, fontsize=11)
        curve.set_ylim(-0.35, 1.25)  # the oscillating polynomials leave the panel: their errors are below
        curve.text(
            0.02,
            0.96,
            "max error\n" + "\n".join(notes),
            transform=curve.transAxes,
            va="top",
            fontsize=8,
            bbox={"facecolor": "white", "edgecolor": "none", "alpha": 0.8},
        )
        curve.tick_params(labelbottom=False, labelsize=8)
        error.set_ylim(1e-7, 1e4)
        error.set_yticks([1e-6, 1e-4, 1e-2, 1.0, 1e2])
        error.grid(True, which="major", axis="y", linewidth=0.4, alpha=0.6)
        error.tick_params(labelsize=8)
        if column == 0:
            curve.set_ylabel("f(x) and fit")
            error.set_ylabel("|error|")
        if row == 2:
            error.set_xlabel("x")
    handles = [
        plt.Line2D([], [], color="black", alpha=0.35, linewidth=2.2, label="Runge's function 1/(1+25x²)"),
        plt.Line2D([], [], color=colours["equal"], marker="o", markersize=3, label=f"{N_DATA} equally spaced points"),
        plt.Line2D([], [], color=colours["Chebyshev"], marker="o", markersize=3, label=f"{N_DATA} Chebyshev points"),
    ]
    fig.legend(handles=handles, loc="upper center", ncol=3, frameon=False, fontsize=10, bbox_to_anchor=(0.5, 0.975))
    fig.suptitle("morvelay: nine interpolants of Runge's function and their errors", fontsize=14, y=0.995)
    fig.subplots_adjust(left=0.06, right=0.985, top=0.93, bottom=0.04)
    fig.savefig("tour.png", dpi=100)
    plt.close(fig)
    print("Figure written to tour.png")


if __name__ == "__main__":
    sys.exit(main())
