#include "runtime/symbol_tables.h"

#include <set>
#include <string>
#include <vector>

#include "runtime/lists.h"
#include "runtime/namespaces.h"
#include "runtime/numbers.h"
#include "runtime/values.h"
#include "runtime_fixture.h"
#include "sys/text.h"

namespace {

// Counts key releases so that tests can see which handle a table gave up.
std::vector<Value> released_keys;
ResultCode note_release(RuntimeContext*, Value key) {
    released_keys.push_back(key);
    return RC_OK;
}

class SymbolTableTest : public RuntimeTest {
protected:
    SymbolTableTest() { released_keys.clear(); }
};
using NamespaceTest = RuntimeTest;

std::vector<Value> iterate(RuntimeContext* rt, SymbolTable* table, bool want_value, int calls) {
    std::vector<Value> out;
    for (int i = 0; i < calls; ++i) out.push_back(symtab_next(rt, table, want_value));
    return out;
}

TEST_F(SymbolTableTest, PutKeepsTheFirstKeyAndReleasesTheSecond) {
    SymbolTable* table = symtab_new(rt, 7);
    Value key = string_new(rt, "Name");
    Value same_text = string_new(rt, "NAME");
    ASSERT_EQ(symtab_put(rt, table, key, 100, symbol_text_hash, symbol_text_match, note_release),
              RC_OK);
    ASSERT_EQ(
        symtab_put(rt, table, same_text, 200, symbol_text_hash, symbol_text_match, note_release),
        RC_OK);
    EXPECT_EQ(released_keys, (std::vector<Value>{same_text}));
    EXPECT_EQ(symtab_find_key(rt, table, same_text, symbol_text_hash, symbol_text_match), key);
    EXPECT_EQ(symtab_find_value(rt, table, key, symbol_text_hash, symbol_text_match), 200u);
    // Putting the stored handle itself again must not release it.
    symtab_put(rt, table, key, 300, symbol_text_hash, symbol_text_match, note_release);
    EXPECT_EQ(released_keys.size(), 1u);
    EXPECT_EQ(symtab_find_value(rt, table, (Value) "nAmE", symbol_raw_hash, symbol_raw_match),
              300u);
    string_free(rt, same_text);
    symtab_destroy(rt, table, string_free);
}

TEST_F(SymbolTableTest, RemovedEntriesAreSkippedAndPutsGoToTheFront) {
    SymbolList* list = symlist_new(rt);
    for (Value k : {2, 3, 4}) symlist_put(rt, list, k, k * 10, symbol_identity_match, nullptr);
    ASSERT_EQ(symlist_remove(rt, list, 3, symbol_identity_match, note_release), RC_OK);
    EXPECT_EQ(released_keys, (std::vector<Value>{3}));
    EXPECT_EQ(symlist_find_value(rt, list, 3, symbol_identity_match), 0u);
    symlist_rewind(rt, list);
    std::vector<Value> seen;
    for (Value v; (v = symlist_next(rt, list, true));) seen.push_back(v);
    EXPECT_EQ(seen, (std::vector<Value>{40, 20}));
    symlist_put(rt, list, 3, 31, symbol_identity_match, nullptr);
    EXPECT_EQ(list->head->key, 3u);
    EXPECT_EQ(list->head->value, 31u);
    // Keys are released from the last entry to the first.
    released_keys.clear();
    symlist_destroy(rt, list, note_release);
    EXPECT_EQ(released_keys, (std::vector<Value>{2, 4, 3}));
}

TEST_F(SymbolTableTest, IterationVisitsEachLiveEntryOnceThenStartsOver) {
    SymbolTable* table = symtab_new(rt, 5);
    const Value keys[] = {3, 8, 13, 4, 21};  // 3, 8 and 13 share bucket 3
    for (Value k : keys)
        symtab_put(rt, table, k, k + 1000, symbol_identity_hash, symbol_identity_match, nullptr);
    symtab_remove(rt, table, 8, symbol_identity_hash, symbol_identity_match, nullptr);
    symtab_rewind(rt, table);
    std::vector<Value> first = iterate(rt, table, false, 5);
    EXPECT_EQ(first.back(), 0u);
    first.pop_back();
    EXPECT_EQ(std::multiset<Value>(first.begin(), first.end()),
              (std::multiset<Value>{3, 13, 4, 21}));
    EXPECT_EQ(iterate(rt, table, false, 5), (std::vector<Value>{21, 13, 3, 4, 0}));
    EXPECT_EQ(symtab_new(rt, 0), nullptr);

    // symtab_intern answers the stored key for an equal one; out of memory it
    // answers the key without entering it.
    SymbolTable* names = symtab_new(rt, 3);
    Value base = string_new(rt, "Base");
    Value upper = string_new(rt, "BASE");
    EXPECT_EQ(symtab_intern(rt, names, base, symbol_text_hash, symbol_text_match, string_free),
              base);
    EXPECT_EQ(symtab_intern(rt, names, upper, symbol_text_hash, symbol_text_match, string_free),
              base);
    Value other = string_new(rt, "other");
    allow_allocations(0);
    EXPECT_EQ(symtab_intern(rt, names, other, symbol_text_hash, symbol_text_match, string_free),
              other);
    allow_all_allocations();
    EXPECT_EQ(symtab_find_key(rt, names, other, symbol_text_hash, symbol_text_match), 0u);
    string_free(rt, other);
    symtab_destroy(rt, names, string_free);
    symtab_destroy(rt, table, nullptr);
}

// The text match under another name: symtab_intern then walks the bucket,
// as it does for any pair but the text pair.
bool walked_text_match(RuntimeContext* rt, Value probe, Value stored) {
    return symbol_text_match(rt, probe, stored);
}

// Interning thousands of texts (in several letter cases, with puts and
// removals between them) into a table of few buckets answers the same
// handles, and leaves the same entries in the same order, as walking the
// buckets does.
TEST_F(SymbolTableTest, InterningManyTextsAnswersAsABucketWalkDoes) {
    SymbolTable* indexed = symtab_new(rt, 7);
    SymbolTable* walked = symtab_new(rt, 7);
    auto name_of = [](int i) {
        int k = (i * 7919) % 3000;
        return (k % 2 ? "Name" : "NAME") + std::to_string(k);
    };
    // Each intern answers the handle of its own table; both must name the
    // same text and both be new, or both be old.
    for (int i = 0; i < 9000; ++i) {
        Value a = string_new(rt, name_of(i)), b = string_new(rt, name_of(i));
        Value got_a =
            symtab_intern(rt, indexed, a, symbol_text_hash, symbol_text_match, string_free);
        Value got_b =
            symtab_intern(rt, walked, b, symbol_text_hash, walked_text_match, string_free);
        ASSERT_EQ(text(got_a), text(got_b)) << i;
        ASSERT_EQ(got_a == a, got_b == b) << i;
        if (i % 1000 == 999) {
            Value gone = string_new(rt, name_of(i / 2));
            symtab_remove(rt, indexed, gone, symbol_text_hash, symbol_text_match, string_free);
            symtab_remove(rt, walked, gone, symbol_text_hash, symbol_text_match, string_free);
            string_free(rt, gone);
            Value put_a = string_new(rt, "put" + std::to_string(i));
            Value put_b = string_new(rt, "PUT" + std::to_string(i));
            symtab_put(rt, indexed, put_a, put_a, symbol_text_hash, symbol_text_match, string_free);
            symtab_put(rt, walked, put_b, put_b, symbol_text_hash, symbol_text_match, string_free);
        }
    }
    auto texts = [&](SymbolTable* table) {
        std::vector<std::string> out;
        symtab_rewind(rt, table);
        for (Value key; (key = symtab_next(rt, table, false));) out.push_back(text_fold(text(key)));
        return out;
    };
    std::vector<std::string> order = texts(indexed);
    EXPECT_EQ(order, texts(walked));
    EXPECT_GE(order.size(), 3000u);  // at most 9 removed, 9 put
    symtab_destroy(rt, indexed, string_free);
    symtab_destroy(rt, walked, string_free);
}

TEST_F(NamespaceTest, NamesAreSharedWithAncestors) {
    Namespace* parent = namespace_new(rt, nullptr, 57);
    Namespace* child = namespace_new(rt, parent, 57);
    EXPECT_EQ(child->parent, parent);
    EXPECT_EQ(list_head(rt, parent->children), reinterpret_cast<Value>(child));
    Value base = ns_intern_name(rt, parent, "Base");
    EXPECT_EQ(ns_intern_name(rt, parent, "BASE"), base);
    EXPECT_EQ(ns_intern_name(rt, child, "base"), base);
    Value own = ns_intern_name(rt, child, "Own");
    EXPECT_NE(own, 0u);
    EXPECT_EQ(symtab_find_key(rt, parent->names, own, symbol_text_hash, symbol_text_match), 0u);
    namespace_destroy(rt, child, string_free, value_release);
    EXPECT_TRUE(list_is_empty(rt, parent->children));
    namespace_destroy(rt, parent, string_free, value_release);
}

TEST_F(NamespaceTest, LookupFallsBackToAncestorsAndUndefineIsLocal) {
    Namespace* parent = namespace_new(rt, nullptr, 7);
    Namespace* child = namespace_new(rt, parent, 7);
    Value name = ns_intern_name(rt, parent, "Size");
    Value value = value_set_type(rt, VT_NUMBER, number_new(rt, 5), false);
    ASSERT_EQ(ns_define(rt, parent, name, value, symbol_identity_hash, symbol_identity_match,
                        symbol_identity_hash, symbol_identity_or_any_match),
              RC_OK);
    EXPECT_EQ(ns_lookup(rt, child, name, symbol_identity_hash, symbol_identity_match), value);
    ns_undefine(rt, child, name, symbol_identity_hash, symbol_identity_match);
    EXPECT_EQ(ns_lookup(rt, child, name, symbol_identity_hash, symbol_identity_match), value);
    ns_rewind(rt, parent);
    EXPECT_EQ(ns_next(rt, parent, false), name);
    EXPECT_EQ(ns_next(rt, parent, false), 0u);
    ns_rewind(rt, child);
    EXPECT_EQ(ns_next(rt, child, true), 0u);
    ns_undefine(rt, parent, name, symbol_identity_hash, symbol_identity_match);
    EXPECT_EQ(ns_lookup(rt, child, name, symbol_identity_hash, symbol_identity_match), 0u);
    // The defined value stays recorded: the parent releases it.
    EXPECT_TRUE(ns_owns(rt, child, value, symbol_identity_hash, symbol_identity_match));
    namespace_destroy(rt, child, string_free, value_release);
    namespace_destroy(rt, parent, string_free, value_release);
}

ResultCode note_and_free(RuntimeContext* rt, Value v) {
    released_keys.push_back(v);
    return number_free(rt, v);
}

TEST_F(NamespaceTest, RecordedValuesAreReleasedExactlyOnce) {
    released_keys.clear();
    Namespace* ns = namespace_new(rt, nullptr, 7);
    const Value values[] = {number_new(rt, 1), number_new(rt, 2), number_new(rt, 3)};
    for (Value v : values) ASSERT_EQ(ns_record_value(rt, ns, v), RC_OK);
    ASSERT_EQ(ns_record_value(rt, ns, values[1]), RC_OK);  // recorded twice
    ASSERT_EQ(ns_record_value(rt, ns, 0), RC_OK);          // never recorded
    ASSERT_EQ(ns_record_value(rt, ns, 1), RC_OK);
    namespace_destroy(rt, ns, string_free, note_and_free);
    EXPECT_EQ(std::multiset<Value>(released_keys.begin(), released_keys.end()),
              (std::multiset<Value>(std::begin(values), std::end(values))));
}

TEST_F(NamespaceTest, AnyBoxNeverHidesALaterValue) {
    Namespace* ns = namespace_new(rt, nullptr, 1);  // one bucket: every value meets the box
    ASSERT_EQ(ns_record(rt, ns, value_any(rt), symbol_identity_hash, symbol_identity_or_any_match),
              RC_OK);
    Value n = value_set_type(rt, VT_NUMBER, number_new(rt, 3), false);
    ASSERT_EQ(ns_record(rt, ns, n, symbol_identity_hash, symbol_identity_or_any_match), RC_OK);
    EXPECT_TRUE(ns_owns(rt, ns, n, symbol_identity_hash, symbol_identity_match));
    EXPECT_FALSE(ns_owns(rt, ns, value_any(rt), symbol_identity_hash, symbol_identity_match));
    namespace_destroy(rt, ns, string_free, value_release);  // releases n
}

TEST_F(NamespaceTest, ChildOutlivingItsParentIsOrphanedNotDangling) {
    Namespace* parent = namespace_new(rt, nullptr, 7);
    Namespace* child = namespace_new(rt, parent, 7);
    namespace_destroy(rt, parent, string_free, value_release);
    EXPECT_EQ(child->parent, nullptr);
    EXPECT_EQ(namespace_destroy(rt, child, string_free, value_release), RC_OK);

    EXPECT_EQ(namespace_new(rt, nullptr, 0), nullptr);
    // Out of memory part way: nothing is left allocated and the parent is untouched.
    Namespace* root = namespace_new(rt, nullptr, 7);
    for (uint32_t allowed = 0; allowed < 9; ++allowed) {
        allow_allocations(allowed);
        EXPECT_EQ(namespace_new(rt, root, 7), nullptr) << allowed;
    }
    allow_all_allocations();
    EXPECT_TRUE(list_is_empty(rt, root->children));
    namespace_destroy(rt, root, string_free, value_release);
}

}  // namespace
