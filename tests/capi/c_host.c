/* A plain C99 host of the standalone library: proves the header is C and that a program links and runs
 * without Python.  Prints one line per failed check and a closing "N passed, M failed". */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "morvelay.h"

static int passed = 0, failed = 0;

static void check(int condition, const char* what) {
    if (condition) {
        ++passed;
    } else {
        ++failed;
        printf("FAILED: %s\n", what);
    }
}

static int last_error_is(const char* expected) {
    char text[256];
    morvelay_last_error(text, sizeof text);
    return strcmp(text, expected) == 0;
}

static void linear_family(void) {
    const double x[] = {2.0, 0.0, 1.0}, y[] = {20.0, 0.0, 10.0};
    const double queries[] = {0.5, 1.5, -3.0, 7.0};
    double out[4], value = 0.0;
    morvelay_linear* h = morvelay_linear_create();
    check(h != NULL, "linear create");
    check(morvelay_linear_eval(h, 0.5, &value) == -1 && last_error_is("Interpolator not fitted. Call fit(x, y) first."),
          "linear eval before fit");
    check(morvelay_linear_fit(h, x, 3, y, 3) == 0, "linear fit");
    check(morvelay_linear_eval(h, 0.5, &value) == 0 && value == 5.0, "linear eval");
    check(morvelay_linear_eval_many(h, queries, 4, out) == 0 && out[0] == 5.0 && out[1] == 15.0 && out[2] == 0.0 &&
              out[3] == 20.0,
          "linear eval_many");
    check(morvelay_linear_fit(h, x, 3, y, 2) == -1 && last_error_is("x and y must have the same length"),
          "linear fit length check");
    check(morvelay_linear_eval(h, NAN, &value) == 0 && isnan(value), "linear NaN query");
    check(morvelay_linear_eval(NULL, 0.0, NULL) == -1 && last_error_is("linear handle is null"), "linear null handle");
    check(morvelay_linear_last_error(NULL, 0) == strlen("linear handle is null") + 1, "linear last_error size");
    morvelay_linear_destroy(h);
    morvelay_linear_destroy(NULL);
}

static void least_squares_family(void) {
    const double x[] = {0.0, 1.0, 2.0, 3.0}, y[] = {1.0, 3.0, 2.0, 4.0};
    const double queries[] = {0.0, 10.0};
    double out[2], value = 0.0;
    morvelay_least_squares* h = morvelay_least_squares_create(1);
    check(h != NULL, "least_squares create");
    check(morvelay_least_squares_fit(h, NULL, 0, y, 0) == -1 && last_error_is("pointer is null"),
          "least_squares null pointer");
    check(morvelay_least_squares_fit(h, x, 4, y, 4) == 0, "least_squares fit");
    /* y = 1.3 + 0.8 x */
    check(morvelay_least_squares_eval(h, 1.0, &value) == 0 && fabs(value - 2.1) < 1e-12, "least_squares eval");
    check(morvelay_least_squares_eval_many(h, queries, 2, out) == 0 && fabs(out[1] - 9.3) < 1e-12,
          "least_squares eval_many");
    check(morvelay_least_squares_eval(NULL, 0.0, &value) == -1 && last_error_is("least squares handle is null"),
          "least_squares null handle");
    morvelay_least_squares_destroy(h);
}

