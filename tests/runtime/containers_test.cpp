#include <vector>

#include "runtime/bidirectional_lists.h"
#include "runtime/lists.h"
#include "runtime/multi_queue.h"
#include "runtime/numbers.h"
#include "runtime_fixture.h"

namespace {

// Elements are small numbers carried as plain handles (2, 3, ...), which the
// containers never look into.
bool same(RuntimeContext*, Value a, Value b) {
    return a == b;
}
bool greater(RuntimeContext*, Value a, Value b) {
    return a > b;
}
Value copy_plain(RuntimeContext*, Value v) {
    return v;
}
Value copy_in(RuntimeContext*, Namespace*, Value v) {
    return v == 4 ? 0 : v * 10;
}
bool never_void(Value) {
    return false;
}

std::vector<Value> elements(RuntimeContext* rt, Value list) {
    std::vector<Value> out;
    for (; !list_is_empty(rt, list); list = list_tail(rt, list)) out.push_back(list_head(rt, list));
    return out;
}

Value list_of(RuntimeContext* rt, std::vector<Value> values) {
    Value list = list_empty(rt);
    for (Value v : values) list_append(rt, v, list);
    return list;
}

std::vector<Value> walk(RuntimeContext* rt, BiList* list, int steps) {
    std::vector<Value> out;
    for (int i = 0; i < steps; ++i) out.push_back(bilist_next(rt, list));
    return out;
}

using ListsTest = RuntimeTest;
using BiListTest = RuntimeTest;
using QueueTest = RuntimeTest;

TEST_F(ListsTest, SentinelEndsEveryList) {
    Value list = list_empty(rt);
    EXPECT_TRUE(list_is_empty(rt, list));
    EXPECT_EQ(list_head(rt, list), 0u);
    EXPECT_EQ(list_tail(rt, list), list);
    EXPECT_TRUE(list_is_empty(rt, 0));
    Value sentinel = list_append(rt, 5, list);
    ASSERT_NE(sentinel, 0u);
    EXPECT_EQ(list_head(rt, list), 5u);
    EXPECT_EQ(list_tail(rt, list), sentinel);
    EXPECT_EQ(list_append(rt, 0, list), 0u);  // the empty handle cannot be stored
    Value end = list_append(rt, 6, sentinel);
    EXPECT_EQ(list_tail(rt, sentinel), end);
    EXPECT_EQ(elements(rt, list), (std::vector<Value>{5, 6}));
    EXPECT_EQ(list_find(rt, 6, list, same), sentinel);
    EXPECT_EQ(list_find(rt, 7, list, same), 0u);

    allow_allocations(0);
    EXPECT_EQ(list_append(rt, 7, list), 0u);
    allow_all_allocations();
    EXPECT_EQ(elements(rt, list), (std::vector<Value>{5, 6}));

    // Only the first cell goes when whole_list is false.
    Value rest = list_tail(rt, list);
    list_destroy(rt, list, false, nullptr);
    EXPECT_EQ(elements(rt, rest), (std::vector<Value>{6}));
    list_destroy(rt, rest, true, nullptr);
}

TEST_F(ListsTest, OrderedInsertAndRemoval) {
    Value list = list_of(rt, {2, 4, 6});
    EXPECT_EQ(list_insert_ordered(rt, 5, list, greater), list);
    EXPECT_EQ(list_insert_ordered(rt, 9, list, greater), list);
    Value front = list_insert_ordered(rt, 1, list, greater);
    EXPECT_NE(front, list);
    EXPECT_EQ(elements(rt, front), (std::vector<Value>{1, 2, 4, 5, 6, 9}));
    EXPECT_TRUE(list_equal(rt, front, front, same));
    Value same_elements = list_of(rt, {1, 2, 4, 5, 6, 9});
    Value shorter = list_of(rt, {1, 2, 4, 5, 6});
    EXPECT_TRUE(list_equal(rt, front, same_elements, same));
    EXPECT_FALSE(list_equal(rt, front, shorter, same));
    EXPECT_FALSE(list_equal(rt, shorter, front, same));

    // Removing 9 (the last element) and every 2: the handle stays the first cell.
    Value with_twos = list_of(rt, {2, 2, 3, 2, 9});
    ASSERT_EQ(list_remove_matching(rt, 2, with_twos, true, same, nullptr), RC_OK);
    ASSERT_EQ(list_remove_matching(rt, 9, with_twos, true, same, nullptr), RC_OK);
    EXPECT_EQ(elements(rt, with_twos), (std::vector<Value>{3}));
    for (Value l : {front, same_elements, shorter, with_twos}) list_destroy(rt, l, true, nullptr);
}

TEST_F(ListsTest, MapLeavesOutVoidCopies) {
    Value list = list_of(rt, {2, 4, 3});
    Value mapped = list_map(rt, nullptr, list, copy_in, never_void, nullptr, nullptr);
    EXPECT_EQ(elements(rt, mapped), (std::vector<Value>{20, 30}));
    EXPECT_EQ(value_type(mapped), uint32_t(VT_VOID));
    list_destroy(rt, mapped, true, nullptr);
    list_destroy(rt, list, true, nullptr);
}

// Elements are numbers here, so union and difference can be checked for
// what they copy, combine and release.
Value add_numbers(RuntimeContext* rt, Value a, Value b) {
    return number_add(rt, a, b);
}
Value subtract_numbers(RuntimeContext* rt, Value a, Value b) {
    return number_sub(rt, a, b);
}
bool numbers_equal_by_key(RuntimeContext* rt, Value a, Value b) {
    return number_value(rt, a) / 100 == number_value(rt, b) / 100;
}
bool number_key_greater(RuntimeContext* rt, Value a, Value b) {
    return number_value(rt, a) / 100 > number_value(rt, b) / 100;
}
bool zero_is_void(Value v) {
    return *value_record<uint32_t>(v) == 0;
}

Value numbers(RuntimeContext* rt, std::vector<uint32_t> values) {
    Value list = list_empty(rt);
    for (uint32_t v : values) list_append(rt, number_new(rt, v), list);
    return list;
}

std::vector<uint32_t> values_of(RuntimeContext* rt, Value list) {
    std::vector<uint32_t> out;
    for (Value v : elements(rt, list)) out.push_back(number_value(rt, v));
    return out;
}

TEST_F(ListsTest, UnionAndDifferenceOfSortedLists) {
    Value a = numbers(rt, {105, 301, 502});
    Value b = numbers(rt, {101, 203, 300, 705});
    Value both = list_union(rt, a, b, numbers_equal_by_key, number_key_greater, zero_is_void,
                            number_copy, add_numbers, number_free);
    EXPECT_EQ(values_of(rt, both), (std::vector<uint32_t>{206, 203, 601, 502, 705}));
    Value only_a = list_difference(rt, a, b, numbers_equal_by_key, number_key_greater, zero_is_void,
                                   number_copy, subtract_numbers, number_free);
    EXPECT_EQ(values_of(rt, only_a), (std::vector<uint32_t>{4, 1, 502}));
    // 101 - 105 cannot be made: the whole difference gives nothing.
    Value failed = list_difference(rt, b, a, numbers_equal_by_key, number_key_greater, zero_is_void,
                                   number_copy, subtract_numbers, number_free);
    EXPECT_EQ(failed, 0u);
    // Equal heads whose combination is void are released and left out.
    Value same_a = numbers(rt, {105, 301});
    Value none = list_difference(rt, a, same_a, numbers_equal_by_key, number_key_greater,
                                 zero_is_void, number_copy, subtract_numbers, number_free);
    EXPECT_EQ(values_of(rt, none), (std::vector<uint32_t>{502}));
    for (Value l : {a, b, both, only_a, same_a, none}) list_destroy(rt, l, true, number_free);
}

TEST_F(BiListTest, CursorWalksBothWaysAndStartsOver) {
    BiList* list = bilist_new(rt, 77);
    bilist_rewind(rt, list);
    bilist_push_back(rt, list, 10);  // a list rewound while empty delivers its first element
    bilist_push_back(rt, list, 11);
    EXPECT_EQ(walk(rt, list, 4), (std::vector<Value>{10, 11, 0, 10}));
    bilist_rewind_backward(rt, list);
    EXPECT_EQ(walk(rt, list, 3), (std::vector<Value>{11, 10, 0}));
    bilist_rewind(rt, list);
    EXPECT_EQ(walk(rt, list, 2), (std::vector<Value>{10, 11}));
    bilist_push_back(rt, list, 12);  // the walk had ended: it goes on with the new element
    EXPECT_EQ(walk(rt, list, 1), (std::vector<Value>{12}));
    bilist_step_back(rt, list);  // from the ended walk back onto the last node
    bilist_step_back(rt, list);
    EXPECT_EQ(walk(rt, list, 3), (std::vector<Value>{11, 12, 0}));
    bilist_rewind_backward(rt, list);
    walk(rt, list, 3);
    bilist_push_front(rt, list, 9);  // backward walk ended: it goes on with the new front
    EXPECT_EQ(walk(rt, list, 2), (std::vector<Value>{9, 0}));
    EXPECT_EQ(bilist_count(rt, list), 4u);
    EXPECT_EQ(list->tag, 77u);
    bilist_destroy(rt, list, nullptr);
}

TEST_F(BiListTest, InsertAndRemoveAtTheCursor) {
    BiList* list = bilist_new(rt, 0);
    bilist_push_back(rt, list, 1);
    bilist_push_back(rt, list, 3);
    bilist_rewind(rt, list);
    bilist_next(rt, list);  // cursor on 3
    bilist_insert_at_cursor(rt, list, 2);
    EXPECT_EQ(bilist_next(rt, list), 3u);
    bilist_insert_at_cursor(rt, list, 4);  // empty cursor: at the end, cursor on it
    EXPECT_EQ(bilist_next(rt, list), 4u);
    bilist_rewind(rt, list);
    EXPECT_EQ(walk(rt, list, 5), (std::vector<Value>{1, 2, 3, 4, 0}));

    bilist_rewind(rt, list);
    bilist_next(rt, list);  // cursor on 2
    ASSERT_EQ(bilist_remove_at_cursor(rt, list, nullptr), RC_OK);
    EXPECT_EQ(bilist_next(rt, list), 3u);
    BiNode* four = bilist_find(rt, list, 4, same);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(four->value, 4u);
    EXPECT_EQ(bilist_find(rt, list, 2, same), nullptr);

    BiList* copy = bilist_map(rt, list, copy_plain);
    EXPECT_TRUE(bilist_equal(rt, list, copy, same));
    bilist_push_back(rt, copy, 5);
    EXPECT_FALSE(bilist_equal(rt, list, copy, same));
    bilist_destroy(rt, copy, nullptr);

    BiList* single = bilist_new(rt, 0);
    bilist_push_front(rt, single, 8);
    bilist_rewind(rt, single);
    ASSERT_EQ(bilist_remove_at_cursor(rt, single, nullptr), RC_OK);
    EXPECT_EQ(single->first, nullptr);
    EXPECT_EQ(single->last, nullptr);
    EXPECT_EQ(single->cursor, nullptr);
    EXPECT_TRUE(bilist_is_empty(rt, single));
    EXPECT_EQ(bilist_remove_at_cursor(rt, single, nullptr), RC_NO_OBJECT);
    bilist_destroy(rt, single, nullptr);
    bilist_destroy(rt, list, nullptr);
}

TEST_F(BiListTest, DestroyReleasesEveryValue) {
    BiList* list = bilist_new(rt, 0);
    for (uint32_t n : {1u, 2u, 3u}) bilist_push_back(rt, list, number_new(rt, n));
    allow_allocations(0);
    Value lost = 0;
    EXPECT_EQ(bilist_push_back(rt, list, lost = 99), RC_NO_OBJECT);
    allow_all_allocations();
    EXPECT_EQ(bilist_count(rt, list), 3u);
    BiList* copies = bilist_map(rt, list, number_copy, number_free);
    EXPECT_EQ(bilist_count(rt, copies), 3u);
    bilist_destroy(rt, copies, number_free);
    bilist_destroy(rt, list, number_free);
}

TEST_F(QueueTest, CursorsMarkCommitAndRewind) {
    MultiQueue* q = mq_new(rt);
    EXPECT_EQ(q->first, nullptr);
    EXPECT_EQ(mq_take(rt, q), 0u);
    mq_append(rt, q, 10);
    mq_append(rt, q, 11);
    mq_back(rt, q);
    mq_back(rt, q);  // before the first entry
    EXPECT_EQ(mq_take(rt, q), 10u);
    mq_push_cursor(rt, q);  // mark after 10
    EXPECT_EQ(mq_take(rt, q), 11u);
    EXPECT_EQ(mq_take(rt, q), 0u);
    mq_restore(rt, q);  // rewind to the mark
    EXPECT_EQ(mq_take(rt, q), 11u);
    mq_pop_keep(rt, q);  // commit: the position after 11 stays
    mq_append(rt, q, 12);
    mq_back(rt, q);
    EXPECT_EQ(mq_take(rt, q), 12u);
    mq_restore(rt, q);  // only one cursor left: nothing happens
    mq_pop_keep(rt, q);
    EXPECT_EQ(mq_take(rt, q), 0u);
    mq_destroy(rt, q, nullptr);

    MultiQueue* owning = mq_new(rt);
    mq_append(rt, owning, number_new(rt, 1));
    mq_push_cursor(rt, owning);
    mq_push_cursor(rt, owning);
    mq_destroy(rt, owning, number_free);
}

// A long run with one cursor keeps only the entries it can step back to;
// with a mark, every entry from the mark on stays and replays.
TEST_F(QueueTest, OneCursorKeepsOnlyWhatItCanStepBackTo) {
    MultiQueue* q = mq_new(rt);
    for (Value v = 1; v <= 100000; ++v) ASSERT_EQ(mq_append(rt, q, v), RC_OK);
    EXPECT_LE(q->count, 2 * MQ_KEPT_BEHIND);
    for (size_t i = 0; i < MQ_KEPT_BEHIND; ++i) mq_back(rt, q);
    for (Value v = 100000 - MQ_KEPT_BEHIND + 1; v <= 100000; ++v) ASSERT_EQ(mq_take(rt, q), v);
    EXPECT_EQ(mq_take(rt, q), 0u);

    mq_push_cursor(rt, q);  // a mark after 100000
    for (Value v = 100001; v <= 110000; ++v) ASSERT_EQ(mq_append(rt, q, v), RC_OK);
    mq_restore(rt, q);
    for (Value v = 100001; v <= 110000; ++v) ASSERT_EQ(mq_take(rt, q), v);
    mq_pop_keep(rt, q);
    ASSERT_EQ(mq_append(rt, q, 110001), RC_OK);  // one cursor again: the old entries go
    EXPECT_LE(q->count, 2 * MQ_KEPT_BEHIND);
    mq_back(rt, q);
    EXPECT_EQ(mq_take(rt, q), 110001u);
    mq_destroy(rt, q, nullptr);
}

}  // namespace
