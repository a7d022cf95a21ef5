"""LeastSquaresInterpolator: what is particular to it (the shared face is tested in test_frame.py)."""

from fractions import Fraction

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


# ---- Against the exact least-squares fit of the same doubles -------------------------------------------


def exact_fit(x, y, degree):
    """Fitted values and power-basis coefficients of the least-squares polynomial, in exact rationals.

    In exact arithmetic the normal equations are as good as any method; t = (x - x[0]) / span keeps the
    numbers small, and the fitted values do not depend on that change of variable."""
    x0, span = Fraction(float(x[0])), Fraction(float(np.ptp(x)))
    t = [(Fraction(float(v)) - x0) / span for v in x]
    m = degree + 1
    sums, moments = [Fraction(0)] * (2 * m - 1), [Fraction(0)] * m
    for tv, yv in zip(t, (Fraction(float(v)) for v in y), strict=True):
        power = Fraction(1)
        for k in range(2 * m - 1):
            sums[k] += power
            if k < m:
                moments[k] += yv * power
            power *= tv
    rows = [[sums[r + c] for c in range(m)] + [moments[r]] for r in range(m)]
    for j in range(m):
        for r in range(j + 1, m):
            f = rows[r][j] / rows[j][j]
            rows[r] = [a - f * b for a, b in zip(rows[r], rows[j], strict=True)]
    c = [Fraction(0)] * m
    for i in reversed(range(m)):
        c[i] = (rows[i][m] - sum(rows[i][k] * c[k] for k in range(i + 1, m))) / rows[i][i]
    values = []
    for tv in t:
        value = Fraction(0)
        for ck in reversed(c):
            value = value * tv + ck
        values.append(float(value))
    return np.array(values), c


def monthly(rng):
    months = np.arange(43 * 12)
    years = 1980.0 + months / 12.0
    seasons = 10.0 + 0.02 * (years - 1980.0) + 5.0 * np.sin(2 * np.pi * years) + rng.normal(0.0, 1.0, years.size)
    return years, 315532800.0 + months * 2629800.0, seasons


@pytest.mark.parametrize("degree", [8, 10])
def test_fitted_values_are_as_close_to_the_exact_fit_as_numpys(degree):
    """Decimal years, POSIX seconds, unit x and noisy scattered x: within 64 ulps of the data's scale of
    the exact fit's distance from NumPy's (the normal equations were 30x to 750x further off)."""
    rng = np.random.default_rng(degree)
    years, seconds, seasons = monthly(rng)
    unit = np.linspace(0.0, 1.0, 400)
    scattered = rng.uniform(-2.0, 3.0, 400)
    cases = {
        "decimal years": (years, seasons),
        "POSIX seconds": (seconds, seasons),
        "unit": (unit, np.exp(unit) * np.sin(5 * unit) + rng.normal(0.0, 0.01, unit.size)),
        "noisy": (scattered, np.cos(scattered) + rng.normal(0.0, 0.1, scattered.size)),
    }
    for name, (x, y) in cases.items():
        exact, _ = exact_fit(x, y, degree)
        ulp = np.spacing(np.max(np.abs(y)))
        ours = fitted(degree, x, y)(x)
        numpy_error = np.max(np.abs(np.polynomial.Polynomial.fit(x, y, degree)(x) - exact))
        assert np.max(np.abs(ours - exact)) <= numpy_error + 64 * ulp, name


def test_power_basis_coefficients_at_degree_8():
    rng = np.random.default_rng(3)
    x = np.linspace(0.0, 1.0, 1000)
    y = np.exp(x) * np.sin(5 * x) + rng.normal(0.0, 0.01, x.size)
    ours = np.array(fitted(8, x, y).get_coefficients())
    _, exact = exact_fit(x, y, 8)  # x[0] = 0 and a span of 1: these are the coefficients in x
    exact = np.array([float(c) for c in exact])
    theirs = np.polynomial.Polynomial.fit(x, y, 8).convert().coef
    assert np.max(np.abs(ours - theirs)) <= 1e-10 * np.max(np.abs(theirs))
    assert np.max(np.abs(ours - exact)) <= 1e-12 * np.max(np.abs(exact))


def test_r_squared_and_degree_zero_on_timestamps():
    rng = np.random.default_rng(5)
    _, seconds, seasons = monthly(rng)
    for degree in (1, 4, 8):
        interp = fitted(degree, seconds, seasons)
        reference = np.polynomial.Polynomial.fit(seconds, seasons, degree)
        r2 = 1 - np.sum((reference(seconds) - seasons) ** 2) / np.sum((seasons - seasons.mean()) ** 2)
        assert interp.r_squared() == pytest.approx(r2, rel=1e-13)
        assert repr(interp).endswith(f"R\u00b2={r2:.4f})")
    total = 0.0
    for value in seasons.tolist():
        total += value
    mean = fitted(0, seconds, seasons)
    assert mean.get_coefficients() == [total / seasons.size]
    assert mean.r_squared() == 0.0  # the residuals are the spread, bit for bit


@pytest.mark.parametrize("repeats", [3, 300, 30000])
def test_too_few_distinct_x_fail_however_often_they_repeat(repeats):
    x, y = np.tile([0.0, 0.3, 1.0], repeats), np.tile([1.0, 2.0, 3.0], repeats)
    for degree in (3, 5):
        with pytest.raises(ValueError, match="^Singular matrix near pivot 3$"):
            fitted(degree, x, y)
    for offset in (1.7e9, 2001.5):
        with pytest.raises(ValueError, match="^Singular matrix near pivot 2$"):
            fitted(2, np.repeat([offset, offset + 1.0], repeats), np.tile([1.0, 2.0], repeats))
    parabola = fitted(2, x, y)
    np.testing.assert_allclose(parabola([0.0, 0.3, 1.0]), [1.0, 2.0, 3.0], rtol=1e-13)
