// C family over RBFCore.  Kernels are chosen by their numeric id; the id is checked before epsilon.
#include <algorithm>

#include "core/rbf_core.hpp"
#include "frame.hpp"

struct morvelay_rbf {
    morvelay::RBFCore core;
};

namespace {
constexpr const char* kNullHandle = "rbf handle is null";
}  // namespace

using namespace morvelay;

extern "C" {

morvelay_rbf* morvelay_rbf_create(uint32_t kernel_id, double epsilon) {
    return capi::create_handle<morvelay_rbf>([&]() -> Result<RBFCore> {
        if (kernel_id >= kRBFKernelCount) return CoreError::invalid_input("Unknown kernel id");
        return RBFCore::create(static_cast<RBFKernel>(kernel_id), epsilon);
    });
}

void morvelay_rbf_destroy(morvelay_rbf* handle) { delete handle; }

int32_t morvelay_rbf_fit(morvelay_rbf* handle, const double* x_ptr, size_t x_len, const double* y_ptr, size_t y_len) {
    return capi::guarded([&]() -> Status {
        if (!handle) return capi::refuse(kNullHandle);
        if (!x_ptr || !y_ptr) return capi::refuse(capi::kNullPointer);
        return handle->core.fit(capi::copy_of(x_ptr, x_len), capi::copy_of(y_ptr, y_len));
    });
}

int32_t morvelay_rbf_eval(const morvelay_rbf* handle, double x, double* out_value) {
    return capi::eval_one(handle, kNullHandle, x, out_value);
}

int32_t morvelay_rbf_eval_many(const morvelay_rbf* handle, const double* x_ptr, size_t len, double* out_ptr) {
    return capi::eval_buffer(handle, kNullHandle, x_ptr, len, out_ptr);
}

size_t morvelay_rbf_count(const morvelay_rbf* handle) { return handle ? handle->core.count() : 0; }

int32_t morvelay_rbf_weights(const morvelay_rbf* handle, double* out_ptr, size_t len) {
    return capi::guarded([&]() -> Status {
        if (!handle) return capi::refuse(kNullHandle);
        if (!out_ptr) return capi::refuse("out_ptr must be non-null");
        Result<std::span<const double>> weights = handle->core.fitted_weights();
        if (!weights) return weights;
        const std::span<const double> w = weights.value();
        if (w.size() != len) {
            return CoreError::invalid_input("weights and output must have the same length (" + format_count(w.size()) +
                                            " vs " + format_count(len) + ")");
        }
        std::copy(w.begin(), w.end(), out_ptr);
        return Status::success();
    });
}

size_t morvelay_rbf_last_error(char* buf, size_t buf_len) { return capi::read_last_error(buf, buf_len); }

}  // extern "C"
