// Atoms.
#include "runtime/atoms.h"

#include <cstring>
#include <string>

#include "runtime/strings.h"

Value atom_intern(RuntimeContext* rt, SymbolTable* table, std::string_view text) {
    if (!rt_usable(rt) || !table) return 0;
    Value fresh = string_new(rt, text);
    if (!fresh) return 0;
    Value atom = symtab_intern(rt, table, fresh, symbol_text_hash, symbol_text_match, string_free);
    // symtab_intern hands back the key it could not enter when memory runs out.
    if (atom == fresh &&
        !symtab_find_key(rt, table, fresh, symbol_text_hash, symbol_identity_match)) {
        string_free(rt, fresh);
        return 0;
    }
    return atom;
}

bool atom_greater(RuntimeContext* rt, Value a, Value b) {
    return string_greater(rt, a, b);
}

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
