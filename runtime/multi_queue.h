// The multi-cursor queue behind the reader's token history: entries in a
// chain of bidirectional nodes, oldest first, and a stack of cursors, each
// standing on an entry or before the first one. While the queue has one
// cursor, entries more than MQ_KEPT_BEHIND behind it are freed (a reader
// of a large file would otherwise hold a node per token it ever read);
// with more cursors every entry stays. Needs bidirectional_lists.
#pragma once

#include <cstddef>

#include "runtime/bidirectional_lists.h"

// Entries kept behind the only cursor: as many steps back as mq_back can
// take there. The reader steps back one token at a time.
constexpr size_t MQ_KEPT_BEHIND = 256;

struct MultiQueue {
    BiNode* first;          // oldest entry kept
    BiNode* last;           // newest entry
    BiNode* cursor_bottom;  // bottom of the cursor stack
    BiNode* cursor_top;     // top cursor; its value is the entry node it stands on, or 0
    size_t count;           // entries kept
};

// A new empty queue with one cursor before the first entry; nullptr when
// memory runs out.
MultiQueue* mq_new(RuntimeContext* rt);
// Releases every entry's value with `release` (when given), frees all nodes.
ResultCode mq_destroy(RuntimeContext* rt, MultiQueue* queue, ReleaseFn release);
// A new entry at the end; the top cursor stands on it. RC_NO_OBJECT when
// memory runs out (the queue is unchanged). With one cursor, the entries
// more than MQ_KEPT_BEHIND behind the new one go (their values are not
// released: they belong to whoever took them).
ResultCode mq_append(RuntimeContext* rt, MultiQueue* queue, Value value);
// The entry after the top cursor's, moving the top cursor onto it; 0 when
// there is none.
Value mq_take(RuntimeContext* rt, MultiQueue* queue);
// The top cursor moves one entry back (from the first: before it).
ResultCode mq_back(RuntimeContext* rt, MultiQueue* queue);
// A new top cursor at the top cursor's position.
ResultCode mq_push_cursor(RuntimeContext* rt, MultiQueue* queue);
// The top cursor goes back to the position of the cursor below it.
ResultCode mq_restore(RuntimeContext* rt, MultiQueue* queue);
// The cursor below takes the top cursor's position; the top one is removed.
ResultCode mq_pop_keep(RuntimeContext* rt, MultiQueue* queue);
