// Writing a product's map files: the "Missing" report, the table itself,
// the fix-up that keeps the map file's own entry equal to the size of the
// file finally written, and the block-allocation check after an
// assignment. Also the clearing of a disk assignment before a CD-ROM map.
#pragma once

#include <string_view>

#include "engine/run_context.h"
#include "engine/script_file.h"
#include "sys/paths.h"

struct BiList;

// A product's map file as read: its tables and its groups.
struct MapReading {
    ScriptFile file;
    BiList* groups = nullptr;
    int32_t error_line = NO_LINE;  // the line reached for RC_UNABLE_TO_PARSE and RC_EMPTY
};

// Reads the map file `map` of `product` into *reading. RC_OK; RC_UNABLE_TO_READ (or the
// read's code) when it cannot be read whole; RC_UNABLE_TO_PARSE when its rows are not a
// group table; RC_EMPTY when it holds none. reading->error_line is the line
// reached for RC_UNABLE_TO_PARSE and RC_EMPTY, else NO_LINE.
ResultCode map_reading_open(RunContext* run, Value product, const PathParts& map,
                            MapReading* reading);
// Releases the groups and the file's tables.
void map_reading_close(RuntimeContext* rt, MapReading* reading);

// Writes the groups of a product whose map file base name is `map_base` to
// the file named by `out` (or, with `out` null, only reports missing
// files). Lines go to the log at `indent`. The file is written only when
// its text changed, keeping the former one as ".old" first with
// `keep_old`. Returns RC_OK; RC_FILE_NOT_FOUND when a component's file is missing (after the
// whole file was written); RC_MAP_FILE_SIZE_CHANGED when the block allocation check finds the
// map file's cluster count changed; the file services' code when the file
// cannot be written or its back-up made.
ResultCode map_file_write(RunContext* run, Namespace* reader_namespace, BiList* groups,
                          std::string_view map_base, const PathParts* out, int indent,
                          bool check_block_allocation, bool keep_old);

// Sets every component's Compress? false and its StartDisk and TotalDisks 0.
// *had tells whether any of them had Compress? true or a disk number. RC_OK, or
// the first setter's failure.
ResultCode map_clear_assignment(RuntimeContext* rt, BiList* groups, bool* had);

// True when `source` names the map file of base name `map_base`.
bool map_is_map_component(std::string_view source, std::string_view map_base);
