// Bidirectional nodes and lists with a walking cursor.
#include "runtime/bidirectional_lists.h"

namespace {

template <typename Record>
Record* record_new(RuntimeContext* rt) {
    return reinterpret_cast<Record*>(value_alloc(rt, sizeof(Record)));
}

void record_free(RuntimeContext* rt, const void* record) {
    value_free(rt, reinterpret_cast<Value>(record));
}

bool usable(RuntimeContext* rt, const void* thing) {
    return rt_usable(rt) && thing;
}

// The node a walk in the list's direction starts from.
BiNode* walk_start(const BiList* list) {
    return list->forward ? list->first : list->last;
}
BiNode* walk_end(const BiList* list) {
    return list->forward ? list->last : list->first;
}

// Inserts `node` in front of `before` (in list order), or at the end.
void link_in_front(BiList* list, BiNode* node, BiNode* before) {
    BiNode* after = before ? before->previous : list->last;
    node->previous = after;
    node->next = before;
    if (after)
        after->next = node;
    else
        list->first = node;
    if (before)
        before->previous = node;
    else
        list->last = node;
}

void unlink(BiList* list, BiNode* node) {
    if (node->previous)
        node->previous->next = node->next;
    else
        list->first = node->next;
    if (node->next)
        node->next->previous = node->previous;
    else
        list->last = node->previous;
    node->previous = node->next = nullptr;
}

// Adds a value at the front or the back. A list that was rewound and found
// empty, or whose walk has ended, then delivers the new node on its next step
// when the node lies where the walk starts.
ResultCode push(RuntimeContext* rt, BiList* list, Value value, bool at_front) {
    if (!usable(rt, list) || !value) return RC_NO_OBJECT;
    BiNode* node = binode_new(rt, value);
    if (!node) return RC_NO_OBJECT;
    bool was_empty = !list->first;
    link_in_front(list, node, at_front ? list->first : nullptr);
    bool walks_into_it = at_front ? !list->forward : list->forward;
    if (was_empty || (!list->cursor && walks_into_it)) list->cursor = node;
    return RC_OK;
}

}  // namespace

BiNode* binode_new(RuntimeContext* rt, Value value) {
    BiNode* node = record_new<BiNode>(rt);
    if (node) *node = BiNode{value, nullptr, nullptr};
    return node;
}

ResultCode binode_free(RuntimeContext* rt, BiNode* node, ReleaseFn release) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!node) return RC_OK;
    if (release && node->value) release(rt, node->value);
    record_free(rt, node);
    return RC_OK;
}

ResultCode binode_link_before(RuntimeContext* rt, BiNode* node, BiNode* previous) {
    if (!usable(rt, node)) return RC_NO_OBJECT;
    node->previous = previous;
    if (previous) previous->next = node;
    return RC_OK;
}

BiList* bilist_new(RuntimeContext* rt, Value tag) {
    BiList* list = record_new<BiList>(rt);
    if (list) *list = BiList{nullptr, nullptr, nullptr, tag, 1};
    return list;
}

ResultCode bilist_destroy(RuntimeContext* rt, BiList* list, ReleaseFn release) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!list) return RC_OK;
    for (BiNode* node = list->first; node;) {
        BiNode* next = node->next;
        binode_free(rt, node, release);
        node = next;
    }
    record_free(rt, list);
    return RC_OK;
}

uint32_t bilist_count(RuntimeContext* rt, BiList* list) {
    if (!usable(rt, list)) return 0;
    uint32_t count = 0;
    for (BiNode* node = list->first; node; node = node->next) ++count;
    return count;
}

bool bilist_is_empty(RuntimeContext* rt, BiList* list) {
    return !usable(rt, list) || !list->first;
}

BiList* bilist_map(RuntimeContext* rt, BiList* list, CopyFn copy, ReleaseFn release) {
    if (!usable(rt, list) || !copy) return nullptr;
    BiList* out = bilist_new(rt, list->tag);
    if (!out) return nullptr;
    for (BiNode* node = list->first; node; node = node->next) {
        Value made = copy(rt, node->value);
        if (!made) continue;
        if (bilist_push_back(rt, out, made) == RC_OK) continue;
        if (release) release(rt, made);
        bilist_destroy(rt, out, release);
        return nullptr;
    }
    return out;
}

ResultCode bilist_push_front(RuntimeContext* rt, BiList* list, Value value) {
    return push(rt, list, value, true);
}

ResultCode bilist_push_back(RuntimeContext* rt, BiList* list, Value value) {
    return push(rt, list, value, false);
}

ResultCode bilist_insert_at_cursor(RuntimeContext* rt, BiList* list, Value value) {
    if (!usable(rt, list) || !value) return RC_NO_OBJECT;
    BiNode* node = binode_new(rt, value);
    if (!node) return RC_NO_OBJECT;
    link_in_front(list, node, list->cursor);
    if (!list->cursor) list->cursor = node;
    return RC_OK;
}

ResultCode bilist_rewind(RuntimeContext* rt, BiList* list) {
    if (!usable(rt, list)) return RC_NO_OBJECT;
    list->forward = 1;
    list->cursor = list->first;
    return RC_OK;
}

ResultCode bilist_rewind_backward(RuntimeContext* rt, BiList* list) {
    if (!usable(rt, list)) return RC_NO_OBJECT;
    list->forward = 0;
    list->cursor = list->last;
    return RC_OK;
}

Value bilist_next(RuntimeContext* rt, BiList* list) {
    if (!usable(rt, list)) return 0;
    BiNode* node = list->cursor;
    if (!node) {
        list->cursor = walk_start(list);
        return 0;
    }
    list->cursor = list->forward ? node->next : node->previous;
    return node->value;
}

ResultCode bilist_step_back(RuntimeContext* rt, BiList* list) {
    if (!usable(rt, list)) return RC_NO_OBJECT;
    BiNode* node = list->cursor;
    if (!node)
        list->cursor = walk_end(list);
    else
        list->cursor = list->forward ? node->previous : node->next;
    return RC_OK;
}

ResultCode bilist_remove_at_cursor(RuntimeContext* rt, BiList* list, ReleaseFn release) {
    if (!usable(rt, list) || !list->cursor) return RC_NO_OBJECT;
    BiNode* node = list->cursor;
    list->cursor = node->next;
    unlink(list, node);
    return binode_free(rt, node, release);
}

BiNode* bilist_find(RuntimeContext* rt, BiList* list, Value probe, MatchFn match) {
    if (!usable(rt, list) || !match) return nullptr;
    for (BiNode* node = list->first; node; node = node->next)
        if (match(rt, probe, node->value)) return node;
    return nullptr;
}

bool bilist_equal(RuntimeContext* rt, BiList* a, BiList* b, MatchFn match) {
    if (!usable(rt, a) || !usable(rt, b) || !match) return false;
    if (a == b) return true;
    BiNode* na = a->first;
    BiNode* nb = b->first;
    for (; na && nb; na = na->next, nb = nb->next)
        if (!match(rt, na->value, nb->value)) return false;
    return !na && !nb;
}
