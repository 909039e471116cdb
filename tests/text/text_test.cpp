#include "text/text.h"

#include <gtest/gtest.h>

#include "platform/text_conversion.h"

using Fields = std::vector<std::string_view>;

TEST(SplitFields, CountsEveryEmptyFieldButGivesNoneForTheEmptyText) {
    EXPECT_EQ(split_fields(""), Fields{});
    EXPECT_EQ(split_fields("abc"), Fields{"abc"});
    EXPECT_EQ(split_fields("\x1F"), (Fields{"", ""}));
    EXPECT_EQ(split_fields("a\x1F"), (Fields{"a", ""}));
    EXPECT_EQ(split_fields("a\037\037b"), (Fields{"a", "", "b"}));  // octal, so that b is not a hex digit
    // Colons are not separators.
    EXPECT_EQ(split_fields("a:b\037c"), (Fields{"a:b", "c"}));
}

TEST(ToInt, ReadsASignedDecimalPrefixOrAnswersMinus999) {
    EXPECT_EQ(to_int("0"), 0);
    EXPECT_EQ(to_int("007"), 7);
    EXPECT_EQ(to_int("-0"), 0);
    // The limits of 32 bits, and one past them.
    EXPECT_EQ(to_int("2147483647"), 2147483647);
    EXPECT_EQ(to_int("-2147483648"), INT32_MIN);
    EXPECT_EQ(to_int("2147483648"), -999);
    EXPECT_EQ(to_int("-2147483649"), -999);
    EXPECT_EQ(to_int("99999999999999999999"), -999);
    // No digit, a plus sign or a leading blank.
    EXPECT_EQ(to_int(""), -999);
    EXPECT_EQ(to_int("-"), -999);
    EXPECT_EQ(to_int("+5"), -999);
    EXPECT_EQ(to_int(" 5"), -999);
    EXPECT_EQ(to_int("x5"), -999);
    // Whatever follows the digits is ignored.
    EXPECT_EQ(to_int("12abc"), 12);
    EXPECT_EQ(to_int("3.9"), 3);
    EXPECT_EQ(to_int("1e5"), 1);
    EXPECT_EQ(to_int("7 "), 7);
    EXPECT_EQ(to_int("-999"), -999);
    // "none" is only the record id when it is exactly that text.
    EXPECT_EQ(to_int("NONE"), -999);
    EXPECT_EQ(to_int(" none"), -999);
}

TEST(TextConversion, RoundTripsWellFormedTextAndReplacesIllFormedText) {
    EXPECT_EQ(to_utf8(u""), "");
    EXPECT_EQ(to_utf16(""), u"");
    // Accents, another script and a character outside the Basic Multilingual Plane (a surrogate pair).
    const std::string text = "Équipe Ωmega 日本 \xF0\x9F\x8F\x86";
    EXPECT_EQ(to_utf16(text), u"Équipe Ωmega 日本 \U0001F3C6");
    EXPECT_EQ(to_utf8(to_utf16(text)), text);
    // Unpaired surrogates, either half.
    EXPECT_EQ(to_utf8(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a\uFFFDb");
    EXPECT_EQ(to_utf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    // Invalid bytes, an overlong form, an encoded surrogate and a truncated sequence.
    EXPECT_EQ(to_utf16("a\377b"), u"a\uFFFDb");
    EXPECT_EQ(to_utf16("\xC0\x80"), u"\uFFFD\uFFFD");
    EXPECT_EQ(to_utf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(to_utf16("x\xE6\x97"), u"x\uFFFD");
    // A NUL is converted like any other character; the text goes on after it.
    EXPECT_EQ(to_utf16(std::string_view("ab\0cd", 5)), std::u16string_view(u"ab\0cd", 5));
    EXPECT_EQ(to_utf8(std::u16string_view(u"ab\0cd", 5)), std::string_view("ab\0cd", 5));
}

TEST(TextConversion, CarriesEveryByteOfAPathThereAndBack) {
    // Latin-1, an overlong form, a truncated sequence, and a real U+FFFD, which stays one.
    for (const std::string path : {"/home/Caf\xe9/Été", "\xC0\x80", "x\xE6\x97/y", "\xEF\xBF\xBD"})
        EXPECT_EQ(platform::path_from_utf16(platform::path_to_utf16(path)), path);
}
