"""RBFInterpolator: constructor parsing and order, repr, weights against NumPy, the uniform path."""

import numpy as np
import pytest

import morvelay
from morvelay import RBFInterpolator

UNKNOWN = "Unknown kernel type '{}'. Available: gaussian, multiquadric, inverse_multiquadric, thin_plate_spline, linear"
KERNELS = ["gaussian", "multiquadric", "inverse_multiquadric", "thin_plate_spline", "linear"]


def phi(kernel, r, eps):
    r = np.abs(r)
    if kernel == "gaussian":
        return np.exp(-((eps * r) ** 2))
    if kernel == "multiquadric":
        return np.sqrt((eps * r) ** 2 + 1)
    if kernel == "inverse_multiquadric":
        return 1 / np.sqrt((eps * r) ** 2 + 1)
    if kernel == "thin_plate_spline":
        with np.errstate(divide="ignore", invalid="ignore"):
            return np.where(r == 0, 0.0, r**2 * np.log(r))
    return r


def test_signatures_and_docs():
    assert RBFInterpolator.__text_signature__ == '(kernel="gaussian", epsilon=1.0)'
    assert RBFInterpolator.__doc__.startswith("A thin Python layer around the shared RBF core implementation.\n\n")
    assert RBFInterpolator.get_weights.__text_signature__ == "($self)"
    assert morvelay.RBFInterpolator.fit.__text_signature__ == "($self, x, y)"


@pytest.mark.parametrize(
    ("given", "canonical"),
    [
        ("  Thin Plate Spline ", "thin_plate_spline"),
        ("\u3000GAUSSIAN\u2029", "gaussian"),
        ("Inverse Multiquadric", "inverse_multiquadric"),
        ("LINEAR\u00a0", "linear"),
    ],
)
def test_loose_kernel_names(given, canonical):
    assert repr(RBFInterpolator(given)) == f"RBFInterpolator(kernel='{canonical}', epsilon=1.00, not fitted)"


def test_unknown_names_echo_the_normalised_text():
    cases = {
        "Cubic": "cubic",
        " thin-plate-spline ": "thin-plate-spline",
        "\u0130": "i\u0307",  # full case mapping: one capital, two code points
        "\x1fgaussian": "\x1fgaussian",  # not Unicode White_Space, so not trimmed
        "GAUSSIAN\u200b": "gaussian\u200b",
    }
    for given, shown in cases.items():
        with pytest.raises(ValueError) as error:
            RBFInterpolator(given)
        assert str(error.value) == UNKNOWN.format(shown)

    class Shouting(str):
        def lower(self):
            return "gaussian"

    with pytest.raises(ValueError, match="'multi'"):
        RBFInterpolator(Shouting("MULTI"))  # str's own methods, not the subclass's


def test_constructor_order_of_failures():
    with pytest.raises(TypeError, match="kernel"):
        RBFInterpolator(1, "x")
    with pytest.raises(TypeError, match="epsilon"):
        RBFInterpolator("cubic", "x")
    with pytest.raises(ValueError, match="Unknown kernel type 'cubic'"):
        RBFInterpolator("cubic", -1.0)
    with pytest.raises(UnicodeEncodeError):
        RBFInterpolator("\ud800", "x")
    for bad in (0.0, -1.0):
        with pytest.raises(ValueError, match="^epsilon must be positive$"):
            RBFInterpolator(epsilon=bad)
    assert "epsilon=NaN" in repr(RBFInterpolator(epsilon=float("nan")))
    assert "epsilon=inf" in repr(RBFInterpolator(epsilon=float("inf")))
    assert repr(RBFInterpolator(epsilon=0.001)) == "RBFInterpolator(kernel='gaussian', epsilon=0.00, not fitted)"
    with pytest.raises(TypeError):
        RBFInterpolator("gaussian", 1.0, 2)


def test_repr_and_weights_after_fit():
    interp = RBFInterpolator(kernel="linear", epsilon=2.5)
    with pytest.raises(ValueError, match="^Interpolator not fitted. Call fit\\(x, y\\) first.$"):
        interp.get_weights()
    interp.fit([1, 3], [1, 5])
    assert interp.get_weights() == [2.5, 0.5]
    assert repr(interp) == "RBFInterpolator(kernel='linear', epsilon=2.50, fitted with 2 points)"
    with pytest.raises(ValueError, match="^x values must not be NaN$"):
        interp.fit([0.0, float("nan")], [1.0, 2.0])
    with pytest.raises(ValueError, match="^Singular matrix near pivot 0$"):
        interp.fit([4.0], [1.0])
    with pytest.raises(ValueError, match="^Singular matrix near pivot 1$"):
        RBFInterpolator(epsilon=1e-9).fit([0.0, 1.0], [1.0, 2.0])
    assert interp.get_weights() == [2.5, 0.5]


