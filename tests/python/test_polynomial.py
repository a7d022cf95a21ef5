"""NewtonInterpolator, LagrangeInterpolator and HermiteInterpolator: their own numbers, getters and
updates, and agreement with SciPy's polynomial interpolators on realistic nodes."""

import inspect

import numpy as np
import pytest
from scipy.interpolate import BarycentricInterpolator, KroghInterpolator

from morvelay import HermiteInterpolator, LagrangeInterpolator, NewtonInterpolator

NOT_FITTED = "Interpolator not fitted. Call fit(x, y) first."
NOT_FITTED_HERMITE = "Interpolator not fitted. Call fit(x, y, dy) first."


def chebyshev(n, a=-1.0, b=1.0):
    return (a + b) / 2 + (b - a) / 2 * np.cos(np.pi * (2 * np.arange(n) + 1) / (2 * n))


def bit_reversed(n):
    bits = max(1, (n - 1).bit_length())
    order = sorted(range(n), key=lambda k: int(format(k, f"0{bits}b")[::-1], 2))
    return np.array(order)


def runge(x):
    return 1.0 / (1.0 + 25.0 * x * x)


def test_signatures_and_docstrings():
    assert inspect.signature(LagrangeInterpolator.add_point).parameters.keys() == {"self", "x_new", "y_new"}
    assert list(inspect.signature(HermiteInterpolator.fit).parameters) == ["self", "x", "y", "dy"]
    assert HermiteInterpolator.__doc__.startswith("Hermite Polynomial Interpolator\n\n")
    assert NewtonInterpolator.__doc__.startswith("Newton Divided Differences Interpolator\n\n")
    assert "(x-x₀)(x-x₁)...(x-xᵢ₋₁)" in NewtonInterpolator.get_coefficients.__doc__


def test_newton_class():
    interp = NewtonInterpolator()
    assert repr(interp) == "NewtonInterpolator(not fitted)"
    with pytest.raises(ValueError, match=rf"^{NOT_FITTED}$".replace("(", r"\(").replace(")", r"\)")):
        interp.get_coefficients()
    interp.fit([0, 1, 2], [1, 3, 7])
    assert repr(interp) == "NewtonInterpolator(fitted with 3 points)"
    coefficients = interp.get_coefficients()
    assert coefficients == [1.0, 2.0, 1.0]
    coefficients[0] = 100.0  # a copy
    assert interp.get_coefficients() == [1.0, 2.0, 1.0] and interp(3) == 13.0
    assert interp([0.5, 3]) == [1.75, 13.0]
    with pytest.raises(ValueError, match=r"^x and y must have the same length \(2 vs 1\)$"):
        interp.fit([1, 2], [1])
    with pytest.raises(ValueError, match="^x and y cannot be empty$"):
        interp.fit([], [])
    interp.fit([5], [2])
    assert repr(interp) == "NewtonInterpolator(fitted with 1 points)" and interp(float("nan")) == 2.0


def test_lagrange_class_updates():
    interp = LagrangeInterpolator()
    assert repr(interp) == "LagrangeInterpolator(barycentric, not fitted)"
    for update in (lambda: interp.update_y([1, 2]), lambda: interp.add_point(1.0, 0.0)):
        with pytest.raises(ValueError) as error:
            update()
        assert str(error.value) == NOT_FITTED
    interp.fit([0, 1, 2], [1, 3, 7])
    assert repr(interp) == "LagrangeInterpolator(barycentric, fitted with 3 points)"
    assert interp(1.5) == 4.75 and interp([1, 1.5]) == [3.0, 4.75]
    with pytest.raises(ValueError, match="^x_new 1 already exists$"):
        interp.add_point(1.0, 0.0)
    large = LagrangeInterpolator()
    large.fit([1e23, 2e23], [0.0, 1.0])
    with pytest.raises(ValueError, match="^x_new 100000000000000000000000 already exists$"):
        large.add_point(1e23, 2.0)  # shortest digits then zeros, not the binary value's 99999999999999991611392
    assert repr(interp) == "LagrangeInterpolator(barycentric, fitted with 3 points)"
    with pytest.raises(ValueError, match="^New y must have the same length as x$"):
        interp.update_y([1, 2])
    interp.update_y([2, 4, 6])
    assert interp(0.5) == 3.0
    interp.update_y(np.array([1.0, 3.0, 7.0]))
    interp.add_point(3, 13)
    assert repr(interp) == "LagrangeInterpolator(barycentric, fitted with 4 points)"
    assert interp(4) == pytest.approx(21.0, rel=1e-15)
    with pytest.raises(TypeError, match="'x_new'"):
        interp.add_point("a", 1.0)
    with pytest.raises(TypeError, match="'y_new'"):
        interp.add_point(5.0, "b")


