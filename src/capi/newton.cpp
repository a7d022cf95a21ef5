// C family over NewtonCore.
#include "core/newton_core.hpp"
#include "frame.hpp"

struct morvelay_newton {
    morvelay::NewtonCore core;
};

namespace {
constexpr const char* kNullHandle = "newton handle is null";
}  // namespace

using namespace morvelay;

extern "C" {

morvelay_newton* morvelay_newton_create(void) { return capi::create_handle<morvelay_newton>(); }

void morvelay_newton_destroy(morvelay_newton* handle) { delete handle; }

int32_t morvelay_newton_fit(morvelay_newton* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                            size_t y_len) {
    return capi::fit_xy(handle, kNullHandle, x_ptr, x_len, y_ptr, y_len);
}

int32_t morvelay_newton_eval(const morvelay_newton* handle, double x, double* out_value) {
    return capi::eval_one(handle, kNullHandle, x, out_value);
}

int32_t morvelay_newton_eval_many(const morvelay_newton* handle, const double* x_ptr, size_t len, double* out_ptr) {
    return capi::eval_buffer(handle, kNullHandle, x_ptr, len, out_ptr);
}

size_t morvelay_newton_last_error(char* buf, size_t buf_len) { return capi::read_last_error(buf, buf_len); }

}  // extern "C"
