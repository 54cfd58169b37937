// Atoms and the signal atoms.
#include "runtime/atoms.h"

#include <cstring>
#include <string>

#include "runtime/strings.h"

namespace {

bool is_atom_of(RuntimeContext* rt, SymbolTable* table, Value atom, std::string_view text) {
    if (!atom) return false;
    Value known = atom_intern(rt, table, text);
    return known && known == atom;
}

}  // namespace

Value atom_intern(RuntimeContext* rt, SymbolTable* table, std::string_view text) {
    if (!rt_usable(rt) || !table) return 0;
    Value fresh = string_new(rt, text);
    if (!fresh) return 0;
    Value atom = symtab_intern(rt, table, fresh, symbol_text_hash, symbol_text_match, string_free);
    // symtab_intern hands back the key it could not enter when memory runs out.
    if (atom == fresh && !symtab_find_key(rt, table, fresh, symbol_text_hash, symbol_identity_match)) {
        string_free(rt, fresh);
        return 0;
    }
    return atom;
}

bool atom_equal(RuntimeContext* rt, Value a, Value b) { return rt_usable(rt) && a && a == b; }

bool atom_greater(RuntimeContext* rt, Value a, Value b) { return string_greater(rt, a, b); }

size_t atom_text(RuntimeContext* rt, Value atom, char* buffer, size_t capacity) {
    if (!rt_usable(rt) || !buffer) return 0;
    std::string text = atom ? "'" + std::string(string_view_of(rt, atom)) : ATOM_PLACEHOLDER;
    if (text.size() + 1 > capacity) return 0;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return text.size();
}

ResultCode atom_table_destroy(RuntimeContext* rt, SymbolTable* table) {
    return symtab_destroy(rt, table, string_free);
}

Value signal_failure(RuntimeContext* rt, SymbolTable* t) { return atom_intern(rt, t, "{FAILURE}"); }
Value signal_eof(RuntimeContext* rt, SymbolTable* t) { return atom_intern(rt, t, "{EOF}"); }
Value signal_restart(RuntimeContext* rt, SymbolTable* t) { return atom_intern(rt, t, "{RESTART}"); }
Value signal_return(RuntimeContext* rt, SymbolTable* t) { return atom_intern(rt, t, "{RETURN}"); }
Value signal_continue(RuntimeContext* rt, SymbolTable* t) { return atom_intern(rt, t, "{CONTINUE}"); }
Value signal_break(RuntimeContext* rt, SymbolTable* t) { return atom_intern(rt, t, "{BREAK}"); }
Value signal_gb1(RuntimeContext* rt, SymbolTable* t) { return atom_intern(rt, t, "{GB1}"); }
Value signal_gb2(RuntimeContext* rt, SymbolTable* t) { return atom_intern(rt, t, "{GB2}"); }

bool is_signal_failure(RuntimeContext* rt, SymbolTable* t, Value a) { return is_atom_of(rt, t, a, "{FAILURE}"); }
bool is_signal_eof(RuntimeContext* rt, SymbolTable* t, Value a) { return is_atom_of(rt, t, a, "{EOF}"); }
bool is_signal_restart(RuntimeContext* rt, SymbolTable* t, Value a) { return is_atom_of(rt, t, a, "{RESTART}"); }
bool is_signal_return(RuntimeContext* rt, SymbolTable* t, Value a) { return is_atom_of(rt, t, a, "{RETURN}"); }
bool is_signal_continue(RuntimeContext* rt, SymbolTable* t, Value a) { return is_atom_of(rt, t, a, "{CONTINUE}"); }
bool is_signal_break(RuntimeContext* rt, SymbolTable* t, Value a) { return is_atom_of(rt, t, a, "{BREAK}"); }
bool is_signal_gb1(RuntimeContext* rt, SymbolTable* t, Value a) { return is_atom_of(rt, t, a, "{GB1}"); }
bool is_signal_gb2(RuntimeContext* rt, SymbolTable* t, Value a) { return is_atom_of(rt, t, a, "{GB2}"); }
