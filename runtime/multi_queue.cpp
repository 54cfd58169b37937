// The multi-cursor queue.
#include "runtime/multi_queue.h"

namespace {

BiNode* position_of(BiNode* cursor) {
    return reinterpret_cast<BiNode*>(cursor->value);
}

void set_position(BiNode* cursor, BiNode* entry) {
    cursor->value = reinterpret_cast<Value>(entry);
}

bool usable(RuntimeContext* rt, const MultiQueue* queue) {
    return rt_usable(rt) && queue;
}

void free_chain(RuntimeContext* rt, BiNode* node, ReleaseFn release) {
    while (node) {
        BiNode* next = node->next;
        binode_free(rt, node, release);
        node = next;
    }
}

// Takes the first entry off a queue of at least two.
BiNode* unlink_oldest(MultiQueue* queue) {
    BiNode* oldest = queue->first;
    queue->first = oldest->next;
    queue->first->previous = nullptr;
    --queue->count;
    return oldest;
}

}  // namespace

MultiQueue* mq_new(RuntimeContext* rt) {
    MultiQueue* queue = reinterpret_cast<MultiQueue*>(value_alloc(rt, sizeof(MultiQueue)));
    if (!queue) return nullptr;
    BiNode* cursor = binode_new(rt, 0);
    if (!cursor) {
        value_free(rt, reinterpret_cast<Value>(queue));
        return nullptr;
    }
    *queue = MultiQueue{nullptr, nullptr, cursor, cursor, 0};
    return queue;
}

ResultCode mq_destroy(RuntimeContext* rt, MultiQueue* queue, ReleaseFn release) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!queue) return RC_OK;
    free_chain(rt, queue->first, release);
    free_chain(rt, queue->cursor_bottom, nullptr);
    return value_free(rt, reinterpret_cast<Value>(queue));
}

ResultCode mq_append(RuntimeContext* rt, MultiQueue* queue, Value value) {
    if (!usable(rt, queue)) return RC_NO_OBJECT;
    // With one cursor only the last MQ_KEPT_BEHIND entries can be reached
    // again; the ones before them are dropped, their values not released.
    bool one_cursor = queue->cursor_top == queue->cursor_bottom;
    BiNode* entry;
    if (one_cursor && queue->count > MQ_KEPT_BEHIND) {
        // At the bound: the oldest entry becomes the newest.
        entry = unlink_oldest(queue);
        *entry = BiNode{value, nullptr, nullptr};
    } else if (!(entry = binode_new(rt, value))) {
        return RC_NO_OBJECT;
    }
    binode_link_before(rt, entry, queue->last);
    if (!queue->first) queue->first = entry;
    queue->last = entry;
    set_position(queue->cursor_top, entry);
    ++queue->count;
    // What a mark kept goes in one batch once the mark is gone.
    if (one_cursor && queue->count > 2 * MQ_KEPT_BEHIND)
        while (queue->count > MQ_KEPT_BEHIND) binode_free(rt, unlink_oldest(queue), nullptr);
    return RC_OK;
}

Value mq_take(RuntimeContext* rt, MultiQueue* queue) {
    if (!usable(rt, queue)) return 0;
    BiNode* at = position_of(queue->cursor_top);
    BiNode* entry = at ? at->next : queue->first;
    if (!entry) return 0;
    set_position(queue->cursor_top, entry);
    return entry->value;
}

ResultCode mq_back(RuntimeContext* rt, MultiQueue* queue) {
    if (!usable(rt, queue)) return RC_NO_OBJECT;
    BiNode* at = position_of(queue->cursor_top);
    if (at) set_position(queue->cursor_top, at->previous);
    return RC_OK;
}

ResultCode mq_push_cursor(RuntimeContext* rt, MultiQueue* queue) {
    if (!usable(rt, queue)) return RC_NO_OBJECT;
    BiNode* cursor = binode_new(rt, queue->cursor_top->value);
    if (!cursor) return RC_NO_OBJECT;
    binode_link_before(rt, cursor, queue->cursor_top);
    queue->cursor_top = cursor;
    return RC_OK;
}

ResultCode mq_restore(RuntimeContext* rt, MultiQueue* queue) {
    if (!usable(rt, queue)) return RC_NO_OBJECT;
    BiNode* below = queue->cursor_top->previous;
    if (below) queue->cursor_top->value = below->value;
    return RC_OK;
}

ResultCode mq_pop_keep(RuntimeContext* rt, MultiQueue* queue) {
    if (!usable(rt, queue)) return RC_NO_OBJECT;
    BiNode* top = queue->cursor_top;
    BiNode* below = top->previous;
    if (!below) return RC_OK;
    below->value = top->value;
    below->next = nullptr;
    queue->cursor_top = below;
    return binode_free(rt, top, nullptr);
}