static void chebyshev_family(void) {
    double y[8], value = 0.0, out[2], nodes[5];
    const double queries[] = {0.25, 2.0};
    size_t j;
    morvelay_chebyshev* h = morvelay_chebyshev_create(8, -1.0, 1.0, true);
    check(h != NULL, "chebyshev create");
    check(morvelay_chebyshev_create(0, -1.0, 1.0, true) == NULL && last_error_is("n_points must be positive"),
          "chebyshev create refusal");
    check(morvelay_chebyshev_eval_many(h, queries, 0, out) == -1 &&
              last_error_is("Interpolator not fitted. Call fit(y) first."),
          "chebyshev eval_many len 0 still asks the core");
    for (j = 0; j < 8; ++j) {
        const double t = cos((2.0 * (double)j + 1.0) * 3.14159265358979323846 / 16.0);
        y[j] = t * t; /* nodes run from the largest down */
    }
    check(morvelay_chebyshev_fit(h, y, 8) == 0, "chebyshev fit");
    check(morvelay_chebyshev_eval(h, 0.5, &value) == 0 && fabs(value - 0.25) < 1e-12, "chebyshev eval");
    check(morvelay_chebyshev_eval_many(h, queries, 2, out) == -1 &&
              last_error_is("x value 2.0000 is outside interpolation range [-1.0000, 1.0000]"),
          "chebyshev range error");
    check(morvelay_chebyshev_eval(NULL, 0.0, NULL) == -1 && last_error_is("out_value must be non-null"),
          "chebyshev checks out_value first");
    morvelay_chebyshev_destroy(h);

    /* The way a host fits: sample at the library's own nodes (largest first), then fit. */
    h = morvelay_chebyshev_create(5, 10.0, 12.0, true);
    check(morvelay_chebyshev_nodes(h, nodes, 5) == 0 && nodes[0] > nodes[1] && nodes[2] == 11.0, "chebyshev nodes");
    check(morvelay_chebyshev_nodes(h, nodes, 4) == -1 &&
              last_error_is("nodes and output must have the same length (5 vs 4)"),
          "chebyshev nodes length");
    for (j = 0; j < 5; ++j) y[j] = (nodes[j] - 11.0) * (nodes[j] - 11.0);
    check(morvelay_chebyshev_fit(h, y, 5) == 0 && morvelay_chebyshev_eval(h, 11.5, &value) == 0 &&
              fabs(value - 0.25) < 1e-12,
          "chebyshev fit through its nodes");
    morvelay_chebyshev_destroy(h);
}

static void newton_family(void) {
    const double x[] = {0.0, 1.0, 2.0}, y[] = {1.0, 3.0, 7.0};
    const double queries[] = {0.5, 3.0};
    double out[2], value = 0.0;
    morvelay_newton* h = morvelay_newton_create();
    check(morvelay_newton_fit(h, x, 3, y, 3) == 0, "newton fit");
    check(morvelay_newton_eval(h, 3.0, &value) == 0 && value == 13.0, "newton eval extrapolates");
    check(morvelay_newton_eval_many(h, queries, 2, out) == 0 && out[0] == 1.75 && out[1] == 13.0, "newton eval_many");
    check(morvelay_newton_fit(h, x, 0, y, 0) == -1 && last_error_is("x and y cannot be empty"), "newton empty");
    check(morvelay_newton_eval(h, 3.0, &value) == 0 && value == 13.0, "newton failed fit keeps the polynomial");
    morvelay_newton_destroy(h);
}

static void lagrange_family(void) {
    const double x[] = {0.0, 1.0, 2.0}, y[] = {1.0, 3.0, 7.0}, y2[] = {2.0, 4.0, 6.0};
    double value = 0.0;
    morvelay_lagrange* h = morvelay_lagrange_create();
    check(morvelay_lagrange_fit(h, x, 3, y, 3) == 0, "lagrange fit");
    check(morvelay_lagrange_eval(h, 1.5, &value) == 0 && value == 4.75, "lagrange eval");
    check(morvelay_lagrange_add_point(h, 1.0, 0.0) == -1 && last_error_is("x_new 1 already exists"),
          "lagrange duplicate add_point");
    check(morvelay_lagrange_add_point(h, 3.0, 13.0) == 0, "lagrange add_point");
    check(morvelay_lagrange_eval(h, 1.5, &value) == 0 && fabs(value - 4.75) < 1e-12, "lagrange after add_point");
    check(morvelay_lagrange_update_y(h, y2, 0) == -1 && last_error_is("y cannot be empty"), "lagrange empty update");
    check(morvelay_lagrange_update_y(h, y2, 3) == -1, "lagrange update with the wrong length");
    morvelay_lagrange_destroy(h);
    h = morvelay_lagrange_create();
    check(morvelay_lagrange_fit(h, x, 3, y, 3) == 0 && morvelay_lagrange_update_y(h, y2, 3) == 0 &&
              morvelay_lagrange_eval(h, 0.5, &value) == 0 && value == 3.0,
          "lagrange update_y");
    morvelay_lagrange_destroy(h);
}

static void hermite_family(void) {
    const double x[] = {0.0, 1.0}, y[] = {0.0, 1.0}, dy[] = {0.0, 0.0};
    const double queries[] = {0.5, 2.0};
    double out[2], value = 0.0;
    morvelay_hermite* h = morvelay_hermite_create();
    check(morvelay_hermite_eval(h, 0.5, &value) == -1 &&
              last_error_is("Interpolator not fitted. Call fit(x, y, dy) first."),
          "hermite not fitted");
    check(
        morvelay_hermite_fit(h, x, 2, y, 2, dy, 1) == -1 && last_error_is("x, y, and dy must all have the same length"),
        "hermite lengths");
    check(morvelay_hermite_fit(h, x, 2, y, 2, dy, 2) == 0, "hermite fit");
    check(morvelay_hermite_eval_many(h, queries, 2, out) == 0 && out[0] == 0.5 && out[1] == -4.0, "hermite eval_many");
    morvelay_hermite_destroy(h);
}

