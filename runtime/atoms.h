// Atoms: string values interned in an atom table (a symbol table used as a
// set, text hash and match), so an atom keeps the spelling it was first
// interned under and two atoms of one table are equal exactly when they are
// the same handle; the table owns them. Needs strings and symbol_tables.
#pragma once

#include <cstddef>
#include <string_view>

#include "runtime/runtime_context.h"
#include "runtime/symbol_tables.h"

// The text shown where an atom is asked for and missing.
constexpr const char* ATOM_PLACEHOLDER = "%AMVD%";

// The atom of `text` in `table`: the one already there (compared without
// regard to case), or a new one entered now. 0 when memory runs out.
Value atom_intern(RuntimeContext* rt, SymbolTable* table, std::string_view text);
// Case-insensitive text order, as string_greater.
bool atom_greater(RuntimeContext* rt, Value a, Value b);
// Writes "'" and the atom's text ("%AMVD%" for an absent atom) into `buffer`
// of `capacity` bytes with the final NUL; returns the length, 0 when it does
// not fit or the context is unusable.
size_t atom_text(RuntimeContext* rt, Value atom, char* buffer, size_t capacity);
// Releases the atoms of a table and the table itself.
ResultCode atom_table_destroy(RuntimeContext* rt, SymbolTable* table);
