/*
 * morvelay: one-dimensional interpolation, C interface.
 *
 * Every method is a family of functions over an opaque handle:
 *   morvelay_<family>_create   new unfitted interpolator (the caller owns it until _destroy)
 *   morvelay_<family>_fit      copy the data and fit; 0 on success, -1 on failure
 *   morvelay_<family>_eval     one point into *out_value; 0 / -1
 *   morvelay_<family>_eval_many  len points from x_ptr into out_ptr; 0 / -1
 *   morvelay_<family>_destroy  free the handle; NULL is ignored
 *
 * After a -1 the calling thread's last error holds the message; any *_last_error function reads it
 * (they all read the same per-thread text).  Every status-returning call clears it on success and
 * create clears it too.  Nothing is written to an output on failure.
 *
 * One handle may be evaluated from several threads at once; fit and destroy must not overlap any
 * other use of the same handle.  Input arrays are copied or only read; the library never keeps them.
 *
 * Valid C99 and C++.  Declarations use only <stddef.h>, <stdint.h> and <stdbool.h> types so that
 * MATLAB's loadlibrary can read this header as it is.
 */
#ifndef MORVELAY_H
#define MORVELAY_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Copies the calling thread's last error message into buf (at most buf_len - 1 bytes and a
 * terminating zero; truncation is silent) and returns its full length plus one.  With buf NULL or
 * buf_len 0 nothing is written: the return value is the buffer size the whole message needs.  With
 * no error pending it writes "" and returns 1.  Never changes the last error. */
size_t morvelay_last_error(char* buf, size_t buf_len);

/* ---- linear: piecewise linear, end values held outside the data; x sorted on fit ---- */
typedef struct morvelay_linear morvelay_linear;

/* New unfitted handle; never NULL.  Clears the last error. */
morvelay_linear* morvelay_linear_create(void);
/* Frees the handle; NULL is ignored. */
void morvelay_linear_destroy(morvelay_linear* handle);
/* Fits x/y (copied; the caller's arrays are never reordered).  Messages: "linear handle is null",
 * "x_ptr and y_ptr must be non-null", "x and y must have the same length", "x and y cannot be empty",
 * "x values must be distinct", "x values must not be NaN". */
int32_t morvelay_linear_fit(morvelay_linear* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                            size_t y_len);
/* Writes the value at x to *out_value.  Messages: "linear handle is null", "out_value must be
 * non-null", "Interpolator not fitted. Call fit(x, y) first." */
int32_t morvelay_linear_eval(const morvelay_linear* handle, double x, double* out_value);
/* Evaluates x_ptr[0..len) into out_ptr[0..len).  len 0 succeeds without looking at the handle's data.
 * Messages: "linear handle is null", "x_ptr and out_ptr must be non-null", the not-fitted message. */
int32_t morvelay_linear_eval_many(const morvelay_linear* handle, const double* x_ptr, size_t len, double* out_ptr);
/* Same as morvelay_last_error. */
size_t morvelay_linear_last_error(char* buf, size_t buf_len);

/* ---- quadratic: parabolas through overlapping triplets, extrapolated outside; x strictly increasing ---- */
typedef struct morvelay_quadratic morvelay_quadratic;

/* New unfitted handle; never NULL.  Clears the last error. */
morvelay_quadratic* morvelay_quadratic_create(void);
/* Frees the handle; NULL is ignored. */
void morvelay_quadratic_destroy(morvelay_quadratic* handle);
/* Fits x/y (copied; x is never sorted).  Messages: "quadratic handle is null", "x_ptr and y_ptr must be
 * non-null", "x and y must have the same length", "Quadratic interpolation requires at least 3 data
 * points", "x values must be strictly increasing", "x values must not be NaN". */
int32_t morvelay_quadratic_fit(morvelay_quadratic* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                               size_t y_len);
/* Writes the value at x to *out_value; NaN gives NaN.  Messages: "quadratic handle is null", "out_value
 * must be non-null", "Interpolator not fitted. Call fit(x, y) first." */
