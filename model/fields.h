// Field values of the model's records: typed numbers and strings made for a
// record, and the taking of one typed token from a reader for a row field.
// A value taken from a token is stamped with its type, so the record that
// keeps it releases it with value_release (which leaves 0 and atoms alone).
#pragma once

#include <string_view>

#include "runtime/runtime_context.h"

struct Reader;

// A new number or string stamped with its type; 0 when memory runs out.
Value field_number(RuntimeContext* rt, uint32_t n);
Value field_string(RuntimeContext* rt, std::string_view text);
// A stamped copy of a number or string field (0 stays 0).
Value field_copy(RuntimeContext* rt, Value v);
// True when `made`, the field_copy of `field`, could not be made: a real
// number or string came back as nothing.
bool field_copy_failed(Value field, Value made);
// A path field in the records' form: "/" becomes "\" and trailing spaces,
// tabs and line feeds are cut. Absent fields are left alone.
void field_normalise_path(RuntimeContext* rt, Value s);
// The integer of a number field, 0 when absent.
uint32_t field_number_value(RuntimeContext* rt, Value n);
// The text of a string or atom field, empty when absent.
std::string_view field_text(RuntimeContext* rt, Value s);

// Each takes the next token. When it is of the wanted kind the value is
// stored in *out (stamped, owned by the caller) and true returned; else the
// token is released and false returned.
bool field_take_number(RuntimeContext* rt, Reader* reader, Value* out);
bool field_take_string(RuntimeContext* rt, Reader* reader, Value* out);
// A boolean literal: *out is 1 or 0.
bool field_take_boolean(RuntimeContext* rt, Reader* reader, Value* out);
// An unbound identifier, interned as an atom in the reader's atom table.
bool field_take_atom(RuntimeContext* rt, Reader* reader, Value* out);
