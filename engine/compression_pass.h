// The compression pass before an assignment: which components are stored
// compressed, their compressed copies in the product's working
// subdirectory (made again unless they carry their file's modification
// time and the file has not changed since they were made),
// and the size each takes on the disks.
#pragma once

#include <string_view>

#include "engine/run_context.h"

struct BiList;

// Brings every component's Compress? and stored size up to date for the
// product in `product_directory`; its lines go to the log at `depth`.
// RC_OK; RC_NO_DISKWARD_SUBDIR when the working subdirectory cannot be made; RC_INVALID_FILE_NAME
// (reported) when two files would share one compressed name; the copy's or the size query's code.
// *reported is set when the failure was reported here.
ResultCode compression_pass(RunContext* run, BiList* groups, std::string_view product_directory,
                            int depth, bool* reported);
