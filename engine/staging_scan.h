// The staging-area scan: walks a product's directory, matches every file
// with the components whose Source names it, corrects their sizes and
// reports "Superfluous" files and product files listed in the map.
#pragma once

#include <string_view>

#include "engine/run_context.h"

struct BiList;

// Scans `directory` at `depth` against `groups`. Turns rc->modified on when
// a size changed (and rebuilds the volume maps of the groups concerned).
// Returns 0 after a complete walk, RC_UNABLE_TO_READ when a directory
// cannot be listed, or the listing's failure code.
ResultCode scan_staging_area(RunContext* rc, Namespace* reader_namespace, BiList* groups,
                             std::string_view directory, int depth);
