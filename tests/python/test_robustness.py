"""Hostile use of every class: bad inputs leave the instance exactly as it was, nothing leaks, and
threads racing a refit see the old fit, the new fit, or a RuntimeError, never a crash."""

import gc
import inspect
import os
import resource
import sys
import threading
import time
import tracemalloc

import numpy as np
import pytest

from faces import FACES

NAN, INF = float("nan"), float("inf")
# Under AddressSanitizer (tests/reliability/python_asan.sh) the allocator quarantines freed memory, so
# RSS grows by design; the leak test then runs shorter and trusts tracemalloc alone.
UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")


@pytest.fixture(params=FACES, ids=lambda face: face.name)
def face(request):
    return request.param


def snapshot(face, instance):
    queries = np.linspace(*face.queries, 23)
    try:
        values = instance(queries)
    except ValueError as error:
        values = str(error)
    return repr(instance), np.asarray(values).tobytes() if not isinstance(values, str) else values


def fit_arity(instance):
    return len(inspect.signature(instance.fit).parameters)


def bad_fit_arguments(arity):
    """Argument lists that must be refused, each with the exception it must raise."""
    good = [0.0, 0.5, 1.0, 1.5]
    other = [[0.0, 1.0, 2.0, 3.0]] * (arity - 1)
    cases = [
        ([None] + other, TypeError),
        (["0123"] + other, TypeError),
        ([b"ab".decode()] + other, TypeError),
        ([iter(good)] + other, TypeError),
        ([(v for v in good)] + other, TypeError),
        ([{0.0, 1.0}] + other, TypeError),
        ([{0.0: 1.0}] + other, TypeError),
        ([[0.0, "x", 1.0]] + other, TypeError),
        ([[0.0, [1.0], 1.0]] + other, TypeError),
        ([np.zeros((4, 2))] + other, TypeError),
        ([np.array([[0.0], [1.0]])] + other, TypeError),  # rows are arrays, not floats
        ([np.array(["a", "b"])] + other, TypeError),
        ([1.0] + other, TypeError),
    ]
    if arity > 1:
        cases.append(([good] + [[0.0, 1.0]] * (arity - 1), ValueError))  # wrong length
        cases.append(([[]] + [[]] * (arity - 1), ValueError))  # empty
    return cases


def test_bad_fits_leave_the_instance_unchanged(face):
    for start_fitted in (False, True):
        instance = face.new()
        if start_fitted:
            face.fit(instance)
        before = snapshot(face, instance)
        for arguments, exception in bad_fit_arguments(fit_arity(instance)):
            with pytest.raises(exception):
                instance.fit(*arguments)
            assert snapshot(face, instance) == before, arguments
        with pytest.raises(TypeError):
            instance.fit()
        with pytest.raises(TypeError):
            instance.fit(*([[0.0]] * (fit_arity(instance) + 1)))
        assert snapshot(face, instance) == before


def test_non_finite_data_never_crashes(face):
    rng = np.random.default_rng(5)
    for _ in range(40):
        instance = face.new()
        face.fit(instance)
        before = snapshot(face, instance)
        arity = fit_arity(instance)
        n = int(rng.integers(1, 12))
        arrays = []
        for _ in range(arity):
            values = rng.uniform(-2, 2, n)
            values[rng.random(n) < 0.3] = rng.choice([NAN, INF, -INF, -0.0, 5e-324, 1e308])
            arrays.append(values.tolist())
        try:
            instance.fit(*arrays)
        except ValueError:
            assert snapshot(face, instance) == before
            continue
        for query in (NAN, INF, -INF, 0.0, 1e308):
            try:
                instance(query)
            except ValueError:
                pass
        try:
            instance(np.array([NAN, 0.5, INF, -INF]))
        except ValueError:
            pass


def test_strided_and_foreign_arrays_are_copied_for_fit(face):
    instance = face.new()
    face.fit(instance)
    arity = fit_arity(instance)
    reference = face.new()
    face.fit(reference)
    # Refit the reference through lists and the instance through strided float64 and float32 views of the
    # same numbers: conversion must not depend on the layout.
    probe_args = [np.linspace(0.0, 2.0, 9) + k for k in range(arity)] if arity > 1 else None
    if probe_args is None:
        return
    try:
        reference.fit(*[a.tolist() for a in probe_args])
    except ValueError:
        return
    instance.fit(*[np.repeat(a, 2)[::2] for a in probe_args])
    queries = np.linspace(*face.queries, 11)
    np.testing.assert_array_equal(instance(queries), reference(queries))


def current_rss_kb():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


