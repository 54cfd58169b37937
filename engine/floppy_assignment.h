// Floppy assignment of a run's top-level product: its dependent products
// checked first, its density map file looked up, the compression pass,
// the disk-1 files, the placement of every component with its summary
// line, the density map file written with the block-allocation check, and
// the layout left for the front ends.
#pragma once

#include "engine/check_products.h"
#include "engine/map_files.h"

// Assigns `product`, whose map file `map` was read into `reading` and
// checked, to disks. Its lines go to the log at `depth` (the product's
// own). 0; 22 when a verification file cannot be read; 1011 when a
// dependent product is not ready; 1017, 1005, 1006, 1007, 5, 20, 23 and
// the file services' codes as the steps give them. The product table
// file is gone afterwards whatever the outcome. *reported is set when the
// failure was already reported under the file it concerns.
ResultCode assign_product(RunContext* rc, const ProductFileContext& pf, Value product,
                          MapReading* reading, const PathParts& map, int depth, bool* reported);
