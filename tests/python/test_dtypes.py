"""Arrays and NumPy scalars of every dtype, in every class: real ones convert in one pass to the values
float() gives item by item; complex, datetime, text and other non-real ones are refused, never truncated,
and never with a warning."""

import inspect
import warnings

import numpy as np
import pytest

from faces import FACES

NOT_AN_INPUT = "Input must be a float, list of floats, or NumPy array"

REAL_DTYPES = ["?", "i1", "u1", "i2", "u2", "i4", "u4", "i8", "u8", "f2", "f4", "g", ">i4", ">f8", "<f4"]


def non_real_arrays(values):
    """Arrays holding `values` (small non-negative integers) in dtypes that do not cast to float64 by
    NumPy's same_kind rule, plus object arrays and lists whose items are not real numbers."""
    n = len(values)
    return [
        np.array(values, dtype=np.complex128),
        np.array(values, dtype=np.complex64) + 1j,
        np.array(values, dtype="m8[s]"),
        np.array(values, dtype="M8[D]"),
        np.array([str(v) for v in values]),
        np.array([str(v).encode() for v in values]),
        np.zeros(n, dtype="V8"),
        np.array([complex(v, 1) for v in values], dtype=object),
        np.array([np.complex128(v) for v in values], dtype=object),
        [np.complex128(v) for v in values],
        [float(v) for v in values[:-1]] + [np.complex64(values[-1])],
    ]


@pytest.fixture(params=FACES, ids=lambda face: face.name)
def face(request):
    return request.param


@pytest.fixture(autouse=True)
def warnings_are_errors():
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        yield


def state(face, instance):
    queries = np.linspace(*face.queries, 9)
    try:
        return repr(instance), np.asarray(instance(queries)).tobytes()
    except ValueError as error:
        return repr(instance), str(error)


def fit_data(instance):
    """Per fit parameter: name and good float values (data fitting every class)."""
    names = list(inspect.signature(instance.fit).parameters)
    if len(names) == 1:  # Chebyshev: values at its nodes
        return {names[0]: [1.0, 2.0, 0.0, 3.0, 2.0, 1.0]}
    data = {"x": [0.0, 1.0, 2.0, 3.0], "y": [1.0, 3.0, 2.0, 0.0], "dy": [0.0, 1.0, 2.0, 1.0]}
    return {name: data[name] for name in names}


def test_fit_refuses_non_real_arrays_naming_the_argument(face):
    for start_fitted in (False, True):
        instance = face.new()
        if start_fitted:
            face.fit(instance)
        before = state(face, instance)
        good = fit_data(instance)
        for name, values in good.items():
            for bad in non_real_arrays([int(v) for v in values]):
                arguments = dict(good, **{name: bad})
                with pytest.raises(TypeError, match=f"'{name}'"):
                    instance.fit(**arguments)
                assert state(face, instance) == before, (name, bad)


def test_updates_refuse_non_real_values(face):
    instance = face.new()
    face.fit(instance)
    before = state(face, instance)
    if hasattr(instance, "update_y"):
        for bad in non_real_arrays([1, 2, 0, 3, 2]):
            with pytest.raises(TypeError, match="'y'"):
                instance.update_y(bad)
    if hasattr(instance, "add_point"):
        for bad in (np.complex128(5), np.complex64(5 + 1j), np.array(5 + 0j), np.timedelta64(5, "s"), 5 + 0j):
            with pytest.raises(TypeError, match="'x_new'"):
                instance.add_point(bad, 1.0)
            with pytest.raises(TypeError, match="'y_new'"):
                instance.add_point(5.0, bad)
    assert state(face, instance) == before


def test_call_refuses_non_real_input(face):
    instance = face.new()
    face.fit(instance)
    for bad in [
        *non_real_arrays([0, 1, 2]),
        np.complex128(0.5),
        np.complex64(0.5),
        np.array(0.5 + 0j),
        np.array([0.5 + 0j]),
        np.timedelta64(1, "s"),
        np.datetime64("2020-01-01"),
        np.str_("0.5"),
        np.array(np.complex128(0.5), dtype=object),
        0.5 + 0j,
    ]:
        with pytest.raises(ValueError, match=NOT_AN_INPUT):
            instance(bad)


def test_real_dtypes_give_what_float64_gives(face):
    instance, reference = face.new(), face.new()
    face.fit(reference)
    lo, hi = face.queries
    as_float64 = np.array([lo, 0.0, 1.0, 2.0, hi])
    for dtype in REAL_DTYPES:
        # Values every dtype holds exactly (bool: 0 and 1 only).
        queries = np.array([0, 1, 1, 0], dtype=dtype) if dtype == "?" else np.array([0, 2, 1, 0], dtype=dtype)
        answer = reference(queries)
        assert type(answer) is list, dtype
        assert answer == [reference(float(q)) for q in queries], dtype
        # Strided, and from a longer buffer: the layout does not matter.
        strided = np.repeat(queries, 2)[::2]
        assert reference(strided) == answer, dtype
        # Scalars of every real dtype are floats, and so are zero-dimensional arrays of them.
        assert reference(queries[1]) == reference(float(queries[1])), dtype
        assert reference(np.array(queries[1])) == reference(float(queries[1])), dtype
        assert reference(np.array(queries[1], dtype=object)) == reference(float(queries[1])), dtype
        # Fitting from any real dtype equals fitting from the same numbers as lists.
        good = fit_data(instance)
        if dtype != "?":
            instance.fit(**{name: np.array(values, dtype=dtype) for name, values in good.items()})
            reference.fit(**good)
            assert state(face, instance) == state(face, reference), dtype
    assert type(reference(as_float64)) is np.ndarray


def test_long_doubles_beyond_double_become_infinities_quietly(face):
    big = np.longdouble("1e400")
    if np.isinf(big):
        pytest.skip("long double is double here")
    instance = face.new()
    face.fit(instance)
    huge = np.array([big, -big, 0.5], dtype=np.longdouble)
    try:
        expected = [instance(v) for v in (np.inf, -np.inf, 0.5)]
    except ValueError:  # a class that refuses points outside its interval refuses these too
        with pytest.raises(ValueError):
            instance(huge)
        return
    np.testing.assert_array_equal(instance(huge), expected)
