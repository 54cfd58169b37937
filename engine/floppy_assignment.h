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
// own). RC_OK; RC_FILE_NOT_FOUND when a verification file cannot be read;
// RC_DEPENDENT_PRODUCT_ERROR when a dependent product is not ready; RC_NO_DISKWARD_SUBDIR,
// RC_NO_SPACE_WITH_SPLIT_SIZE, RC_NO_SPACE_WITHOUT_SPLITTING, RC_MAP_FILE_SIZE_CHANGED,
// RC_NO_OBJECT, RC_UNABLE_TO_READ, RC_INVALID_FILE_NAME and the file services' codes as the steps
// give them. The product table file is gone afterwards whatever the outcome. *reported is set when
// the failure was already reported under the file it concerns.
ResultCode assign_product(RunContext* run, const ProductFileContext& pf, Value product,
                          MapReading* reading, const PathParts& map, int depth, bool* reported);
