// Reading the engine's command-line options into RunOptions: the
// option table, the operating-system words, the media and size checks, and
// the usage text that describes them.
#pragma once

#include <string_view>

#include "engine/run_context.h"

// Reads the option at argv[*index] (and its value, when it takes one).
// Returns RC_OK with *index on the last argument consumed; RC_INVALID_SLOP_SIZE
// or RC_INVALID_SPLIT_SIZE as warnings; with *proceed turned off (reading
// stops at once and nothing is processed): RC_INVALID_MEDIA_SIZE for a -Z
// name outside the media table, RC_INVALID_FILE_NAME for a value longer than
// its field, *index then on that value. With `cd_image` (the run writes a
// CD-ROM image) -N names several products, as in replication.
ResultCode engine_parse_option(RunOptions* options, bool cd_image, int argc,
                               const char* const* argv, int* index, bool* proceed);

// True when `word` is one of the operating-system words -o knows ("dos",
// "netware", "os2", "nt", "windows", "win95"), letters folded.
bool os_word_known(std::string_view word);

// Writes the usage text line by line.
void engine_write_usage(OutputLog* log);
