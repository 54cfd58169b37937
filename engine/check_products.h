// Checking the products of a product file against the staging area: each
// product's map file read, its directory scanned, sizes corrected, the map
// file and the CD-ROM map file rewritten, and the version entries kept.
#pragma once

#include <string_view>

#include "engine/run_context.h"

struct BiList;

// Checks every product of `products` (or the -N product). Sets
// rc->modified when the product file must be written back. Returns the
// first failure of a product, or 1013 for a -N name that matches none.
ResultCode check_products(RunContext* rc, SymbolTable* atoms, BiList* products,
                          std::string_view directory, std::string_view base,
                          std::string_view extension, int depth);

// Checks one product against its directory `product_directory`, whose map
// file is `map_base`.`map_extension`. Sets rc->computed_size.
ResultCode check_product(RunContext* rc, Value product, std::string_view product_directory,
                         std::string_view map_base, std::string_view map_extension, int depth);
