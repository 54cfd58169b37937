// Registry objects (type REGISTRY): a minimal record of a key path and a
// value text, both string values, so that the generic value operations can
// release, copy, compare and order them. Product files never hold them.
// Needs strings.
#pragma once

#include <string_view>

#include "runtime/runtime_context.h"

struct RegistryRecord {
    Value key_path;    // a string value; owned
    Value value_text;  // a string value; owned
};

// A new registry object stamped REGISTRY; 0 when memory runs out (nothing
// is left allocated).
Value registry_new(RuntimeContext* rt, std::string_view key_path, std::string_view value_text);
Value registry_copy(RuntimeContext* rt, Value r);
ResultCode registry_release(RuntimeContext* rt, Value r);
Value registry_key_path(RuntimeContext* rt, Value r);
// Key paths compared without regard to case, value texts exactly.
bool registry_equal(RuntimeContext* rt, Value a, Value b);
// By key path (case-folded), then by value text.
bool registry_greater(RuntimeContext* rt, Value a, Value b);
