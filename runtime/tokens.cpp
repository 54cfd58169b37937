// Token kinds, codes, equality and release.
#include "runtime/tokens.h"

#include "runtime/functions.h"
#include "runtime/numbers.h"
#include "runtime/strings.h"

Value token_box(RuntimeContext* rt, uint32_t kind, Value payload) {
    if (kind < TK_EOF || kind > TK_ATOM) return 0;
    return value_set_kind(rt, kind, payload, true);
}

uint32_t token_kind(Value token) {
    return value_kind(token);
}

Value token_payload(Value token) {
    return value_unbox(token);
}

bool is_punctuation_code(Value t, uint32_t code) {
    return token_kind(t) == TK_PUNCTUATION && token_payload(t) == code;
}

bool token_equal(RuntimeContext* rt, Value a, Value b) {
    if (!rt_usable(rt)) return false;
    uint32_t kind = token_kind(a);
    if (kind != token_kind(b)) return false;
    Value pa = token_payload(a), pb = token_payload(b);
    switch (kind) {
        case TK_NONE:
            return false;
        case TK_NUMBER:
            return number_equal(rt, pa, pb);
        case TK_STRING:
        case TK_SUBST_STRING:
            return string_equal(rt, pa, pb);
        case TK_BOUND_NAME:
            return function_equal(rt, pa, pb);
        case TK_EOF:
        case TK_LEX_ERROR:
        case TK_TOO_LONG:
        case TK_BAD_NUMBER:
        case TK_PUSHBACK_ERROR:
            return true;
        default:
            return pa == pb;  // codes, booleans, atoms, interned names
    }
}

ResultCode token_release(RuntimeContext* rt, Value token) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    uint32_t kind = token_kind(token);
    bool literal = kind == TK_NUMBER || kind == TK_STRING || kind == TK_SUBST_STRING;
    // A recorded literal carries its value type and is its namespace's.
    if (!literal || value_type(token) != VT_VOID) return RC_OK;
    if (kind == TK_NUMBER) return number_free(rt, token);
    return string_free(rt, token);
}
