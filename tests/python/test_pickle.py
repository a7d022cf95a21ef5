"""Pickling and copying: every protocol gives back every answer bit for bit, copies are independent, a
damaged or forged state is refused with ValueError and leaves the instance as it was, and the pickles
committed under data/ still load."""

import copy
import json
import math
import os
import pickle
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import morvelay

import pickle_fuzz
from faces import FACES
from pickle_cases import CASES, answers

PROTOCOLS = range(pickle.HIGHEST_PROTOCOL + 1)
DATA = Path(__file__).parent / "data"
PROTOCOL_ENTRIES = {"__reduce__", "__setstate__", "__copy__", "__deepcopy__"}


@pytest.fixture(params=FACES, ids=lambda face: face.name)
def face(request):
    return request.param


@pytest.mark.parametrize("name", CASES)
def test_every_protocol_gives_back_every_answer(name):
    original = CASES[name]()
    expected = answers(original)
    for protocol in PROTOCOLS:
        restored = pickle.loads(pickle.dumps(original, protocol=protocol))
        assert type(restored) is type(original)
        assert answers(restored) == expected, f"protocol {protocol}"
    assert answers(original) == expected


def test_the_surface_gains_only_the_protocol_entries():
    assert [name for name in dir(morvelay) if not name.startswith("_")] == sorted(face.name for face in FACES)
    for face in FACES:
        cls = getattr(morvelay, face.name)
        assert cls.__module__ == "builtins"
        assert PROTOCOL_ENTRIES <= set(vars(cls))
        assert not {"__getstate__", "__reduce_ex__", "__getnewargs__"} & set(vars(cls))


def test_a_pickle_loads_in_a_fresh_interpreter_through_the_installed_module():
    instances = [CASES[name]() for name in ("linear", "chebyshev", "rbf_unfitted")]
    data = pickle.dumps(instances + instances, protocol=2)
    assert data.count(b"__import__") == 1  # one reference to the module serves every class
    script = "import pickle, sys; print([repr(i) for i in pickle.loads(sys.stdin.buffer.read())])"
    loaded = subprocess.run([sys.executable, "-c", script], input=data, capture_output=True, check=True)
    assert loaded.stdout.decode().strip() == repr([repr(i) for i in instances + instances])


def test_the_reduce_value_works_in_process_too(face):
    instance = face.new()
    face.fit(instance)
    reference, arguments, state = instance.__reduce__()
    assert arguments == ()
    rebuilt = reference()
    assert type(rebuilt) is type(instance)
    rebuilt.__setstate__(state)
    assert answers(rebuilt) == answers(instance)
    assert set(state) >= {"class", "version"} and state["class"] == face.name
    assert all(type(value) in (bytes, float, int, str) for value in state.values())


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy], ids=["copy", "deepcopy"])
def test_copies_are_independent(face, duplicate):
    original = face.new()
    assert answers(duplicate(original)) == answers(original)
    face.fit(original)
    before = answers(original)
    twin = duplicate(original)
    assert type(twin) is type(original) and twin is not original
    assert answers(twin) == before
    face.refit(twin)
    assert answers(original) == before
    assert answers(twin) != before
    face.refit(original)
    assert answers(original) == answers(twin)


def test_saving_copying_and_restoring_wait_for_no_refit_in_progress():
    interp = morvelay.ChebyshevInterpolator(4)
    state = interp.__reduce__()[2]

    def sample(x):
        for use in (interp.__reduce__, lambda: copy.deepcopy(interp), lambda: interp.__setstate__(state)):
            with pytest.raises(RuntimeError):
                use()
        return x

    interp.fit_function(sample)
    assert interp(0.5) == pytest.approx(0.5)


# ---- refusals ---------------------------------------------------------------------------------------------


def doubles(data):
    return np.frombuffer(data, dtype="<f8").tolist()


def packed(values):
    return np.asarray(values, dtype="<f8").tobytes()


def without(state, key):
    return {k: v for k, v in state.items() if k != key}


def first_array(state):
    return next(k for k, v in state.items() if isinstance(v, bytes))


