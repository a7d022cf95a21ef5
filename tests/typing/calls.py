"""Checked by mypy --strict, never run: the stubs give each kind of call its own result type."""

import copy
import pickle
from typing import Any, assert_type

import numpy as np
import numpy.typing as npt

import morvelay

F64Vector = np.ndarray[tuple[int], np.dtype[np.float64]]


def calls(points: npt.NDArray[np.float64], vector: F64Vector) -> None:
    interp = morvelay.CubicSplineInterpolator()
    interp.fit([0.0, 1.0, 2.0], np.array([0.0, 1.0, 4.0]))
    assert_type(interp(0.5), float)
    assert_type(interp(1), float)
    assert_type(interp(np.float64(0.5)), float)
    assert_type(interp([0.5, 1]), list[float])
    assert_type(interp((0.5, 1.5)), list[float])
    assert_type(interp(vector), F64Vector)
    assert_type(interp(points), F64Vector)


def constructors() -> None:
    assert_type(morvelay.LeastSquaresInterpolator(), morvelay.LeastSquaresInterpolator)
    assert_type(morvelay.LeastSquaresInterpolator(degree=np.int64(3)).get_degree(), int)
    assert_type(morvelay.RBFInterpolator("linear", epsilon=2).get_weights(), list[float])
    chebyshev = morvelay.ChebyshevInterpolator(8, x_min=0.0, x_max=2.0, use_clenshaw=np.True_)
    chebyshev.fit_function(lambda t: t * t)
    chebyshev.set_method(False)
    assert_type(chebyshev.get_nodes(), list[float])
    assert_type(morvelay.HermiteInterpolator().get_coefficients(), list[float])
    assert_type(morvelay.LeastSquaresInterpolator(1).r_squared(), float)
    assert_type(morvelay.CubicSplineInterpolator().num_segments(), int)


def mistakes(anything: Any) -> None:
    morvelay.LinearInterpolator().fit("abc", [1.0])  # type: ignore[arg-type]
    morvelay.HermiteInterpolator().fit([0.0], [1.0])  # type: ignore[call-arg]
    morvelay.ChebyshevInterpolator(10.0)  # type: ignore[arg-type]
    morvelay.NewtonInterpolator().update_y([1.0])  # type: ignore[attr-defined]


def saving() -> None:
    interp = morvelay.RBFInterpolator()
    assert_type(copy.copy(interp), morvelay.RBFInterpolator)
    assert_type(copy.deepcopy(interp), morvelay.RBFInterpolator)
    assert_type(pickle.loads(pickle.dumps(interp)), Any)
    reference, arguments, state = interp.__reduce__()
    assert_type(reference(), morvelay.RBFInterpolator)
    interp.__setstate__(state)
