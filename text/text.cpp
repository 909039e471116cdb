#include "text/text.h"

#include <charconv>

#include "platform/text_conversion.h"

std::vector<std::string_view> split_fields(std::string_view text) {
    std::vector<std::string_view> fields;
    if (text.empty()) return fields;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(field_separator, start)) != std::string_view::npos; start = at + 1)
        fields.push_back(text.substr(start, at - start));
    fields.push_back(text.substr(start));
    return fields;
}

std::int32_t to_int(std::string_view text) {
    // from_chars accepts exactly an optional minus sign and digits, with no blanks and no plus sign.
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    (void)end;
    return error == std::errc{} ? value : -999;
}

std::string to_utf8(std::u16string_view wide) {
    if (wide.empty()) return {};
    return platform::utf16_to_utf8(wide);
}

std::u16string to_utf16(std::string_view text) {
    if (text.empty()) return {};
    return platform::utf8_to_utf16(text);
}
