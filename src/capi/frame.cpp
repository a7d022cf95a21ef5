#include "frame.hpp"

#include <cstring>

namespace morvelay::capi {

namespace {

// One text per thread, released with the thread.  Hosts read it right after their own failing call.
thread_local std::string last_error;

}  // namespace

void set_last_error(std::string_view message) noexcept {
    try {
        last_error.assign(message);
    } catch (...) {
        last_error.assign("out of memory");  // short enough for the string's own buffer: cannot fail
    }
}

void clear_last_error() noexcept { last_error.clear(); }

std::size_t read_last_error(char* buf, std::size_t buf_len) noexcept {
    const std::size_t n = last_error.size();
    if (buf && buf_len > 0) {
        const std::size_t copied = n < buf_len - 1 ? n : buf_len - 1;
        std::memcpy(buf, last_error.data(), copied);
        buf[copied] = '\0';
    }
    return n + 1;
}

}  // namespace morvelay::capi

extern "C" size_t morvelay_last_error(char* buf, size_t buf_len) {
    return morvelay::capi::read_last_error(buf, buf_len);
}
