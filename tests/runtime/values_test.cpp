#include "runtime/values.h"

#include "runtime/atoms.h"
#include "runtime/lists.h"
#include "runtime/namespaces.h"
#include "runtime/numbers.h"
#include "runtime/registry_objects.h"
#include "runtime/signals.h"
#include "runtime_fixture.h"

namespace {

using ValuesTest = RuntimeTest;

std::string type_name(RuntimeContext* rt, Value v) {
    char buffer[16];
    size_t length = value_type_name(rt, v, buffer, sizeof buffer);
    return std::string(buffer, length);
}

TEST_F(ValuesTest, HandlesZeroAndOneAreNotBlocksAndTagAsSharedBoxes) {
    for (Value v : {Value(0), Value(1)}) {
        EXPECT_FALSE(value_is_real(v));
        EXPECT_EQ(value_type(v), uint32_t(VT_VOID));
        EXPECT_EQ(value_kind(v), 0u);
        Value boxed = value_set_type(rt, VT_BOOLEAN, v, false);
        ASSERT_TRUE(value_is_boxed(boxed));
        EXPECT_EQ(value_unbox(boxed), v);
        EXPECT_EQ(value_type(boxed), uint32_t(VT_BOOLEAN));
        EXPECT_EQ(value_set_type(rt, VT_BOOLEAN, v, false), boxed);
        Value kind_box = value_set_kind(rt, 8, v, false);
        EXPECT_NE(kind_box, boxed);
        EXPECT_EQ(value_kind(kind_box), 8u);
        EXPECT_EQ(value_type(kind_box), uint32_t(VT_VOID));
        EXPECT_EQ(value_set_kind(rt, 8, v, true), kind_box);
    }
    EXPECT_NE(value_boolean(rt, 1), value_boolean(rt, 0));
    EXPECT_EQ(value_failure(rt), value_set_type(rt, VT_FAILURE, 0, true));
    EXPECT_NE(value_failure(rt), value_any(rt));
}

TEST_F(ValuesTest, StampingKeepsTheOtherCodeAndSharingBoxesARealValue) {
    Value n = number_new(rt, 7);
    value_set_kind(rt, 10, n, false);
    EXPECT_EQ(value_set_type(rt, VT_NUMBER, n, false), n);
    EXPECT_EQ(value_kind(n), 10u);
    EXPECT_EQ(value_type(n), uint32_t(VT_NUMBER));
    value_set_kind(rt, 11, n, false);
    EXPECT_EQ(value_type(n), uint32_t(VT_NUMBER));
    Value shared = value_set_type(rt, VT_ATOM, n, true);
    EXPECT_NE(shared, n);
    EXPECT_EQ(value_unbox(shared), n);
    EXPECT_EQ(value_set_type(rt, VT_ATOM, n, true), shared);
    EXPECT_EQ(value_unbox(n), n);
    number_free(rt, n);
}

TEST_F(ValuesTest, BlocksBelowTheSixteenBitLimitOnly) {
    Value largest = value_alloc(rt, 65531);
    ASSERT_NE(largest, 0u);
    EXPECT_EQ(largest % sizeof(Value), 0u);
    value_free(rt, largest);
    EXPECT_EQ(value_alloc(rt, 65532), 0u);
    EXPECT_EQ(value_alloc(rt, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(string_new(rt, std::string(STRING_TEXT_LIMIT + 1, 'x')), 0u);
    Value longest = string_new(rt, std::string(STRING_TEXT_LIMIT, 'x'));
    EXPECT_EQ(string_length(rt, longest), STRING_TEXT_LIMIT);
    string_free(rt, longest);
}

TEST_F(ValuesTest, UnusableContextRefusesEverything) {
    Value s = string_new(rt, "kept");
    rt->state = 1;
    EXPECT_FALSE(rt_usable(rt));
    EXPECT_EQ(value_alloc(rt, 4), 0u);
    EXPECT_EQ(string_new(rt, "x"), 0u);
    EXPECT_EQ(number_new(rt, 1), 0u);
    EXPECT_EQ(value_any(rt), 0u);
    EXPECT_EQ(list_empty(rt), 0u);
    EXPECT_EQ(symtab_new(rt, 7), nullptr);
    EXPECT_EQ(namespace_new(rt, nullptr, 7), nullptr);
    EXPECT_EQ(string_text(rt, s), nullptr);
    EXPECT_FALSE(string_equal(rt, s, s));
    EXPECT_FALSE(value_equal(rt, s, s));
    EXPECT_EQ(value_release(rt, s), RC_NO_OBJECT);
    Value out = 0;
    EXPECT_EQ(string_replace(rt, s, s, s, &out), RC_NO_OBJECT);
    EXPECT_EQ(type_name(rt, s), "");
    EXPECT_STREQ(string_shown_text(rt, s), "%SGVD%");
    rt->state = 0;
    EXPECT_EQ(text(s), "kept");
    string_free(rt, s);
    EXPECT_FALSE(rt_usable(nullptr));
    // rt_destroy frees the boxes of an unusable context too (the leak checker watches).
    ASSERT_NE(value_set_type(rt, VT_ATOM, 12345, true), 0u);
    rt->state = 1;
}

TEST_F(ValuesTest, TypeNamesForEveryCode) {
    EXPECT_EQ(type_name(rt, 0), "VOID");
    EXPECT_EQ(type_name(rt, value_optional(rt)), "OPTIONAL");
    Value n = value_set_type(rt, VT_NUMBER, number_new(rt, 1), false);
    EXPECT_EQ(type_name(rt, n), "NUMBER");
    value_set_type(rt, VT_VOLUMEMAP, n, false);
    EXPECT_EQ(type_name(rt, n), "VOLUMEMAP");
    value_set_type(rt, VT_LIST, n, false);
    EXPECT_EQ(type_name(rt, n), "LIST");
    value_set_type(rt, 14, n, false);
    EXPECT_EQ(type_name(rt, n), "");
    char small[4];
    value_set_type(rt, VT_STRING, n, false);
    EXPECT_EQ(value_type_name(rt, n, small, sizeof small), 0u);
    number_free(rt, n);
}

TEST_F(ValuesTest, EqualityAcrossTypes) {
    Value any = value_any(rt);
    Value five = value_set_type(rt, VT_NUMBER, number_new(rt, 5), false);
    Value other_five = value_set_type(rt, VT_NUMBER, number_new(rt, 5), false);
    Value map_five = value_set_type(rt, VT_VOLUMEMAP, number_new(rt, 5), false);
    Value text_five = value_set_type(rt, VT_STRING, string_new(rt, "5"), false);
    Value text_upper = value_set_type(rt, VT_STRING, string_new(rt, "MARK"), false);
    Value text_lower = value_set_type(rt, VT_STRING, string_new(rt, "mark"), false);

    EXPECT_TRUE(value_equal(rt, any, 0));
    EXPECT_TRUE(value_equal(rt, text_five, any));
    EXPECT_TRUE(value_equal(rt, five, other_five));
    EXPECT_TRUE(value_equal(rt, five, map_five));
    EXPECT_TRUE(value_equal(rt, map_five, five));
    EXPECT_FALSE(value_equal(rt, five, text_five));
    EXPECT_TRUE(value_equal(rt, text_upper, text_lower));
    EXPECT_TRUE(value_equal(rt, value_failure(rt), value_failure(rt)));
    EXPECT_FALSE(value_equal(rt, value_failure(rt), value_optional(rt)));
    EXPECT_TRUE(value_equal(rt, value_boolean(rt, 1), value_boolean(rt, 1)));
    EXPECT_FALSE(value_equal(rt, value_boolean(rt, 1), value_boolean(rt, 0)));
    EXPECT_TRUE(value_compatible(rt, five, map_five));
    EXPECT_TRUE(value_compatible(rt, text_five, any));
    EXPECT_FALSE(value_compatible(rt, text_five, five));
    EXPECT_NE(value_type(five), value_type(map_five));

    // No volume-map module has registered a release here, so the map is freed as a number.
    number_free(rt, map_five);
    for (Value v : {five, other_five, text_five, text_upper, text_lower}) value_release(rt, v);
}

TEST_F(ValuesTest, OrderWithinAndAcrossTypes) {
    Value small = value_set_type(rt, VT_NUMBER, number_new(rt, 3), false);
    Value big_map = value_set_type(rt, VT_VOLUMEMAP, number_new(rt, 4000000000u), false);
    Value word = value_set_type(rt, VT_STRING, string_new(rt, "apple"), false);
    Value later = value_set_type(rt, VT_STRING, string_new(rt, "Banana"), false);

    EXPECT_TRUE(value_greater(rt, big_map, small));
    EXPECT_FALSE(value_greater(rt, small, big_map));
    EXPECT_TRUE(value_greater(rt, word, small));  // STRING (6) after NUMBER (4)
    EXPECT_FALSE(value_greater(rt, small, word));
    EXPECT_TRUE(value_greater(rt, later, word));
    EXPECT_FALSE(value_greater(rt, word, word));
    EXPECT_TRUE(value_greater(rt, value_boolean(rt, 1), value_boolean(rt, 0)));
    EXPECT_FALSE(value_greater(rt, value_any(rt), value_any(rt)));
    EXPECT_TRUE(value_greater(rt, value_any(rt), value_optional(rt)));

    number_free(rt, big_map);
    for (Value v : {small, word, later}) value_release(rt, v);
}

// A stand-in for a type that a later module adds: it counts what reaches it.
struct HookCalls {
    int released = 0;
    int copied = 0;
};
HookCalls hook_calls;

ResultCode hook_release(RuntimeContext* rt, Value v) {
    ++hook_calls.released;
    return number_free(rt, v);
}
Value hook_copy(RuntimeContext* rt, Namespace*, Value v) {
    ++hook_calls.copied;
    return number_copy(rt, v);
}
bool hook_equal(RuntimeContext* rt, Value a, Value b) {
    return number_equal(rt, a, b);
}
bool hook_greater(RuntimeContext* rt, Value a, Value b) {
    return number_greater(rt, a, b);
}

TEST_F(ValuesTest, RegisteredTypesDispatchToTheirHooks) {
    hook_calls = {};
    Value group = value_set_type(rt, VT_GROUP, number_new(rt, 9), false);
    Value other = value_set_type(rt, VT_GROUP, number_new(rt, 4), false);
    EXPECT_FALSE(value_equal(rt, group, group));  // no hook yet: never equal
    EXPECT_EQ(value_copy(rt, nullptr, group), 0u);
    EXPECT_EQ(value_register_type(rt, VT_STRING, ValueTypeOps{}), RC_NO_OBJECT);
    ASSERT_EQ(
        value_register_type(rt, VT_GROUP, {hook_release, hook_copy, hook_equal, hook_greater}),
        RC_OK);
    EXPECT_TRUE(value_equal(rt, group, group));
    EXPECT_TRUE(value_greater(rt, group, other));
    Namespace* ns = namespace_new(rt, nullptr, 7);
    Value copy = value_copy(rt, ns, group);
    EXPECT_EQ(value_type(copy), uint32_t(VT_GROUP));
    EXPECT_TRUE(ns_owns(rt, ns, copy, symbol_identity_hash, symbol_identity_match));
    namespace_destroy(rt, ns, string_free, value_release);
    value_release(rt, group);
    value_release(rt, other);
    EXPECT_EQ(hook_calls.copied, 1);
    EXPECT_EQ(hook_calls.released, 3);
}

// Releases what a caller built by hand: whole lists, signals with their
// payloads, and untagged strings.
ResultCode release_owned_by_caller(RuntimeContext* rt, Value v) {
    switch (value_type(v)) {
        case VT_LIST:
            return list_destroy(rt, v, true, release_owned_by_caller);
        case VT_SIGNAL:
            return signal_release(rt, v, release_owned_by_caller);
        case VT_VOID:
            return string_free(rt, v);
        default:
            return value_release(rt, v);
    }
}

// Copies into a namespace belong to it: destroying the namespace releases
// each exactly once (the sanitizer build reports leaks and double frees).
TEST_F(ValuesTest, CopiesAreOwnedByTheNamespaceThatRecordedThem) {
    SymbolTable* atoms = symtab_new(rt, 7);
    Namespace* parent = namespace_new(rt, nullptr, 57);
    Namespace* child = namespace_new(rt, parent, 57);
    Value atom = atom_intern(rt, atoms, "Core");

    Value list = list_empty(rt);
    Value inner = list_empty(rt);
    list_append(rt, value_set_type(rt, VT_NUMBER, number_new(rt, 1), false), inner);
    list_append(rt, value_set_type(rt, VT_LIST, inner, false), list);
    list_append(rt, value_set_type(rt, VT_STRING, string_new(rt, "disk"), false), list);
    list_append(rt, value_atom(rt, atom), list);
    list_append(rt, value_boolean(rt, 1), list);
    list_append(rt, value_set_type(rt, VT_VOID, string_new(rt, "untagged"), false), list);
    Value signal = signal_new(rt, atom, value_set_type(rt, VT_STRING, string_new(rt, "p"), false),
                              string_new(rt, "message"), 3);
    list_append(rt, value_set_type(rt, VT_SIGNAL, signal, false), list);
    list_append(rt, registry_new(rt, "HKLM\\Soft", "1"), list);
    Value original = value_set_type(rt, VT_LIST, list, false);

    Value copy = value_copy(rt, child, original);
    ASSERT_NE(copy, 0u);
    EXPECT_NE(copy, original);
    EXPECT_EQ(value_type(copy), uint32_t(VT_LIST));
    EXPECT_EQ(list_length(rt, copy), 6u);  // the untagged element is left out
    EXPECT_FALSE(value_equal(rt, copy, original));
    EXPECT_EQ(value_unbox(list_head(rt, list_tail(rt, list_tail(rt, copy)))), atom);
    // Every cell of the copy is stamped and recorded in the namespace.
    for (Value cell = copy; cell; cell = list_is_empty(rt, cell) ? 0 : list_tail(rt, cell)) {
        EXPECT_EQ(value_type(cell), uint32_t(VT_LIST));
        EXPECT_TRUE(ns_owns(rt, child, cell, symbol_identity_hash, symbol_identity_match));
    }
    Value copied_signal =
        list_head(rt, list_tail(rt, list_tail(rt, list_tail(rt, list_tail(rt, copy)))));
    EXPECT_EQ(value_type(copied_signal), uint32_t(VT_SIGNAL));
    EXPECT_EQ(signal_atom(rt, copied_signal), atom);
    EXPECT_EQ(text(signal_payload(rt, copied_signal)), "p");

    // A value the parent already holds is not recorded again by the child.
    Value owned_by_parent = value_set_type(rt, VT_NUMBER, number_new(rt, 2), false);
    ASSERT_EQ(ns_record_value(rt, parent, owned_by_parent), RC_OK);
    EXPECT_EQ(ns_record_value(rt, child, owned_by_parent), RC_OK);
    EXPECT_FALSE(symtab_find_key(rt, child->owned, owned_by_parent, symbol_identity_hash,
                                 symbol_identity_match));

    namespace_destroy(rt, child, string_free, value_release);
    namespace_destroy(rt, parent, string_free, value_release);
    // The original is the caller's: its whole chain, each element by type.
    list_destroy(rt, list, true, release_owned_by_caller);
    atom_table_destroy(rt, atoms);
}

TEST_F(ValuesTest, ScalarCopiesKeepSharedBoxesAndTags) {
    Namespace* ns = namespace_new(rt, nullptr, 7);
    Value any = value_any(rt);
    EXPECT_EQ(value_copy(rt, ns, any), any);
    EXPECT_EQ(value_copy(rt, ns, 0), 0u);
    Value yes = value_boolean(rt, 1);
    EXPECT_EQ(value_copy(rt, ns, yes), yes);
    Value n = value_set_type(rt, VT_NUMBER, number_new(rt, 42), false);
    Value n_copy = value_copy(rt, ns, n);
    EXPECT_NE(n_copy, n);
    EXPECT_EQ(value_type(n_copy), uint32_t(VT_NUMBER));
    EXPECT_EQ(number_value(rt, n_copy), 42u);
    // A copy made without a namespace belongs to the caller.
    Value mine = value_copy(rt, nullptr, n);
    EXPECT_TRUE(value_equal(rt, mine, n));
    value_release(rt, mine);
    value_release(rt, n);
    namespace_destroy(rt, ns, string_free, value_release);
}

}  // namespace
