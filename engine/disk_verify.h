// Reading back the disks a run wrote, as an installer reads them: every
// file through the copy engine's reading direction (pieces joined from
// disk to disk, compressed files expanded), compared with its staging
// file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_context.h"

struct DiskVerification {
    uint32_t checked = 0;                 // files read back and compared
    std::vector<std::string> mismatches;  // one line each
};

// Reads back every file of run->disks_written into `scratch` (an engine
// path of a file the caller may overwrite) and compares it with its
// staging file. A file read from the staging area that no longer exists
// (the run's product table file) is skipped. 0 when every file was
// compared, whatever the comparison gave; RC_USER_CANCELLED when a disk prompt was
// cancelled.
ResultCode disk_verify(RunContext* run, std::string_view scratch, DiskVerification* out);
