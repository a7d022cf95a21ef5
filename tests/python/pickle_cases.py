"""Instances worth saving, and everything they answer, for the pickling tests, the committed pickles
(data/make_pickles.py) and the pickle fuzzer (pickle_fuzz.py).

`answers` records each answer exactly: floats as float.hex (sign of zero included), failures as their
type and message, so two instances compare equal only if every answer agrees bit for bit.
"""

import math

import numpy as np

import morvelay

QUERIES = (-0.75, -0.5, 0.0, 0.3, 0.5, 1.0, 1.25, 1.9, 2.0, 2.5, 3.0)
GETTERS = ("get_coefficients", "get_weights", "get_nodes", "get_degree", "r_squared", "num_segments")


def _exact(value):
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, list):
        return [_exact(v) for v in value]
    return value


def _outcome(call):
    try:
        return ["ok", _exact(call())]
    except ValueError as error:
        return ["ValueError", str(error)]


def answers(instance, queries=QUERIES):
    """Repr, every getter, and calls on each float, a list and an array (also of the queries in range)."""
    result = {"type": type(instance).__name__, "repr": repr(instance)}
    for name in GETTERS:
        if hasattr(instance, name):
            result[name] = _outcome(getattr(instance, name))
    singles = [_outcome(lambda q=q: instance(q)) for q in queries]
    in_range = [q for q, single in zip(queries, singles, strict=True) if single[0] == "ok"]
    result["float"] = singles
    for name, points in (("all", list(queries)), ("in range", in_range)):
        result[f"list {name}"] = _outcome(lambda points=points: instance(points))
        result[f"array {name}"] = _outcome(lambda points=points: instance(np.array(points)).tolist())
    return result


def _fitted(instance, *data):
    instance.fit(*data)
    return instance


def _linear_updated():
    interp = _fitted(morvelay.LinearInterpolator(), [2.0, 0.0, 1.0, 3.0], [4.0, 0.0, 1.0, 9.0])
    interp.add_point(0.5, 0.25)
    interp.add_point(-1.0, 1.0)
    interp.update_y([1.0, 0.0, 0.3, 1.0, 4.5, 9.0])
    return interp


def _lagrange_updated():
    # add_point divides the weights incrementally: no fit of the final points reproduces them bit for bit.
    interp = _fitted(morvelay.LagrangeInterpolator(), [0.0, 0.7, 1.3, 2.0], [1.0, 2.0, 0.5, 3.0])
    interp.add_point(1.9, -1.0)
    interp.add_point(-0.3, 0.25)
    interp.update_y([1.0, 2.5, 0.5, 3.0, -1.0, 0.2])
    return interp


def _chebyshev_from_function():
    interp = morvelay.ChebyshevInterpolator(9, -0.5, 2.5, True)
    interp.fit_function(math.sin)
    interp.set_method(False)
    return interp


X = [0.0, 0.4, 0.9, 1.2, 2.0]
Y = [1.0, 2.0, 0.5, 3.0, 2.5]
GRID = [-0.5 + 0.25 * k for k in range(13)]
GRID_Y = [math.cos(3.0 * x) for x in GRID]

# name -> a function making the instance; the first nine are the committed fitted pickles, one per class.
CASES = {
    "linear": _linear_updated,
    "lagrange": _lagrange_updated,
    "newton": lambda: _fitted(morvelay.NewtonInterpolator(), X, Y),
    "quadratic": lambda: _fitted(morvelay.QuadraticInterpolator(), X, Y),
    "cubic_spline": lambda: _fitted(morvelay.CubicSplineInterpolator(), GRID, GRID_Y),
    "hermite": lambda: _fitted(morvelay.HermiteInterpolator(), X, Y, [0.0, 1.0, -1.0, 0.5, 0.0]),
    "least_squares": lambda: _fitted(morvelay.LeastSquaresInterpolator(3), GRID, GRID_Y),
    "rbf": lambda: _fitted(morvelay.RBFInterpolator("gaussian", 1.5), GRID, GRID_Y),
    "chebyshev": _chebyshev_from_function,
    "chebyshev_unfitted": lambda: morvelay.ChebyshevInterpolator(7, -1.0, 3.0, False),
    "rbf_unfitted": lambda: morvelay.RBFInterpolator(" Thin Plate Spline", 0.25),
    "least_squares_unfitted": lambda: morvelay.LeastSquaresInterpolator(5),
    "quadratic_grid": lambda: _fitted(morvelay.QuadraticInterpolator(), GRID, GRID_Y),
    "cubic_spline_two_points": lambda: _fitted(morvelay.CubicSplineInterpolator(), [0.0, 2.0], [1.0, -1.0]),
    "rbf_thin_plate": lambda: _fitted(morvelay.RBFInterpolator("thin_plate_spline", 0.7), X, Y),
    "linear_one_point": lambda: _fitted(morvelay.LinearInterpolator(), [1.0], [-0.0]),
    "newton_nan": lambda: _fitted(morvelay.NewtonInterpolator(), [0.0, 1.0, 1.0], [1.0, float("nan"), 2.0]),
}
# Every class unfitted with its defaults as well.
CASES.update({f"{name}_default": getattr(morvelay, name) for name in dir(morvelay) if not name.startswith("_")})
