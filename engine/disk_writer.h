// Writing a product's disks after its assignment: the disk-1 files, then
// every component at the disks the assignment chose, in the pieces it
// chose, each disk asked for by its label through the copy engine.
#pragma once

#include <vector>

#include "engine/check_products.h"
#include "engine/disk_one_files.h"
#include "runtime/bidirectional_lists.h"

// Writes the disks of `product`, whose map file `map` holds the groups
// `groups` as assigned and whose disk-1 files are `first` (in order), with
// the front end's disk prompt of the run context. Before the first disk is
// asked for, every component is checked: RC_TOO_MANY_SEGMENTS for more than 20 segments or
// more pieces than piece names, RC_INVALID_FILE_NAME when two different files would get one
// name on one disk; either is reported under the component's Source at
// `depth` and nothing is written. RC_NO_VOLUME_LABEL when the product has no Volume; RC_NO_OBJECT
// when a StartDisk or TotalDisks is not a number; else the first failing
// copy's code (RC_USER_CANCELLED when the prompt is cancelled). A component whose Source
// has a directory part is not written; a line at `depth` says so. *reported
// is set when the failure was reported here under the file or disk it befell.
ResultCode disk_writer_write(RunContext* run, Value product, BiList* groups,
                             const std::vector<DiskOneFile>& first, const PathParts& map, int depth,
                             bool* reported);
