// C family over LagrangeCore, with its two O(n) updates.
#include "core/lagrange_core.hpp"
#include "frame.hpp"

struct morvelay_lagrange {
    morvelay::LagrangeCore core;
};

namespace {
constexpr const char* kNullHandle = "lagrange handle is null";
}  // namespace

using namespace morvelay;

extern "C" {

morvelay_lagrange* morvelay_lagrange_create(void) { return capi::create_handle<morvelay_lagrange>(); }

void morvelay_lagrange_destroy(morvelay_lagrange* handle) { delete handle; }

int32_t morvelay_lagrange_fit(morvelay_lagrange* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                              size_t y_len) {
    return capi::fit_xy(handle, kNullHandle, x_ptr, x_len, y_ptr, y_len);
}

int32_t morvelay_lagrange_eval(const morvelay_lagrange* handle, double x, double* out_value) {
    return capi::eval_one(handle, kNullHandle, x, out_value);
}

int32_t morvelay_lagrange_eval_many(const morvelay_lagrange* handle, const double* x_ptr, size_t len, double* out_ptr) {
    return capi::eval_buffer(handle, kNullHandle, x_ptr, len, out_ptr);
}

int32_t morvelay_lagrange_add_point(morvelay_lagrange* handle, double x_new, double y_new) {
    return capi::guarded([&]() -> Status {
        if (!handle) return capi::refuse(kNullHandle);
        return handle->core.add_point(x_new, y_new);
    });
}

int32_t morvelay_lagrange_update_y(morvelay_lagrange* handle, const double* y_ptr, size_t len) {
    return capi::guarded([&]() -> Status {
        if (!handle) return capi::refuse(kNullHandle);
        if (!y_ptr) return capi::refuse("y_ptr must be non-null");
        if (len == 0) return capi::refuse("y cannot be empty");
        return handle->core.update_y(capi::copy_of(y_ptr, len));
    });
}

size_t morvelay_lagrange_last_error(char* buf, size_t buf_len) { return capi::read_last_error(buf, buf_len); }

}  // extern "C"
