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
