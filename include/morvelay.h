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

#ifdef __cplusplus
}
#endif

#endif /* MORVELAY_H */
