// Bidirectional nodes and the bidirectional list built from them, with a
// built-in cursor that walks forward or backward; they hold the product,
// component and group lists. Elements are released only with the release
// operation a caller passes. Needs runtime_context.
#pragma once

#include <cstdint>

#include "runtime/callbacks.h"
#include "runtime/runtime_context.h"

struct BiNode {
    Value value;
    BiNode* previous;
    BiNode* next;
};

struct BiList {
    BiNode* first;
    BiNode* last;
    BiNode* cursor;    // the node the next step delivers, or none
    Value tag;         // the creator's word, copied by bilist_map
    uint32_t forward;  // 1 walking first to last, 0 last to first
};

// A new unlinked node; nullptr when memory runs out.
BiNode* binode_new(RuntimeContext* rt, Value value);
// Releases the value with `release` (when given) and frees the node.
ResultCode binode_free(RuntimeContext* rt, BiNode* node, ReleaseFn release);
// node.previous = previous and previous.next = node.
ResultCode binode_link_before(RuntimeContext* rt, BiNode* node, BiNode* previous);

// A new empty forward list; nullptr when memory runs out.
BiList* bilist_new(RuntimeContext* rt, Value tag);
// Releases every value with `release` (when given), frees nodes and list.
ResultCode bilist_destroy(RuntimeContext* rt, BiList* list, ReleaseFn release);
uint32_t bilist_count(RuntimeContext* rt, BiList* list);
// True also for an absent list.
bool bilist_is_empty(RuntimeContext* rt, BiList* list);
// A new list with the same tag holding copy(value) of each value in order
// (copies that are 0 are left out); nullptr when memory runs out, after the
// copies made so far were released with `release`.
BiList* bilist_map(RuntimeContext* rt, BiList* list, CopyFn copy, ReleaseFn release = nullptr);

// Each returns RC_NO_OBJECT (and leaves the list unchanged) for an absent
// list or value or when memory runs out.
ResultCode bilist_push_front(RuntimeContext* rt, BiList* list, Value value);
ResultCode bilist_push_back(RuntimeContext* rt, BiList* list, Value value);
// In front of the cursor node; with an empty cursor at the end, and the
// cursor then stands on the new node.
ResultCode bilist_insert_at_cursor(RuntimeContext* rt, BiList* list, Value value);

// Cursor to first, walking forward; cursor to last, walking backward.
ResultCode bilist_rewind(RuntimeContext* rt, BiList* list);
ResultCode bilist_rewind_backward(RuntimeContext* rt, BiList* list);
// The cursor node's value, moving on in the walking direction; 0 when the
// walk has ended, after which the next call starts it again.
Value bilist_next(RuntimeContext* rt, BiList* list);
// One node against the walking direction; from an empty cursor to the end
// the walk would reach last.
ResultCode bilist_step_back(RuntimeContext* rt, BiList* list);
// Unlinks the cursor node, moves the cursor to the node after it (in list
// order) and frees the node, releasing its value with `release`.
// RC_NO_OBJECT when the cursor is empty.
ResultCode bilist_remove_at_cursor(RuntimeContext* rt, BiList* list, ReleaseFn release);

// The first node whose value matches `probe`; nullptr when none does.
BiNode* bilist_find(RuntimeContext* rt, BiList* list, Value probe, MatchFn match);
// Same count and pairwise matching values; true for the same list.
bool bilist_equal(RuntimeContext* rt, BiList* a, BiList* b, MatchFn match);
