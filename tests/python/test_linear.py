"""LinearInterpolator: what is particular to it (the shared face is tested in test_frame.py)."""

from decimal import Decimal

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from morvelay import LinearInterpolator

NOT_FITTED = "Interpolator not fitted. Call fit(x, y) first."


def fitted(x, y):
    interp = LinearInterpolator()
    interp.fit(x, y)
    return interp


def test_reprs():
    interp = LinearInterpolator()
    assert repr(interp) == "LinearInterpolator(not fitted)"
    interp.fit([2.0, 0.0, 1.0], [4.0, 0.0, 1.0])
    assert repr(interp) == "LinearInterpolator(fitted with 3 points, x range: [0.00, 2.00])"
    assert repr(fitted([5], [1])) == "LinearInterpolator(fitted with 1 points, x range: [5.00, 5.00])"
    interp.add_point(-1.255, 2.0)
    assert repr(interp) == "LinearInterpolator(fitted with 4 points, x range: [-1.25, 2.00])"


def test_values_sorting_and_clamping():
    interp = fitted([2, 0, 1], [20, 0, 10])
    assert interp(0.5) == 5.0
    assert interp(np.array([0.5, 1.5])).tolist() == [5.0, 15.0]
    two = fitted([0, 1], [0, 1])
    assert (two(0.5), two(-3), two(7)) == (0.5, 0.0, 1.0)
    assert np.isnan(two(float("nan")))


def test_fit_messages():
    interp = LinearInterpolator()
    cases = [
        (([0, 1, 1], [0, 1, 2]), "x values must be distinct"),
        (([], []), "x and y cannot be empty"),
        (([0, 1], [0]), "x and y must have the same length (2 vs 1)"),
        (([0, float("nan")], [0, 1]), "x values must not be NaN"),
    ]
    for arguments, message in cases:
        with pytest.raises(ValueError) as error:
            interp.fit(*arguments)
        assert str(error.value) == message
    assert repr(interp) == "LinearInterpolator(not fitted)"
    interp.fit((0, 1, 2), np.array([0.0, 1.0, 4.0]))  # any sequence, any numeric array
    interp.fit(x=np.array([0, 1, 2], dtype=np.int32), y=[0.0, 1.0, 4.0])
    assert interp(1.5) == 2.5


def test_update_y_and_add_point():
    interp = fitted([0.0, 1.0, 2.0], [0.0, 1.0, 4.0])
    assert interp(0.5) == 0.5
    interp.update_y([0.0, 2.0, 6.0])
    assert interp(0.5) == 1.0
    with pytest.raises(ValueError, match=r"^y must have length 3 \(same as x\), got 2$"):
        interp.update_y([1, 2])

    interp = fitted([0.0, 2.0, 4.0], [0.0, 4.0, 8.0])
    interp.add_point(1.0, 1.0)
    assert interp(0.5) == 0.5
    with pytest.raises(ValueError, match="^x_new = 2 already exists in the data$"):
        interp.add_point(2, 5)
    with pytest.raises(ValueError, match="^x_new = 0 already exists in the data$"):
        fitted([0.0, 1.0], [0.0, 1.0]).add_point(0.0, 1.0)
    with pytest.raises(ValueError, match="^x_new = 0.1 already exists in the data$"):
        fitted([0.1, 1.0], [0.0, 1.0]).add_point(0.1, 1.0)


def shortest_text(value):
    """Python's repr digits (the shortest that read back) written out without an exponent."""
    return format(Decimal(repr(value)).normalize(), "f")


def test_add_point_message_spells_x_new_in_its_shortest_digits():
    rng = np.random.default_rng(13)
    bits = rng.integers(0, 2**64, size=3000, dtype=np.uint64).view(np.float64)
    round_decimals = np.round(rng.uniform(-1e6, 1e6, 1000), 3) * 10.0 ** rng.integers(-30, 30, 1000)
    specials = [1e23, -1e23, 1.7976931348623157e308, 5e-324, 0.1, 1e21, 1e-7, -0.0, 2.0**53 + 2, 123.0]
    values = [*specials, *bits[np.isfinite(bits)].tolist(), *round_decimals.tolist()]
    for value in values:
        with pytest.raises(ValueError) as error:
            fitted([value], [0.0]).add_point(value, 1.0)
        assert str(error.value) == f"x_new = {shortest_text(value)} already exists in the data"
    assert shortest_text(1e23) == "100000000000000000000000"


def test_updates_need_a_fit_but_convert_first():
    interp = LinearInterpolator()
    with pytest.raises(ValueError, match=f"^{NOT_FITTED.replace('(', r'\(').replace(')', r'\)')}$"):
        interp.update_y([1.0])
    with pytest.raises(ValueError):
        interp.add_point(1.0, 1.0)
    with pytest.raises(TypeError, match="'y'"):
        interp.update_y("ab")
    with pytest.raises(TypeError, match="'x_new'"):
        interp.add_point("a", 1.0)
    with pytest.raises(TypeError, match="'y_new'"):
        interp.add_point(1.0, [1.0])


