// Lists with a sentinel cell, and the script-level LIST value.
#include "runtime/lists.h"

namespace {

ListCell* cell_of(Value list) {
    return value_record<ListCell>(list);
}

bool present(RuntimeContext* rt, Value list) {
    return rt_usable(rt) && value_is_real(list);
}

void release_element(RuntimeContext* rt, ReleaseFn release, Value v) {
    if (release && v) release(rt, v);
}

bool counts_as_void(IsVoidFn is_void, Value v) {
    return !v || (is_void && is_void(v));
}

// A new list being filled at its end.
struct ListBuilder {
    Value first;
    Value end;  // the sentinel
};

bool builder_start(RuntimeContext* rt, ListBuilder* builder) {
    builder->first = builder->end = list_empty(rt);
    return builder->first != 0;
}

bool builder_add(RuntimeContext* rt, ListBuilder* builder, Value v) {
    Value end = list_append(rt, v, builder->end);
    if (!end) return false;
    builder->end = end;
    return true;
}

// Adds a copy or combination unless it is void (a void one is released).
bool builder_add_unless_void(RuntimeContext* rt, ListBuilder* builder, Value v, IsVoidFn is_void,
                             ReleaseFn release) {
    if (counts_as_void(is_void, v)) {
        release_element(rt, release, v);
        return true;
    }
    if (builder_add(rt, builder, v)) return true;
    release_element(rt, release, v);
    return false;
}

// The merge behind list_union (is_union set) and list_difference.
Value list_merge(RuntimeContext* rt, Value a, Value b, MatchFn equal, MatchFn greater,
                 IsVoidFn is_void, CopyFn copy, CombineFn combine, ReleaseFn release,
                 bool is_union) {
    if (!present(rt, a) || !present(rt, b) || !equal || !greater || !copy || !combine) return 0;
    ListBuilder out;
    if (!builder_start(rt, &out)) return 0;
    bool failed = false;
    for (;;) {
        Value ha = list_head(rt, a), hb = list_head(rt, b);
        if (!ha && (!hb || !is_union)) break;
        Value made = 0;
        if (ha && hb && equal(rt, ha, hb)) {
            made = combine(rt, ha, hb);
            if (!made) {
                failed = true;
                break;
            }
            a = list_tail(rt, a);
            b = list_tail(rt, b);
        } else if (!ha || (hb && greater(rt, ha, hb))) {
            b = list_tail(rt, b);
            if (!is_union) continue;
            made = copy(rt, hb);
        } else {
            made = copy(rt, ha);
            a = list_tail(rt, a);
        }
        if (!builder_add_unless_void(rt, &out, made, is_void, release)) {
            failed = true;
            break;
        }
    }
    if (!failed) return out.first;
    list_destroy(rt, out.first, true, release);
    return 0;
}

}  // namespace

Value list_cons(RuntimeContext* rt, Value head, Value tail) {
    Value cell = value_alloc(rt, sizeof(ListCell));
    if (cell) *cell_of(cell) = ListCell{head, tail};
    return cell;
}

Value list_empty(RuntimeContext* rt) {
    return list_cons(rt, 0, 0);
}

bool list_is_empty(RuntimeContext* rt, Value list) {
    return !present(rt, list) || cell_of(list)->head == 0;
}

Value list_head(RuntimeContext* rt, Value list) {
    return present(rt, list) ? cell_of(list)->head : 0;
}

Value list_tail(RuntimeContext* rt, Value list) {
    if (!present(rt, list)) return 0;
    return cell_of(list)->head ? cell_of(list)->tail : list;
}

Value list_append(RuntimeContext* rt, Value value, Value list) {
    if (!present(rt, list) || !value) return 0;
    while (cell_of(list)->head) list = cell_of(list)->tail;
    Value sentinel = list_empty(rt);
    if (!sentinel) return 0;
    *cell_of(list) = ListCell{value, sentinel};
    return sentinel;
}

