#include "platform/text_conversion.h"

#include <cstdint>

namespace platform {
namespace {

constexpr char32_t replacement_character = 0xFFFD;
// What decode_utf8 answers for an ill-formed sequence; no scalar value.
constexpr char32_t ill_formed = 0xFFFFFFFF;
// A byte that is not UTF-8, in a path, as the code unit U+DC80 to U+DCFF: a lone surrogate, which no text gives.
constexpr char16_t escaped_byte = 0xDC00;

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void append_utf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

// Decodes one scalar value at text[i] and advances i past it; an ill-formed sequence yields ill_formed and
// consumes its maximal valid prefix (at least one byte, and never one below 0x80), the way conforming decoders do.
char32_t decode_utf8(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        ++i;
        return ill_formed;
    }
    std::size_t k = i + 1;
    for (std::size_t n = 1; n < length; ++n, ++k) {
        if (k >= text.size()) {
            i = k;
            return ill_formed;
        }
        const std::uint8_t b = byte(k);
        const std::uint8_t lo = n == 1 ? low : 0x80, hi = n == 1 ? high : 0xBF;
        if (b < lo || b > hi) {
            i = k;
            return ill_formed;
        }
        value = (value << 6) | (b & 0x3F);
    }
    i = k;
    return value;
}

std::string encode(std::u16string_view wide, bool path) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            append_utf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(wide[i + 1]) - 0xDC00));
            ++i;
        } else if (path && unit >= (escaped_byte | 0x80) && unit <= (escaped_byte | 0xFF)) {
            out += static_cast<char>(unit & 0xFF);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            append_utf8(out, replacement_character);
        } else {
            append_utf8(out, unit);
        }
    }
    return out;
}

std::u16string decode(std::string_view text, bool path) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t start = i;
        const char32_t c = decode_utf8(text, i);
        if (c != ill_formed)
            append_utf16(out, c);
        else if (!path)
            append_utf16(out, replacement_character);
        else
            while (start < i) out += static_cast<char16_t>(escaped_byte | static_cast<std::uint8_t>(text[start++]));
    }
    return out;
}

}  // namespace

std::string utf16_to_utf8(std::u16string_view wide) { return encode(wide, false); }
std::u16string utf8_to_utf16(std::string_view text) { return decode(text, false); }
std::string path_from_utf16(std::u16string_view path) { return encode(path, true); }
std::u16string path_to_utf16(std::string_view path) { return decode(path, true); }

}  // namespace platform
