// Helpers the C interface tests share.
#pragma once

#include <string>

#include "morvelay.h"

namespace capi_testing {

// The calling thread's last error, read the way a host would: ask for the size, then fetch.
inline std::string last_error() {
    std::string text(morvelay_last_error(nullptr, 0), '\0');
    morvelay_last_error(text.data(), text.size());
    text.pop_back();
    return text;
}

}  // namespace capi_testing
