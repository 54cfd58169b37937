// Checking the products of a product file against the staging area: each
// product's map file read, its directory scanned, sizes corrected, the map
// file and the CD-ROM map file rewritten, and the version entries kept.
#pragma once

#include <string_view>

#include "engine/run_context.h"

struct BiList;

// Checks every product of `products` (or the -N product). Sets
// rc->modified when the product file must be written back. A product's
// failure is reported under its map file and the first one is handed out
// in *product_failure. Returns the product file's own failure: 1013 for a
// -N name that matches none, 5 when the version product cannot be made.
ResultCode check_products(RunContext* rc, SymbolTable* atoms, BiList* products,
                          std::string_view directory, std::string_view base,
                          std::string_view extension, int depth, ResultCode* product_failure);

// Checks one product against its directory `product_directory`, whose map
// file is `map_base`.`map_extension`. Sets rc->computed_size; sets
// rc->failure_reported when its failure was already reported under the
// file it concerns (a script file).
ResultCode check_product(RunContext* rc, Value product, std::string_view product_directory,
                         std::string_view map_base, std::string_view map_extension, int depth);
