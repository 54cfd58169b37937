#include "runtime/numbers.h"
#include "runtime/strings.h"
#include "runtime_fixture.h"

namespace {

using StringsTest = RuntimeTest;
using NumbersTest = RuntimeTest;

TEST_F(StringsTest, ComparesAndHashesWithAsciiLettersFolded) {
    Value mark = string_new(rt, "Mark");
    Value upper = string_new(rt, "mARK");
    Value accented = string_new(rt, "M\xC4RK");
    Value lower_accented = string_new(rt, "m\xE4rk");
    EXPECT_TRUE(string_equal(rt, mark, upper));
    EXPECT_EQ(string_hash(rt, mark, 57), string_hash(rt, upper, 57));
    EXPECT_EQ(string_hash(rt, mark, 57), text_hash("MARK", 57));
    EXPECT_FALSE(string_equal(rt, accented, lower_accented));
    EXPECT_FALSE(string_equal(rt, mark, 0));
    EXPECT_FALSE(string_less(rt, mark, upper));
    EXPECT_FALSE(string_greater(rt, mark, upper));
    EXPECT_TRUE(string_contains(rt, mark, upper));
    EXPECT_EQ(string_hash(rt, 0, 57), 0u);
    EXPECT_EQ(string_hash(rt, mark, 0), 0u);
    // Positions shift by their index mod 32, so order matters to the hash.
    EXPECT_NE(text_hash("ab", 4096), text_hash("ba", 4096));
    EXPECT_EQ(text_hash(std::string(33, 'a'), 0xFFFFFFFFu),
              text_hash(std::string(33, 'A'), 0xFFFFFFFFu));

    Value apple = string_new(rt, "apple");
    Value banana = string_new(rt, "BANANA");
    Value empty = string_new(rt, "");
    EXPECT_TRUE(string_less(rt, apple, banana));
    EXPECT_TRUE(string_greater(rt, banana, apple));
    EXPECT_TRUE(string_contains(rt, apple, empty));
    EXPECT_TRUE(string_is_empty(rt, empty));
    EXPECT_FALSE(string_is_empty(rt, 0));
    for (Value v : {mark, upper, accented, lower_accented, apple, banana, empty})
        string_free(rt, v);
}

TEST_F(StringsTest, ReplaceCountsWithoutOverlapAndStopsAt2048) {
    Value s = string_new(rt, "aAaA-b");
    Value find = string_new(rt, "aa");
    Value with = string_new(rt, "xyz");
    Value out = 0;
    ASSERT_EQ(string_replace(rt, s, find, with, &out), RC_OK);
    EXPECT_EQ(text(out), "xyzxyz-b");
    string_free(rt, out);

    Value nothing = string_new(rt, "");
    ASSERT_EQ(string_replace(rt, s, nothing, with, &out), RC_OK);
    EXPECT_EQ(text(out), "aAaA-b");
    EXPECT_NE(out, s);
    string_free(rt, out);

    // 2040 + 2 * (5 - 1) = 2048 fits; one more character does not.
    Value base = string_new(rt, std::string(2038, '.') + "%V%V");
    Value base_over = string_new(rt, std::string(2039, '.') + "%V%V");
    Value marker = string_new(rt, "%v");
    Value five = string_new(rt, "12345");
    ASSERT_EQ(string_replace(rt, base, marker, five, &out), RC_OK);
    EXPECT_EQ(string_length(rt, out), 2048u);
    EXPECT_EQ(text(out).substr(2038), "1234512345");
    string_free(rt, out);
    out = 77;
    EXPECT_EQ(string_replace(rt, base_over, marker, five, &out), RC_TEXT_TOO_LONG);
    EXPECT_EQ(out, 77u);
    EXPECT_EQ(string_replace(rt, base, 0, five, &out), RC_NO_OBJECT);
    EXPECT_EQ(out, 77u);
    allow_allocations(1);
    EXPECT_EQ(string_replace(rt, base, marker, five, &out), RC_NO_OBJECT);
    allow_all_allocations();
    EXPECT_EQ(out, 77u);
    for (Value v : {s, find, with, nothing, base, base_over, marker, five}) string_free(rt, v);
}

TEST_F(StringsTest, VersionComparisonsFieldByField) {
    struct Case {
        const char* a;
        const char* b;
        uint32_t n;
        bool less, greater, equal;
    };
    const Case cases[] = {
        {"7.3.2", "7.3.10", 3, true, false, false},
        {"7.3", "7.3.1", 3, true, false, false},
        {"7.3.1", "7.3", 3, false, true, false},
        {"7.3.2", "7.3.9", 2, false, false, true},
        {"3.2.1.0.0", "3.2.1.0", 4, false, false, true},
        {"3.2.1.0.0", "3.2.1.0", 5, false, true, false},
        {"1,20", "1.3", 2, false, true, false},
        {" 4. 1", "4.1", 2, false, false, true},
        {"4 .1", "4.1", 2, true, false, false},
        {"7.x", "7.1", 3, true, false, false},
        {"7.1", "7.x", 3, false, true, false},
        {"7.b", "7.A", 3, false, true, false},
        {"7.a", "7.A", 3, false, false, true},
        {"", "", 3, false, false, true},
        {"5", "5", 0, false, false, true},
        {"99999999999.1", "99999999999.2", 3, true, false, false},
    };
    for (const Case& c : cases) {
        Value a = string_new(rt, c.a), b = string_new(rt, c.b);
        EXPECT_EQ(string_version_less(rt, a, b, c.n), c.less) << c.a << " vs " << c.b;
        EXPECT_EQ(string_version_greater(rt, a, b, c.n), c.greater) << c.a << " vs " << c.b;
        EXPECT_EQ(string_version_equal(rt, a, b, c.n), c.equal) << c.a << " vs " << c.b;
        string_free(rt, a);
        string_free(rt, b);
    }
    Value a = string_new(rt, "1");
    EXPECT_FALSE(string_version_equal(rt, a, 0, 3));
    EXPECT_FALSE(string_version_less(rt, 0, a, 3));
    string_free(rt, a);
}

TEST_F(StringsTest, TrimPathTurnsSlashesAndCutsTrailingBlanks) {
    Value s = string_new(rt, "kit/core/setup \t\n \n");
    ASSERT_EQ(string_trim_path(rt, s), RC_OK);
    EXPECT_EQ(text(s), "kit\\core\\setup");
    Value copy = string_copy(rt, s);
    EXPECT_NE(copy, s);
    EXPECT_EQ(text(copy), text(s));
    string_free(rt, s);
    string_free(rt, copy);
}

TEST_F(StringsTest, OutOfMemoryLeavesNothingAllocated) {
    allow_allocations(1);  // the record, but not its text
    EXPECT_EQ(string_new(rt, "lost"), 0u);
    allow_allocations(0);
    EXPECT_EQ(string_new(rt, "lost"), 0u);
    allow_all_allocations();
}

TEST_F(NumbersTest, ArithmeticNeverWraps) {
    const uint32_t half = 2147483648u;
    Value h = number_new(rt, half);
    Value h2 = number_new(rt, half);
    Value max = number_new(rt, 4294967295u);
    Value zero = number_new(rt, 0);
    Value three = number_new(rt, 3), five = number_new(rt, 5);
    EXPECT_EQ(number_add(rt, h, h), 0u);
    EXPECT_EQ(number_add(rt, h, h2), 0u);
    Value sum = number_add(rt, max, zero);
    EXPECT_EQ(number_value(rt, sum), 4294967295u);
    EXPECT_EQ(number_sub(rt, three, five), 0u);
    Value none = number_sub(rt, five, five);
    ASSERT_NE(none, 0u);
    EXPECT_NE(none, five);
    EXPECT_TRUE(number_is_zero(rt, none));
    Value two = number_sub(rt, five, three);
    EXPECT_EQ(number_value(rt, two), 2u);
    EXPECT_EQ(number_mul(rt, h, two), 0u);
    Value product = number_mul(rt, max, zero);
    EXPECT_EQ(number_value(rt, product), 0u);
    EXPECT_EQ(number_div(rt, five, zero), 0u);
    Value quotient = number_div(rt, max, two);
    EXPECT_EQ(number_value(rt, quotient), 2147483647u);
    EXPECT_EQ(number_add(rt, five, 0), 0u);

    ASSERT_EQ(number_inc(rt, max), RC_OK);
    EXPECT_EQ(number_value(rt, max), 4294967295u);
    ASSERT_EQ(number_dec(rt, zero), RC_OK);
    EXPECT_EQ(number_value(rt, zero), 0u);
    number_inc(rt, zero);
    EXPECT_EQ(number_value(rt, zero), 1u);

    EXPECT_TRUE(number_less(rt, three, five));
    EXPECT_TRUE(number_greater(rt, max, h));
    EXPECT_FALSE(number_greater(rt, five, five));
    EXPECT_TRUE(number_equal(rt, h, h2));
    for (Value v : {h, h2, max, zero, three, five, sum, none, two, product, quotient})
        number_free(rt, v);
}

TEST_F(NumbersTest, ParsesSizesWithUnits) {
    Value twelve_k = number_parse(rt, "12K");
    Value seven = number_parse(rt, " 7 ");
    EXPECT_EQ(number_value(rt, twelve_k), 12288u);
    EXPECT_EQ(number_value(rt, seven), 7u);
    for (const char* bad : {"1 2", "12KB", "4294967296", "", "x"})
        EXPECT_EQ(number_parse(rt, bad), 0u) << bad;
    number_free(rt, twelve_k);
    number_free(rt, seven);
}

TEST_F(NumbersTest, TextScalesAtTheKiloAndMegaBoundaries) {
    struct Case {
        uint32_t value;
        const char* scaled;
    };
    const Case cases[] = {{0, "0"},          {16384, "16384"},
                          {16385, "16K"},    {16777216, "16384K"},
                          {16777217, "16M"}, {4294967295u, "4095M"}};
    char buffer[32];
    for (const Case& c : cases) {
        Value n = number_new(rt, c.value);
        size_t length = number_text(rt, n, buffer, sizeof buffer, true, "M", "K");
        EXPECT_EQ(std::string(buffer, length), c.scaled);
        length = number_text(rt, n, buffer, sizeof buffer, false, "M", "K");
        EXPECT_EQ(std::string(buffer, length), std::to_string(c.value));
        number_free(rt, n);
    }
    size_t length = number_text(rt, 0, buffer, sizeof buffer, true, "M", "K");
    EXPECT_EQ(std::string(buffer, length), "%NMVD%");
    Value big = number_new(rt, 123456);
    EXPECT_EQ(number_text(rt, big, buffer, 6, false, "", ""), 0u);  // six digits need 7 bytes
    Value s = number_string(rt, big, true, " Mb", " Kb");
    EXPECT_EQ(text(s), "120 Kb");
    string_free(rt, s);
    number_free(rt, big);
}

}  // namespace
