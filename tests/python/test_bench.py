"""The benchmark command's promises: the README's summary shows the figures of docs/benchmarks.md, and a
filter that matches nothing is an error, not an empty table."""

import importlib.util
import subprocess
import sys
from pathlib import Path

import pytest

BENCH = Path(__file__).resolve().parents[2] / "bench"
spec = importlib.util.spec_from_file_location("bench_summary", BENCH / "summary.py")
summary = importlib.util.module_from_spec(spec)
spec.loader.exec_module(summary)


def test_readme_summary_is_the_one_docs_benchmarks_gives():
    assert summary.update_readme(check=True), "README.md's summary is stale: run python bench/summary.py"


def test_summary_refuses_a_table_without_its_rows():
    docs = summary.DOCS.read_text()
    dropped = next(line for line in docs.splitlines() if line.startswith("| linear eval random, uneven 1k knots |"))
    with pytest.raises(summary.SummaryError, match="linear eval random, uneven 1k knots against numpy.interp"):
        summary.summary_block(docs.replace(dropped + "\n", ""))
    with pytest.raises(summary.SummaryError, match="markers"):
        summary.with_summary("no markers here", "block")


def test_a_filter_that_matches_nothing_is_an_error():
    result = subprocess.run(
        [sys.executable, str(BENCH / "run.py"), "--filter", "no such workload"], capture_output=True, text=True
    )
    assert result.returncode != 0
    assert "--filter 'no such workload' matches no workload" in result.stderr
    assert "speed-up" not in result.stdout  # no table header for an empty table


def test_summary_takes_the_peer_ratios_from_the_peers_tables():
    docs = summary.DOCS.read_text().split("## Peers")[0]
    peers = (
        "## Peers\n\n| workload | peer | morvelay ns/query | peer ns/query | copy ns/query | ratio | aim | computes "
        "| warm-up |\n|---|---|---:|---:|---:|---:|---|---|---|\n"
        "| linear random, uniform | numba O(1) uniform kernel | 2.00 | 3.00 | 0.50 | 1.50x | 1.5x met | same "
        "| first call 900.0 ms |\n\n## Cost against the number of knots\n\n| linear random, uniform | 10 | 2.00x |\n"
    )
    assert summary.read_peers(docs + peers) == {("linear random, uniform", "numba O(1) uniform kernel"): 1.5}
    block = summary.summary_block(docs + peers)
    assert "| hand-written numba kernel / interpn | 1.5x / not run |" in block