int32_t morvelay_quadratic_eval(const morvelay_quadratic* handle, double x, double* out_value);
/* Evaluates x_ptr[0..len) into out_ptr[0..len) (the two may be the same buffer).  len 0 succeeds
 * without looking at the handle's data.  Messages: "quadratic handle is null", "x_ptr and out_ptr must
 * be non-null", the not-fitted message. */
int32_t morvelay_quadratic_eval_many(const morvelay_quadratic* handle, const double* x_ptr, size_t len,
                                     double* out_ptr);
/* Same as morvelay_last_error. */
size_t morvelay_quadratic_last_error(char* buf, size_t buf_len);

/* ---- cubic_spline: not-a-knot cubic spline, extrapolated outside; x strictly increasing ---- */
typedef struct morvelay_cubic_spline morvelay_cubic_spline;

/* New unfitted handle; never NULL.  Clears the last error. */
morvelay_cubic_spline* morvelay_cubic_spline_create(void);
/* Frees the handle; NULL is ignored. */
void morvelay_cubic_spline_destroy(morvelay_cubic_spline* handle);
/* Fits x/y (copied; x is never sorted).  Messages: "cubic_spline handle is null", "x_ptr and y_ptr must
 * be non-null", "x and y must have the same length", "Cubic spline interpolation requires at least 2
 * data points", "x values must be strictly increasing", "x values must not be NaN". */
int32_t morvelay_cubic_spline_fit(morvelay_cubic_spline* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                                  size_t y_len);
/* Writes the value at x to *out_value; NaN gives NaN.  Messages: "cubic_spline handle is null",
 * "out_value must be non-null", "Interpolator not fitted. Call fit(x, y) first." */
int32_t morvelay_cubic_spline_eval(const morvelay_cubic_spline* handle, double x, double* out_value);
/* Evaluates x_ptr[0..len) into out_ptr[0..len) (the two may be the same buffer).  len 0 succeeds
 * without looking at the handle's data.  Messages: "cubic_spline handle is null", "x_ptr and out_ptr
 * must be non-null", the not-fitted message. */
int32_t morvelay_cubic_spline_eval_many(const morvelay_cubic_spline* handle, const double* x_ptr, size_t len,
                                        double* out_ptr);
/* Same as morvelay_last_error. */
size_t morvelay_cubic_spline_last_error(char* buf, size_t buf_len);

/* ---- least_squares: polynomial of a fixed degree fitted in the least-squares sense; extrapolates ---- */
typedef struct morvelay_least_squares morvelay_least_squares;

/* New unfitted handle remembering degree (any value; too large a degree fails at fit); never NULL.
 * Clears the last error. */
morvelay_least_squares* morvelay_least_squares_create(size_t degree);
/* Frees the handle; NULL is ignored. */
void morvelay_least_squares_destroy(morvelay_least_squares* handle);
/* Fits the polynomial to x/y (copied; unsorted and repeated x accepted).  Messages: "least squares
 * handle is null", "pointer is null", "x and y must have the same length ({nx} vs {ny})", "x and y
 * cannot be empty", "Need at least {k} points for degree {d} polynomial", "Singular matrix near pivot
 * {k}".  A failed fit keeps the previous one. */
int32_t morvelay_least_squares_fit(morvelay_least_squares* handle, const double* x_ptr, size_t x_len,
                                   const double* y_ptr, size_t y_len);
/* Writes the polynomial's value at x to *out_value (+-inf gives NaN).  Messages: "least squares handle
 * is null", "out_value must be non-null", "Interpolator not fitted. Call fit(x, y) first." */
int32_t morvelay_least_squares_eval(const morvelay_least_squares* handle, double x, double* out_value);
/* Evaluates x_ptr[0..len) into out_ptr[0..len), bit-identical to _eval per point.  len 0 succeeds
 * without looking at the handle's data.  Messages: "least squares handle is null", "x_ptr and out_ptr
 * must be non-null", the not-fitted message. */
