"""The piecewise classes on evenly spaced grids far from zero: every call form takes the segment the knots
place a query in, so a sorted array, a shuffled one, a list and single floats agree bit for bit, and the
linear class agrees with numpy.interp to rounding."""

import numpy as np
import pytest
from hypothesis import assume, given, settings
from hypothesis import strategies as st

import morvelay

PIECEWISE = [morvelay.LinearInterpolator, morvelay.QuadraticInterpolator, morvelay.CubicSplineInterpolator]
GRIDS = [(1.0, 2e-9, 1000), (1e6, 1e-4, 700), (1.7e9, 1e-3, 600), (0.0, 2e-9, 500)]


def fitted(cls, x0, h, n):
    x = x0 + h * np.arange(n)
    y = np.sin(2 * np.pi * np.arange(n) / 10)
    interp = cls()
    interp.fit(x, y)
    return interp, x, y


def near_knots(x, h, seed):
    rng = np.random.default_rng(seed)
    k = rng.integers(0, x.size, 3000)
    offsets = h * 10.0 ** rng.uniform(-9, -3, k.size) * rng.choice([-1.0, 1.0], k.size)
    return np.concatenate([x[k] + offsets, np.nextafter(x, -np.inf), np.nextafter(x, np.inf), x])


def same_bits(a, b):
    return np.array_equal(np.asarray(a).view(np.int64), np.asarray(b).view(np.int64))


@pytest.mark.parametrize("cls", PIECEWISE, ids=lambda c: c.__name__)
@pytest.mark.parametrize("grid", GRIDS, ids=str)
def test_every_call_form_gives_the_single_point_bits(cls, grid):
    interp, x, _ = fitted(cls, *grid)
    queries = near_knots(x, grid[1], 3)
    singles = np.array([interp(float(q)) for q in queries])
    order = np.argsort(queries, kind="stable")
    swept = np.empty_like(queries)
    swept[order] = interp(queries[order])
    assert same_bits(interp(queries), singles)
    assert same_bits(swept, singles)
    assert same_bits(np.array(interp(queries[:64].tolist())), singles[:64])


@pytest.mark.parametrize("grid", GRIDS, ids=str)
def test_linear_near_knots_is_numpy_interp_to_rounding(grid):
    interp, x, y = fitted(morvelay.LinearInterpolator, *grid)
    queries = near_knots(x, grid[1], 4)
    assert np.max(np.abs(interp(queries) - np.interp(queries, x, y))) <= 4 * np.spacing(1.0)


def test_the_query_one_step_off_on_the_offset_grid():
    interp, _, _ = fitted(morvelay.LinearInterpolator, 1.0, 2e-9, 1000)
    assert interp(1.00000070599998) == pytest.approx(0.9510565163, abs=1e-10)


@settings(max_examples=60, deadline=None)
@given(
    x0=st.sampled_from([0.0, 1.0, -3.5, 1e6, 1.7e9]),
    h=st.sampled_from([2e-9, 1e-6, 1e-3, 0.1, 7.0]),
    n=st.integers(3, 80),
    picks=st.lists(st.tuples(st.integers(0, 79), st.integers(-3, 3), st.floats(-1e-3, 1e-3)), min_size=1, max_size=40),
)
def test_batches_are_single_points_on_any_grid(x0, h, n, picks):
    x = x0 + h * np.arange(n)
    assume(np.all(np.diff(x) > 0))  # steps below an ulp of x0 repeat knots
    y = np.cos(np.arange(n) * 1.3)
    queries = []
    for k, ulps, frac in picks:
        q = x[k % n] + frac * h
        for _ in range(abs(ulps)):
            q = np.nextafter(q, np.inf if ulps > 0 else -np.inf)
        queries.append(q)
    queries = np.array(queries)
    for cls in PIECEWISE:
        interp = cls()
        interp.fit(x, y)
        singles = np.array([interp(float(q)) for q in queries])
        assert same_bits(interp(queries), singles)
        assert same_bits(interp(np.sort(queries)), np.array([interp(float(q)) for q in np.sort(queries)]))
