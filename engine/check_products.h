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
// run->modified when the product file must be written back. A product's
// failure is reported under its map file and the first one is handed out
// in *product_failure. Returns the product file's own failure: RC_UNKNOWN_PRODUCT_NAME for a
// -N name that matches none, RC_NO_OBJECT when the version product cannot be made.
ResultCode check_products(RunContext* run, SymbolTable* atoms, BiList* products,
                          std::string_view directory, std::string_view base,
                          std::string_view extension, int depth, ResultCode* product_failure,
                          const std::vector<Value>* selection = nullptr);

// What the check of one product found besides its result: the line of its
// map file the failure was found at (NO_LINE for none), whether the step that
// failed has already reported it under the file it concerns (a script file,
// a source), so that it is not reported twice, and the sum of its
// components' sizes as a number value of the runtime (0 when the map file
// gave none), which the caller releases.
struct CheckOutcome {
    int32_t line = NO_LINE;
    bool reported = false;
    Value size = 0;
};

// Checks one product of `product_file` against its directory
// `product_directory`, whose map file is `map_base`.`map_extension`, and,
// with -A or -W, assigns it to floppies when it is `top_level`, the run's
// own product (or judges its density map file when it is checked for
// another's). Returns its result; *outcome holds the rest.
ResultCode check_product(RunContext* run, const ProductFileContext& product_file, Value product,
                         std::string_view product_directory, std::string_view map_base,
                         std::string_view map_extension, int depth, bool top_level,
                         CheckOutcome* outcome);