int32_t morvelay_least_squares_eval_many(const morvelay_least_squares* handle, const double* x_ptr, size_t len,
                                         double* out_ptr);
/* Same as morvelay_last_error. */
size_t morvelay_least_squares_last_error(char* buf, size_t buf_len);

/* ---- rbf: radial basis functions, s(x) = sum_i w_i phi(|x - x_i|); any x may be evaluated ----
 * Kernel ids (r = |x - x_i|, eps = epsilon):
 *   0 gaussian              exp(-(eps r)^2)
 *   1 multiquadric          sqrt((eps r)^2 + 1)
 *   2 inverse multiquadric  1 / sqrt((eps r)^2 + 1)
 *   3 thin plate spline     r^2 ln r, 0 at r = 0   (eps unused)
 *   4 linear                r                      (eps unused) */
typedef struct morvelay_rbf morvelay_rbf;

/* New unfitted handle, or NULL with "Unknown kernel id" (kernel_id >= 5, checked first) or "epsilon
 * must be positive" (epsilon <= 0; NaN and infinity are accepted).  Clears the last error. */
morvelay_rbf* morvelay_rbf_create(uint32_t kernel_id, double epsilon);
/* Frees the handle; NULL is ignored. */
void morvelay_rbf_destroy(morvelay_rbf* handle);
/* Fits x/y (copied; the centres keep the caller's order) by solving the dense kernel system, O(n^3).
 * Messages: "rbf handle is null", "pointer must not be null", "x and y must have the same length
 * ({nx} vs {ny})", "x and y cannot be empty", "x values must be distinct", "x values must not be NaN"
 * (two or more points), "Singular matrix near pivot {k}". */
int32_t morvelay_rbf_fit(morvelay_rbf* handle, const double* x_ptr, size_t x_len, const double* y_ptr, size_t y_len);
/* Writes s(x) to *out_value.  Messages: "rbf handle is null", "out_value must be non-null", "Interpolator
 * not fitted. Call fit(x, y) first." */
int32_t morvelay_rbf_eval(const morvelay_rbf* handle, double x, double* out_value);
/* Evaluates x_ptr[0..len) into out_ptr[0..len); bit-identical to morvelay_rbf_eval except for the
 * gaussian kernel on evenly spaced centres, which agrees to rounding.  len 0 succeeds without looking
 * at the handle's data.  Messages: "rbf handle is null", "x_ptr and out_ptr must be non-null", the
 * not-fitted message. */
int32_t morvelay_rbf_eval_many(const morvelay_rbf* handle, const double* x_ptr, size_t len, double* out_ptr);
/* Number of fitted centres (and weights); 0 for an unfitted or NULL handle.  Leaves the last error
 * untouched. */
size_t morvelay_rbf_count(const morvelay_rbf* handle);
/* Copies the len weights, in the order of the fitted x, to out_ptr; len must equal morvelay_rbf_count.
 * Messages: "rbf handle is null", "out_ptr must be non-null", the not-fitted message, "weights and
 * output must have the same length ({count} vs {len})". */
int32_t morvelay_rbf_weights(const morvelay_rbf* handle, double* out_ptr, size_t len);
/* Same as morvelay_last_error. */
size_t morvelay_rbf_last_error(char* buf, size_t buf_len);

/* ---- chebyshev: Chebyshev series on [x_min, x_max] through values at its own n_points nodes ---- */
typedef struct morvelay_chebyshev morvelay_chebyshev;

/* New unfitted handle with its nodes placed (descending, largest first), evaluating by Clenshaw's
 * recurrence when use_clenshaw is true, term by term otherwise.  NULL with "n_points must be positive"
 * or "x_min must be less than x_max".  Clears the last error.
 * use_clenshaw is C99 bool (_Bool once preprocessed): one byte holding 0 or 1.  A host without a bool
 * type passes an 8-bit unsigned 0 or 1 (MATLAB: uint8 or logical; ctypes/cffi: c_bool/_Bool). */
