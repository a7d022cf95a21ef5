"""QuadraticInterpolator and CubicSplineInterpolator: what is particular to the two piecewise classes."""

from fractions import Fraction

import numpy as np
import pytest
from scipy.interpolate import CubicSpline

import morvelay

NOT_FITTED = "Interpolator not fitted. Call fit(x, y) first."


def test_reprs_and_segments():
    quadratic = morvelay.QuadraticInterpolator()
    assert repr(quadratic) == "QuadraticInterpolator(not fitted)"
    with pytest.raises(ValueError, match="at least 3 data points"):
        quadratic.fit([0, 1], [0, 1])
    assert repr(quadratic) == "QuadraticInterpolator(not fitted)"
    quadratic.fit([0, 0.5, 1], [0, 1, 0])
    assert repr(quadratic) == "QuadraticInterpolator(fitted with 3 points, x range: [0.00, 1.00])"

    spline = morvelay.CubicSplineInterpolator()
    assert repr(spline) == "CubicSplineInterpolator(not fitted)"
    with pytest.raises(ValueError) as error:
        spline.num_segments()
    assert str(error.value) == NOT_FITTED
    spline.fit([0, 1, 2.5], [0, 1, 0])
    assert repr(spline) == "CubicSplineInterpolator(fitted with 3 points, 2 segments, x range: [0.00, 2.50])"
    spline.fit([0, 2], [1, 5])
    assert spline.num_segments() == 1
    assert spline(3) == 7.0
    with pytest.raises(TypeError):
        spline.num_segments(1)


def test_exact_examples():
    quadratic = morvelay.QuadraticInterpolator()
    quadratic.fit([0, 1, 2], [0, 1, 4])
    assert quadratic(3.0) == 9.0
    assert quadratic([-1.0, 3.0]) == [1.0, 9.0]
    spline = morvelay.CubicSplineInterpolator()
    spline.fit([0, 1, 2, 3], [0, 1, 8, 27])
    assert spline(1.5) == pytest.approx(3.375, abs=1e-14)
    assert repr(spline) == "CubicSplineInterpolator(fitted with 4 points, 3 segments, x range: [0.00, 3.00])"


def test_docstrings_name_the_end_conditions():
    for text in (morvelay.CubicSplineInterpolator.__doc__, morvelay.CubicSplineInterpolator.fit.__doc__):
        assert "not-a-knot" in text.lower()
        assert "natural" not in text.lower()
    assert "overlapping triplets" in morvelay.QuadraticInterpolator.__doc__


@pytest.mark.parametrize("n", [4, 5, 17, 300])
def test_spline_matches_scipy_not_a_knot(n):
    rng = np.random.default_rng(n)
    x = np.cumsum(rng.uniform(0.1, 1.0, n))  # uneven, but no gap so small that the system loses digits
    y = rng.normal(size=n)
    spline = morvelay.CubicSplineInterpolator()
    spline.fit(x, y)
    reference = CubicSpline(x, y, bc_type="not-a-knot")
    queries = rng.uniform(x[0] - 1.0, x[-1] + 1.0, 2000)
    scale = 1.0 + np.abs(reference(queries))
    # Both solve the same banded system, in different orders: agreement to a few thousand ulps of the data.
    np.testing.assert_array_less(np.abs(spline(queries) - reference(queries)) / scale, 1e-11)
    np.testing.assert_array_less(np.abs(spline(np.sort(queries)) - reference(np.sort(queries))) / np.sort(scale), 1e-11)


def test_quadratic_segments_are_the_triplet_parabolas():
    rng = np.random.default_rng(4)
    x = np.cumsum(rng.uniform(0.2, 1.0, 12))
    y = rng.normal(size=12)
    quadratic = morvelay.QuadraticInterpolator()
    quadratic.fit(x, y)
    for i in range(1, 11):
        query = 0.5 * (x[i] + x[i + 1])
        triplet = min(i - 1, 9)
        expected = np.polyval(np.polyfit(x[triplet : triplet + 3], y[triplet : triplet + 3], 2), query)
        assert quadratic(query) == pytest.approx(expected, rel=1e-9, abs=1e-9)


