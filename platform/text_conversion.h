#pragma once

#include <string>
#include <string_view>

namespace platform {

// Both convert the whole input, NULs included, and put U+FFFD in place of every ill-formed sequence.
std::string utf16_to_utf8(std::u16string_view wide);
std::u16string utf8_to_utf16(std::string_view text);

}  // namespace platform
