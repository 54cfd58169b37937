// Booleans: not blocks but the handles 1 (true) and 0 (false); only 1 counts
// as true. As script values they travel in the shared BOOLEAN box
// (value_boolean in runtime_context). Needs nothing else.
#pragma once

#include "runtime/runtime_context.h"

inline Value bool_true() { return 1; }
inline Value bool_false() { return 0; }
inline Value bool_from(Value v) { return v != 0 ? 1 : 0; }
inline Value bool_and(Value a, Value b) { return (a == 1 && b == 1) ? 1 : 0; }
inline Value bool_or(Value a, Value b) { return (a == 1 || b == 1) ? 1 : 0; }
inline Value bool_xor(Value a, Value b) { return ((a == 1) != (b == 1)) ? 1 : 0; }
inline Value bool_not(Value a) { return a != 1 ? 1 : 0; }
inline bool bool_is_true(Value v) { return v == 1; }
inline bool bool_is_false(Value v) { return v == 0; }
inline bool bool_equal(Value a, Value b) { return a == b; }
inline bool bool_greater(Value a, Value b) { return a == 1 && b != 1; }
// "true" for 1, "false" for anything else.
inline const char* bool_text(Value v) { return v == 1 ? "true" : "false"; }
