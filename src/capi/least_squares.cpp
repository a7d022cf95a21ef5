// C family over LeastSquaresCore.
#include "core/least_squares_core.hpp"
#include "frame.hpp"

struct morvelay_least_squares {
    morvelay::LeastSquaresCore core;
};

namespace {
constexpr const char* kNullHandle = "least squares handle is null";
}  // namespace

using namespace morvelay;

extern "C" {

morvelay_least_squares* morvelay_least_squares_create(size_t degree) {
    return capi::create_handle<morvelay_least_squares>(
        [degree] { return Result<LeastSquaresCore>(LeastSquaresCore(degree)); });
}

void morvelay_least_squares_destroy(morvelay_least_squares* handle) { delete handle; }

int32_t morvelay_least_squares_fit(morvelay_least_squares* handle, const double* x_ptr, size_t x_len,
                                   const double* y_ptr, size_t y_len) {
    return capi::guarded([&]() -> Status {
        if (!handle) return capi::refuse(kNullHandle);
        if (!x_ptr || !y_ptr) return capi::refuse("pointer is null");
        // Lengths are the core's to check, so its messages (with the counts) reach the host.
        return handle->core.fit(capi::copy_of(x_ptr, x_len), capi::copy_of(y_ptr, y_len));
    });
}

int32_t morvelay_least_squares_eval(const morvelay_least_squares* handle, double x, double* out_value) {
    return capi::eval_one(handle, kNullHandle, x, out_value);
}

int32_t morvelay_least_squares_eval_many(const morvelay_least_squares* handle, const double* x_ptr, size_t len,
                                         double* out_ptr) {
    return capi::eval_buffer(handle, kNullHandle, x_ptr, len, out_ptr);
}

size_t morvelay_least_squares_last_error(char* buf, size_t buf_len) { return capi::read_last_error(buf, buf_len); }

}  // extern "C"
