"""One entry per class: how the shared tests build, fit and recognise it.

A class file's own tests hold only what is particular to it; everything every class must do alike
(call dispatch, conversions, borrow conflicts, failure leaving the instance as it was) is checked once,
over this table, in test_frame.py.
"""

from collections.abc import Callable
from dataclasses import dataclass

import morvelay


@dataclass(frozen=True)
class Face:
    name: str
    new: Callable[[], object]  # a new, unfitted instance
    fit: Callable[[object], None]  # fits it on data covering [0, 2]
    not_fitted: str  # the message of a call before any fit
    bad_fit: Callable[[object], None]  # a fit that must fail with ValueError
    queries: tuple[float, float] = (-0.5, 2.5)  # a range the fitted instance evaluates without error
    # a second fit, on other data over the same range, giving different values (threads racing a refit)
    refit: Callable[[object], None] = lambda i: _fit_xy(i, y=(2.0, -1.0, 1.5, 0.0, 1.0))


def _fit_xy(instance, x=(0.0, 0.5, 1.0, 1.5, 2.0), y=(1.0, 2.0, 0.5, 3.0, 2.5)):
    instance.fit(list(x), list(y))


def _fit_hermite(instance, y=(1.0, 2.0, 0.5, 3.0, 2.5), dy=(0.0, 1.0, -1.0, 0.5, 0.0)):
    instance.fit([0.0, 0.5, 1.0, 1.5, 2.0], list(y), list(dy))


FACES = [
    Face(
        "LinearInterpolator",
        morvelay.LinearInterpolator,
        _fit_xy,
        "Interpolator not fitted. Call fit(x, y) first.",
        lambda i: i.fit([0.0, 1.0], [1.0]),
    ),
    Face(
        "LagrangeInterpolator",
        morvelay.LagrangeInterpolator,
        _fit_xy,
        "Interpolator not fitted. Call fit(x, y) first.",
        lambda i: i.fit([], []),
    ),
    Face(
        "NewtonInterpolator",
        morvelay.NewtonInterpolator,
        _fit_xy,
        "Interpolator not fitted. Call fit(x, y) first.",
        lambda i: i.fit([0.0, 1.0], [1.0]),
    ),
    Face(
        "QuadraticInterpolator",
        morvelay.QuadraticInterpolator,
        _fit_xy,
        "Interpolator not fitted. Call fit(x, y) first.",
        lambda i: i.fit([0.0, 2.0, 1.0], [1.0, 2.0, 3.0]),
    ),
    Face(
        "CubicSplineInterpolator",
        morvelay.CubicSplineInterpolator,
        _fit_xy,
        "Interpolator not fitted. Call fit(x, y) first.",
        lambda i: i.fit([0.0], [1.0]),
    ),
    Face(
        "HermiteInterpolator",
        morvelay.HermiteInterpolator,
        _fit_hermite,
        "Interpolator not fitted. Call fit(x, y, dy) first.",
        lambda i: i.fit([0.0, 1.0], [1.0, 2.0], [0.0]),
        refit=lambda i: _fit_hermite(i, y=(2.0, -1.0, 1.5, 0.0, 1.0), dy=(1.0, 0.0, 0.5, -1.0, 2.0)),
    ),
    Face(
        "LeastSquaresInterpolator",
        lambda: morvelay.LeastSquaresInterpolator(2),
        _fit_xy,
        "Interpolator not fitted. Call fit(x, y) first.",
        lambda i: i.fit([0.0, 1.0], [1.0, 2.0]),
    ),
    Face(
        "RBFInterpolator",
        lambda: morvelay.RBFInterpolator("multiquadric", 2.0),
        _fit_xy,
        "Interpolator not fitted. Call fit(x, y) first.",
        lambda i: i.fit([0.0, 1.0, 0.0], [1.0, 2.0, 3.0]),
    ),
    Face(
        "ChebyshevInterpolator",
        lambda: morvelay.ChebyshevInterpolator(6, 0.0, 2.0),
        lambda i: i.fit([1.0, 2.0, 0.5, 3.0, 2.5, 1.5]),
        "Interpolator not fitted. Call fit(y) first.",
        lambda i: i.fit([1.0]),
        queries=(0.0, 2.0),
        refit=lambda i: i.fit([2.0, -1.0, 1.5, 0.0, 1.0, 0.5]),
    ),
]
