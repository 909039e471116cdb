#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The one separator of every multi-field argument and every list result; nothing is escaped.
inline constexpr char field_separator = '\x1F';

// The id text that marks a record not stored yet.
inline constexpr std::string_view record_id_none = "none";

// Cuts text at every field separator; the empty text gives no field at all.
std::vector<std::string_view> split_fields(std::string_view text);

// Optional minus sign and decimal digits, reading stops at the first other byte; -999 when there is no
// digit or the value does not fit in 32 bits.
std::int32_t to_int(std::string_view text);

std::string to_utf8(std::u16string_view wide);
std::u16string to_utf16(std::string_view text);
