"""Evaluation spread over threads and processes (examples/dask_evaluate.py): Dask's threaded scheduler,
a dask.distributed LocalCluster of worker processes and a "spawn" multiprocessing pool all give the
direct call's values bit for bit.  The workers import morvelay themselves, as on another machine."""

import logging
import multiprocessing
import sys
from pathlib import Path

import numpy as np
import pytest

import morvelay

from pickle_cases import CASES

da = pytest.importorskip("dask.array")
distributed = pytest.importorskip("distributed")

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "examples"))
import dask_evaluate  # noqa: E402

QUERIES = np.random.default_rng(15).uniform(-1.0, 11.0, 20_000)


@pytest.fixture(scope="module")
def interp():
    return dask_evaluate.fitted_interpolator()


@pytest.fixture(scope="module")
def points():
    return da.from_array(QUERIES, chunks=3_000)  # uneven last block on purpose


def test_threaded_scheduler(interp, points):
    assert dask_evaluate.on_threads(interp, points).tobytes() == interp(QUERIES).tobytes()


def test_local_cluster_of_worker_processes(interp, points):
    cluster = distributed.LocalCluster(
        n_workers=2,
        threads_per_worker=1,
        processes=True,
        dashboard_address=None,
        silence_logs=logging.ERROR,
        death_timeout=60,
    )
    with cluster, distributed.Client(cluster, timeout=60) as client:
        values = dask_evaluate.on_cluster(interp, points, client, timeout=60)
        # Other classes travel the same way; the workers answer with the states they were sent.
        others = [CASES[name]() for name in ("lagrange", "rbf", "least_squares")]
        futures = client.map(lambda i: i(np.linspace(0.0, 2.0, 101)), others, pure=False)
        answered = client.gather(futures)
    assert values.tobytes() == interp(QUERIES).tobytes()
    for instance, remote in zip(others, answered, strict=True):
        assert remote.tobytes() == instance(np.linspace(0.0, 2.0, 101)).tobytes()


def test_spawned_process_pool(interp):
    assert dask_evaluate.in_spawned_processes(interp, QUERIES).tobytes() == interp(QUERIES).tobytes()


def test_a_pool_worker_refits_its_own_copy():
    # What a worker changes stays in the worker: the parent's instance keeps its fit.
    original = CASES["linear"]()
    before = original(0.75)
    with multiprocessing.get_context("spawn").Pool(1) as pool:
        refitted = pool.apply(_refit_and_return, (original,))
    assert original(0.75) == before
    assert isinstance(refitted, morvelay.LinearInterpolator) and refitted(0.75) == 2.0


def _refit_and_return(instance):
    instance.fit([0.0, 1.0], [2.0, 2.0])
    return instance
