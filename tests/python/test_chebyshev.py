"""ChebyshevInterpolator: what is particular to it (the shared face is tested in test_frame.py)."""

import math
import warnings

import numpy as np
import pytest

from morvelay import ChebyshevInterpolator

NOT_FITTED = r"^Interpolator not fitted\. Call fit\(y\) first\.$"


def test_constructor_conversions_and_reprs():
    interp = ChebyshevInterpolator()
    assert repr(interp) == "ChebyshevInterpolator(n_points=10, x_range=[-1.00, 1.00], method=Clenshaw, not fitted)"
    nodes = interp.get_nodes()
    assert len(nodes) == 10 and nodes[0] == pytest.approx(0.98769, abs=1e-5) and nodes[-1] == -nodes[0]
    assert nodes == sorted(nodes, reverse=True)
    five = ChebyshevInterpolator(5, 0.0, 2.5)
    five.fit([1.0] * 5)
    assert repr(five) == "ChebyshevInterpolator(n_points=5, x_range=[0.00, 2.50], method=Clenshaw, fitted)"
    assert repr(ChebyshevInterpolator(x_min=-0.0, x_max=1)).startswith(
        "ChebyshevInterpolator(n_points=10, x_range=[-0.00"
    )
    assert len(ChebyshevInterpolator(np.int32(3), use_clenshaw=np.bool_(False)).get_nodes()) == 3
    assert ChebyshevInterpolator(True).get_nodes() == [0.0]
    with pytest.raises(ValueError, match="^n_points must be positive$"):
        ChebyshevInterpolator(n_points=0)
    with pytest.raises(ValueError, match="^x_min must be less than x_max$"):
        ChebyshevInterpolator(x_min=1.0, x_max=1.0)
    with pytest.raises(OverflowError):
        ChebyshevInterpolator(-1)
    with pytest.raises(MemoryError):
        ChebyshevInterpolator(2**64 - 1)
    with pytest.raises(TypeError, match="n_points"):
        ChebyshevInterpolator(10.0)
    for flag in (1, 0, None):
        with pytest.raises(TypeError, match="use_clenshaw"):
            ChebyshevInterpolator(use_clenshaw=flag)
        with pytest.raises(TypeError, match="use_clenshaw"):
            interp.set_method(flag)
    with pytest.raises(TypeError, match="x_max"):
        ChebyshevInterpolator(4, 0.0, "1")


def test_fit_function_samples_each_node_once_in_order():
    interp = ChebyshevInterpolator()
    seen = []

    def square(x):
        seen.append(x)
        return x * x

    interp.fit_function(square)
    assert seen == interp.get_nodes()
    assert interp(0.5) == pytest.approx(0.25, abs=1e-15)
    interp.fit_function(lambda x: 2)  # an int result is converted
    assert interp(0.3) == pytest.approx(2.0, abs=1e-15)


def test_fit_function_failures_propagate_and_keep_the_previous_fit():
    interp = ChebyshevInterpolator(6)
    interp.fit_function(math.exp)
    before = interp.get_coefficients()

    class Boom(Exception):
        pass

    calls = []

    def third_call_fails(x):
        calls.append(x)
        if len(calls) == 3:
            raise Boom("third")
        return x

    with pytest.raises(Boom, match="third"):
        interp.fit_function(third_call_fails)
    assert len(calls) == 3
    with pytest.raises(TypeError):
        interp.fit_function(lambda x: "not a number")
    with pytest.raises(TypeError):
        interp.fit_function(None)
    # A complex result is refused like a complex argument, never truncated with a ComplexWarning.
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(TypeError):
            interp.fit_function(lambda x: np.complex128(x + 1j))
        with pytest.raises(TypeError):
            interp.fit_function(lambda x: np.array([x]))
    assert interp.get_coefficients() == before
    copy = ChebyshevInterpolator(6)
    copy.fit_function(lambda x: np.float32(math.exp(x)))  # real NumPy scalars still convert
    assert copy.get_coefficients() == pytest.approx(before, abs=1e-6)

    fresh = ChebyshevInterpolator(4)
    with pytest.raises(Boom):
        fresh.fit_function(lambda x: (_ for _ in ()).throw(Boom()))
    with pytest.raises(ValueError, match=NOT_FITTED):
        fresh.get_coefficients()


def test_fit_function_holds_the_instance_exclusively():
    interp = ChebyshevInterpolator(4)
    interp.fit([1.0, 2.0, 3.0, 4.0])
    before = interp.get_coefficients()
    for use in (lambda: interp(0.0), interp.get_nodes, lambda: repr(interp), lambda: interp.fit([0.0] * 4)):
        with pytest.raises(RuntimeError):
            interp.fit_function(lambda x, use=use: use())
    assert interp.get_coefficients() == before
    interp.fit_function(lambda x: x)  # the borrow ends with the call


