// The generic value operations.
#include "runtime/values.h"

#include <cstring>

#include "runtime/atoms.h"
#include "runtime/lists.h"
#include "runtime/namespaces.h"
#include "runtime/numbers.h"
#include "runtime/registry_objects.h"
#include "runtime/signals.h"
#include "runtime/strings.h"

namespace {

constexpr const char* TYPE_NAMES[14] = {"VOID",      "FAILURE", "BOOLEAN",  "ATOM", "NUMBER",
                                        "VOLUMEMAP", "STRING",  "OPTIONAL", "ANY",  "SIGNAL",
                                        "GROUP",     "PRODUCT", "REGISTRY", "LIST"};

bool is_numeric(uint32_t type) {
    return type == VT_NUMBER || type == VT_VOLUMEMAP;
}

// True when the handle carries type VOID (0 and untagged blocks).
bool is_void(Value v) {
    return value_type(v) == VT_VOID;
}

// The first 32-bit word of a numeric value (a number's integer, a volume
// map's total); 0 for a handle that is not a block.
uint32_t first_word(Value v) {
    return value_is_real(v) ? *value_record<uint32_t>(v) : 0;
}

bool words_equal(Value a, Value b) {
    return a == b || (value_is_real(a) && value_is_real(b) && first_word(a) == first_word(b));
}

const ValueTypeOps& hooks(RuntimeContext* rt, uint32_t type) {
    return rt->type_ops[type];
}

ResultCode record_in(RuntimeContext* rt, Namespace* ns, Value v) {
    return ns ? ns_record_value(rt, ns, v) : RC_OK;
}

// A copy of a block by its kind's own copy operation, untagged.
Value copy_block(RuntimeContext* rt, Namespace* ns, uint32_t type, Value u) {
    switch (type) {
        case VT_NUMBER:
            return number_copy(rt, u);
        case VT_STRING:
            return string_copy(rt, u);
        case VT_REGISTRY:
            return registry_copy(rt, u);
        case VT_SIGNAL: {
            Value payload = value_copy(rt, ns, signal_payload(rt, u));
            Value made = signal_new(rt, signal_atom(rt, u), payload, 0, 0);
            // Without a namespace the payload copy belongs to no one else.
            if (!made && !ns) value_release(rt, payload);
            return made;
        }
        case VT_LIST:
            return list_map(rt, ns, u, value_copy, is_void, record_in, value_stamp_list);
        case VT_VOLUMEMAP:
        case VT_GROUP:
        case VT_PRODUCT:
            return hooks(rt, type).copy ? hooks(rt, type).copy(rt, ns, u) : 0;
        default:
            return 0;
    }
}

bool equal_same_type(RuntimeContext* rt, uint32_t type, Value a, Value b) {
    switch (type) {
        case VT_BOOLEAN:
        case VT_ATOM:
            return a == b;
        case VT_NUMBER:
        case VT_VOLUMEMAP:
            return words_equal(a, b);
        case VT_STRING:
            return string_equal(rt, a, b);
        case VT_SIGNAL:
            return signal_equal(rt, a, b, value_equal);
        case VT_REGISTRY:
            return registry_equal(rt, a, b);
        case VT_LIST:
            return list_equal(rt, a, b, value_equal);
        case VT_GROUP:
        case VT_PRODUCT:
            return hooks(rt, type).equal && hooks(rt, type).equal(rt, a, b);
        case VT_VOID:
        case VT_FAILURE:
        case VT_OPTIONAL:
            return true;
        default:
            return false;
    }
}

bool greater_same_type(RuntimeContext* rt, uint32_t type, Value a, Value b) {
    switch (type) {
        case VT_BOOLEAN:
            return a == 1 && b != 1;
        case VT_ATOM:
            return atom_greater(rt, a, b);
        case VT_NUMBER:
        case VT_VOLUMEMAP:
            return first_word(a) > first_word(b);
        case VT_STRING:
            return string_greater(rt, a, b);
        case VT_SIGNAL:
            return atom_greater(rt, signal_atom(rt, a), signal_atom(rt, b));
        case VT_REGISTRY:
            return registry_greater(rt, a, b);
        case VT_GROUP:
        case VT_PRODUCT:
            return hooks(rt, type).greater && hooks(rt, type).greater(rt, a, b);
        default:
            return false;
    }
}

}  // namespace

