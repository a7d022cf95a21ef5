// C family over ChebyshevCore.  Its checks differ from the other families: eval looks at the output
// pointer before the handle, and eval_many hands even an empty buffer to the core, so an unfitted
// handle fails there too.
#include <algorithm>

#include "core/chebyshev_core.hpp"
#include "frame.hpp"

struct morvelay_chebyshev {
    morvelay::ChebyshevCore core;
};

namespace {
constexpr const char* kNullHandle = "chebyshev handle is null";
}  // namespace

using namespace morvelay;

extern "C" {

morvelay_chebyshev* morvelay_chebyshev_create(size_t n_points, double x_min, double x_max, bool use_clenshaw) {
    return capi::create_handle<morvelay_chebyshev>(
        [&] { return ChebyshevCore::create(n_points, x_min, x_max, use_clenshaw); });
}

void morvelay_chebyshev_destroy(morvelay_chebyshev* handle) { delete handle; }

int32_t morvelay_chebyshev_fit(morvelay_chebyshev* handle, const double* y_ptr, size_t len) {
    return capi::guarded([&]() -> Status {
        if (!handle) return capi::refuse(kNullHandle);
        if (!y_ptr) return capi::refuse(capi::kNullPointer);
        return handle->core.fit(std::span<const double>(y_ptr, len));
    });
}

int32_t morvelay_chebyshev_eval(const morvelay_chebyshev* handle, double x, double* out_value) {
    return capi::guarded([&]() -> Status {
        if (!out_value) return capi::refuse(capi::kNullOutValue);
        if (!handle) return capi::refuse(kNullHandle);
        Result<double> value = handle->core.evaluate_single(x);
        if (!value) return value;
        *out_value = value.value();
        return Status::success();
    });
}

int32_t morvelay_chebyshev_eval_many(const morvelay_chebyshev* handle, const double* x_ptr, size_t len,
                                     double* out_ptr) {
    return capi::guarded([&]() -> Status {
        if (!handle) return capi::refuse(kNullHandle);
        if (!x_ptr || !out_ptr) return capi::refuse(capi::kNullPointer);
        return handle->core.fill_many(std::span<const double>(x_ptr, len), std::span<double>(out_ptr, len));
    });
}

// The nodes as the core placed them: a host that fits through them gets exactly the Python face's fit.
int32_t morvelay_chebyshev_nodes(const morvelay_chebyshev* handle, double* out_ptr, size_t len) {
    return capi::guarded([&]() -> Status {
        if (!handle) return capi::refuse(kNullHandle);
        if (!out_ptr) return capi::refuse("out_ptr must be non-null");
        const std::span<const double> nodes = handle->core.nodes();
        if (nodes.size() != len) {
            return CoreError::invalid_input("nodes and output must have the same length (" +
                                            format_count(nodes.size()) + " vs " + format_count(len) + ")");
        }
        std::copy(nodes.begin(), nodes.end(), out_ptr);
        return Status::success();
    });
}

size_t morvelay_chebyshev_last_error(char* buf, size_t buf_len) { return capi::read_last_error(buf, buf_len); }

}  // extern "C"
