// Products that a product depends on: the product references of its
// verification file (".vrf", beside its map file), the breadth-first list
// of dependent products with the cycle flag, and the products' directories.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_context.h"

struct BiList;

// The product of `products` named `name` (letters folded), or 0.
Value product_named(RuntimeContext* rt, BiList* products, std::string_view name);
// The directory of `product`: `directory` (the product file's) joined with
// its Location.
std::string product_directory(RuntimeContext* rt, std::string_view directory, Value product);

// Reads the verification file of `product` and hands `found` each product
// of `products` that one of its name tokens names, in file order; other
// tokens are passed over, and a lexical error ends the file as its end
// does. RC_OK; RC_FILE_NOT_FOUND when the file cannot be opened, or the read's code when it
// cannot be read whole; a failure is reported under the file at `depth`.
ResultCode product_references_read(RunContext* run, BiList* products, std::string_view directory,
                                   Value product, int depth,
                                   const std::function<void(Value)>& found);

// The products that `product` depends on, breadth first in order of
// discovery, each once, never `product` itself nor a version product (the
// run's one or one named "instver"). Sets run->dependency_flag when the
// verification file of a product on the list names `product`. A failure of
// product_references_read (reported at depth + 2) leaves *list empty.
ResultCode dependency_list_build(RunContext* run, BiList* products, std::string_view directory,
                                 Value product, int depth, std::vector<Value>* list);

// True when `name` names a version product: the run's, or "instver".
bool names_version_product(const RunContext* run, std::string_view name);