GENERIC = [
    (lambda s: list(s.items()), "expected a dict, got list"),
    (lambda s: {**s, "class": "SplineInterpolator"}, "it was saved from SplineInterpolator"),
    (lambda s: without(s, "class"), "no class name"),
    (lambda s: without(s, "version"), "no format version"),
    (lambda s: {**s, "version": 2}, "format version 2 is not supported (expected 1)"),
    (lambda s: {**s, "version": -1}, "the format version must be a non-negative integer"),
    (lambda s: {**s, "version": 1.0}, "the format version must be a non-negative integer"),
    (lambda s: without(s, first_array(s)), "missing field"),
    (lambda s: {**s, "extra": 1.0}, "unknown field 'extra'"),
    (lambda s: {**s, 7: 1.0}, "a field name is not a str"),
    (lambda s: {**s, first_array(s): 1.0}, "must be an array of doubles"),
    (lambda s: {**s, first_array(s): bytearray(s[first_array(s)])}, "has the unsupported type bytearray"),
    (lambda s: {**s, first_array(s): s[first_array(s)] + b"\0"}, "not a whole number of doubles"),
    (lambda s: {**s, first_array(s): 2**64}, "is an integer out of range"),
]


def assert_refused(instance, state, message):
    before = answers(instance)
    with pytest.raises(ValueError) as refusal:
        instance.__setstate__(state)
    assert str(refusal.value).startswith(f"Invalid {type(instance).__name__} state: ")
    assert message in str(refusal.value)
    assert answers(instance) == before


@pytest.mark.parametrize(("damage", "message"), GENERIC, ids=[message for _, message in GENERIC])
def test_a_malformed_state_is_refused_and_changes_nothing(face, damage, message):
    instance = face.new()
    face.fit(instance)
    assert_refused(instance, damage(instance.__reduce__()[2]), message)


def test_every_array_one_value_short_is_refused(face):
    instance = face.new()
    face.fit(instance)
    state = instance.__reduce__()[2]
    for key, value in state.items():
        if isinstance(value, bytes):
            assert_refused(instance, {**state, key: value[:-8]}, "")


def _swap_first_two(key):
    def damage(state):
        values = doubles(state[key])
        values[0], values[1] = values[1], values[0]
        return {**state, key: packed(values)}

    return damage


def _set(key, value):
    return lambda state: {**state, key: value}


def _first_x_nan(state):
    return {**state, "x": packed([math.nan] + doubles(state["x"])[1:])}


def _duplicate_first_x(state):
    x = doubles(state["x"])
    return {**state, "x": packed([x[1]] + x[1:])}


SEMANTIC = [
    ("linear", _swap_first_two("x"), "x values must be strictly increasing"),
    ("linear", _first_x_nan, "x values must not be NaN"),
    ("linear_one_point", _set("x", packed([math.nan])), "x values must not be NaN"),
    ("quadratic", _swap_first_two("x"), "x values must be strictly increasing"),
    ("quadratic", lambda s: {**s, "x": s["x"][:16], "coefficients": b""}, "requires at least 3 data points"),
    ("cubic_spline", _first_x_nan, "x values must not be NaN"),
    ("cubic_spline", lambda s: {**s, "x": s["x"][:8], "segments": b""}, "requires at least 2 data points"),
    ("newton", lambda s: {**s, "coefficients": s["coefficients"][:-8]}, "must have the same length (5 vs 4)"),
    ("hermite", lambda s: {**s, "dy": s["dy"] + s["dy"]}, "must have the same length (5 vs 10)"),
    ("lagrange", _set("difference_exponent", 1001), "difference_exponent must lie in [-1000, 1000]"),
    ("lagrange", _set("weight_exponent", -(2**60)), "weight_exponent is out of range"),
    ("lagrange", _set("weight_exponent", 1.5), "field 'weight_exponent' must be an integer"),
    ("least_squares", _set("degree", 40), "Need at least 41 points for degree 40 polynomial"),
    ("least_squares", _set("degree", -1), "field 'degree' must be a non-negative integer"),
    ("rbf", _duplicate_first_x, "x values must be distinct"),
    ("rbf", _first_x_nan, "x values must not be NaN"),
    ("rbf", _set("kernel", "Gaussian"), "unknown kernel 'Gaussian'"),
    ("rbf", _set("epsilon", 0.0), "epsilon must be positive"),
    ("rbf", _set("kernel", 0), "field 'kernel' must be a text"),
    ("chebyshev", _set("use_clenshaw", 2), "use_clenshaw must be 0 or 1"),
    ("chebyshev", _set("x_max", -0.5), "x_min must be less than x_max"),
    ("chebyshev", _set("x_max", 2.6), "the nodes do not match the interval and count"),
    ("chebyshev", _swap_first_two("nodes"), "the nodes do not match the interval and count"),
    ("chebyshev", _set("nodes", b""), "n_points must be positive"),
    ("chebyshev", lambda s: {**s, "coefficients": s["coefficients"][:-8]}, "'coefficients' must hold 9 values"),
    ("LagrangeInterpolator_default", _set("weight_exponent", 3), "the exponents of an unfitted state must be 0"),
]


