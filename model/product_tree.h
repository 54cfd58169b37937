// The product tree: display nodes linked by the Parent column, every
// sibling chain in interface-label order, and the roll-up of sizes so
// that a parent's Size is its own bytes plus all its descendants'.
#pragma once

#include <string_view>

#include "model/product.h"

struct BiList;

// Links the display nodes of `list`. With an empty `product_name` returns
// the head of the chain of roots; otherwise the root of that name (and,
// with `mark_selection`, marks it selected and visible). nullptr when no
// root qualifies.
DisplayNode* product_tree_build(RuntimeContext* rt, BiList* list, std::string_view product_name,
                                bool mark_selection);

// Adds every product's descendants into its size, from `root` (and, with
// `whole_chain`, from each following sibling). A product whose size was not
// computed in this run is already a total: it is added as it stands.
// Returns RC_OK (also for no root); RC_SIZE_TOO_LARGE when the total of
// some product would pass 4294967295: that product keeps its former size,
// the first such one goes to *overflowed (when given, else 0 there), and
// every other product still gets its total; RC_NO_OBJECT when the context
// is unusable or memory runs out, which ends the roll-up.
ResultCode product_sizes_roll_up(RuntimeContext* rt, DisplayNode* root, bool whole_chain,
                                 Value* overflowed = nullptr);
