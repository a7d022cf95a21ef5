"""RBFInterpolator against scipy.interpolate.RBFInterpolator, side by side in one process.

Run: .venv/bin/python bench/bench_rbf.py   (once scripts/bench.sh has installed the module into .venv)

SciPy is asked for the same interpolant: the same kernel and epsilon and no polynomial term
(degree=-1).  Where the two libraries' kernels differ:
  * multiquadric: SciPy's is -sqrt(1 + (eps r)^2), ours +sqrt(...): the weights change sign, the
    interpolant is the same.
  * linear and thin_plate_spline: SciPy scales r by epsilon (-eps r, (eps r)^2 log(eps r)); with
    epsilon = 1 both match ours exactly, so those kernels run with epsilon = 1.  SciPy warns that
    degree=-1 is below their minimum degree; the comparison needs it anyway.
  * SciPy's fit always solves with LAPACK's LU (blocked, and threaded by the BLAS); ours runs the
    library's fixed elimination order on one thread, so the fit ratio is not like for like in
    parallelism.  SciPy's evaluation also builds a query-by-centre kernel matrix and multiplies it
    by the weights (BLAS), while ours sums per query.
Ratios are SciPy time / morvelay time (above 1 means morvelay is faster); best of several runs.
"""

import os
import time
import warnings

import numpy as np
from scipy.interpolate import RBFInterpolator as SciPyRBF

import morvelay

KERNELS = {  # name: epsilon used by both
    "gaussian": 1.0,
    "multiquadric": 0.5,
    "inverse_multiquadric": 0.5,
    "thin_plate_spline": 1.0,
    "linear": 1.0,
}


def best_of(repeats, function, *args):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        function(*args)
        best = min(best, time.perf_counter() - start)
    return best


def centres(n, uniform, rng):
    x = np.arange(n, dtype=np.float64)
    if not uniform:
        x = x + rng.uniform(-0.3, 0.3, n)  # scattered, but no two centres closer than 0.4
        rng.shuffle(x)
    return x, np.sin(0.05 * x) + 0.1 * np.cos(0.7 * x)


def scipy_model(x, y, kernel, eps):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return SciPyRBF(x[:, None], y, kernel=kernel, epsilon=eps, degree=-1)


def ours(x, y, kernel, eps):
    interp = morvelay.RBFInterpolator(kernel, eps)
    interp.fit(x, y)
    return interp


def bench_fit(rng):
    print("fit (ms)                     n   morvelay     scipy   ratio")
    for n in (1000, 2000):
        x, y = centres(n, False, rng)
        for kernel, eps in KERNELS.items():
            repeats = 3 if n == 1000 else 2
            t_ours = best_of(repeats, ours, x, y, kernel, eps)
            t_scipy = best_of(repeats, scipy_model, x, y, kernel, eps)
            print(f"  {kernel:22s} {n:6d} {t_ours * 1e3:10.1f} {t_scipy * 1e3:9.1f} {t_scipy / t_ours:7.2f}")


def bench_eval(rng):
    print("evaluate 100000 queries, 1000 centres (ms)   morvelay     scipy   ratio  max rel diff")
    for uniform in (True, False):
        x, y = centres(1000, uniform, rng)
        queries = rng.uniform(-5.0, 1005.0, 100_000)
        for kernel, eps in KERNELS.items():
            mine = ours(x, y, kernel, eps)
            theirs = scipy_model(x, y, kernel, eps)
            a, b = mine(queries), theirs(queries[:, None])
            diff = np.abs(a - b).max() / np.abs(b).max()
            t_ours = best_of(3, mine, queries)
            t_scipy = best_of(3, theirs, queries[:, None])
            label = f"{kernel} ({'uniform' if uniform else 'scattered'})"
            ratio = t_scipy / t_ours
            print(f"  {label:40s} {t_ours * 1e3:10.1f} {t_scipy * 1e3:9.1f} {ratio:7.2f}  {diff:9.1e}")


if __name__ == "__main__":
    print(f"OPENBLAS_NUM_THREADS={os.environ.get('OPENBLAS_NUM_THREADS', 'unset')}, cpus={os.cpu_count()}")
    generator = np.random.default_rng(2024)
    bench_eval(generator)
    bench_fit(generator)
