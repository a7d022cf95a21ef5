// What every C family shares: the per-thread last error, the guard that turns every outcome (a core
// message, an argument problem, an exception) into status 0 / -1, and the bodies of the operations
// whose checks are the same across families.  A family file holds its handle type and its own checks.
#pragma once

// The public declarations get default visibility here, so that with -fvisibility=hidden exactly the
// morvelay_* functions leave the library, while the header itself stays free of export macros.
#pragma GCC visibility push(default)
#include "morvelay.h"
#pragma GCC visibility pop

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/core_contract.hpp"
#include "core/number_text.hpp"

namespace morvelay::capi {

void set_last_error(std::string_view message) noexcept;
void clear_last_error() noexcept;
std::size_t read_last_error(char* buf, std::size_t buf_len) noexcept;

// An interface-level refusal ("x_ptr and y_ptr must be non-null"), reported like a core message.
inline Status refuse(const char* message) { return CoreError::invalid_input(message); }

// The refusals several families word alike.
inline constexpr const char* kNullOutValue = "out_value must be non-null";
inline constexpr const char* kNullPointer = "pointer must not be null";

// Runs one status-returning body.  Nothing unwinds past here into a C host.
template <class Body>
std::int32_t guarded(Body&& body) noexcept {
    try {
        Status status = body();
        if (!status) {
            set_last_error(status.error());
            return -1;
        }
        clear_last_error();
        return 0;
    } catch (const std::bad_alloc&) {
        set_last_error("out of memory");
    } catch (const std::exception& error) {
        set_last_error(error.what());
    } catch (...) {
        set_last_error("unknown internal error");
    }
    return -1;
}

// create: clears the last error; a refusal returns null with the message, as does exhausted memory.
template <class Handle, class Make>
Handle* create_handle(Make&& make) noexcept {
    clear_last_error();
    try {
        auto core = make();
        if (!core) {
            set_last_error(core.error());
            return nullptr;
        }
        return new Handle{std::move(core).value()};
    } catch (const std::bad_alloc&) {
        set_last_error("out of memory");
    } catch (...) {
        set_last_error("unknown internal error");
    }
    return nullptr;
}

template <class Handle>
Handle* create_handle() noexcept {
    clear_last_error();
    try {
        return new Handle{};
    } catch (...) {
        set_last_error("out of memory");
    }
    return nullptr;
}

// The caller's array, copied: cores take their inputs over and may reorder them.
inline std::vector<double> copy_of(const double* data, std::size_t len) {
    return std::vector<double>(data, data + len);
}

// Checks shared by the x/y fits of most families, in their order: handle, pointers, equal lengths.  The
// minimum count (empty, or too few for the method) and its message are the core's.
template <class Handle>
std::int32_t fit_xy(Handle* handle, const char* null_handle, const double* x_ptr, std::size_t x_len,
                    const double* y_ptr, std::size_t y_len) noexcept {
    return guarded([&]() -> Status {
        if (!handle) return refuse(null_handle);
        if (!x_ptr || !y_ptr) return refuse("x_ptr and y_ptr must be non-null");
        if (x_len != y_len) return refuse("x and y must have the same length");
        return handle->core.fit(copy_of(x_ptr, x_len), copy_of(y_ptr, y_len));
    });
}

// eval as every family but chebyshev orders it: handle first, then the output pointer.
template <class Handle>
std::int32_t eval_one(const Handle* handle, const char* null_handle, double x, double* out_value) noexcept {
    return guarded([&]() -> Status {
        if (!handle) return refuse(null_handle);
        if (!out_value) return refuse(kNullOutValue);
        Result<double> value = handle->core.evaluate_single(x);
        if (!value) return value;
        *out_value = value.value();
        return Status::success();
    });
}

// eval_many as every family but chebyshev does it: an empty buffer succeeds without the core.
template <class Handle>
std::int32_t eval_buffer(const Handle* handle, const char* null_handle, const double* x_ptr, std::size_t len,
                         double* out_ptr) noexcept {
    return guarded([&]() -> Status {
        if (!handle) return refuse(null_handle);
        if (!x_ptr || !out_ptr) return refuse("x_ptr and out_ptr must be non-null");
        if (len == 0) return Status::success();
        return handle->core.fill_many(std::span<const double>(x_ptr, len), std::span<double>(out_ptr, len));
    });
}

}  // namespace morvelay::capi
