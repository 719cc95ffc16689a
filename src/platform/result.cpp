#include "result.h"

#include <cstring>

namespace platform {

Error errnoError(const std::string& what) {
    const int code = errno;
    return Error{code, what + ": " + std::strerror(code)};
}

Error makeError(int code, std::string message) {
    return Error{code, std::move(message)};
}

} // namespace platform