static void quadratic_family(void) {
    const double x[] = {0.0, 1.0, 2.0}, y[] = {0.0, 1.0, 4.0};
    const double queries[] = {3.0, 0.5};
    double out[2], value = 0.0;
    morvelay_quadratic* h = morvelay_quadratic_create();
    check(morvelay_quadratic_fit(h, x, 2, y, 2) == -1 &&
              last_error_is("Quadratic interpolation requires at least 3 data points"),
          "quadratic too few points");
    check(morvelay_quadratic_fit(h, x, 3, y, 2) == -1 && last_error_is("x and y must have the same length"),
          "quadratic length checked first");
    check(morvelay_quadratic_fit(h, x, 3, y, 3) == 0, "quadratic fit");
    check(morvelay_quadratic_eval(h, 3.0, &value) == 0 && value == 9.0, "quadratic eval extrapolates");
    check(morvelay_quadratic_eval_many(h, queries, 2, out) == 0 && out[0] == 9.0 && out[1] == 0.25,
          "quadratic eval_many");
    morvelay_quadratic_destroy(h);
}

static void cubic_spline_family(void) {
    const double x[] = {0.0, 1.0, 2.0, 3.0}, y[] = {0.0, 1.0, 8.0, 27.0};
    const double queries[] = {1.5, 2.5};
    double out[2], value = 0.0;
    morvelay_cubic_spline* h = morvelay_cubic_spline_create();
    check(morvelay_cubic_spline_fit(h, x, 1, y, 1) == -1 &&
              last_error_is("Cubic spline interpolation requires at least 2 data points"),
          "cubic_spline too few points");
    check(morvelay_cubic_spline_fit(h, x, 4, y, 4) == 0, "cubic_spline fit");
    check(morvelay_cubic_spline_eval(h, 1.5, &value) == 0 && fabs(value - 3.375) < 1e-12, "cubic_spline eval");
    check(morvelay_cubic_spline_eval_many(h, queries, 2, out) == 0 && fabs(out[1] - 15.625) < 1e-12,
          "cubic_spline eval_many");
    morvelay_cubic_spline_destroy(h);
}

static void rbf_family(void) {
    const double x[] = {0.0, 1.0, 2.0, 3.0}, y[] = {1.0, 3.0, 2.0, 0.5};
    double weights[4], value = 0.0, out[2];
    const double queries[] = {1.0, 1e6};
    morvelay_rbf* h;
    check(morvelay_rbf_create(5, 1.0) == NULL && last_error_is("Unknown kernel id"), "rbf unknown kernel");
    check(morvelay_rbf_create(7, -1.0) == NULL && last_error_is("Unknown kernel id"), "rbf kernel checked first");
    check(morvelay_rbf_create(0, 0.0) == NULL && last_error_is("epsilon must be positive"), "rbf epsilon");
    h = morvelay_rbf_create(0, 1.0);
    check(h != NULL && morvelay_rbf_count(h) == 0 && morvelay_rbf_count(NULL) == 0, "rbf count before fit");
    check(morvelay_rbf_fit(h, x, 4, NULL, 4) == -1 && last_error_is("pointer must not be null"), "rbf null pointer");
    check(morvelay_rbf_fit(h, x, 4, y, 4) == 0 && morvelay_rbf_count(h) == 4, "rbf fit and count");
    check(morvelay_rbf_eval(h, 1.0, &value) == 0 && fabs(value - 3.0) < 1e-9, "rbf interpolates");
    check(morvelay_rbf_eval_many(h, queries, 2, out) == 0 && out[1] == 0.0, "rbf gaussian far away is 0");
    check(morvelay_rbf_weights(h, weights, 3) == -1 &&
              last_error_is("weights and output must have the same length (4 vs 3)"),
          "rbf weights length");
    morvelay_rbf_count(h); /* leaves the last error alone */
    check(last_error_is("weights and output must have the same length (4 vs 3)"), "rbf count keeps the last error");
    check(morvelay_rbf_weights(h, weights, 4) == 0, "rbf weights");
    morvelay_rbf_destroy(h);
}

int main(void) {
    linear_family();
    least_squares_family();
    newton_family();
    lagrange_family();
    hermite_family();
    quadratic_family();
    cubic_spline_family();
    rbf_family();
    chebyshev_family();
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
