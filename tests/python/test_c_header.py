"""The C header as a host's loader reads it, and the library driven through nothing but that reading.

MATLAB's loadlibrary, cffi and similar loaders do not compile against the header: they preprocess it,
parse the declarations and call into the shared object by name.  So the header is preprocessed here,
parsed with pycparser and checked against what libmorvelay.so exports (names) and against the interface
as documented (return and parameter types).  Then cffi in ABI mode, fed only the header's own
declarations, drives every family and must answer bit for bit as the Python module does.  Needs
MORVELAY_C_LIB_DIR (set by the test command) naming the folder of libmorvelay.so.
"""

import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

import morvelay

cffi = pytest.importorskip("cffi")
pycparser = pytest.importorskip("pycparser")
from pycparser import c_ast, c_generator  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
HEADER = ROOT / "include" / "morvelay.h"


@pytest.fixture(scope="module")
def library_path():
    folder = os.environ.get("MORVELAY_C_LIB_DIR")
    if not folder:
        pytest.skip("MORVELAY_C_LIB_DIR not set")
    return Path(folder) / "libmorvelay.so"


@pytest.fixture(scope="module")
def header_nodes():
    """The top-level declarations that come from morvelay.h itself, after preprocessing as C99."""
    text = subprocess.run(["cc", "-E", "-std=c99", str(HEADER)], capture_output=True, text=True, check=True).stdout
    tree = pycparser.CParser().parse(text, str(HEADER))
    return [node for node in tree.ext if node.coord and Path(node.coord.file).resolve() == HEADER]


def signature(decl):
    generate = c_generator.CGenerator()
    params = decl.type.args.params if decl.type.args else []
    return generate.visit(decl.type.type), tuple(generate.visit(param.type) for param in params)


@pytest.fixture(scope="module")
def declared(header_nodes):
    functions = [n for n in header_nodes if isinstance(n, c_ast.Decl) and isinstance(n.type, c_ast.FuncDecl)]
    return {decl.name: signature(decl) for decl in functions}


# ---- the interface as documented: one family shape, the few differences, the extras ------------------

XY = ("const double *", "size_t", "const double *", "size_t")


def family(name, create=("void",), fit=XY):
    handle, const_handle = f"morvelay_{name} *", f"const morvelay_{name} *"
    return {
        f"morvelay_{name}_create": (handle, create),
        f"morvelay_{name}_destroy": ("void", (handle,)),
        f"morvelay_{name}_fit": ("int32_t", (handle, *fit)),
        f"morvelay_{name}_eval": ("int32_t", (const_handle, "double", "double *")),
        f"morvelay_{name}_eval_many": ("int32_t", (const_handle, "const double *", "size_t", "double *")),
        f"morvelay_{name}_last_error": ("size_t", ("char *", "size_t")),
    }


EXPECTED = {
    "morvelay_last_error": ("size_t", ("char *", "size_t")),
    **family("linear"),
    **family("newton"),
    **family("lagrange"),
    **family("quadratic"),
    **family("cubic_spline"),
    **family("hermite", fit=(*XY, "const double *", "size_t")),
    **family("least_squares", create=("size_t",)),
    **family("rbf", create=("uint32_t", "double")),
    **family("chebyshev", create=("size_t", "double", "double", "_Bool"), fit=("const double *", "size_t")),
    "morvelay_lagrange_add_point": ("int32_t", ("morvelay_lagrange *", "double", "double")),
    "morvelay_lagrange_update_y": ("int32_t", ("morvelay_lagrange *", "const double *", "size_t")),
    "morvelay_rbf_count": ("size_t", ("const morvelay_rbf *",)),
    "morvelay_rbf_weights": ("int32_t", ("const morvelay_rbf *", "double *", "size_t")),
    "morvelay_chebyshev_nodes": ("int32_t", ("const morvelay_chebyshev *", "double *", "size_t")),
}


def test_header_declares_exactly_what_the_library_exports(declared, library_path):
    nm = subprocess.run(["nm", "-D", "--defined-only", str(library_path)], capture_output=True, text=True, check=True)
    exported = {line.split()[2] for line in nm.stdout.splitlines() if line.split()[1] == "T"}
    assert set(declared) == exported
    assert len(exported) == 60


def test_declarations_match_the_documented_types(declared):
    assert declared == EXPECTED


def test_fixed_width_types_are_what_a_loader_assumes():
    ffi = cffi.FFI()
    assert (ffi.sizeof("_Bool"), ffi.sizeof("int32_t"), ffi.sizeof("uint32_t")) == (1, 4, 4)
    assert ffi.sizeof("size_t") == ffi.sizeof("void *")