CALLS_PER_CLASS = (1_000_000 // len(FACES) + 1) // (10 if UNDER_ASAN else 1)  # a million across the classes


def test_no_reference_or_memory_leaks_on_any_path(face):
    instance = face.new()
    face.fit(instance)
    lo, hi = face.queries
    array = np.linspace(lo, hi, 64)
    as_list = array.tolist()
    strided = np.linspace(lo, hi, 32)[::2]
    arity = fit_arity(instance)
    calls = 0

    def expect(exception, function, *args, **kwargs):
        try:
            function(*args, **kwargs)
        except exception:
            return
        raise AssertionError(f"{function} did not raise {exception.__name__}")

    def every_path():
        # Successes: float, list, array (contiguous, strided, one element), repr, a new instance and a
        # fit through lists on it (which also frees the previous core and instance).
        instance(0.5 * (lo + hi))
        instance(as_list)
        instance(array)
        instance(np.array([lo]))
        repr(instance)
        other = face.new()
        face.fit(other)
        # Failures: strings, None, 2-D arrays, a bad element in a list, unfitted, a refused fit (on the
        # fitted instance, which keeps its fit), wrong fit arity and types, unknown keywords.
        expect(ValueError, instance, "abc")
        expect(ValueError, instance, None)
        expect((TypeError, ValueError), instance, np.zeros((2, 2)))
        expect((TypeError, ValueError), instance, [0.5, "x"])
        expect(TypeError, instance, strided)
        expect(ValueError, face.new(), as_list)
        expect(ValueError, face.bad_fit, instance)
        expect(TypeError, instance.fit)
        expect(TypeError, instance.fit, *(["ab"] * arity))
        expect(TypeError, instance.fit, *([as_list] * arity), bogus=1)
        return 17

    for _ in range(500):
        every_path()
    gc.collect()
    tracemalloc.start()
    rss_before = current_rss_kb()
    first, _ = tracemalloc.get_traced_memory()
    while calls < CALLS_PER_CLASS:
        calls += every_path()
    gc.collect()
    second, _ = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    rss_growth = current_rss_kb() - rss_before
    # Some 6,000 rounds of 17 calls: a single leaked float per round would show as hundreds of kilobytes.
    assert second - first < 100_000, f"{second - first} bytes of Python objects kept"
    assert UNDER_ASAN or rss_growth < 8_000, f"RSS grew by {rss_growth} kB"


class SlowFloat:
    """A number whose conversion runs Python code, giving other threads a chance to run mid-call (a float
    subclass would not do: its value is read directly)."""

    def __init__(self, value):
        self.value = float(value)

    def __float__(self):
        return self.value


class SlowFits:
    """Hands a face's fit data to the instance as SlowFloat lists, so the exclusive borrow is held while
    Python code runs and readers can collide with it."""

    def __init__(self, instance):
        self.instance = instance

    def fit(self, *arrays):
        self.instance.fit(*[[SlowFloat(v) for v in array] for array in arrays])


def test_threads_racing_a_refit_see_a_whole_fit_or_a_runtime_error(face):
    instance = face.new()
    lo, hi = face.queries
    queries = [SlowFloat(q) for q in np.linspace(lo, hi, 200)]
    face.refit(instance)
    new = np.array(instance(queries))
    face.fit(instance)
    old = np.array(instance(queries))
    assert not np.array_equal(old, new, equal_nan=True), "the two fits must be told apart"
    outcomes = {"old": 0, "new": 0, "reader refused": 0, "writer refused": 0, "refits": 0}
    failures = []
    stop = threading.Event()

    def refit():
        slow = SlowFits(instance)
        while not stop.is_set():
            for fit in (face.refit, face.fit):
                try:
                    fit(slow)
                    outcomes["refits"] += 1
                except RuntimeError:
                    outcomes["writer refused"] += 1
                time.sleep(1e-4)  # let readers meet this fit whole, not only the next refit in progress

    def call():
        # Until both fits have been seen (within reason): which one a reader meets is up to the scheduler.
        for attempt in range(3000):
            if attempt >= 300 and outcomes["old"] and outcomes["new"]:
                break
            try:
                values = np.array(instance(queries))
            except RuntimeError:
                outcomes["reader refused"] += 1
                continue
            if np.array_equal(values, old, equal_nan=True):
                outcomes["old"] += 1
            elif np.array_equal(values, new, equal_nan=True):
                outcomes["new"] += 1
            else:
                failures.append(values)

    switch_interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads as often as possible, inside the conversions too
    writer = threading.Thread(target=refit)
    readers = [threading.Thread(target=call) for _ in range(3)]
    try:
        writer.start()
        for reader in readers:
            reader.start()
        for reader in readers:
            reader.join()
    finally:
        stop.set()
        writer.join()
        sys.setswitchinterval(switch_interval)
    assert not failures
    # Both fits were seen, and the borrow guard refused one side or the other: the race was real.
    refused = outcomes["reader refused"] + outcomes["writer refused"]
    assert outcomes["old"] > 0 and outcomes["new"] > 0 and refused > 0, outcomes


@pytest.fixture
def address_space_cap():
    """Caps the address space a little above its current size, so a huge request fails at once whatever
    the machine's overcommit policy."""
    if "asan" in os.environ.get("LD_PRELOAD", ""):
        # The sanitizer reserves terabytes for its shadow, and ends the process on a failed operator new.
        pytest.skip("allocation failure cannot be observed under AddressSanitizer")
    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    with open("/proc/self/status") as status:
        size_kb = next(int(line.split()[1]) for line in status if line.startswith("VmSize:"))
    cap = size_kb * 1024 + (2 << 30)
    if hard != resource.RLIM_INFINITY and hard < cap:
        pytest.skip("address space already capped")
    resource.setrlimit(resource.RLIMIT_AS, (cap, hard))
    try:
        yield
    finally:
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))


def test_absurd_sizes_fail_cleanly(address_space_cap):
    """The dense methods' memory grows as n^2: a size far beyond memory must raise, at once, and leave
    the instance as it was."""
    import morvelay

    n = 1_000_000  # an 8 TB kernel matrix
    x = np.arange(n, dtype=float)
    rbf = morvelay.RBFInterpolator("gaussian", 1.0)
    rbf.fit([0.0, 1.0, 2.0], [1.0, 0.0, 1.0])
    before = rbf([0.5, 1.5])
    with pytest.raises(MemoryError):
        rbf.fit(x, x)
    assert rbf([0.5, 1.5]) == before
    # A degree whose normal equations cannot exist, and a node count no vector can hold.
    with pytest.raises((MemoryError, ValueError)):
        morvelay.LeastSquaresInterpolator(10**12).fit([0.0, 1.0, 2.0], [1.0, 0.0, 1.0])
    for nodes in (10**15, 2**62, 2**64 - 1):
        with pytest.raises((MemoryError, ValueError, OverflowError)):
            morvelay.ChebyshevInterpolator(nodes, 0.0, 1.0)
