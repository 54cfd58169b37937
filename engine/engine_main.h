// The engine's entry point and run control: reading the command line,
// the banner and usage, walking the named directory for the product file
// of the operating-system word, and handing that file on.
#pragma once

#include <string_view>

#include "engine/run_context.h"
#include "sys/paths.h"

// Runs the engine on an argument vector whose first word is the command
// name: engine_start, then, unless it stops the run, engine_run. Returns
// the run's result: a failure of the directory walk, or the first failure
// of a product file found by the walk.
ResultCode engine_main(RunContext* run, int argc, const char* const* argv);

// Resets the run, reads the argument vector into run->options (which nothing
// changes afterwards), takes the floppy root -D names and writes the banner
// and usage they ask for. False when nothing is to be processed; the run's
// result is then in run->result. A front end may act on the options (make
// the drive folder, say) before it calls engine_run.
bool engine_start(RunContext* run, int argc, const char* const* argv);

// Walks the directory the options name (with -J, replicates it and then
// checks the copy). Returns the run's result, as engine_main does.
ResultCode engine_run(RunContext* run);

// Walks the directory `path_join(parts)` at `depth` and processes the
// product file of the run's operating-system word. RC_OK after a complete
// listing (product-file failures are reported and kept in run->result);
// RC_UNABLE_TO_READ when the directory cannot be listed.
ResultCode engine_process_directory(RunContext* run, const PathParts& parts, int depth);

// Processes one product file. *error_line gets the line of the product
// file a failure was found at, else NO_LINE.
ResultCode engine_process_product_file(RunContext* run, std::string_view directory,
                                       std::string_view base, std::string_view extension, int depth,
                                       int32_t* error_line);