def test_docstrings_and_signatures():
    assert LinearInterpolator.__text_signature__ == "()"
    assert LinearInterpolator.fit.__text_signature__ == "($self, x, y)"
    assert LinearInterpolator.update_y.__text_signature__ == "($self, y)"
    assert LinearInterpolator.add_point.__text_signature__ == "($self, x_new, y_new)"
    assert LinearInterpolator.__doc__.startswith("Linear Interpolator\n\nA stateful interpolator")
    assert "only the 1\u20132 affected slopes." in LinearInterpolator.add_point.__doc__
    with pytest.raises(TypeError):
        LinearInterpolator(1)


@settings(max_examples=200, deadline=None)
@given(
    st.lists(st.integers(-(10**6), 10**6), min_size=1, max_size=60, unique=True),
    st.data(),
)
def test_agrees_with_numpy_interp(knots, data):
    x = np.array(knots, dtype=np.float64) / 8.0
    y = np.array(data.draw(st.lists(st.floats(-1e6, 1e6), min_size=len(x), max_size=len(x))))
    queries = np.array(data.draw(st.lists(st.floats(-2e5, 2e5), max_size=40)), dtype=np.float64)
    interp = fitted(x, y)
    order = np.argsort(x)
    expected = np.interp(queries, x[order], y[order])
    tolerance = 1e-12 * max(np.abs(y).max(), 1e-300)  # rounding of one multiply-add at the data's scale
    for result in (interp(queries), np.array(interp(list(queries))), np.array([interp(q) for q in queries])):
        np.testing.assert_allclose(result, expected, rtol=0, atol=tolerance)
    order = np.argsort(queries)
    np.testing.assert_allclose(interp(queries[order]), expected[order], rtol=0, atol=tolerance)


# ---- A query on a knot is that knot's value, whatever its neighbours, on every path ----


def every_path(interp, queries):
    """The values of every evaluation path at the queries, each in the queries' order."""
    queries = np.asarray(queries, dtype=np.float64)
    order = np.argsort(queries, kind="stable")
    swept = np.empty_like(queries)
    swept[order] = interp(queries[order])
    return {
        "array": interp(queries),
        "list": np.array(interp(list(queries))),
        "single": np.array([interp(q) for q in queries]),
        "one-element batches": np.array([interp([q])[0] for q in queries]),
        "sorted sweep": swept,
        "long unsorted batch": interp(np.tile(queries, 9))[: queries.size],
    }


@pytest.mark.parametrize(
    ("x", "y"),
    [
        ([0, 1, 2], [np.nan, 0, 1]),
        ([1, 2, 3, 4], [1, 2, np.inf, 4]),
        ([1, 2, 3.5, 4, 6], [-np.inf, 3, np.nan, 4, 5]),
        # Evenly spaced by a subnormal step, whose inverse overflows: searched, not indexed.
        (list(np.arange(4) * 5e-324), [0, 1, 4, 9]),
    ],
)
def test_knots_keep_their_value_beside_non_finite_data(x, y):
    interp = fitted(x, y)
    for path, values in every_path(interp, x[::-1]).items():
        np.testing.assert_array_equal(values, y[::-1], err_msg=path)
    # NumPy's interp answers the same at knots.
    np.testing.assert_array_equal(np.interp(x, x, y), y)


@settings(max_examples=100, deadline=None)
@given(
    st.lists(st.integers(-(10**4), 10**4), min_size=2, max_size=40, unique=True),
    st.sampled_from([1.0, 0.1, 1e-3, 7.0 / 3.0]),
    st.data(),
)
def test_knots_are_exact_on_every_grid(knots, unit, data):
    """Integer knots times an inexact unit: evenly spaced draws take the uniform index, whose floor may
    land on the segment before a knot; the rest take the search."""
    if data.draw(st.booleans()):
        knots = list(range(min(knots), min(knots) + len(knots)))
    x = np.array(knots, dtype=np.float64) * unit
    values = st.one_of(st.floats(-1e6, 1e6), st.sampled_from([np.nan, np.inf, -np.inf, -0.0]))
    y = np.array(data.draw(st.lists(values, min_size=len(x), max_size=len(x))))
    interp = fitted(x, y)
    queries = np.array(data.draw(st.lists(st.sampled_from(list(x)), min_size=1, max_size=30)))
    expected = np.array([y[list(x).index(q)] for q in queries])
    for path, got in every_path(interp, queries).items():
        np.testing.assert_array_equal(got, expected, err_msg=path)
        assert np.array_equal(np.signbit(got), np.signbit(expected)), path  # -0 stays -0


def test_a_lone_nan_query_in_a_batch_is_nan():
    for x in ([0, 1, 2, 3], [0, 1, 2.5, 3]):
        interp = fitted(x, [0, 1, 4, 9])
        assert np.isnan(interp([np.nan])[0])
        assert np.isnan(interp(np.array([np.nan]))[0])