morvelay_chebyshev* morvelay_chebyshev_create(size_t n_points, double x_min, double x_max, bool use_clenshaw);
/* Copies the n_points node x coordinates into out_ptr[0..len) in the order _fit expects its values:
 * descending, out_ptr[0] the largest (nearest x_max), each mirrored pair mid +- half*cos((2j+1)pi/(2n))
 * built from one cosine, the middle node of an odd count exactly (x_min + x_max) / 2.  A host samples
 * its function at these and fits, rather than recomputing the nodes, whose last bits would differ.
 * Messages: "chebyshev handle is null", "out_ptr must be non-null", "nodes and output must have the
 * same length ({n_points} vs {len})".  Works before any fit. */
int32_t morvelay_chebyshev_nodes(const morvelay_chebyshev* handle, double* out_ptr, size_t len);
/* Frees the handle; NULL is ignored. */
void morvelay_chebyshev_destroy(morvelay_chebyshev* handle);
/* Fits the series to y_ptr[0..len), one value per node in node order.  Messages: "chebyshev handle is
 * null", "pointer must not be null", "Expected {n} y values (one for each Chebyshev node), got {m}". */
int32_t morvelay_chebyshev_fit(morvelay_chebyshev* handle, const double* y_ptr, size_t len);
/* Writes the value at x to *out_value.  Checks out_value before the handle.  Messages: "out_value must
 * be non-null", "chebyshev handle is null", "Interpolator not fitted. Call fit(y) first.", "x value {x}
 * is outside interpolation range [{x_min}, {x_max}]" (four decimals each). */
int32_t morvelay_chebyshev_eval(const morvelay_chebyshev* handle, double x, double* out_value);
/* Evaluates x_ptr[0..len) into out_ptr[0..len).  Unlike the other families, len 0 still needs a fitted
 * handle.  The first x outside the interval is reported.  Messages: "chebyshev handle is null",
 * "pointer must not be null", the not-fitted and range messages of _eval. */
int32_t morvelay_chebyshev_eval_many(const morvelay_chebyshev* handle, const double* x_ptr, size_t len,
                                     double* out_ptr);
/* Same as morvelay_last_error. */
size_t morvelay_chebyshev_last_error(char* buf, size_t buf_len);

/* ---- lagrange: global polynomial in barycentric form; nodes kept in the given order ---- */
typedef struct morvelay_lagrange morvelay_lagrange;

/* New unfitted handle; never NULL.  Clears the last error. */
morvelay_lagrange* morvelay_lagrange_create(void);
/* Frees the handle; NULL is ignored. */
void morvelay_lagrange_destroy(morvelay_lagrange* handle);
/* Fits x/y (copied).  Nodes are neither sorted nor checked for repeats: coincident nodes give NaN
 * between nodes.  Messages: "lagrange handle is null", "x_ptr and y_ptr must be non-null", "x and y
 * must have the same length", "x and y cannot be empty". */
int32_t morvelay_lagrange_fit(morvelay_lagrange* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                              size_t y_len);
/* Writes the value at x to *out_value; a node's own value when x equals it.  Messages: "lagrange
 * handle is null", "out_value must be non-null", "Interpolator not fitted. Call fit(x, y) first." */
int32_t morvelay_lagrange_eval(const morvelay_lagrange* handle, double x, double* out_value);
/* Evaluates x_ptr[0..len) into out_ptr[0..len), bit-identical to morvelay_lagrange_eval point by point.
 * len 0 succeeds without looking at the handle's data.  Messages: "lagrange handle is null", "x_ptr and
 * out_ptr must be non-null", the not-fitted message. */
int32_t morvelay_lagrange_eval_many(const morvelay_lagrange* handle, const double* x_ptr, size_t len, double* out_ptr);
/* Appends one node in O(n), keeping the others.  Messages: "lagrange handle is null", the not-fitted
 * message, "x_new {x_new} already exists" (a node within 2^-52 of x_new, absolute). */
