// Signal values: the atom naming a signal, a payload of any type, a message
// string and one further word. A signal owns its payload and message; its
// atom belongs to the atom table. Needs strings and the function types of callbacks.
#pragma once

#include <cstdint>

#include "runtime/callbacks.h"
#include "runtime/runtime_context.h"

struct SignalRecord {
    Value atom;     // the atom naming the signal; owned by its table
    Value payload;  // any value; owned
    Value message;  // a string value or 0; owned
    uint32_t extra;
};

// A new signal taking over `payload` and `message`; 0 when memory runs out
// (the caller keeps both then).
Value signal_new(RuntimeContext* rt, Value atom, Value payload, Value message, uint32_t extra);
// A signal with the same atom and copy(payload); no message, extra 0.
// 0 when memory runs out (the payload copy is released with `release`).
Value signal_copy(RuntimeContext* rt, Value s, CopyFn copy, ReleaseFn release);
// Releases the payload with `release` (when given), frees the message and the record.
ResultCode signal_release(RuntimeContext* rt, Value s, ReleaseFn release);
Value signal_atom(RuntimeContext* rt, Value s);
// Lends the payload; it stays the signal's.
Value signal_payload(RuntimeContext* rt, Value s);
// Same atom and equal payloads under `equal`; true for the same handle.
bool signal_equal(RuntimeContext* rt, Value a, Value b, MatchFn equal);
