// C family over QuadraticCore.
#include "core/quadratic_core.hpp"
#include "frame.hpp"

struct morvelay_quadratic {
    morvelay::QuadraticCore core;
};

namespace {
constexpr const char* kNullHandle = "quadratic handle is null";
}  // namespace

using namespace morvelay;

extern "C" {

morvelay_quadratic* morvelay_quadratic_create(void) { return capi::create_handle<morvelay_quadratic>(); }

void morvelay_quadratic_destroy(morvelay_quadratic* handle) { delete handle; }

int32_t morvelay_quadratic_fit(morvelay_quadratic* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                               size_t y_len) {
    return capi::fit_xy(handle, kNullHandle, x_ptr, x_len, y_ptr, y_len);
}

int32_t morvelay_quadratic_eval(const morvelay_quadratic* handle, double x, double* out_value) {
    return capi::eval_one(handle, kNullHandle, x, out_value);
}

int32_t morvelay_quadratic_eval_many(const morvelay_quadratic* handle, const double* x_ptr, size_t len,
                                     double* out_ptr) {
    return capi::eval_buffer(handle, kNullHandle, x_ptr, len, out_ptr);
}

size_t morvelay_quadratic_last_error(char* buf, size_t buf_len) { return capi::read_last_error(buf, buf_len); }

}  // extern "C"
