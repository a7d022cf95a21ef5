// C family over LinearCore.
#include "core/linear_core.hpp"
#include "frame.hpp"

struct morvelay_linear {
    morvelay::LinearCore core;
};

namespace {
constexpr const char* kNullHandle = "linear handle is null";
}  // namespace

using namespace morvelay;

extern "C" {

morvelay_linear* morvelay_linear_create(void) { return capi::create_handle<morvelay_linear>(); }

void morvelay_linear_destroy(morvelay_linear* handle) { delete handle; }

int32_t morvelay_linear_fit(morvelay_linear* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                            size_t y_len) {
    return capi::fit_xy(handle, kNullHandle, x_ptr, x_len, y_ptr, y_len);
}

int32_t morvelay_linear_eval(const morvelay_linear* handle, double x, double* out_value) {
    return capi::eval_one(handle, kNullHandle, x, out_value);
}

int32_t morvelay_linear_eval_many(const morvelay_linear* handle, const double* x_ptr, size_t len, double* out_ptr) {
    return capi::eval_buffer(handle, kNullHandle, x_ptr, len, out_ptr);
}

size_t morvelay_linear_last_error(char* buf, size_t buf_len) { return capi::read_last_error(buf, buf_len); }

}  // extern "C"
