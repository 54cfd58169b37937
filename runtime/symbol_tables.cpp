// Symbol lists and symbol tables.
#include "runtime/symbol_tables.h"

#include <new>
#include <string>
#include <unordered_map>

#include "runtime/strings.h"
#include "sys/text.h"

struct TextIndex {
    std::unordered_map<std::string, SymbolEntry*> entries;  // folded key text -> entry
};

namespace {

template <typename Record>
Record* record_new(RuntimeContext* rt, uint32_t size = sizeof(Record)) {
    return reinterpret_cast<Record*>(value_alloc(rt, size));
}

void record_free(RuntimeContext* rt, const void* record) {
    value_free(rt, reinterpret_cast<Value>(record));
}

// The first live entry whose key matches `key`.
SymbolEntry* find_entry(RuntimeContext* rt, SymbolList* list, Value key, MatchFn match) {
    if (!rt_usable(rt) || !list || !match) return nullptr;
    for (SymbolEntry* e = list->head; e; e = e->next)
        if (e->key && match(rt, key, e->key)) return e;
    return nullptr;
}

void release(RuntimeContext* rt, ReleaseFn release_key, Value key) {
    if (release_key && key) release_key(rt, key);
}

SymbolList* bucket_of(RuntimeContext* rt, SymbolTable* table, Value key, HashFn hash) {
    if (!rt_usable(rt) || !table || !hash) return nullptr;
    return &table->buckets[hash(rt, key, table->bucket_count) % table->bucket_count];
}

// Releases the keys of a chain from its last entry to its first and frees it.
void free_chain(RuntimeContext* rt, SymbolEntry* head, ReleaseFn release_key) {
    SymbolEntry* reversed = nullptr;
    while (head) {
        SymbolEntry* next = head->next;
        head->next = reversed;
        reversed = head;
        head = next;
    }
    while (reversed) {
        SymbolEntry* next = reversed->next;
        release(rt, release_key, reversed->key);
        record_free(rt, reversed);
        reversed = next;
    }
}

// Forgets the text index after a change it does not follow.
void drop_text_index(SymbolTable* table) {
    if (!table) return;
    delete table->text_index;
    table->text_index = nullptr;
}

// The table's text index, made from its live entries when there is none;
// where one folded text has several entries, the first of its bucket chain
// is the one indexed, as a walk of the chain would find it. nullptr when
// memory runs out.
TextIndex* text_index_of(RuntimeContext* rt, SymbolTable* table) {
    if (table->text_index) return table->text_index;
    TextIndex* index = new (std::nothrow) TextIndex;
    if (!index) return nullptr;
    for (uint32_t i = 0; i < table->bucket_count; ++i)
        for (SymbolEntry* e = table->buckets[i].head; e; e = e->next)
            if (e->key) index->entries.emplace(text_fold(string_view_of(rt, e->key)), e);
    table->text_index = index;
    return index;
}

// symtab_intern with the text hash and match, through the text index.
Value intern_text(RuntimeContext* rt, SymbolTable* table, SymbolList* bucket, Value key,
                  ReleaseFn release_key) {
    TextIndex* index = text_index_of(rt, table);
    if (!index) return key;
    std::string folded = text_fold(string_view_of(rt, key));
    auto found = index->entries.find(folded);
    if (found != index->entries.end()) {
        SymbolEntry* e = found->second;
        if (key != e->value) release(rt, release_key, key);
        return e->value;
    }
    SymbolEntry* e = record_new<SymbolEntry>(rt);
    if (!e) return key;
    *e = SymbolEntry{key, key, bucket->head};
    bucket->head = e;
    index->entries.emplace(std::move(folded), e);
    return key;
}

}  // namespace

uint32_t symbol_text_hash(RuntimeContext* rt, Value key, uint32_t size) {
    return string_hash(rt, key, size);
}

bool symbol_text_match(RuntimeContext* rt, Value probe, Value stored) {
    return string_equal(rt, probe, stored);
}

uint32_t symbol_raw_hash(RuntimeContext*, Value key, uint32_t size) {
    if (!key) return 0;
    return text_hash(reinterpret_cast<const char*>(key), size);
}

bool symbol_raw_match(RuntimeContext* rt, Value probe, Value stored) {
    const char* text = string_text(rt, stored);
    if (!probe || !text) return false;
    return text_equal_nocase(reinterpret_cast<const char*>(probe), text);
}

uint32_t symbol_identity_hash(RuntimeContext*, Value key, uint32_t size) {
    return size ? uint32_t(key % size) : 0;
}

bool symbol_identity_match(RuntimeContext*, Value probe, Value stored) {
    return probe == stored;
}

bool symbol_identity_or_any_match(RuntimeContext*, Value probe, Value stored) {
    return probe == stored || value_type(probe) == VT_ANY || value_type(stored) == VT_ANY;
}

SymbolList* symlist_new(RuntimeContext* rt) {
    SymbolList* list = record_new<SymbolList>(rt);
    if (list) *list = SymbolList{nullptr, nullptr};
    return list;
}

ResultCode symlist_destroy(RuntimeContext* rt, SymbolList* list, ReleaseFn release_key) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!list) return RC_OK;
    free_chain(rt, list->head, release_key);
    record_free(rt, list);
    return RC_OK;
}

Value symlist_find_value(RuntimeContext* rt, SymbolList* list, Value key, MatchFn match) {
    SymbolEntry* e = find_entry(rt, list, key, match);
    return e ? e->value : 0;
}