Value list_find(RuntimeContext* rt, Value probe, Value list, MatchFn match) {
    if (!present(rt, list) || !match) return 0;
    for (; cell_of(list)->head; list = cell_of(list)->tail)
        if (match(rt, probe, cell_of(list)->head)) return list;
    return 0;
}

bool list_equal(RuntimeContext* rt, Value a, Value b, MatchFn match) {
    if (!present(rt, a) || !present(rt, b) || !match) return false;
    if (a == b) return true;
    for (; cell_of(a)->head && cell_of(b)->head; a = cell_of(a)->tail, b = cell_of(b)->tail)
        if (!match(rt, cell_of(a)->head, cell_of(b)->head)) return false;
    return !cell_of(a)->head && !cell_of(b)->head;
}

uint32_t list_length(RuntimeContext* rt, Value list) {
    uint32_t length = 0;
    for (; !list_is_empty(rt, list); list = cell_of(list)->tail) ++length;
    return length;
}

Value list_insert_ordered(RuntimeContext* rt, Value value, Value list, MatchFn after) {
    if (!present(rt, list) || !value || !after) return 0;
    Value previous = 0;
    Value cell = list;
    while (cell_of(cell)->head && !after(rt, cell_of(cell)->head, value)) {
        previous = cell;
        cell = cell_of(cell)->tail;
    }
    if (!cell_of(cell)->head) return list_append(rt, value, cell) ? list : 0;
    Value fresh = list_cons(rt, value, cell);
    if (!fresh) return 0;
    if (!previous) return fresh;
    cell_of(previous)->tail = fresh;
    return list;
}

ResultCode list_remove_matching(RuntimeContext* rt, Value probe, Value list, bool free_cells,
                                MatchFn match, ReleaseFn release) {
    if (!present(rt, list) || !match) return RC_NO_OBJECT;
    while (cell_of(list)->head) {
        if (!match(rt, probe, cell_of(list)->head)) {
            list = cell_of(list)->tail;
            continue;
        }
        release_element(rt, release, cell_of(list)->head);
        Value next = cell_of(list)->tail;
        *cell_of(list) = *cell_of(next);
        if (free_cells) value_free(rt, next);
    }
    return RC_OK;
}

Value list_map(RuntimeContext* rt, Namespace* ns, Value list, CopyInFn copy, IsVoidFn is_void,
               RecordFn record, StampFn stamp) {
    if (!present(rt, list) || !copy) return 0;
    ListBuilder out;
    if (!builder_start(rt, &out)) return 0;
    for (; cell_of(list)->head; list = cell_of(list)->tail) {
        Value made = copy(rt, ns, cell_of(list)->head);
        if (counts_as_void(is_void, made)) continue;
        if (!builder_add(rt, &out, made)) {
            list_destroy(rt, out.first, true, nullptr);
            return 0;
        }
    }
    if (!record || !stamp) return out.first;
    for (Value cell = out.first; cell; cell = cell_of(cell)->tail) {
        stamp(rt, cell);
        if (record(rt, ns, cell) == RC_OK) continue;
        // The cells from here on belong to nobody yet; the earlier ones are the namespace's.
        list_destroy(rt, cell, true, nullptr);
        return 0;
    }
    return out.first;
}

Value list_union(RuntimeContext* rt, Value a, Value b, MatchFn equal, MatchFn greater,
                 IsVoidFn is_void, CopyFn copy, CombineFn combine, ReleaseFn release) {
    return list_merge(rt, a, b, equal, greater, is_void, copy, combine, release, true);
}

Value list_difference(RuntimeContext* rt, Value a, Value b, MatchFn equal, MatchFn greater,
                      IsVoidFn is_void, CopyFn copy, CombineFn combine, ReleaseFn release) {
    return list_merge(rt, a, b, equal, greater, is_void, copy, combine, release, false);
}

ResultCode list_destroy(RuntimeContext* rt, Value list, bool whole_list, ReleaseFn release) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    while (value_is_real(list)) {
        Value next = cell_of(list)->tail;
        release_element(rt, release, cell_of(list)->head);
        value_free(rt, list);
        if (!whole_list) break;
        list = next;
    }
    return RC_OK;
}