@pytest.mark.parametrize(("name", "damage", "message"), SEMANTIC, ids=[f"{n}: {m}" for n, _, m in SEMANTIC])
def test_a_state_no_fit_could_make_is_refused(name, damage, message):
    instance = CASES[name]()
    assert_refused(instance, damage(instance.__reduce__()[2]), message)


def test_a_state_can_be_handed_to_another_instance_of_the_class():
    source, target = CASES["rbf"](), morvelay.RBFInterpolator("linear", 3.0)
    target.fit([0.0, 1.0], [1.0, 2.0])
    target.__setstate__(source.__reduce__()[2])
    assert answers(target) == answers(source)
    assert_refused(morvelay.NewtonInterpolator(), source.__reduce__()[2], "it was saved from RBFInterpolator")


# ---- damaged pickles ----------------------------------------------------------------------------------------


def test_fuzz_damaged_pickles_are_refused_or_load_as_working_instances():
    # A crash ends the run; the counts show the refusals reached the state checks, not only pickle's own.
    rounds = int(os.environ.get("MORVELAY_PICKLE_FUZZ_ROUNDS", "3000"))
    seed = int(os.environ.get("MORVELAY_PICKLE_FUZZ_SEED", "15"))
    counts = pickle_fuzz.run(rounds, seed)
    print(f"\n{rounds} damaged pickles (seed {seed}):", dict(counts.most_common()))
    assert sum(counts.values()) == rounds
    assert counts["ValueError (state refused)"] > 0
    assert counts["loaded an interpolator"] > 0


# ---- pickles written by earlier versions -------------------------------------------------------------------

EXPECTED = json.loads((DATA / "expected.json").read_text())


@pytest.mark.parametrize("name", sorted(EXPECTED))
def test_committed_pickles_still_load_with_the_same_answers(name):
    entry = EXPECTED[name]
    restored = pickle.loads((DATA / entry["file"]).read_bytes())
    assert answers(restored) == entry["answers"]


def test_the_committed_pickles_cover_every_class_fitted_and_unfitted():
    fitted = {e["answers"]["type"] for e in EXPECTED.values() if "not fitted" not in e["answers"]["repr"]}
    assert fitted == {face.name for face in FACES}
    assert any("not fitted" in e["answers"]["repr"] for e in EXPECTED.values())
    assert {e["protocol"] for e in EXPECTED.values()} >= {0, 2, 4, 5}


@pytest.mark.parametrize(
    "cls",
    [morvelay.LinearInterpolator, morvelay.QuadraticInterpolator, morvelay.CubicSplineInterpolator],
    ids=lambda cls: cls.__name__,
)
def test_restored_piecewise_fits_search_uneven_and_even_grids_as_the_original(cls):
    # Enough knots for the search table of uneven grids, which a restored fit rebuilds from x; a cluster
    # puts hundreds of knots in one slice.
    rng = np.random.default_rng(7)
    uneven = np.unique(np.concatenate([rng.uniform(0.0, 100.0, 400), 50.0 + rng.uniform(0.0, 1e-6, 300)]))
    queries = np.concatenate([rng.uniform(-5.0, 105.0, 5000), uneven, [np.nan, np.inf, -np.inf]])
    for x in (uneven, np.linspace(0.0, 100.0, 200)):
        original = cls()
        original.fit(x, np.sin(x))
        restored = pickle.loads(pickle.dumps(original))
        for batch in (queries, np.sort(queries[:-3])):
            assert original(batch).tobytes() == restored(batch).tobytes()
        assert [original(q) for q in queries[:50]] == [restored(q) for q in queries[:50]]
