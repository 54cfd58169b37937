// The generic value operations that dispatch on a handle's value type:
// release, copy into a namespace, equality, order, type names. Types added
// by later modules (GROUP, PRODUCT, VOLUMEMAP) are reached through the hooks
// of value_register_type. Needs every value kind of the runtime and namespaces.
//
// Ownership: a copy made by value_copy belongs to the namespace that
// recorded it, and so does every part of it that value_copy made (each
// element and each cell of a copied list, the payload of a copied signal).
// value_release therefore releases one block's own record only for the
// composite types: a LIST value loses its first cell, a SIGNAL its record
// and message; the elements and the payload are released through their own
// records. An owner of a whole list or signal uses list_destroy or
// signal_release instead.
#pragma once

#include <cstddef>

#include "runtime/runtime_context.h"

// Releases `v` by its type. VOID, FAILURE, BOOLEAN, ATOM, OPTIONAL and ANY
// release nothing, nor does a hooked type without a release hook.
ResultCode value_release(RuntimeContext* rt, Value v);
// A deep copy tagged with `v`'s type, recorded in `ns` (unless `ns` or an
// ancestor already holds it); callers never release it. VOID, FAILURE,
// OPTIONAL and ANY come back as the same handle, a BOOLEAN or an ATOM as its
// shared box. Elements of a list whose copy is VOID are left out. With no
// namespace nothing is recorded and the caller owns the copy. 0 when a copy
// cannot be made.
Value value_copy(RuntimeContext* rt, Namespace* ns, Value v);
// ANY equals everything; otherwise by type (see the type table); different
// numeric types (NUMBER, VOLUMEMAP) by their first 32-bit word.
bool value_equal(RuntimeContext* rt, Value a, Value b);
// True when `a` orders after `b`: by type, numeric types by their first
// words, otherwise by type code.
bool value_greater(RuntimeContext* rt, Value a, Value b);
// Same type, either ANY, or both numeric.
bool value_compatible(RuntimeContext* rt, Value a, Value b);
// Copies the type's name ("VOID" .. "LIST") with a NUL into `buffer` of
// `capacity` bytes and returns its length; 0 for an unusable context, the
// codes 14 and 15, or a buffer too small.
size_t value_type_name(RuntimeContext* rt, Value v, char* buffer, size_t capacity);
// Stamps LIST into a list cell in place.
Value value_stamp_list(RuntimeContext* rt, Value cell);