@pytest.mark.parametrize("kernel", KERNELS)
def test_weights_match_numpy_solve_and_reproduce_the_data(kernel):
    rng = np.random.default_rng(7)
    x = np.sort(rng.uniform(-2, 2, 25))
    rng.shuffle(x)
    y = np.cos(2 * x) + x
    eps = 3.0
    interp = RBFInterpolator(kernel, eps)
    interp.fit(x, y)
    matrix = phi(kernel, x[:, None] - x[None, :], eps)
    expected = np.linalg.solve(matrix, y)
    weights = np.array(interp.get_weights())
    # Two backward-stable solves differ by up to about cond(Phi) ulps of the weights.
    scale = np.abs(expected).max()
    np.testing.assert_allclose(weights, expected, rtol=0, atol=np.linalg.cond(matrix) * 1e-15 * scale)
    np.testing.assert_allclose(interp(x), y, atol=1e-12 * scale)
    far = np.array([-1e6, 1e6])
    values = interp(far)
    direct = phi(kernel, far[:, None] - x[None, :], eps) @ weights
    np.testing.assert_allclose(values, direct, rtol=1e-9)


@pytest.mark.parametrize("unit", [1e-7, 1e-4, 1e5])
def test_small_and_large_coordinates_fit_like_scipy(unit):
    """Whether a kernel matrix is singular is judged against its own entries: thin plate splines on
    x = 1e-7 * (1..20) have entries below 1e-10 and a condition number near 5e4."""
    si = pytest.importorskip("scipy.interpolate")
    x = unit * np.arange(1.0, 21.0)
    y = np.sin(0.3 * np.arange(20.0)) + 2.0
    queries = np.linspace(x[0], x[-1], 157)
    for kernel in ("thin_plate_spline", "linear"):
        interp = RBFInterpolator(kernel)
        interp.fit(x, y)
        theirs = si.RBFInterpolator(x[:, None], y, kernel=kernel, degree=-1)
        np.testing.assert_allclose(interp(queries), theirs(queries[:, None]), rtol=0, atol=1e-11)
        np.testing.assert_allclose(interp(x), y, rtol=0, atol=1e-12)
    with pytest.raises(ValueError, match="^Singular matrix near pivot 0$"):
        RBFInterpolator("thin_plate_spline").fit([unit], [1.0])


@pytest.mark.parametrize(
    ("x", "eps"),
    [
        (np.linspace(0.0, 3.0, 31), 4.0),
        (np.linspace(0.0, 1.0, 101), 30.0),  # weights near 1e8 that cancel
        (1.0 + 2e-9 * np.arange(1000), 5e8),  # centres drift from x0 + k h by up to k ulps
        (np.arange(400.0), 0.3),  # a wide Gaussian: every query reaches a hundred centres
    ],
)
def test_uniform_gaussian_batch_is_the_single_point_bit_for_bit(x, eps):
    rng = np.random.default_rng(7)
    interp = RBFInterpolator("gaussian", eps)
    interp.fit(x, np.sin(2 * np.pi * np.arange(len(x)) / 10) + 0.01 * rng.standard_normal(len(x)))
    span = x[-1] - x[0]
    queries = np.concatenate(
        [rng.uniform(x[0] - 0.05 * span, x[-1] + 0.05 * span, 2000), x[::7], np.nextafter(x[::7], np.inf), [1e9, -1e9]]
    )
    batch = interp(queries)
    assert batch.tolist() == [interp(float(q)) for q in queries]
    assert batch[-1] == 0.0 and batch[-2] == 0.0
    # The sum as NumPy forms it, which groups the exponent differently: far terms (exponents near -700)
    # differ by a few hundred ulps of themselves, so the bound is 1e-12 of the terms' magnitude.
    weights = np.array(interp.get_weights())
    terms = np.exp(-((eps * (queries[:-2, None] - x[None, :])) ** 2)) * weights
    scale = np.abs(terms).sum(axis=1)
    assert np.all(np.abs(batch[:-2] - terms.sum(axis=1)) <= 1e-12 * scale + 1e-300)
    reversed_interp = RBFInterpolator("gaussian", eps)
    reversed_interp.fit(x[::-1].copy(), np.sin(2 * x[::-1]))
    assert reversed_interp(queries[:50]).tolist() == [reversed_interp(float(q)) for q in queries[:50]]
