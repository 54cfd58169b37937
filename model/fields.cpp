// Field values of the model's records, and typed tokens for row fields.
#include "model/fields.h"

#include "runtime/atoms.h"
#include "runtime/numbers.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/tokens.h"
#include "runtime/values.h"

Value field_number(RuntimeContext* rt, uint32_t n) {
    Value made = number_new(rt, n);
    return made ? value_set_type(rt, VT_NUMBER, made, false) : 0;
}

Value field_string(RuntimeContext* rt, std::string_view text) {
    Value made = string_new(rt, text);
    return made ? value_set_type(rt, VT_STRING, made, false) : 0;
}

Value field_copy(RuntimeContext* rt, Value v) {
    if (!value_is_real(v)) return v;
    switch (value_type(v)) {
        case VT_NUMBER:
            return field_number(rt, number_value(rt, v));
        case VT_STRING:
            return field_string(rt, string_view_of(rt, v));
        default:
            return v;  // atoms and booleans are shared
    }
}

bool field_copy_failed(Value field, Value made) {
    return value_is_real(field) && !made;
}

void field_normalise_path(RuntimeContext* rt, Value s) {
    if (value_is_real(s)) string_trim_path(rt, value_unbox(s));
}

uint32_t field_number_value(RuntimeContext* rt, Value n) {
    return value_is_real(n) ? number_value(rt, value_unbox(n)) : 0;
}

std::string_view field_text(RuntimeContext* rt, Value s) {
    return value_is_real(s) ? string_view_of(rt, value_unbox(s)) : std::string_view();
}

namespace {

// Takes the next token; keeps it when `wanted` says so, else releases it.
template <typename Test>
bool take(RuntimeContext* rt, Reader* reader, Test wanted, Value* token) {
    *token = reader_next(rt, reader);
    if (wanted(*token)) return true;
    token_release(rt, *token);
    *token = 0;
    return false;
}

}  // namespace

bool field_take_number(RuntimeContext* rt, Reader* reader, Value* out) {
    Value t;
    if (!take(rt, reader, is_number, &t)) return false;
    *out = value_set_type(rt, VT_NUMBER, t, false);
    return true;
}

bool field_take_string(RuntimeContext* rt, Reader* reader, Value* out) {
    Value t;
    if (!take(rt, reader, is_string, &t)) return false;
    *out = value_set_type(rt, VT_STRING, t, false);
    return true;
}

bool field_take_boolean(RuntimeContext* rt, Reader* reader, Value* out) {
    Value t;
    if (!take(rt, reader, is_boolean, &t)) return false;
    *out = token_payload(t) == 1 ? 1 : 0;
    return true;
}

bool field_take_atom(RuntimeContext* rt, Reader* reader, Value* out) {
    Value t;
    if (!take(rt, reader, is_name, &t)) return false;
    *out = atom_intern(rt, reader->atom_table, string_view_of(rt, t));
    return *out != 0;
}
