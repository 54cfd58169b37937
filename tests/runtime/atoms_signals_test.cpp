#include "runtime/atoms.h"
#include "runtime/booleans.h"
#include "runtime/dates.h"
#include "runtime/functions.h"
#include "runtime/lists.h"
#include "runtime/numbers.h"
#include "runtime/signals.h"
#include "runtime/values.h"
#include "runtime_fixture.h"

namespace {

class AtomsTest : public RuntimeTest {
protected:
    SymbolTable* atoms = symtab_new(rt, 7);
    ~AtomsTest() override { atom_table_destroy(rt, atoms); }
};

TEST_F(AtomsTest, InterningKeepsTheFirstSpelling) {
    Value first = atom_intern(rt, atoms, "BASE");
    Value again = atom_intern(rt, atoms, "Base");
    Value other = atom_intern(rt, atoms, "Bases");
    EXPECT_EQ(again, first);
    EXPECT_EQ(text(again), "BASE");
    EXPECT_NE(other, first);
    EXPECT_TRUE(atom_greater(rt, other, first));

    char buffer[16];
    size_t length = atom_text(rt, first, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, length), "'BASE");
    length = atom_text(rt, 0, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, length), "%AMVD%");
    EXPECT_EQ(atom_text(rt, first, buffer, 5), 0u);

    // Out of memory: nothing is entered and nothing is left allocated.
    allow_allocations(2);  // the string, but not the table entry
    EXPECT_EQ(atom_intern(rt, atoms, "Fresh"), 0u);
    allow_all_allocations();
    Value fresh = atom_intern(rt, atoms, "FRESH");
    EXPECT_EQ(text(fresh), "FRESH");
}

TEST_F(AtomsTest, SignalValuesOwnPayloadAndMessage) {
    Value failure = atom_intern(rt, atoms, "{FAILURE}");
    Value payload = value_set_type(rt, VT_NUMBER, number_new(rt, 12), false);
    Value s = signal_new(rt, failure, payload, string_new(rt, "went wrong"), 9);
    EXPECT_EQ(signal_atom(rt, s), failure);
    EXPECT_EQ(signal_payload(rt, s), payload);

    Value copy = signal_copy(rt, s, number_copy, number_free);
    ASSERT_NE(copy, 0u);
    EXPECT_NE(signal_payload(rt, copy), payload);
    EXPECT_TRUE(signal_equal(rt, s, copy, number_equal));
    Value other = signal_new(rt, atom_intern(rt, atoms, "{BREAK}"), number_new(rt, 12), 0, 0);
    EXPECT_FALSE(signal_equal(rt, s, other, number_equal));
    value_set_type(rt, VT_SIGNAL, s, false);
    value_set_type(rt, VT_SIGNAL, other, false);
    EXPECT_TRUE(value_greater(rt, s, other));  // "{FAILURE}" after "{BREAK}"

    signal_release(rt, copy, number_free);
    signal_release(rt, other, number_free);
    signal_release(rt, s, value_release);
}

Value routine_one(RuntimeContext*, Value) {
    return 1;
}

TEST_F(AtomsTest, FunctionValuesHoldArgumentsNewestFirst) {
    Value f = function_new(rt, routine_one, "Size");
    ASSERT_NE(f, 0u);
    EXPECT_EQ(text(function_name(rt, f)), "Size");
    ASSERT_EQ(function_add_argument(rt, f, value_set_type(rt, VT_NUMBER, number_new(rt, 1), false)),
              RC_OK);
    ASSERT_EQ(
        function_add_argument(rt, f, value_set_type(rt, VT_STRING, string_new(rt, "b"), false)),
        RC_OK);
    Value arguments = function_arguments(rt, f);
    EXPECT_EQ(list_length(rt, arguments), 2u);
    EXPECT_EQ(text(list_head(rt, arguments)), "b");
    EXPECT_EQ(function_implementation(rt, f)(rt, 0), 1u);
    EXPECT_EQ(function_implementation(rt, 0)(rt, 0), 0u);
    Value g = function_new(rt, routine_one, "Other");
    EXPECT_TRUE(function_equal(rt, f, g));
    Value empty = function_arguments(rt, 0);
    EXPECT_TRUE(list_is_empty(rt, empty));
    list_destroy(rt, empty, true, nullptr);
    function_release(rt, g);
    function_release(rt, f);

    allow_allocations(2);  // record and argument list, but not the name
    EXPECT_EQ(function_new(rt, routine_one, "lost"), 0u);
    allow_all_allocations();
}

TEST_F(AtomsTest, BooleansCountOnlyOneAsTrue) {
    EXPECT_TRUE(bool_is_true(1));
    EXPECT_FALSE(bool_is_true(7));
    EXPECT_FALSE(bool_is_true(0));
    EXPECT_STREQ(bool_text(1), "true");
    EXPECT_STREQ(bool_text(7), "false");
    EXPECT_STREQ(bool_text(0), "false");
}

TEST_F(AtomsTest, DatesRoundTripThroughBothForms) {
    Value d = date_parse(rt, "03/07/97 02:05:09 PM");
    ASSERT_NE(d, 0u);
    char buffer[DATE_TEXT_SIZE];
    size_t length = date_text(rt, d, buffer, sizeof buffer, false);
    EXPECT_EQ(std::string(buffer, length), "03/07/97 02:05:09 PM");
    length = date_text(rt, d, buffer, sizeof buffer, true);
    EXPECT_EQ(std::string(buffer, length), "1997.03.07.14.05.09");
    // A buffer too small is never written past; the answer is 0.
    char small[8] = "1234567";
    EXPECT_EQ(date_text(rt, d, small, sizeof small, true), 0u);
    Value copy = date_copy(rt, d);
    EXPECT_EQ(date_seconds(rt, copy), date_seconds(rt, d));
    for (const char* bad :
         {"", "13/07/97 02:05:09 PM", "03/07/97 02:05:09", "03/07/97 02:05:09 PM x"})
        EXPECT_EQ(date_parse(rt, bad), 0u) << bad;
    Value now = date_now(rt);
    EXPECT_GT(date_seconds(rt, now), date_seconds(rt, d));
    for (Value v : {d, copy, now}) date_free(rt, v);
}

}  // namespace
