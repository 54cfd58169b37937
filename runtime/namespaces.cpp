// Namespaces with parents, children, interned names and owned values.
#include "runtime/namespaces.h"

#include <new>
#include <string>
#include <unordered_map>

#include "runtime/lists.h"
#include "runtime/strings.h"
#include "sys/text.h"

struct NameIndex {
    std::unordered_map<std::string, Value> names;  // folded text -> interned name
};

namespace {

bool usable(RuntimeContext* rt, const Namespace* ns) {
    return rt_usable(rt) && ns && !ns->destroyed;
}

Namespace* as_namespace(Value v) {
    return reinterpret_cast<Namespace*>(v);
}

ResultCode free_record(RuntimeContext* rt, Namespace* ns) {
    return value_free(rt, reinterpret_cast<Value>(ns));
}

// Frees the parts of a namespace that namespace_new made, releasing nothing.
void free_parts(RuntimeContext* rt, Namespace* ns) {
    symtab_destroy(rt, ns->definitions, nullptr);
    symtab_destroy(rt, ns->names, nullptr);
    symtab_destroy(rt, ns->owned, nullptr);
    list_destroy(rt, ns->children, true, nullptr);
    delete ns->name_index;
    free_record(rt, ns);
}

// A child outliving its parent must not point at the freed parent.
void orphan_children(RuntimeContext* rt, Namespace* ns) {
    for (Value cell = ns->children; !list_is_empty(rt, cell); cell = list_tail(rt, cell))
        as_namespace(list_head(rt, cell))->parent = nullptr;
}

}  // namespace

Namespace* namespace_new(RuntimeContext* rt, Namespace* parent, uint32_t bucket_count) {
    if (!rt_usable(rt) || bucket_count == 0 || (parent && parent->destroyed)) return nullptr;
    Namespace* ns = reinterpret_cast<Namespace*>(value_alloc(rt, sizeof(Namespace)));
    if (!ns) return nullptr;
    *ns = Namespace{symtab_new(rt, bucket_count),
                    symtab_new(rt, bucket_count),
                    symtab_new(rt, bucket_count),
                    parent,
                    list_empty(rt),
                    false,
                    new (std::nothrow) NameIndex};
    bool complete = ns->definitions && ns->names && ns->owned && ns->children && ns->name_index;
    if (complete && parent)
        complete = list_append(rt, reinterpret_cast<Value>(ns), parent->children) != 0;
    if (complete) return ns;
    free_parts(rt, ns);
    return nullptr;
}

ResultCode namespace_destroy(RuntimeContext* rt, Namespace* ns, ReleaseFn release_name,
                             ReleaseFn release_owned) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!ns) return RC_OK;
    if (ns->destroyed) return free_record(rt, ns);
    symtab_destroy(rt, ns->definitions, nullptr);
    symtab_destroy(rt, ns->names, release_name);
    symtab_destroy(rt, ns->owned, release_owned);
    if (ns->parent)
        list_remove_matching(rt, reinterpret_cast<Value>(ns), ns->parent->children, true,
                             symbol_identity_match, nullptr);
    orphan_children(rt, ns);
    list_destroy(rt, ns->children, true, nullptr);
    delete ns->name_index;
    ns->name_index = nullptr;
    ns->destroyed = true;
    return free_record(rt, ns);
}

Value ns_lookup(RuntimeContext* rt, Namespace* ns, Value name, HashFn hash, MatchFn match) {
    for (; usable(rt, ns); ns = ns->parent)
        if (Value v = symtab_find_value(rt, ns->definitions, name, hash, match)) return v;
    return 0;
}

ResultCode ns_define(RuntimeContext* rt, Namespace* ns, Value name, Value value, HashFn hash,
                     MatchFn match, HashFn own_hash, MatchFn own_match) {
    if (!usable(rt, ns)) return RC_NO_OBJECT;
    ResultCode rc = ns_record(rt, ns, value, own_hash, own_match);
    if (rc != RC_OK) return rc;
    return symtab_put(rt, ns->definitions, name, value, hash, match, nullptr);
}

ResultCode ns_undefine(RuntimeContext* rt, Namespace* ns, Value name, HashFn hash, MatchFn match) {
    if (!usable(rt, ns)) return RC_NO_OBJECT;
    return symtab_remove(rt, ns->definitions, name, hash, match, nullptr);
}

Value ns_intern_name(RuntimeContext* rt, Namespace* ns, std::string_view text) {
    if (!usable(rt, ns)) return 0;
    std::string key = text_fold(text);
    for (Namespace* at = ns; usable(rt, at); at = at->parent) {
        auto found = at->name_index->names.find(key);
        if (found != at->name_index->names.end()) return found->second;
    }
    Value fresh = string_new(rt, text);
    if (!fresh) return 0;
    if (symtab_push_new(rt, ns->names, fresh, fresh, symbol_text_hash) != RC_OK) {
        string_free(rt, fresh);
        return 0;
    }
    ns->name_index->names.emplace(std::move(key), fresh);
    return fresh;
}

bool ns_owns(RuntimeContext* rt, Namespace* ns, Value value, HashFn hash, MatchFn match) {
    for (; usable(rt, ns); ns = ns->parent)
        if (symtab_find_key(rt, ns->owned, value, hash, match)) return true;
    return false;
}

ResultCode ns_record(RuntimeContext* rt, Namespace* ns, Value value, HashFn hash, MatchFn match) {
    if (!usable(rt, ns)) return RC_NO_OBJECT;
    // Boxes belong to the context. A recorded ANY box would also make every
    // later value of its bucket look recorded under the identity-or-ANY match.
    if (!value_is_real(value) || value_is_boxed(value)) return RC_OK;
    if (ns_owns(rt, ns, value, hash, match)) return RC_OK;
    return symtab_put(rt, ns->owned, value, 0, symbol_identity_hash, symbol_identity_match,
                      nullptr);
}

ResultCode ns_record_value(RuntimeContext* rt, Namespace* ns, Value value) {
    return ns_record(rt, ns, value, symbol_identity_hash, symbol_identity_match);
}

ResultCode ns_rewind(RuntimeContext* rt, Namespace* ns) {
    if (!usable(rt, ns)) return RC_NO_OBJECT;
    return symtab_rewind(rt, ns->definitions);
}

Value ns_next(RuntimeContext* rt, Namespace* ns, bool want_value) {
    if (!usable(rt, ns)) return 0;
    return symtab_next(rt, ns->definitions, want_value);
}
