"""QuadraticInterpolator and CubicSplineInterpolator: what is particular to the two piecewise classes."""

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