ResultCode symlist_put(RuntimeContext* rt, SymbolList* list, Value key, Value value, MatchFn match,
                       ReleaseFn release_key) {
    if (!rt_usable(rt) || !list || !key) return RC_NO_OBJECT;
    if (SymbolEntry* e = find_entry(rt, list, key, match)) {
        e->value = value;
        // The entry keeps the key it was first put with.
        if (key != e->key) release(rt, release_key, key);
        return RC_OK;
    }
    SymbolEntry* e = record_new<SymbolEntry>(rt);
    if (!e) return RC_NO_OBJECT;
    *e = SymbolEntry{key, value, list->head};
    list->head = e;
    return RC_OK;
}

ResultCode symlist_remove(RuntimeContext* rt, SymbolList* list, Value key, MatchFn match,
                          ReleaseFn release_key) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    SymbolEntry* e = find_entry(rt, list, key, match);
    if (!e) return RC_OK;
    release(rt, release_key, e->key);
    e->key = 0;
    e->value = 0;
    return RC_OK;
}

ResultCode symlist_rewind(RuntimeContext* rt, SymbolList* list) {
    if (!rt_usable(rt) || !list) return RC_NO_OBJECT;
    list->cursor = list->head;
    return RC_OK;
}

Value symlist_next(RuntimeContext* rt, SymbolList* list, bool want_value) {
    if (!rt_usable(rt) || !list) return 0;
    for (;;) {
        SymbolEntry* e = list->cursor;
        if (!e) {
            list->cursor = list->head;
            return 0;
        }
        list->cursor = e->next;
        Value answer = want_value ? e->value : e->key;
        if (answer) return answer;
    }
}

SymbolTable* symtab_new(RuntimeContext* rt, uint32_t bucket_count) {
    if (bucket_count == 0 || uint64_t(bucket_count) * sizeof(SymbolList) > UINT32_MAX)
        return nullptr;
    SymbolTable* table = record_new<SymbolTable>(rt);
    if (!table) return nullptr;
    SymbolList* buckets = record_new<SymbolList>(rt, uint32_t(bucket_count * sizeof(SymbolList)));
    if (!buckets) {
        record_free(rt, table);
        return nullptr;
    }
    for (uint32_t i = 0; i < bucket_count; ++i) buckets[i] = SymbolList{nullptr, nullptr};
    *table = SymbolTable{buckets, 0, bucket_count, nullptr};
    return table;
}

ResultCode symtab_destroy(RuntimeContext* rt, SymbolTable* table, ReleaseFn release_key) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!table) return RC_OK;
    for (uint32_t i = 0; i < table->bucket_count; ++i)
        free_chain(rt, table->buckets[i].head, release_key);
    drop_text_index(table);
    record_free(rt, table->buckets);
    record_free(rt, table);
    return RC_OK;
}

Value symtab_find_key(RuntimeContext* rt, SymbolTable* table, Value key, HashFn hash,
                      MatchFn match) {
    SymbolEntry* e = find_entry(rt, bucket_of(rt, table, key, hash), key, match);
    return e ? e->key : 0;
}

Value symtab_find_value(RuntimeContext* rt, SymbolTable* table, Value key, HashFn hash,
                        MatchFn match) {
    return symlist_find_value(rt, bucket_of(rt, table, key, hash), key, match);
}

ResultCode symtab_put(RuntimeContext* rt, SymbolTable* table, Value key, Value value, HashFn hash,
                      MatchFn match, ReleaseFn release_key) {
    drop_text_index(table);
    return symlist_put(rt, bucket_of(rt, table, key, hash), key, value, match, release_key);
}

ResultCode symtab_push_new(RuntimeContext* rt, SymbolTable* table, Value key, Value value,
                           HashFn hash) {
    SymbolList* bucket = bucket_of(rt, table, key, hash);
    if (!bucket || !key) return RC_NO_OBJECT;
    drop_text_index(table);
    SymbolEntry* e = record_new<SymbolEntry>(rt);
    if (!e) return RC_NO_OBJECT;
    *e = SymbolEntry{key, value, bucket->head};
    bucket->head = e;
    return RC_OK;
}

ResultCode symtab_remove(RuntimeContext* rt, SymbolTable* table, Value key, HashFn hash,
                         MatchFn match, ReleaseFn release_key) {
    drop_text_index(table);
    return symlist_remove(rt, bucket_of(rt, table, key, hash), key, match, release_key);
}

Value symtab_intern(RuntimeContext* rt, SymbolTable* table, Value key, HashFn hash, MatchFn match,
                    ReleaseFn release_key) {
    SymbolList* bucket = bucket_of(rt, table, key, hash);
    if (!bucket || !key) return 0;
    if (hash == symbol_text_hash && match == symbol_text_match)
        return intern_text(rt, table, bucket, key, release_key);
    drop_text_index(table);
    if (SymbolEntry* e = find_entry(rt, bucket, key, match)) {
        if (key != e->value) release(rt, release_key, key);
        return e->value;
    }
    symlist_put(rt, bucket, key, key, match, release_key);
    return key;
}

ResultCode symtab_rewind(RuntimeContext* rt, SymbolTable* table) {
    if (!rt_usable(rt) || !table) return RC_NO_OBJECT;
    table->cursor_bucket = 0;
    return symlist_rewind(rt, &table->buckets[0]);
}

Value symtab_next(RuntimeContext* rt, SymbolTable* table, bool want_value) {
    if (!rt_usable(rt) || !table) return 0;
    for (;;) {
        Value answer = symlist_next(rt, &table->buckets[table->cursor_bucket], want_value);
        if (answer) return answer;
        if (table->cursor_bucket + 1 >= table->bucket_count) {
            symtab_rewind(rt, table);
            return 0;
        }
        ++table->cursor_bucket;
        symlist_rewind(rt, &table->buckets[table->cursor_bucket]);
    }
}
