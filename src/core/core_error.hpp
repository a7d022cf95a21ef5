// Errors of the numerical core.
//
// A core never throws for bad data and never prints: every fallible operation hands back either its
// value or the exact message a user will read.  The faces pass that text on unchanged (a Python
// ValueError, a C status plus last-error text), so the wording here is part of the interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace morvelay {

// The hints of the not-fitted message, one per form of `fit`.  Each core names its own as kNotFittedHint.
inline constexpr char kFitXYHint[] = "Call fit(x, y) first.";
inline constexpr char kFitXYDyHint[] = "Call fit(x, y, dy) first.";
inline constexpr char kFitYHint[] = "Call fit(y) first.";

// The structured errors every core shares.  Method-specific failures (too few points, unsorted x,
// out of range, singular system) are plain texts built where they happen, via `invalid_input`.  Each is
// rendered at the point of failure: callers only ever see the text.
class CoreError {
public:
    static CoreError not_fitted(std::string_view hint);
    static CoreError length_mismatch(std::uint64_t len_a, std::uint64_t len_b, std::string_view name_a,
                                     std::string_view name_b);
    static CoreError empty_input(std::string_view what);
    static CoreError not_distinct(std::string_view what);
    static CoreError invalid_input(std::string message);

    const std::string& message() const& noexcept { return message_; }
    std::string message() && noexcept { return std::move(message_); }

private:
    explicit CoreError(std::string message) : message_(std::move(message)) {}

    std::string message_;
};

template <class T>
class Result;

// Success with nothing to hand back, or the message of a failure.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(CoreError error) : failed_(true), message_(std::move(error).message()) {}
    // The outcome of an operation whose value is not needed here: its failure passes on as it is.
    template <class T>
    Status(Result<T>&& result) : failed_(!result.ok()), message_(std::move(result).error()) {}

    static Status success() { return Status(); }

    bool ok() const noexcept { return !failed_; }
    explicit operator bool() const noexcept { return ok(); }
    const std::string& error() const& noexcept { return message_; }
    std::string error() && noexcept { return std::move(message_); }

private:
    bool failed_ = false;
    std::string message_;
};

// The value of a fallible operation, or the message of its failure.  Built on optional rather than
// variant: nothing here throws, so no exception type information leaks into the shared objects.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(CoreError error) : message_(std::move(error).message()) {}
    // A failed check passes on its message; `failed` must not be a success.
    Result(Status failed) : message_(std::move(failed).error()) {}

    bool ok() const noexcept { return value_.has_value(); }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    const std::string& error() const& { return message_; }
    std::string error() && { return std::move(message_); }

private:
    std::optional<T> value_;
    std::string message_;
};

}  // namespace morvelay