int32_t morvelay_lagrange_add_point(morvelay_lagrange* handle, double x_new, double y_new);
/* Replaces all values (copied) in O(n), keeping the nodes.  Messages: "lagrange handle is null",
 * "y_ptr must be non-null", "y cannot be empty", the not-fitted message, "New y must have the same
 * length as x". */
int32_t morvelay_lagrange_update_y(morvelay_lagrange* handle, const double* y_ptr, size_t len);
/* Same as morvelay_last_error. */
size_t morvelay_lagrange_last_error(char* buf, size_t buf_len);

/* ---- newton: global polynomial in Newton divided-difference form; nodes kept in the given order ---- */
typedef struct morvelay_newton morvelay_newton;

/* New unfitted handle; never NULL.  Clears the last error. */
morvelay_newton* morvelay_newton_create(void);
/* Frees the handle; NULL is ignored. */
void morvelay_newton_destroy(morvelay_newton* handle);
/* Fits x/y (copied).  Nodes are neither sorted nor checked: coincident nodes give infinite or NaN
 * results.  Messages: "newton handle is null", "x_ptr and y_ptr must be non-null", "x and y must have
 * the same length", "x and y cannot be empty". */
int32_t morvelay_newton_fit(morvelay_newton* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                            size_t y_len);
/* Writes the value at x to *out_value (extrapolated outside the nodes).  Messages: "newton handle is
 * null", "out_value must be non-null", "Interpolator not fitted. Call fit(x, y) first." */
int32_t morvelay_newton_eval(const morvelay_newton* handle, double x, double* out_value);
/* Evaluates x_ptr[0..len) into out_ptr[0..len), bit-identical to morvelay_newton_eval point by point.
 * len 0 succeeds without looking at the handle's data.  Messages: "newton handle is null", "x_ptr and
 * out_ptr must be non-null", the not-fitted message. */
int32_t morvelay_newton_eval_many(const morvelay_newton* handle, const double* x_ptr, size_t len, double* out_ptr);
/* Same as morvelay_last_error. */
size_t morvelay_newton_last_error(char* buf, size_t buf_len);

/* ---- hermite: global polynomial matching values and first derivatives ---- */
typedef struct morvelay_hermite morvelay_hermite;

/* New unfitted handle; never NULL.  Clears the last error. */
morvelay_hermite* morvelay_hermite_create(void);
/* Frees the handle; NULL is ignored. */
void morvelay_hermite_destroy(morvelay_hermite* handle);
/* Fits values y and derivatives dy at nodes x (all copied).  Messages: "hermite handle is null",
 * "x_ptr, y_ptr, and dy_ptr must be non-null", "x, y, and dy must all have the same length", "x, y,
 * and dy cannot be empty". */
int32_t morvelay_hermite_fit(morvelay_hermite* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                             size_t y_len, const double* dy_ptr, size_t dy_len);
/* Writes the value at x to *out_value (extrapolated outside the nodes).  Messages: "hermite handle is
 * null", "out_value must be non-null", "Interpolator not fitted. Call fit(x, y, dy) first." */
int32_t morvelay_hermite_eval(const morvelay_hermite* handle, double x, double* out_value);
/* Evaluates x_ptr[0..len) into out_ptr[0..len), bit-identical to morvelay_hermite_eval point by point.
 * len 0 succeeds without looking at the handle's data.  Messages: "hermite handle is null", "x_ptr and
 * out_ptr must be non-null", the not-fitted message. */
int32_t morvelay_hermite_eval_many(const morvelay_hermite* handle, const double* x_ptr, size_t len, double* out_ptr);
/* Same as morvelay_last_error. */
size_t morvelay_hermite_last_error(char* buf, size_t buf_len);

#ifdef __cplusplus
}
#endif

#endif /* MORVELAY_H */
