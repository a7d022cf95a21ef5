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


# ---- Offset or finely spread x fits as well as x near [-1, 1] ----


@pytest.mark.parametrize("offset", [0.0, 1e3, 1e6, 1.7e9])
def test_offset_x_fits_as_well_as_numpy(offset):
    """An hour of timestamps, one sample every 10 s: raw powers of x near 1.7e9 once left every degree
    at the straight line's residual."""
    elapsed = np.arange(0.0, 3600.0, 10.0)
    x = offset + elapsed
    y = np.sin(elapsed / 600.0) + np.random.default_rng(0).normal(0.0, 0.01, x.size)
    for degree in range(1, 7):
        interp = fitted(degree, x, y)
        reference = np.polynomial.Polynomial.fit(x, y, degree)
        rms = np.sqrt(np.mean((interp(x) - y) ** 2))
        expected = np.sqrt(np.mean((reference(x) - y) ** 2))
        assert rms <= 1.01 * expected, (degree, rms, expected)
        r2 = 1 - np.sum((reference(x) - y) ** 2) / np.sum((y - y.mean()) ** 2)
        assert interp.r_squared() == pytest.approx(r2, abs=1e-6)
        assert repr(interp).endswith(f"R\u00b2={r2:.4f})")
    total = 0.0
    for value in y.tolist():  # in index order, as the core sums (NumPy and sum() would sum differently)
        total += value
    assert fitted(0, x, y)(x[7]) == total / y.size  # degree 0 is still the mean, bit for bit


def test_small_x_and_unit_x():
    tiny = fitted(2, [0, 0.001, 0.002], [1, 2, 3])
    np.testing.assert_allclose(tiny.get_coefficients(), [1.0, 1000.0, 0.0], atol=1e-9)
    assert tiny(0.0015) == pytest.approx(2.5, rel=1e-13)
    # Unit-scale data: the power-basis coefficients, converted from the scaled fit, are NumPy's.
    x = np.arange(5.0)
    np.testing.assert_allclose(fitted(2, x, 1 + 2 * x + 3 * x * x).get_coefficients(), [1, 2, 3], rtol=1e-13)
    with pytest.raises(ValueError, match="^Singular matrix near pivot 1$"):
        fitted(1, [1e9, 1e9, 1e9], [1, 2, 3])
