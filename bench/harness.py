"""What every benchmark table shares: the row, its measurement, the timing helpers, and the tools that hold a
process to one thread and show that it was held.

Import this before NumPy (or any library that starts a thread pool): it sets the thread-count variables
that those libraries read once, when they load.
"""

from __future__ import annotations

import os

# Read once by the thread pools of BLAS, OpenMP, numba and XLA when each loads: one worker each, so every
# routine on both sides of a row runs on the calling thread, as morvelay does.
SINGLE_THREAD = {
    "OMP_NUM_THREADS": "1",
    "OPENBLAS_NUM_THREADS": "1",
    "MKL_NUM_THREADS": "1",
    "BLIS_NUM_THREADS": "1",
    "NUMBA_NUM_THREADS": "1",
    "XLA_FLAGS": "--xla_cpu_multi_thread_eigen=false intra_op_parallelism_threads=1",
}
for _variable, _value in SINGLE_THREAD.items():
    os.environ.setdefault(_variable, _value)

import statistics  # noqa: E402
import threading  # noqa: E402
import time  # noqa: E402
from collections.abc import Callable  # noqa: E402
from dataclasses import dataclass  # noqa: E402
from pathlib import Path  # noqa: E402

import numpy as np  # noqa: E402

RNG_SEED = 20261208


@dataclass
class Row:
    name: str
    reference: str
    ours: Callable[[], object]
    theirs: Callable[[], object]
    count: int  # queries per call; 0 for a fit (reported in ms)
    agree: Callable[[object, object], float] | None = None  # the worst relative difference of the two results
    tolerance: float = 1e-9
    speed_only: bool = False  # the two compute different things (the floor): no agreement to check
    wall_clock: bool = False  # a side spreads work over threads: time it by the wall, not by this thread


def relative_difference(a: object, b: object) -> float:
    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)
    scale = max(float(np.max(np.abs(b))), 1e-300)
    return float(np.max(np.abs(a - b))) / scale


def timed(function: Callable[[], object], wall_clock: bool = False) -> float:
    """Seconds of this thread's CPU time the call takes (user and kernel, page faults included), or of the
    wall clock.  Every single-threaded side runs on the calling thread (the peers' processes show it), so
    its CPU time is its whole cost, and unlike the wall clock it leaves out the time other processes hold
    the core: on a shared machine the wall clock charges a long call for every preemption it suffers."""
    clock = time.perf_counter if wall_clock else time.thread_time
    start = clock()
    function()
    return clock() - start


SLOW_CALL = 0.5  # seconds: a row whose warm-up call takes longer is timed three times, not more


@dataclass
class Measured:
    ours: float  # seconds per call, median
    theirs: float
    agreement: float  # the worst relative difference of the two results
    floor: float | None  # a copy of an array the size of our batch result, timed beside it; None for others


def measure(row: Row, repeats: int) -> Measured:
    """Medians of the two sides' times, interleaved after a warm-up, how far apart their results are, and
    for a batch the copy floor of its result."""
    start = time.perf_counter()
    ours_result, theirs_result = row.ours(), row.theirs()  # warm-up, and the results to compare
    if time.perf_counter() - start > SLOW_CALL:
        repeats = min(repeats, 3)
    agreement = 0.0 if row.speed_only else (row.agree or relative_difference)(ours_result, theirs_result)
    batch = isinstance(ours_result, np.ndarray) and ours_result.size > 1 and ours_result.size == row.count
    copy = copy_of(ours_result) if batch else None
    ours, theirs, copies = [], [], []
    for _ in range(repeats):
        ours.append(timed(row.ours, row.wall_clock))
        theirs.append(timed(row.theirs, row.wall_clock))
        if copy is not None:
            copies.append(timed(copy))
    floor = statistics.median(copies) if copies else None
    return Measured(statistics.median(ours), statistics.median(theirs), agreement, floor)


def format_time(seconds: float, count: int) -> str:
    return f"{seconds / count * 1e9:9.2f} ns" if count else f"{seconds * 1e3:9.2f} ms"


def fitted(instance, *arguments):
    instance.fit(*arguments)
    return instance


def evaluated_alike(ours_call, theirs_call) -> Callable[[object, object], float]:
    """Agreement of two fitted objects: their values at fixed probe points."""
    return lambda a, b: relative_difference(ours_call(a), theirs_call(b))


def copy_of(source: np.ndarray) -> Callable[[], np.ndarray]:
    """The bandwidth floor of a batch call: read the queries once, write a new array of the same size."""

    def copy():
        out = np.empty_like(source)
        np.copyto(out, source)
        return out

    return copy


def on_threads(work, threads: int) -> list:
    """Runs work(i) for i in range(threads), one thread each, and returns the results in order."""
    results = [None] * threads

    def run(i):
        results[i] = work(i)

    workers = [threading.Thread(target=run, args=(i,)) for i in range(threads)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    return results


def pin_to_one_cpu(cpu: int | None = None) -> int:
    """Holds this thread, and every thread it starts from now on, to one CPU (the last allowed one unless
    named); returns that CPU."""
    allowed = sorted(os.sched_getaffinity(0))
    chosen = allowed[-1] if cpu is None else cpu
    os.sched_setaffinity(0, {chosen})
    return chosen


class ThreadClock:
    """Run time per thread of this process, from the kernel's scheduler statistics: a check that a timed
    region ran on one thread only, whatever pools the libraries started."""

    TASKS = Path("/proc/self/task")

    def __init__(self) -> None:
        self.ran: dict[int, int] = {}  # thread id -> nanoseconds on a CPU inside the regions
        self.threads: set[int] = set()

    @classmethod
    def snapshot(cls) -> dict[int, int]:
        times = {}
        for task in cls.TASKS.iterdir():
            try:
                times[int(task.name)] = int((task / "schedstat").read_text().split()[0])
            except (OSError, ValueError, IndexError):
                continue  # the thread ended while being read
        return times

    def region(self, function: Callable[[], object]) -> object:
        before = self.snapshot()
        result = function()
        after = self.snapshot()
        self.threads |= after.keys()
        for thread, ns in after.items():
            self.ran[thread] = self.ran.get(thread, 0) + ns - before.get(thread, 0)
        return result

    def split(self) -> tuple[int, int]:
        """Nanoseconds the calling thread ran in the regions, and all other threads together."""
        mine = self.ran.get(threading.get_native_id(), 0)
        return mine, sum(self.ran.values()) - mine

    def report(self) -> str:
        """One line: how many threads existed, how many ran in the timed regions, and for how long."""
        mine, others = self.split()
        ran = sum(1 for ns in self.ran.values() if ns > 0)
        return (
            f"{len(self.threads)} threads, {ran} ran during the timed regions "
            f"(the calling thread {mine / 1e6:.1f} ms, all others {others / 1e6:.3f} ms)"
        )

    def single(self) -> bool:
        """Only the calling thread ran (others under a thousandth of its time: a stray wake-up)."""
        mine, others = self.split()
        return others <= 1e-3 * mine