ResultCode value_release(RuntimeContext* rt, Value v) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    uint32_t type = value_type(v);
    Value u = value_unbox(v);
    switch (type) {
        case VT_NUMBER:
            return number_free(rt, u);
        case VT_STRING:
            return string_free(rt, u);
        case VT_SIGNAL:
            return signal_release(rt, u, nullptr);
        case VT_REGISTRY:
            return registry_release(rt, u);
        case VT_LIST:
            return list_destroy(rt, u, false, nullptr);
        case VT_VOLUMEMAP:
        case VT_GROUP:
        case VT_PRODUCT:
            return hooks(rt, type).release ? hooks(rt, type).release(rt, u) : RC_OK;
        default:
            return RC_OK;
    }
}

Value value_copy(RuntimeContext* rt, Namespace* ns, Value v) {
    if (!rt_usable(rt)) return 0;
    uint32_t type = value_type(v);
    Value u = value_unbox(v);
    switch (type) {
        case VT_VOID:
        case VT_FAILURE:
        case VT_OPTIONAL:
        case VT_ANY:
            return v;
        case VT_BOOLEAN:
            return value_boolean(rt, u);
        case VT_ATOM:
            return value_atom(rt, u);
        default:
            break;
    }
    Value made = copy_block(rt, ns, type, u);
    if (!value_is_real(made)) return 0;
    value_set_type(rt, type, made, false);
    if (record_in(rt, ns, made) == RC_OK) return made;
    // Only a list's first cell can be left unrecorded here; its other cells
    // and every element are already the namespace's.
    if (type == VT_LIST)
        list_destroy(rt, made, false, nullptr);
    else
        value_release(rt, made);
    return 0;
}

bool value_equal(RuntimeContext* rt, Value a, Value b) {
    if (!rt_usable(rt)) return false;
    uint32_t ta = value_type(a), tb = value_type(b);
    if (ta == VT_ANY || tb == VT_ANY) return true;
    Value ua = value_unbox(a), ub = value_unbox(b);
    if (ta == tb) return equal_same_type(rt, ta, ua, ub);
    return is_numeric(ta) && is_numeric(tb) && words_equal(ua, ub);
}

bool value_greater(RuntimeContext* rt, Value a, Value b) {
    if (!rt_usable(rt)) return false;
    uint32_t ta = value_type(a), tb = value_type(b);
    Value ua = value_unbox(a), ub = value_unbox(b);
    if (ta == tb) return greater_same_type(rt, ta, ua, ub);
    if (is_numeric(ta) && is_numeric(tb)) return first_word(ua) > first_word(ub);
    return ta > tb;
}

bool value_compatible(RuntimeContext* rt, Value a, Value b) {
    if (!rt_usable(rt)) return false;
    uint32_t ta = value_type(a), tb = value_type(b);
    return ta == tb || ta == VT_ANY || tb == VT_ANY || (is_numeric(ta) && is_numeric(tb));
}

size_t value_type_name(RuntimeContext* rt, Value v, char* buffer, size_t capacity) {
    uint32_t type = value_type(v);
    if (!rt_usable(rt) || !buffer || type >= 14) return 0;
    size_t length = std::strlen(TYPE_NAMES[type]);
    if (length + 1 > capacity) return 0;
    std::memcpy(buffer, TYPE_NAMES[type], length + 1);
    return length;
}

Value value_stamp_list(RuntimeContext* rt, Value cell) {
    return value_set_type(rt, VT_LIST, cell, false);
}
