// C family over HermiteCore: fit takes values and derivatives.
#include "core/hermite_core.hpp"
#include "frame.hpp"

struct morvelay_hermite {
    morvelay::HermiteCore core;
};

namespace {
constexpr const char* kNullHandle = "hermite handle is null";
}  // namespace

using namespace morvelay;

extern "C" {

morvelay_hermite* morvelay_hermite_create(void) { return capi::create_handle<morvelay_hermite>(); }

void morvelay_hermite_destroy(morvelay_hermite* handle) { delete handle; }

int32_t morvelay_hermite_fit(morvelay_hermite* handle, const double* x_ptr, size_t x_len, const double* y_ptr,
                             size_t y_len, const double* dy_ptr, size_t dy_len) {
    return capi::guarded([&]() -> Status {
        if (!handle) return capi::refuse(kNullHandle);
        if (!x_ptr || !y_ptr || !dy_ptr) return capi::refuse("x_ptr, y_ptr, and dy_ptr must be non-null");
        if (x_len != y_len || x_len != dy_len) return capi::refuse("x, y, and dy must all have the same length");
        return handle->core.fit(capi::copy_of(x_ptr, x_len), capi::copy_of(y_ptr, y_len),
                                capi::copy_of(dy_ptr, dy_len));
    });
}

int32_t morvelay_hermite_eval(const morvelay_hermite* handle, double x, double* out_value) {
    return capi::eval_one(handle, kNullHandle, x, out_value);
}

int32_t morvelay_hermite_eval_many(const morvelay_hermite* handle, const double* x_ptr, size_t len, double* out_ptr) {
    return capi::eval_buffer(handle, kNullHandle, x_ptr, len, out_ptr);
}

size_t morvelay_hermite_last_error(char* buf, size_t buf_len) { return capi::read_last_error(buf, buf_len); }

}  // extern "C"
