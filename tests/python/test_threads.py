"""Threads: long evaluations and fits let other Python threads run, readers sharing an instance get the
same bits, and a refit racing evaluations without the GIL shows each reader one whole fit or a
RuntimeError."""

import threading
import time

import numpy as np
import pytest

import morvelay

from faces import FACES


@pytest.fixture(params=FACES, ids=lambda face: face.name)
def face(request):
    return request.param


class Counter(threading.Thread):
    """Pure Python work: counts loop turns until stopped."""

    def __init__(self):
        super().__init__(daemon=True)
        self.count = 0
        self.running = threading.Event()
        self.stop = False

    def run(self):
        self.running.set()
        while not self.stop:
            self.count += 1


def counting_rate(work):
    """Loop turns per second of a Python thread while `work()` runs on this one."""
    counter = Counter()
    counter.start()
    counter.running.wait()
    time.sleep(0.01)
    start_count, start = counter.count, time.perf_counter()
    work()
    end_count, end = counter.count, time.perf_counter()
    counter.stop = True
    counter.join()
    return (end_count - start_count) / (end - start)


def sized_for(work, size, seconds, factor):
    """The first size, growing by `factor` from `size`, at which `work(size)` takes `seconds` or more."""
    while True:
        start = time.perf_counter()
        work(size)
        if time.perf_counter() - start >= seconds:
            return size
        size = int(size * factor)


def rbf_data(n):
    x = np.arange(n, dtype=np.float64)
    return x, np.sin(0.05 * x) + 0.1 * np.cos(0.7 * x)


@pytest.mark.parametrize("kind", ["evaluation", "fit"])
def test_a_python_thread_keeps_running_during_long_work(kind):
    rbf = morvelay.RBFInterpolator("multiquadric", 0.5)
    if kind == "evaluation":
        rbf.fit(*rbf_data(500))
        size = sized_for(lambda m: rbf(np.linspace(0.0, 499.0, m)), 1000, 0.2, 2.0)
        queries = np.linspace(0.0, 499.0, size)
        work = lambda: rbf(queries)  # noqa: E731
    else:
        size = sized_for(lambda n: rbf.fit(*rbf_data(n)), 100, 0.2, 1.3)
        data = rbf_data(size)
        work = lambda: rbf.fit(*data)  # noqa: E731
    # Idle rate measured around the busy one, on the same loaded machine.
    idle = [counting_rate(lambda: time.sleep(0.3)) for _ in range(2)]
    busy = counting_rate(work)
    assert busy >= 0.2 * min(idle), (busy, idle)


def test_threads_sharing_an_instance_get_the_same_bits(face):
    instance = face.new()
    face.fit(instance)
    queries = np.random.default_rng(2).uniform(*face.queries, 50_000)
    expected = instance(queries).tobytes()
    as_list = instance(queries[:5000].tolist())
    results, lists = [], []

    def read():
        for _ in range(10):
            results.append(instance(queries).tobytes())
            lists.append(instance(queries[:5000].tolist()))

    threads = [threading.Thread(target=read) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len(results) == 40 and all(result == expected for result in results)
    assert all(result == as_list for result in lists)


def big_fits():
    """Per class: a new instance and two fits, each large enough to run without the GIL, on the same x."""
    n = 20_000
    x = np.linspace(0.0, 2.0, n)
    nodes = np.cos(np.pi * (np.arange(120) + 0.5) / 120) + 1.0
    return {
        "LinearInterpolator": (morvelay.LinearInterpolator, x, n),
        "QuadraticInterpolator": (morvelay.QuadraticInterpolator, x, n),
        "CubicSplineInterpolator": (morvelay.CubicSplineInterpolator, x, n),
        "LeastSquaresInterpolator": (lambda: morvelay.LeastSquaresInterpolator(3), x, n),
        "NewtonInterpolator": (morvelay.NewtonInterpolator, nodes, None),
        "LagrangeInterpolator": (morvelay.LagrangeInterpolator, nodes, None),
        "HermiteInterpolator": (morvelay.HermiteInterpolator, nodes, None),
        "RBFInterpolator": (lambda: morvelay.RBFInterpolator("gaussian", 40.0), np.linspace(0.0, 2.0, 80), None),
        "ChebyshevInterpolator": (lambda: morvelay.ChebyshevInterpolator(600, 0.0, 2.0), None, None),
    }


@pytest.mark.parametrize("name", sorted(big_fits()))
def test_a_refit_racing_evaluations_is_seen_whole_or_refused(name):
    new, x, _ = big_fits()[name]
    instance = new()
    if x is None:
        x = np.array(instance.get_nodes())

    def fit_with(scale):
        y = np.sin(3.0 * x) * scale
        if name == "HermiteInterpolator":
            instance.fit(x, y, 3.0 * np.cos(3.0 * x) * scale)
        elif name == "ChebyshevInterpolator":
            instance.fit(y)
        else:
            instance.fit(x, y)

    queries = np.linspace(0.0, 2.0, 40_000)
    fit_with(2.0)
    new_values = instance(queries).tobytes()
    fit_with(1.0)
    old_values = instance(queries).tobytes()
    assert new_values != old_values
    seen = {"old": 0, "new": 0, "reader refused": 0, "writer refused": 0}
    mixed = []
    stop = threading.Event()

    def refit():
        while not stop.is_set():
            for scale in (2.0, 1.0):
                try:
                    fit_with(scale)
                except RuntimeError:
                    seen["writer refused"] += 1
                # Leaves the instance free with the GIL let go, or readers would only ever run while a
                # fit (which lets the GIL go itself) holds the instance.
                time.sleep(1e-4)

    def read():
        deadline = time.monotonic() + 20.0
        for attempt in range(1_000_000):
            enough = seen["old"] and seen["new"] and seen["reader refused"] + seen["writer refused"]
            if (attempt >= 50 and enough) or time.monotonic() > deadline:
                return
            time.sleep(1e-4)  # two readers back to back would keep the instance shared for good
            try:
                values = instance(queries).tobytes()
            except RuntimeError:
                seen["reader refused"] += 1
                continue
            if values == old_values:
                seen["old"] += 1
            elif values == new_values:
                seen["new"] += 1
            else:
                mixed.append(values)

    writer = threading.Thread(target=refit)
    readers = [threading.Thread(target=read) for _ in range(2)]
    writer.start()
    for reader in readers:
        reader.start()
    for reader in readers:
        reader.join()
    stop.set()
    writer.join()
    assert not mixed
    assert seen["old"] and seen["new"] and seen["reader refused"] + seen["writer refused"], seen
