"""One fitted interpolator evaluated over more points than one call should take, with Dask.

Interpolators pickle, so the same object can be handed to threads (shared: calls only read it), to
worker processes on this machine, and to the workers of a cluster on other machines, which unpickle it
against their own installed morvelay.  Three ways to spread one evaluation:

- a chunked dask.array and map_blocks, on the threaded scheduler;
- the same graph on dask.distributed: here a LocalCluster of worker processes, and unchanged on a real
  cluster (pass its scheduler address to Client instead);
- a multiprocessing pool with the "spawn" start method, without Dask.

Each block is a contiguous one-dimensional float64 array, which the interpolator reads in place and
answers with a new array, so every route gives exactly the values of one direct call.

Run: python examples/dask_evaluate.py   (needs dask[array] and distributed besides morvelay)
"""

import multiprocessing
import time

import dask.array as da
import numpy as np
import numpy.typing as npt
from dask.distributed import Client, LocalCluster

import morvelay

Floats = npt.NDArray[np.float64]


def fitted_interpolator() -> morvelay.CubicSplineInterpolator:
    """A damped sine on 1001 knots."""
    x = np.linspace(0.0, 10.0, 1001)
    interp = morvelay.CubicSplineInterpolator()
    interp.fit(x, np.sin(3.0 * x) * np.exp(-0.2 * x))
    return interp


def lazy_values(interp: morvelay.CubicSplineInterpolator, points: da.Array) -> da.Array:
    """The interpolator over every block of `points`, as a graph nothing has run yet."""
    return points.map_blocks(interp, dtype=np.float64, meta=np.empty(0, dtype=np.float64), name="interpolate")


def on_threads(interp: morvelay.CubicSplineInterpolator, points: da.Array) -> Floats:
    values: Floats = lazy_values(interp, points).compute(scheduler="threads")
    return values


def on_cluster(
    interp: morvelay.CubicSplineInterpolator, points: da.Array, client: Client, timeout: float = 120.0
) -> Floats:
    values: Floats = client.compute(lazy_values(interp, points)).result(timeout=timeout)
    return values


def in_spawned_processes(interp: morvelay.CubicSplineInterpolator, queries: Floats, processes: int = 2) -> Floats:
    # "spawn" starts fresh interpreters, as on macOS and Windows: each worker unpickles the
    # interpolator with every task, importing morvelay on its own.
    with multiprocessing.get_context("spawn").Pool(processes) as pool:
        parts = pool.map(interp, np.array_split(queries, 4 * processes))
    return np.concatenate(parts)


def main() -> None:
    interp = fitted_interpolator()
    # Drawn block by block where the graph runs (on the workers, for a cluster), so no graph carries
    # the points themselves; the same seed gives the same blocks every time.
    points = da.random.default_rng(0).uniform(0.0, 10.0, size=4_000_000, chunks=500_000)
    queries: Floats = points.compute()
    started = time.perf_counter()
    direct = interp(queries)
    print(f"direct call:        {time.perf_counter() - started:.3f} s")

    started = time.perf_counter()
    threaded = on_threads(interp, points)
    print(f"dask, threads:      {time.perf_counter() - started:.3f} s")

    with (
        LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster,
        Client(cluster) as client,
    ):
        started = time.perf_counter()
        clustered = on_cluster(interp, points, client)
        print(f"dask.distributed:   {time.perf_counter() - started:.3f} s (2 worker processes)")

    started = time.perf_counter()
    spawned = in_spawned_processes(interp, queries)
    print(f"spawned processes:  {time.perf_counter() - started:.3f} s (2 processes)")

    for name, values in (("threads", threaded), ("distributed", clustered), ("spawn", spawned)):
        assert values.tobytes() == direct.tobytes(), name
    print("every route gave the direct call's values, bit for bit")


if __name__ == "__main__":
    main()
