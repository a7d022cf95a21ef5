// C family over CubicSplineCore.
#include "core/cubic_spline_core.hpp"
#include "frame.hpp"

struct morvelay_cubic_spline {
    morvelay::CubicSplineCore core;
};

namespace {
constexpr const char* kNullHandle = "cubic_spline handle is null";
}  // namespace

using namespace morvelay;

extern "C" {

morvelay_cubic_spline* morvelay_cubic_spline_create(void) { return capi::create_handle<morvelay_cubic_spline>(); }

void morvelay_cubic_spline_destroy(morvelay_cubic_spline* handle) { delete handle; }

int32_t morvelay_cubic_spline_fit(morvelay_cubic_spline* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                                  size_t y_len) {
    return capi::fit_xy(handle, kNullHandle, x_ptr, x_len, y_ptr, y_len);
}

int32_t morvelay_cubic_spline_eval(const morvelay_cubic_spline* handle, double x, double* out_value) {
    return capi::eval_one(handle, kNullHandle, x, out_value);
}

int32_t morvelay_cubic_spline_eval_many(const morvelay_cubic_spline* handle, const double* x_ptr, size_t len,
                                        double* out_ptr) {
    return capi::eval_buffer(handle, kNullHandle, x_ptr, len, out_ptr);
}

size_t morvelay_cubic_spline_last_error(char* buf, size_t buf_len) { return capi::read_last_error(buf, buf_len); }

}  // extern "C"