# ---- cffi in ABI mode, from the header's declarations alone ---------------------------------------------


@pytest.fixture(scope="module")
def c(header_nodes, library_path):
    generate = c_generator.CGenerator()
    ffi = cffi.FFI()
    ffi.cdef("".join(generate.visit(node) + ";\n" for node in header_nodes))
    lib = ffi.dlopen(str(library_path))

    class Host:
        def __init__(self):
            self.ffi, self.lib = ffi, lib

        def doubles(self, values):
            return ffi.new("double[]", [float(v) for v in values])

        def last_error(self):
            size = lib.morvelay_last_error(ffi.NULL, 0)
            text = ffi.new("char[]", size)
            assert lib.morvelay_last_error(text, size) == size
            return ffi.string(text).decode()

    return Host()


# Offset, unevenly spaced data, so that rounding differences between the faces would show.
X = 1000.0 + np.array([0.0, 0.375, 1.25, 2.0, 3.5, 4.125])
Y = np.sin(X) * 3.0 + 0.25 * X
DY = np.cos(X) * 3.0 + 0.25
QUERIES = 1000.0 + np.array([0.1, 2.9, 1.25, 4.0, 0.6, 3.3, -0.5, 4.5])

# family: (Python object, C create arguments, the Python fit arguments, null-handle message)
FAMILIES = {
    "linear": (morvelay.LinearInterpolator, (), (X, Y), "linear handle is null"),
    "newton": (morvelay.NewtonInterpolator, (), (X, Y), "newton handle is null"),
    "lagrange": (morvelay.LagrangeInterpolator, (), (X, Y), "lagrange handle is null"),
    "quadratic": (morvelay.QuadraticInterpolator, (), (X, Y), "quadratic handle is null"),
    "cubic_spline": (morvelay.CubicSplineInterpolator, (), (X, Y), "cubic_spline handle is null"),
    "hermite": (morvelay.HermiteInterpolator, (), (X, Y, DY), "hermite handle is null"),
    "least_squares": (lambda: morvelay.LeastSquaresInterpolator(2), (2,), (X, Y), "least squares handle is null"),
    "rbf": (lambda: morvelay.RBFInterpolator("multiquadric", 0.5), (1, 0.5), (X, Y), "rbf handle is null"),
}


def fit_args(c, arrays):
    args = []
    for array in arrays:
        args += [c.doubles(array), len(array)]
    return args


def bits(values):
    return np.asarray(values, dtype=np.float64).view(np.uint64).tolist()


@pytest.mark.parametrize("name", FAMILIES)
def test_every_family_through_the_loader_matches_the_module(c, name):
    make, create_args, arrays, null_message = FAMILIES[name]
    fn = {op: getattr(c.lib, f"morvelay_{name}_{op}") for op in ("create", "fit", "eval", "eval_many", "destroy")}
    py = make()
    handle = fn["create"](*create_args)
    assert handle != c.ffi.NULL
    out = c.ffi.new("double[]", len(QUERIES))
    value = c.ffi.new("double *")

    # Before a fit: the module's ValueError text is the C last error, and nothing is written.
    with pytest.raises(ValueError) as unfitted:
        py(QUERIES[0])
    assert fn["eval"](handle, QUERIES[0], value) == -1
    assert c.last_error() == str(unfitted.value)
    assert fn["eval"](c.ffi.NULL, QUERIES[0], value) == -1
    assert c.last_error() == null_message

    py.fit(*arrays)
    assert fn["fit"](handle, *fit_args(c, arrays)) == 0
    assert c.last_error() == ""
    assert fn["eval"](handle, QUERIES[1], value) == 0
    assert bits([value[0]]) == bits([py(QUERIES[1])])
    assert fn["eval_many"](handle, c.doubles(QUERIES), len(QUERIES), out) == 0
    assert bits(c.ffi.unpack(out, len(QUERIES))) == bits(py(QUERIES))
    assert fn["eval_many"](handle, c.doubles(QUERIES), len(QUERIES), c.ffi.NULL) == -1
    assert c.last_error() == "x_ptr and out_ptr must be non-null"
    fn["destroy"](handle)
    fn["destroy"](c.ffi.NULL)


