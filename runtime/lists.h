// Lists: chains of cells {head, tail} ending in a sentinel cell whose head
// is empty; a list handle is its first cell, and the empty list is a
// sentinel alone. Also the script-level LIST value. Lists own their cells;
// elements are released only with the release operation a caller passes.
// Needs runtime_context.
#pragma once

#include <cstdint>

#include "runtime/callbacks.h"
#include "runtime/runtime_context.h"

struct ListCell {
    Value head;  // 0 in the sentinel
    Value tail;  // 0 in the sentinel
};

// A new cell; 0 when memory runs out.
Value list_cons(RuntimeContext* rt, Value head, Value tail);
// A new sentinel (the empty list); 0 when memory runs out.
Value list_empty(RuntimeContext* rt);
// True for the empty list and for an absent one.
bool list_is_empty(RuntimeContext* rt, Value list);
Value list_head(RuntimeContext* rt, Value list);
// The next cell; the empty list is its own tail.
Value list_tail(RuntimeContext* rt, Value list);
// Stores `value` in the sentinel and puts a new sentinel behind it, so the
// list handle never changes; returns the new sentinel (pass it back to
// append the next element at once). 0 for an absent list or value or when
// memory runs out; the list is then unchanged.
Value list_append(RuntimeContext* rt, Value value, Value list);
// The first cell whose head matches `probe`; 0 when none does.
Value list_find(RuntimeContext* rt, Value probe, Value list, MatchFn match);
// Same length and pairwise matching heads; true for the same handle.
bool list_equal(RuntimeContext* rt, Value a, Value b, MatchFn match);
uint32_t list_length(RuntimeContext* rt, Value list);
// Inserts `value` in front of the first element `e` with after(e, value),
// or at the end; returns the first cell (new when `value` went in front),
// or 0 when memory runs out (the list is then unchanged).
Value list_insert_ordered(RuntimeContext* rt, Value value, Value list, MatchFn after);
// Releases every element matching `probe`; its cell takes over the content
// of the next cell, which is freed when `free_cells` is set.
ResultCode list_remove_matching(RuntimeContext* rt, Value probe, Value list, bool free_cells,
                                MatchFn match, ReleaseFn release);
// A new list of copy(element) in order, leaving out copies that are 0 or
// is_void. With `record` and `stamp`, every cell of the new list is stamped
// and recorded in `ns`. 0 when memory runs out.
Value list_map(RuntimeContext* rt, Namespace* ns, Value list, CopyInFn copy, IsVoidFn is_void,
               RecordFn record, StampFn stamp);
// Merge two lists sorted ascending under `greater` into a new sorted list:
// the union keeps every element (equal heads combined); the difference keeps
// the elements only in `a` and the combinations of equal heads unless they
// are void (those are released). 0 when a copy or combination cannot be
// made; what was made so far is released with `release`.
Value list_union(RuntimeContext* rt, Value a, Value b, MatchFn equal, MatchFn greater,
                 IsVoidFn is_void, CopyFn copy, CombineFn combine, ReleaseFn release = nullptr);
Value list_difference(RuntimeContext* rt, Value a, Value b, MatchFn equal, MatchFn greater,
                      IsVoidFn is_void, CopyFn copy, CombineFn combine, ReleaseFn release);
// Releases the head of each cell with `release` (when given) and frees the
// cells; with `whole_list` false only the first cell.
ResultCode list_destroy(RuntimeContext* rt, Value list, bool whole_list, ReleaseFn release);
