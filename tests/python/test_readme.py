"""Every code block in README.md runs, so the documentation cannot drift from the library.

Python blocks are executed, each in a fresh namespace and a scratch directory; they must run without an
exception (their comments show what they print).  C blocks are compiled as C99 against the
standalone library and run when MORVELAY_C_LIB_DIR names a directory holding libmorvelay.so (the test
command sets it).
"""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
README = (ROOT / "README.md").read_text()
BLOCKS = re.findall(r"```(\w+)\n(.*?)```", README, flags=re.DOTALL)


def blocks(language):
    return [code for lang, code in BLOCKS if lang == language]


@pytest.mark.parametrize("code", blocks("python"), ids=lambda code: code.splitlines()[0][:40])
def test_python_block_runs(code, capsys, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    exec(compile(code, "README.md", "exec"), {"__name__": "__readme__"})


@pytest.mark.parametrize("code", blocks("c"), ids=lambda code: code.splitlines()[0][:40])
def test_c_block_compiles_and_runs(code, tmp_path):
    library = os.environ.get("MORVELAY_C_LIB_DIR")
    if not library:
        pytest.skip("MORVELAY_C_LIB_DIR not set")
    if "int main" not in code:
        code += "\nint main(void) { return 0; }\n"
    source = tmp_path / "block.c"
    source.write_text(code)
    program = tmp_path / "block"
    flags = ["-std=c99", "-Wall", "-Wextra", "-Werror", "-pedantic"]
    subprocess.run(
        ["cc", *flags, f"-I{ROOT / 'include'}", str(source), f"-L{library}", "-lmorvelay", "-lm", "-o", str(program)],
        check=True,
    )
    subprocess.run([str(program)], check=True, env={**os.environ, "LD_LIBRARY_PATH": library})


def test_tour_runs_and_writes_its_figure(tmp_path):
    """The README's main job: the tour prints its table for all nine methods and writes tour.png."""
    result = subprocess.run(
        [sys.executable, str(ROOT / "examples" / "tour.py")], cwd=tmp_path, capture_output=True, text=True, check=True
    )
    for name in (
        "Linear",
        "Lagrange",
        "Newton",
        "Quadratic",
        "CubicSpline",
        "Hermite",
        "LeastSquares",
        "RBF",
        "Chebyshev",
    ):
        assert name in result.stdout
    assert (tmp_path / "tour.png").stat().st_size > 10_000
