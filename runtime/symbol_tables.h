// Symbol lists (short key-value chains, newest first) and symbol tables (a
// fixed array of symbol lists addressed by a hash). Neither stores its hash
// or match function: every call is given them, so one table can hold
// identity keys or text keys. Needs runtime_context and strings.
#pragma once

#include <cstdint>

#include "runtime/callbacks.h"
#include "runtime/runtime_context.h"

struct SymbolEntry {
    Value key;    // 0 once removed
    Value value;  // 0 once removed
    SymbolEntry* next;
};

struct SymbolList {
    SymbolEntry* head;
    SymbolEntry* cursor;  // next entry of an iteration; none when it has ended
};

struct TextIndex;

struct SymbolTable {
    SymbolList* buckets;  // bucket_count lists
    uint32_t cursor_bucket;
    uint32_t bucket_count;
    // The keys interned with the text hash and match, by folded text, so
    // that interning into a table of few buckets (an atom table) does not
    // walk a bucket chain. Made by the first such intern from the entries
    // then held; dropped by any other change of the table, to be made again
    // when next needed; owned, holds no keys of its own.
    TextIndex* text_index;
};

// The hash and match pairs the tables are used with.
// Text: string values, hashed with string_hash and matched with string_equal.
uint32_t symbol_text_hash(RuntimeContext* rt, Value key, uint32_t size);
bool symbol_text_match(RuntimeContext* rt, Value probe, Value stored);
// Raw text: the probe is a plain NUL-terminated text (a const char* as a
// Value), the stored key a string value; same hash, case-insensitive match.
uint32_t symbol_raw_hash(RuntimeContext* rt, Value key, uint32_t size);
bool symbol_raw_match(RuntimeContext* rt, Value probe, Value stored);
// Identity: the handle itself.
uint32_t symbol_identity_hash(RuntimeContext* rt, Value key, uint32_t size);
bool symbol_identity_match(RuntimeContext* rt, Value probe, Value stored);
// Identity or ANY: the same handle, or either one of type ANY.
bool symbol_identity_or_any_match(RuntimeContext* rt, Value probe, Value stored);

// A new empty list; nullptr when memory runs out.
SymbolList* symlist_new(RuntimeContext* rt);
// Releases every key with `release_key` (last entry first), frees the
// entries and the header. Values are not released.
ResultCode symlist_destroy(RuntimeContext* rt, SymbolList* list, ReleaseFn release_key);
// The value of the first entry from the front whose key matches.
Value symlist_find_value(RuntimeContext* rt, SymbolList* list, Value key, MatchFn match);
// Stores `value` under a matching key (releasing the key just passed, unless
// it is the stored handle itself) or pushes a new entry to the front.
// RC_NO_OBJECT when memory runs out; the list is then unchanged.
ResultCode symlist_put(RuntimeContext* rt, SymbolList* list, Value key, Value value, MatchFn match,
                       ReleaseFn release_key);
// Releases the matching entry's key and empties its key and value; the
// entry stays in the chain and iteration skips it.
ResultCode symlist_remove(RuntimeContext* rt, SymbolList* list, Value key, MatchFn match,
                          ReleaseFn release_key);
ResultCode symlist_rewind(RuntimeContext* rt, SymbolList* list);
// The next live entry's value (or key); 0 when the iteration has ended, after
// which the next call starts over.
Value symlist_next(RuntimeContext* rt, SymbolList* list, bool want_value);

// A table of `bucket_count` empty lists; nullptr for 0 buckets or when memory runs out.
SymbolTable* symtab_new(RuntimeContext* rt, uint32_t bucket_count);
ResultCode symtab_destroy(RuntimeContext* rt, SymbolTable* table, ReleaseFn release_key);
Value symtab_find_key(RuntimeContext* rt, SymbolTable* table, Value key, HashFn hash,
                      MatchFn match);
Value symtab_find_value(RuntimeContext* rt, SymbolTable* table, Value key, HashFn hash,
                        MatchFn match);
ResultCode symtab_put(RuntimeContext* rt, SymbolTable* table, Value key, Value value, HashFn hash,
                      MatchFn match, ReleaseFn release_key);
// Puts an entry that the caller knows is not in the table yet, at the front
// of its bucket, without searching the bucket first.
ResultCode symtab_push_new(RuntimeContext* rt, SymbolTable* table, Value key, Value value,
                           HashFn hash);
ResultCode symtab_remove(RuntimeContext* rt, SymbolTable* table, Value key, HashFn hash,
                         MatchFn match, ReleaseFn release_key);
// The value already held for a matching key (releasing the key just passed,
// unless it is that same handle), or the key itself after entering
// {key, key}. When memory runs out the key comes back without being entered.
// With the text hash and match the key is found through the table's text
// index, with the answer a walk of its bucket would give.
Value symtab_intern(RuntimeContext* rt, SymbolTable* table, Value key, HashFn hash, MatchFn match,
                    ReleaseFn release_key);
ResultCode symtab_rewind(RuntimeContext* rt, SymbolTable* table);
// The next live entry over all buckets in order; 0 once after the last,
// after which the next call starts again from the first bucket.
Value symtab_next(RuntimeContext* rt, SymbolTable* table, bool want_value);
