// Booleans: not blocks but the handles 1 (true) and 0 (false); only 1 counts
// as true. As script values they travel in the shared BOOLEAN box
// (value_boolean in runtime_context). Needs nothing else.
#pragma once

#include "runtime/runtime_context.h"

inline bool bool_is_true(Value v) {
    return v == 1;
}
// "true" for 1, "false" for anything else.
inline const char* bool_text(Value v) {
    return v == 1 ? "true" : "false";
}