def test_values_methods_and_errors():
    interp = ChebyshevInterpolator(12, -1.0, 3.0)
    with pytest.raises(ValueError, match=NOT_FITTED):
        interp([])
    with pytest.raises(ValueError, match=r"^Expected 12 y values \(one for each Chebyshev node\), got 9$"):
        interp.fit([0.0] * 9)
    interp.fit([math.sin(x) for x in interp.get_nodes()])
    queries = np.linspace(-1.0, 3.0, 77)
    clenshaw = interp(queries)
    np.testing.assert_allclose(clenshaw, np.sin(queries), atol=1e-8)
    interp.set_method(False)
    assert "method=Direct, fitted" in repr(interp)
    direct = interp(queries)
    np.testing.assert_allclose(direct, clenshaw, rtol=0, atol=1e-14)
    assert direct.tolist() == [interp(q) for q in queries]  # one map for both entry points
    with pytest.raises(ValueError, match=r"^x value 3\.5000 is outside interpolation range \[-1\.0000, 3\.0000\]$"):
        interp([0.0, 3.5, -2.0])
    assert math.isnan(interp(float("nan")))


def test_coefficients_agree_with_numpy():
    for n in (1, 2, 7, 64):
        interp = ChebyshevInterpolator(n)
        interp.fit_function(lambda x: 1.0 / (1.0 + 25.0 * x * x))
        expected = np.polynomial.chebyshev.chebinterpolate(lambda x: 1.0 / (1.0 + 25.0 * x * x), n - 1)
        np.testing.assert_allclose(interp.get_coefficients(), expected, rtol=0, atol=1e-14)
        xs = np.linspace(-1.0, 1.0, 301)
        np.testing.assert_allclose(interp(xs), np.polynomial.chebyshev.chebval(xs, expected), rtol=0, atol=1e-13)


def exact_transform(y):
    """The transform of the same doubles at the exact nodes, in long double: T_k(t_j) is the cosine of
    the exact angle k (2j+1) pi / (2n), reduced modulo 2 pi through the integers."""
    n = len(y)
    pi = np.longdouble("3.14159265358979323846264338327950288")
    circle = np.cos(pi * np.arange(4 * n, dtype=np.longdouble) / (2 * n))
    odd = 2 * np.arange(n) + 1
    c = np.array([np.sum(np.asarray(y, np.longdouble) * circle[(k * odd) % (4 * n)]) for k in range(n)])
    c *= np.longdouble(2) / n
    c[0] /= 2
    return c


@pytest.mark.parametrize(("x_min", "x_max"), [(-1.0, 1.0), (1.7e9, 1.7e9 + 600.0), (1.0, 1.0 + 1e-6)])
def test_fits_as_accurate_as_numpy_at_many_nodes(x_min, x_max):
    rng = np.random.default_rng(3)
    functions = [lambda t: 1 / (1 + 25 * t * t), lambda t: np.exp(np.sin(3 * t)), lambda t: np.cos(10 * t)]
    for n in (64, 255, 1024):
        for f in functions:
            interp = ChebyshevInterpolator(n, x_min, x_max)
            nodes = np.array(interp.get_nodes())
            t = ((nodes - x_min) * 2) / (x_max - x_min) - 1
            y = f(t) + 1e-4 * rng.standard_normal(n)  # noisy readings at the nodes
            interp.fit(y)
            ours = np.array(interp.get_coefficients())
            exact = exact_transform(y)
            # NumPy's own way (chebinterpolate's Vandermonde product at its own points, which are
            # ours in ascending order) from the same values.
            points = np.polynomial.chebyshev.chebpts1(n)
            theirs = np.polynomial.chebyshev.chebvander(points, n - 1).T @ y[::-1]
            theirs[0] /= n
            theirs[1:] /= 0.5 * n
            ours_error = float(np.abs(ours - exact).max())
            assert ours_error <= 4 * float(np.abs(theirs - exact).max()) + 1e-17
            assert ours_error <= 4e-16 * np.sqrt(n) * np.abs(y).max()
            # The interpolant through the values, evaluated on the interval, batch and single alike.
            xs = np.linspace(x_min, x_max, 257)
            values = interp(xs)
            assert values.tolist() == [interp(float(x)) for x in xs]
            assert values.tolist() == interp(xs.tolist())
            reference = np.polynomial.chebyshev.chebval(((xs - x_min) * 2) / (x_max - x_min) - 1, ours)
            np.testing.assert_allclose(values, reference, rtol=0, atol=1e-12)


def test_batch_maps_like_the_single_point():
    q = 1700000491.942308
    interp = ChebyshevInterpolator(64, 1.7e9, 1.7e9 + 600.0)
    interp.fit_function(math.cos)
    assert interp(np.array([q]))[0] == interp(q) == interp([q])[0]
    # One map everywhere: on [-1, 1] it rounds (x + 1) - 1, so 1e-17 lands on 0 in a batch too.
    line = ChebyshevInterpolator(2)
    line.fit_function(lambda x: x)
    assert interp(np.array([q] * 40)).tolist() == [interp(q)] * 40
    assert line(np.array([1e-17] * 40)).tolist() == [line(1e-17)] * 40 == [0.0] * 40
