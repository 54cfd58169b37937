// Namespaces: three symbol tables (definitions, interned names, owned
// values) and a parent link, so that lookups and name interning fall back to
// enclosing namespaces. A namespace owns its names and the values recorded
// in it, and releases each exactly once when destroyed. Needs
// symbol_tables, lists and strings.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/runtime_context.h"
#include "runtime/symbol_tables.h"

struct NameIndex;

struct Namespace {
    SymbolTable* definitions;  // interned name -> value; values not owned
    SymbolTable* names;        // interned names, key and value the same; owned
    SymbolTable* owned;        // values released with the namespace (value empty)
    Namespace* parent;         // enclosing namespace, or none
    Value children;            // list of the namespaces made with this one as parent
    bool destroyed;
    // The names of `names` by their folded text, so that interning does not
    // walk a bucket chain; owned, holds no values of its own.
    NameIndex* name_index;
};

// A namespace with three tables of `bucket_count` buckets, appended to the
// parent's children; nullptr for 0 buckets or when memory runs out.
Namespace* namespace_new(RuntimeContext* rt, Namespace* parent, uint32_t bucket_count);
// Destroys the definitions (releasing nothing), the names (each with
// `release_name`) and the owned values (each with `release_owned`), leaves
// the parent's children, orphans its own children and frees the record.
ResultCode namespace_destroy(RuntimeContext* rt, Namespace* ns, ReleaseFn release_name,
                             ReleaseFn release_owned);

// The value defined for `name` here or in the nearest ancestor that defines it; 0 when none does.
Value ns_lookup(RuntimeContext* rt, Namespace* ns, Value name, HashFn hash, MatchFn match);
// Records `value` as owned (own_hash, own_match) and defines `name` as it here.
ResultCode ns_define(RuntimeContext* rt, Namespace* ns, Value name, Value value, HashFn hash,
                     MatchFn match, HashFn own_hash, MatchFn own_match);
// Removes the definition from this namespace only.
ResultCode ns_undefine(RuntimeContext* rt, Namespace* ns, Value name, HashFn hash, MatchFn match);
// The interned name of `text`: the one this namespace or the nearest
// ancestor already has, else a new one entered here. 0 when memory runs out.
Value ns_intern_name(RuntimeContext* rt, Namespace* ns, std::string_view text);
// True when this namespace or an ancestor has recorded `value`.
bool ns_owns(RuntimeContext* rt, Namespace* ns, Value value, HashFn hash, MatchFn match);
// Unless ns_owns says so, enters `value` into this namespace's owned table.
// Handles 0 and 1 and boxes are never recorded. RC_NO_OBJECT when memory runs out.
ResultCode ns_record(RuntimeContext* rt, Namespace* ns, Value value, HashFn hash, MatchFn match);
// ns_record with identity hash and match (the shape containers take).
ResultCode ns_record_value(RuntimeContext* rt, Namespace* ns, Value value);
// Iterate this namespace's definitions (values or names), not its ancestors'.
ResultCode ns_rewind(RuntimeContext* rt, Namespace* ns);
Value ns_next(RuntimeContext* rt, Namespace* ns, bool want_value);