def test_hermite_class():
    interp = HermiteInterpolator()
    assert repr(interp) == "HermiteInterpolator(not fitted)"
    with pytest.raises(ValueError) as error:
        interp.get_coefficients()
    assert str(error.value) == NOT_FITTED_HERMITE
    interp.fit([0, 1], [0, 1], [0, 0])
    assert repr(interp) == "HermiteInterpolator(fitted with 2 points and derivatives)"
    assert interp.get_coefficients() == [0.0, 0.0, 1.0, -2.0]
    assert interp(0.5) == 0.5 and interp([0.5, 2]) == [0.5, -4.0]
    with pytest.raises(ValueError, match=r"^x and y/dy must have the same length \(2 vs 2\)$"):
        interp.fit([1, 2], [1, 2], [1])
    with pytest.raises(ValueError, match="^x, y, and dy cannot be empty$"):
        interp.fit([], [], [])
    with pytest.raises(TypeError):
        interp.fit([0, 1], [0, 1])
    with pytest.raises(TypeError, match="'dy'"):
        interp.fit([0, 1], [0, 1], ["a", 0])
    interp.fit([2], [5], [3])
    assert repr(interp) == "HermiteInterpolator(fitted with 1 points and derivatives)" and interp(4) == 11.0


def test_agreement_with_scipy_on_chebyshev_nodes():
    x = chebyshev(40)
    y = runge(x)
    t = np.linspace(-1.0, 1.0, 301)  # extrapolation far out is too ill-conditioned to compare methods

    lagrange = LagrangeInterpolator()
    lagrange.fit(x, y)
    np.testing.assert_allclose(lagrange(t), BarycentricInterpolator(x, y)(t), rtol=1e-12, atol=1e-13)

    xn = chebyshev(28)[bit_reversed(28)]  # the Newton form needs a spread-out node order to stay accurate
    newton = NewtonInterpolator()
    newton.fit(xn, runge(xn))
    np.testing.assert_allclose(newton(t), KroghInterpolator(xn, runge(xn))(t), rtol=1e-11, atol=1e-12)

    xh = chebyshev(10)[bit_reversed(10)]
    hermite = HermiteInterpolator()
    hermite.fit(xh, runge(xh), -50 * xh * runge(xh) ** 2)
    krogh = KroghInterpolator(np.repeat(xh, 2), np.column_stack([runge(xh), -50 * xh * runge(xh) ** 2]).ravel())
    np.testing.assert_allclose(hermite(t), krogh(t), rtol=1e-11, atol=1e-12)


def test_lagrange_stays_right_for_thousands_of_nodes():
    # Plain weight products overflow from a few hundred Chebyshev nodes on; scaled ones do not.
    x = chebyshev(2000, 0.0, 1.0)
    y = np.cos(7 * x)
    t = np.linspace(0.0, 1.0, 997)
    lagrange = LagrangeInterpolator()
    lagrange.fit(x, y)
    values = lagrange(t)
    np.testing.assert_allclose(values, BarycentricInterpolator(x, y)(t), rtol=0, atol=1e-12)
    np.testing.assert_allclose(values, np.cos(7 * t), rtol=0, atol=1e-12)


def test_lagrange_updates_equal_a_fresh_fit():
    # Compared with a fresh SciPy fit over all nodes: SciPy's own add_xi drifts by percents here.
    x = chebyshev(24)
    lagrange = LagrangeInterpolator()
    lagrange.fit(x[:20], runge(x[:20]))
    for extra in x[20:]:
        lagrange.add_point(extra, runge(extra))
    t = np.linspace(-1, 1, 101)
    np.testing.assert_allclose(lagrange(t), BarycentricInterpolator(x, runge(x))(t), rtol=1e-13, atol=1e-15)
    lagrange.update_y(np.cos(x))
    np.testing.assert_allclose(lagrange(t), BarycentricInterpolator(x, np.cos(x))(t), rtol=1e-13, atol=1e-15)


def test_lagrange_add_point_tells_nodes_apart_at_their_own_scale():
    # Nodes 1e-17 apart and timestamps: the new node is judged against the nodes' magnitude, and the
    # grown interpolant is the one SciPy builds from all the points.
    for x, x_new in (([0.0, 1e-17, 2e-17, 3e-17], 5e-17), ([1.7e9, 1.7e9 + 1e-3, 1.7e9 + 2e-3], 1.7e9 + 3e-3)):
        x = np.array(x)
        y = np.cos(np.arange(len(x)) + 0.5)
        interp = LagrangeInterpolator()
        interp.fit(x, y)
        interp.add_point(x_new, 0.25)
        everything = BarycentricInterpolator(np.append(x, x_new), np.append(y, 0.25))
        queries = np.linspace(x[0], x_new, 9)
        np.testing.assert_allclose(interp(queries), everything(queries), rtol=1e-9, atol=1e-9)
        with pytest.raises(ValueError, match=" already exists$"):
            interp.add_point(x[1], 0.0)
