#pragma once

#include <string_view>

namespace platform {

// Equal text when ASCII letters are compared without regard to case, as Windows compares file,
// key and command names.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace platform
