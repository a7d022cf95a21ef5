"""LeastSquaresInterpolator: what is particular to it (the shared face is tested in test_frame.py)."""

import numpy as np
import pytest

from morvelay import LeastSquaresInterpolator

NOT_FITTED = "Interpolator not fitted. Call fit(x, y) first."


def fitted(degree, x, y):
    interp = LeastSquaresInterpolator(degree)
    interp.fit(x, y)
    return interp


def test_constructor_and_reprs():
    interp = LeastSquaresInterpolator()
    assert interp.get_degree() == 2
    assert repr(interp) == "LeastSquaresInterpolator(degree=2, not fitted)"
    assert LeastSquaresInterpolator(degree=0).get_degree() == 0
    assert LeastSquaresInterpolator(np.uint8(4)).get_degree() == 4
    assert repr(fitted(1, [0, 1, 2, 3], [1, 3, 2, 4])) == (
        "LeastSquaresInterpolator(degree=1, fitted with 4 points, R\u00b2=0.6400)"
    )
    x = np.linspace(-1, 2, 9)
    assert repr(fitted(2, x, 1 + 2 * x + 3 * x * x)).endswith("R\u00b2=1.0000)")
    with pytest.raises(OverflowError):
        LeastSquaresInterpolator(-1)
    for bad in (2.0, None, "2"):
        with pytest.raises(TypeError, match="degree"):
            LeastSquaresInterpolator(bad)


def test_values_coefficients_and_r_squared():
    interp = fitted(1, [0, 1, 2, 3], [1, 3, 2, 4])
    np.testing.assert_allclose(interp.get_coefficients(), [1.3, 0.8], rtol=1e-14)
    assert interp.r_squared() == pytest.approx(0.64, rel=1e-14)
    assert interp(10.0) == pytest.approx(9.3, rel=1e-14)  # extrapolates freely
    assert np.isnan(interp(float("inf")))
    coefficients = interp.get_coefficients()
    coefficients[0] = 99.0
    assert interp.get_coefficients()[0] != 99.0

    mean = fitted(0, [3, 1, 2, 1], [0.1, 0.7, 0.4, 0.2])
    assert mean(123.0) == (0.1 + 0.7 + 0.4 + 0.2) / 4
    assert mean.r_squared() == 0.0


def test_failures_keep_the_previous_fit():
    interp = LeastSquaresInterpolator(5)
    for method in (interp.get_coefficients, interp.r_squared, lambda: interp(0.5)):
        with pytest.raises(ValueError, match=f"^{NOT_FITTED}$".replace("(", r"\(").replace(")", r"\)")):
            method()
    with pytest.raises(ValueError, match="^Need at least 6 points for degree 5 polynomial$"):
        interp.fit([0, 1, 2], [0, 1, 2])
    line = fitted(1, [0, 1, 2, 3], [1, 3, 2, 4])
    before = line.get_coefficients()
    with pytest.raises(ValueError, match="^Singular matrix near pivot 1$"):
        line.fit([1, 1, 1], [1, 2, 3])
    with pytest.raises(ValueError, match=r"^x and y must have the same length \(2 vs 1\)$"):
        line.fit([1, 2], [1])
    assert line.get_coefficients() == before


def test_agrees_with_numpy_on_noisy_data():
    rng = np.random.default_rng(11)
    x = rng.uniform(-2.0, 3.0, 5000)
    y = np.exp(0.5 * x) + rng.normal(0.0, 0.05, x.size)
    for degree in (1, 3, 5):
        interp = fitted(degree, x, y)
        expected = np.polynomial.polynomial.polyfit(x, y, degree)
        np.testing.assert_allclose(interp.get_coefficients(), expected, rtol=1e-9, atol=1e-10)
        residual = y - np.polynomial.polynomial.polyval(x, expected)
        r2 = 1 - residual @ residual / np.sum((y - y.mean()) ** 2)
        assert interp.r_squared() == pytest.approx(r2, rel=1e-12)
        queries = np.linspace(-3.0, 4.0, 101)
        batch = interp(queries)
        assert batch.tolist() == [interp(q) for q in queries]  # bit-identical lanes
