#include "sys/text.h"

#include <gtest/gtest.h>

TEST(ParseSize, ReadsDigitsUnitsAndSpaces) {
    uint32_t v = 99;
    EXPECT_TRUE(parse_size("12K", &v));
    EXPECT_EQ(v, 12288u);
    EXPECT_TRUE(parse_size(" 7 ", &v));
    EXPECT_EQ(v, 7u);
    EXPECT_TRUE(parse_size("3m", &v));
    EXPECT_EQ(v, 3u * 1048576u);
    EXPECT_TRUE(parse_size("4294967295", &v));
    EXPECT_EQ(v, 4294967295u);
    EXPECT_TRUE(parse_size("4194303K", &v));
    EXPECT_EQ(v, 4194303u * 1024u);
}

TEST(ParseSize, FailsWithoutTouchingTheResult) {
    const char* bad[] = {"1 2", "12KB", "4294967296", "9999999999", "4194304K", "4096M",
                         "",    "   ",  "K",          "-1",         "1.5",      "12 K"};
    for (const char* text : bad) {
        uint32_t v = 77;
        EXPECT_FALSE(parse_size(text, &v)) << text;
        EXPECT_EQ(v, 77u) << text;
    }
}

TEST(TextNocase, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(text_equal_nocase("Mark", "mARK"));
    EXPECT_FALSE(text_equal_nocase("Mark", "Mar"));
    EXPECT_FALSE(text_equal_nocase("\xC4", "\xE4"));  // bytes above 127 never fold
    EXPECT_TRUE(text_contains_nocase("C:\\KIT\\core", "kit\\CORE"));
    EXPECT_TRUE(text_contains_nocase("abc", ""));
    EXPECT_LT(text_compare_nocase("Apple", "banana"), 0);
    EXPECT_EQ(text_compare_nocase("ABC", "abc"), 0);
    EXPECT_GT(text_compare_nocase("abcd", "ABC"), 0);
}

TEST(IsDigits, NeedsAtLeastOneDigitAndNothingElse) {
    EXPECT_TRUE(is_digits("0123"));
    EXPECT_FALSE(is_digits(""));
    EXPECT_FALSE(is_digits("12k"));
    EXPECT_FALSE(is_digits(" 1"));
}

TEST(CharacterClasses, LettersAreAsciiOnlyAndSpacesOnlyBlanks) {
    std::string letters;
    for (int c = 0; c < 256; ++c)
        if (is_letter(char(c))) letters += char(c);
    EXPECT_EQ(letters, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

    EXPECT_TRUE(only_spaces(""));
    EXPECT_TRUE(only_spaces("   "));
    EXPECT_FALSE(only_spaces(" \t"));
    EXPECT_FALSE(only_spaces("  x"));
    EXPECT_FALSE(only_spaces(std::string_view(" \0", 2)));
}
