#pragma once

#include <string>
#include <string_view>

namespace platform {

// Both convert the whole input, NULs included, and put U+FFFD in place of every ill-formed sequence.
std::string utf16_to_utf8(std::u16string_view wide);
std::u16string utf8_to_utf16(std::string_view text);

// A file-system path is bytes, which need not be UTF-8: those that are not travel as the code units U+DC80 to
// U+DCFF, which no text gives, so that a path comes back byte for byte.
std::u16string path_to_utf16(std::string_view path);
std::string path_from_utf16(std::u16string_view path);

}  // namespace platform