# ---- The quadratic's accuracy depends on the spacing, not on |x| ----


def exact_triplet_value(x, y, query):
    """The parabola through three points at a query, in exact rational arithmetic (Lagrange form)."""
    x, y, query = [Fraction(v) for v in x], [Fraction(v) for v in y], Fraction(query)
    total = Fraction(0)
    for j in range(3):
        term = y[j]
        for k in range(3):
            if k != j:
                term *= (query - x[k]) / (x[j] - x[k])
        total += term
    return float(total)


@pytest.mark.parametrize("offset", [0.0, 1e3, 1e6, -3e8])
def test_quadratic_is_its_triplet_parabola_to_rounding(offset):
    rng = np.random.default_rng(8)
    x = offset + np.cumsum(rng.uniform(0.001, 0.01, 400))
    y = np.cos(x - offset)
    quadratic = morvelay.QuadraticInterpolator()
    quadratic.fit(x, y)
    intervals = rng.integers(0, x.size - 1, 300)
    queries = x[intervals] + rng.uniform(0.0, 1.0, intervals.size) * np.diff(x)[intervals]
    values = quadratic(queries)
    for interval, query, value in zip(intervals, queries, values, strict=True):
        first = min(max(interval - 1, 0), x.size - 3)
        expected = exact_triplet_value(x[first : first + 3], y[first : first + 3], query)
        assert abs(value - expected) < 1e-14, (offset, interval)


def test_quadratic_on_a_fine_grid_is_still_a_parabola():
    for h in (1e-5, 1e-9):
        quadratic = morvelay.QuadraticInterpolator()
        quadratic.fit([0, h, 2 * h, 3 * h], [0, 1, 4, 9])
        s = np.array([-0.5, 0.25, 0.5, 1.5, 2.5, 2.9, 4.0])
        np.testing.assert_allclose(quadratic(s * h), s * s, rtol=1e-9)


def test_quadratic_cos_on_a_long_uneven_grid():
    rng = np.random.default_rng(1)
    x = np.concatenate([[0.0], np.cumsum(rng.uniform(0.001, 0.01, 19999))])
    queries = rng.uniform(x[0], x[-1], 20000)
    for shift in (0.0, 1e6):
        quadratic = morvelay.QuadraticInterpolator()
        quadratic.fit(x + shift, np.cos(x))
        # The method's own error on gaps up to 0.01 is |cos'''| / 6 * 0.375 h^3, about 6.3e-8.
        assert np.max(np.abs(quadratic(queries + shift) - np.cos(queries))) < 7e-8


@pytest.mark.parametrize(
    "cls", [morvelay.LinearInterpolator, morvelay.QuadraticInterpolator, morvelay.CubicSplineInterpolator]
)
def test_unsorted_batches_on_clustered_knots_take_the_searched_segment(cls):
    # Three thousand knots crowd into the first millionth of the span: one slice of the search's guide
    # holds them all.  Queries on, beside and between the knots, outside them, and NaN and infinities.
    rng = np.random.default_rng(5)
    x = np.unique(np.concatenate([rng.uniform(0.0, 1e-6, 3000), np.linspace(0.01, 1.0, 50)]))
    y = np.sin(np.arange(x.size))
    q = np.concatenate(
        [x, np.nextafter(x, -np.inf), np.nextafter(x, np.inf), rng.uniform(-0.1, 1.1, 5000), [np.nan, np.inf, -np.inf]]
    )
    rng.shuffle(q)
    f = cls()
    f.fit(x, y)
    batch = f(q)
    np.testing.assert_array_equal(batch, [f(float(v)) for v in q])
    if cls is morvelay.LinearInterpolator:
        finite = np.isfinite(q)
        np.testing.assert_allclose(batch[finite], np.interp(q[finite], x, y), rtol=0, atol=1e-12)
