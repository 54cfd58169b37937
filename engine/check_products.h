// Checking the products of a product file against the staging area: each
// product's map file read, its directory scanned, sizes corrected, the map
// file and the CD-ROM map file rewritten, and the version entries kept.
#pragma once

#include <string_view>
#include <vector>

#include "engine/run_context.h"
#include "sys/paths.h"

struct BiList;

// The product file whose products are being checked: its atom table, its
// list of products and its path.
struct ProductFileContext {
    SymbolTable* atoms = nullptr;
    BiList* products = nullptr;
    PathParts file;  // directory, "", base name, extension
};

// Checks every product of `products`, the -N product, or, when `selection`
// is given, the products it holds. Sets
// rc->modified when the product file must be written back. A product's
// failure is reported under its map file and the first one is handed out
// in *product_failure. Returns the product file's own failure: 1013 for a
// -N name that matches none, 5 when the version product cannot be made.
ResultCode check_products(RunContext* rc, SymbolTable* atoms, BiList* products,
                          std::string_view directory, std::string_view base,
                          std::string_view extension, int depth, ResultCode* product_failure,
                          const std::vector<Value>* selection = nullptr);

// Checks one product of `product_file` against its directory
// `product_directory`, whose map file is `map_base`.`map_extension`, and,
// with -A or -W, assigns it to floppies when it is the run's top-level
// product (or judges its density map file when it is not). Sets
// rc->computed_size; sets rc->failure_reported when its failure was already
// reported under the file it concerns (a script file, a source).
ResultCode check_product(RunContext* rc, const ProductFileContext& product_file, Value product,
                         std::string_view product_directory, std::string_view map_base,
                         std::string_view map_extension, int depth);
