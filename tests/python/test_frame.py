"""What every class shares: call dispatch by input kind, conversions, errors, borrow conflicts."""

import inspect
import subprocess
import sys

import numpy as np
import pytest

import morvelay

from faces import FACES

NOT_AN_INPUT = "Input must be a float, list of floats, or NumPy array"


@pytest.fixture(params=FACES, ids=lambda face: face.name)
def face(request):
    return request.param


@pytest.fixture
def fitted(face):
    instance = face.new()
    face.fit(instance)
    return instance


def test_module_holds_the_classes_and_nothing_else():
    public = [name for name in dir(morvelay) if not name.startswith("_")]
    assert public == sorted(face.name for face in FACES)
    for face in FACES:
        cls = getattr(morvelay, face.name)
        assert cls.__module__ == "builtins"
        assert cls.__qualname__ == face.name
        assert cls.__text_signature__ is not None
        inspect.signature(cls)
        inspect.signature(cls.fit)


def test_each_input_kind_gets_its_own_answer_type(fitted):
    points = [0.25, 1.0, 1.75]
    expected = [fitted(p) for p in points]
    assert all(type(v) is float for v in expected)
    assert fitted(points) == expected
    assert fitted(tuple(points)) == expected
    array_result = fitted(np.array(points))
    assert type(array_result) is np.ndarray and array_result.dtype == np.float64
    assert array_result.tolist() == expected
    assert type(fitted(np.float64(0.25))) is float
    assert type(fitted(np.array(0.25))) is float
    assert type(fitted(1)) is float and type(fitted(True)) is float
    assert fitted(x=0.25) == expected[0]


def test_arrays_with_dimensions_never_take_the_scalar_path(fitted):
    one = fitted(np.array([0.25]))
    assert type(one) is np.ndarray and one.shape == (1,)
    assert fitted(np.array([1], dtype=np.int64)) == [fitted(1.0)]
    assert fitted(np.array([0, 1], dtype=np.int32)) == [fitted(0.0), fitted(1.0)]
    empty = fitted(np.array([], dtype=np.float64))
    assert type(empty) is np.ndarray and empty.shape == (0,)
    assert fitted([]) == []


def test_rejected_inputs(fitted):
    with pytest.raises(TypeError, match="The given array is not contiguous"):
        fitted(np.arange(10.0)[::2])
    for bad in ("abc", None, {1: 2}, np.zeros((2, 2)), object(), iter([0.5])):
        with pytest.raises(ValueError, match=NOT_AN_INPUT):
            fitted(bad)
    with pytest.raises(TypeError):
        fitted()
    with pytest.raises(TypeError):
        fitted(0.5, 0.5)


def test_input_array_is_read_not_written(fitted):
    xs = np.linspace(0.0, 2.0, 33)
    before = xs.copy()
    fitted(xs)
    np.testing.assert_array_equal(xs, before)


def test_unfitted_instance_refuses_every_input_kind(face):
    instance = face.new()
    for query in (0.5, [0.5], [], np.array([0.5]), np.array([], dtype=np.float64)):
        with pytest.raises(ValueError) as error:
            instance(query)
        assert str(error.value) == face.not_fitted


def test_failed_fit_keeps_the_previous_fit(face, fitted):
    queries = np.linspace(*face.queries, 17)
    before = fitted(queries)
    text = repr(fitted)
    with pytest.raises(ValueError):
        face.bad_fit(fitted)
    np.testing.assert_array_equal(fitted(queries), before)
    assert repr(fitted) == text


def test_fit_refuses_strings_and_iterators_naming_the_argument(face):
    instance = face.new()
    fit_params = list(inspect.signature(instance.fit).parameters)
    for bad in ("ab", iter([0.0, 1.0]), {0.0, 1.0}, (x for x in [0.0])):
        arguments = [bad] + [[0.0, 1.0]] * (len(fit_params) - 1)
        with pytest.raises(TypeError, match=repr(fit_params[0])):
            instance.fit(*arguments)
    with pytest.raises(TypeError, match=f"'{fit_params[0]}'"):
        instance.fit(*([[0.0, "a"]] + [[0.0, 1.0]] * (len(fit_params) - 1)))


def test_reentrant_use_is_refused(face, fitted):
    class Sneaky:
        def __float__(self):
            face.fit(fitted)  # an exclusive use while the call holds the instance shared
            return 0.5

    # The item's conversion error is dropped and the call reports an unusable input.
    with pytest.raises(ValueError, match=NOT_AN_INPUT):
        fitted([Sneaky()])

    class Spy:
        seen = None

        def __float__(self):
            try:
                fitted(0.5)
            except RuntimeError as error:
                Spy.seen = error
            return 0.5

    fit_params = list(inspect.signature(fitted.fit).parameters)
    try:
        fitted.fit(*([[Spy(), 1.0]] + [[0.0, 1.0]] * (len(fit_params) - 1)))
    except (ValueError, TypeError):
        pass
    assert isinstance(Spy.seen, RuntimeError)


def test_sub_interpreters_are_refused():
    """Isolated sub-interpreters cannot import the module; legacy ones get CPython's copy of it but cannot
    build instances.  Run in a fresh process so the main interpreter has not imported it first."""
    script = """
import _interpreters
for kind in ("legacy", "isolated"):
    interpreter = _interpreters.create(kind)
    _interpreters.exec(interpreter, '''
try:
    import morvelay
    morvelay.LinearInterpolator()
    print("usable")
except ImportError:
    print("refused")
''')
    _interpreters.destroy(interpreter)
import morvelay
print(morvelay.LinearInterpolator())
"""
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    assert result.stdout.split("\n")[:3] == ["refused", "refused", "LinearInterpolator(not fitted)"]
