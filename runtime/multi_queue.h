// The multi-cursor queue behind the reader's token history: entries in a
// chain of bidirectional nodes, oldest first, and a stack of cursors, each
// standing on an entry or before the first one. Entries stay until the
// queue is destroyed. Needs bidirectional_lists.
#pragma once

#include "runtime/bidirectional_lists.h"

struct MultiQueue {
    BiNode* first;          // oldest entry
    BiNode* last;           // newest entry
    BiNode* cursor_bottom;  // bottom of the cursor stack
    BiNode* cursor_top;     // top cursor; its value is the entry node it stands on, or 0
};

// A new empty queue with one cursor before the first entry; nullptr when
// memory runs out.
MultiQueue* mq_new(RuntimeContext* rt);
// Releases every entry's value with `release` (when given), frees all nodes.
ResultCode mq_destroy(RuntimeContext* rt, MultiQueue* queue, ReleaseFn release);
// A new entry at the end; the top cursor stands on it. RC_NO_OBJECT when
// memory runs out (the queue is unchanged).
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