def test_lagrange_extras_through_the_loader(c):
    lib, py = c.lib, morvelay.LagrangeInterpolator()
    handle = lib.morvelay_lagrange_create()
    py.fit(X, Y)
    assert lib.morvelay_lagrange_fit(handle, *fit_args(c, (X, Y))) == 0
    py.add_point(1006.0, -2.0)
    assert lib.morvelay_lagrange_add_point(handle, 1006.0, -2.0) == 0
    assert lib.morvelay_lagrange_add_point(handle, 1006.0, 5.0) == -1
    assert c.last_error() == "x_new 1006 already exists"
    new_y = np.linspace(-1.0, 1.0, len(X) + 1) ** 3
    py.update_y(new_y)
    assert lib.morvelay_lagrange_update_y(handle, c.doubles(new_y), len(new_y)) == 0
    assert lib.morvelay_lagrange_update_y(handle, c.doubles(new_y), 0) == -1
    assert c.last_error() == "y cannot be empty"
    out = c.ffi.new("double[]", len(QUERIES))
    assert lib.morvelay_lagrange_eval_many(handle, c.doubles(QUERIES), len(QUERIES), out) == 0
    assert bits(c.ffi.unpack(out, len(QUERIES))) == bits(py(QUERIES))
    lib.morvelay_lagrange_destroy(handle)


def test_rbf_extras_through_the_loader(c):
    lib, py = c.lib, morvelay.RBFInterpolator("gaussian", 0.8)
    assert lib.morvelay_rbf_create(5, 1.0) == c.ffi.NULL
    assert c.last_error() == "Unknown kernel id"
    handle = lib.morvelay_rbf_create(0, 0.8)
    assert lib.morvelay_rbf_count(handle) == 0
    py.fit(X, Y)
    assert lib.morvelay_rbf_fit(handle, *fit_args(c, (X, Y))) == 0
    count = lib.morvelay_rbf_count(handle)
    assert count == len(X)
    weights = c.ffi.new("double[]", count)
    assert lib.morvelay_rbf_weights(handle, weights, count - 1) == -1
    assert c.last_error() == f"weights and output must have the same length ({count} vs {count - 1})"
    assert lib.morvelay_rbf_weights(handle, weights, count) == 0
    assert bits(c.ffi.unpack(weights, count)) == bits(py.get_weights())
    lib.morvelay_rbf_destroy(handle)


@pytest.mark.parametrize("use_clenshaw", [True, False])
def test_chebyshev_fitted_through_its_nodes_is_the_module_fit(c, use_clenshaw):
    """A host reads the nodes, samples its function there and fits: the module's fit_function, bit for bit."""
    lib, n, lo, hi = c.lib, 24, 1.0e4, 1.0e4 + 3.0
    assert lib.morvelay_chebyshev_create(0, -1.0, 1.0, use_clenshaw) == c.ffi.NULL
    assert c.last_error() == "n_points must be positive"
    handle = lib.morvelay_chebyshev_create(n, lo, hi, use_clenshaw)
    py = morvelay.ChebyshevInterpolator(n, lo, hi, use_clenshaw)
    nodes = c.ffi.new("double[]", n)
    assert lib.morvelay_chebyshev_nodes(c.ffi.NULL, nodes, n) == -1
    assert c.last_error() == "chebyshev handle is null"
    assert lib.morvelay_chebyshev_nodes(handle, c.ffi.NULL, n) == -1
    assert c.last_error() == "out_ptr must be non-null"
    assert lib.morvelay_chebyshev_nodes(handle, nodes, n + 1) == -1
    assert c.last_error() == f"nodes and output must have the same length ({n} vs {n + 1})"
    assert lib.morvelay_chebyshev_nodes(handle, nodes, n) == 0
    node_list = c.ffi.unpack(nodes, n)
    assert bits(node_list) == bits(py.get_nodes())
    assert node_list == sorted(node_list, reverse=True)

    def f(x):
        return np.exp(np.sin(x - lo))

    py.fit_function(f)
    assert lib.morvelay_chebyshev_fit(handle, c.doubles([f(x) for x in node_list]), n) == 0
    queries = np.linspace(lo, hi, 7)
    out = c.ffi.new("double[]", len(queries))
    assert lib.morvelay_chebyshev_eval_many(handle, c.doubles(queries), len(queries), out) == 0
    assert bits(c.ffi.unpack(out, len(queries))) == bits(py(queries))
    value = c.ffi.new("double *")
    assert lib.morvelay_chebyshev_eval(handle, queries[3], value) == 0
    assert bits([value[0]]) == bits([py(queries[3])])
    assert lib.morvelay_chebyshev_eval(handle, hi + 1.0, value) == -1
    assert c.last_error() == "x value 10004.0000 is outside interpolation range [10000.0000, 10003.0000]"
    lib.morvelay_chebyshev_destroy(handle)
