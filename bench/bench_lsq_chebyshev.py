"""Least squares and Chebyshev series against NumPy, side by side in one process.

Least squares: fit of N = 1,000,000 noisy points with degree 3 and evaluation of 1,000,000 queries,
against numpy.polyfit + numpy.polyval and numpy.polynomial.Polynomial.fit.  Chebyshev: evaluation of
1,000,000 array queries with 64 coefficients against numpy.polynomial.chebyshev.chebval, and the fit
from a function against chebinterpolate.  Ratios are NumPy time / morvelay time (higher is faster).

Run: .venv/bin/python bench/bench_lsq_chebyshev.py   (once scripts/bench.sh has installed the module into .venv)
"""

import math
import time

import numpy as np
from numpy.polynomial import Polynomial
from numpy.polynomial import chebyshev as npcheb

import morvelay


def best_of(function, repeats=5):
    function()  # warm up
    best = math.inf
    for _ in range(repeats):
        start = time.perf_counter()
        function()
        best = min(best, time.perf_counter() - start)
    return best


def report(label, ours, theirs, reference):
    print(f"{label:<34}{ours * 1e3:>10.3f} ms   {reference:<34}{theirs * 1e3:>10.3f} ms   {theirs / ours:>6.1f}x")


def least_squares():
    rng = np.random.default_rng(0)
    n = 1_000_000
    x = rng.uniform(-1.0, 1.0, n)
    y = 1.0 - 2.0 * x + 0.5 * x**2 + 3.0 * x**3 + rng.normal(0.0, 0.1, n)
    queries = rng.uniform(-1.0, 1.0, n)
    interp = morvelay.LeastSquaresInterpolator(3)

    fit = best_of(lambda: interp.fit(x, y))
    report("least squares fit (1e6, deg 3)", fit, best_of(lambda: np.polyfit(x, y, 3)), "numpy.polyfit")
    report("", fit, best_of(lambda: Polynomial.fit(x, y, 3)), "Polynomial.fit")

    coefficients = np.polyfit(x, y, 3)
    evaluate = best_of(lambda: interp(queries))
    report("least squares eval (1e6)", evaluate, best_of(lambda: np.polyval(coefficients, queries)), "numpy.polyval")
    polynomial = Polynomial.fit(x, y, 3)
    report("", evaluate, best_of(lambda: polynomial(queries)), "Polynomial.__call__")
    worst = np.max(np.abs(np.array(interp.get_coefficients()[::-1]) - coefficients))
    print(f"{'':<34}coefficients differ from polyfit by at most {worst:.1e}")


def chebyshev():
    rng = np.random.default_rng(1)
    queries = rng.uniform(-1.0, 1.0, 1_000_000)
    shifted = queries * 1.5 + 0.5  # on [-1, 2]: the general map instead of the identity

    def runge(x):
        return 1.0 / (1.0 + 25.0 * x * x)

    interp = morvelay.ChebyshevInterpolator(64)
    interp.fit_function(runge)
    coefficients = np.array(interp.get_coefficients())
    evaluate = best_of(lambda: interp(queries))
    report(
        "chebyshev eval (1e6, 64 coeffs)", evaluate, best_of(lambda: npcheb.chebval(queries, coefficients)), "chebval"
    )

    general = morvelay.ChebyshevInterpolator(64, -1.0, 2.0)
    general.fit_function(runge)
    on_general = best_of(lambda: general(shifted))
    theirs = best_of(lambda: npcheb.chebval((shifted + 1.0) * (2.0 / 3.0) - 1.0, coefficients))
    report("chebyshev eval on [-1, 2] (1e6)", on_general, theirs, "map + chebval")

    fit = best_of(lambda: interp.fit_function(runge), repeats=50)
    report(
        "chebyshev fit_function (64)", fit, best_of(lambda: npcheb.chebinterpolate(runge, 63), 50), "chebinterpolate"
    )
    values = [runge(node) for node in interp.get_nodes()]
    fit_values = best_of(lambda: interp.fit(values), repeats=50)
    report(
        "chebyshev fit from values (64)",
        fit_values,
        best_of(lambda: npcheb.chebinterpolate(runge, 63), 50),
        "chebinterpolate (samples too)",
    )


if __name__ == "__main__":
    print(f"{'morvelay':<34}{'':>13}   {'NumPy':<34}{'':>13}   ratio")
    least_squares()
    chebyshev()
