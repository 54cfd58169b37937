// The engine's entry point and run control: reading the command line,
// the banner and usage, walking the named directory for the product file
// of the operating-system word, and handing that file on.
#pragma once

#include <string_view>

#include "engine/run_context.h"
#include "sys/paths.h"

// Runs the engine on an argument vector whose first word is the command
// name. Returns the run's result: a failure of the directory walk, or the
// first failure of a product file found by the walk.
ResultCode engine_main(RunContext* rc, int argc, const char* const* argv);

// Walks the directory `path_join(parts)` at `depth` and processes the
// product file of the run's operating-system word. 0 after a complete
// listing (product-file failures are reported and kept in rc->result);
// RC_UNABLE_TO_READ when the directory cannot be listed.
ResultCode engine_process_directory(RunContext* rc, const PathParts& parts, int depth);

// Processes one product file.
ResultCode engine_process_product_file(RunContext* rc, std::string_view directory,
                                       std::string_view base, std::string_view extension,
                                       int depth);
