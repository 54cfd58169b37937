// The engine's one walk over a directory: the search for the product file,
// the staging-area scan and replication list their entries through it. It
// passes over the file services' own temporary files, marks the entries
// that cannot stand for a file of a kit, and never enters a directory twice.
// Needs sys/directory, sys/paths and sys/text_file.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "sys/result_code.h"

// Why an entry cannot stand for a file or directory of a kit.
enum WalkProblem {
    WALK_SOUND,          // nothing is wrong with it
    WALK_TOO_LARGE,      // a file of 4 GiB or more: its size does not fit 32 bits
    WALK_VISITED,        // a directory already entered (reached again through a link)
    WALK_PATH_TOO_LONG,  // its path is over 260 characters
    WALK_NOT_REGULAR,    // neither a file nor a directory: a FIFO, a socket, a device
};

struct WalkEntry {
    std::string name;      // as the host spells it
    std::string relative;  // below the walked directory, "\" separated
    std::string full;      // the whole engine path
    uint32_t size = 0;     // 0 for a directory or a file too large
    struct timespec modified = {};
    struct timespec changed = {};  // the status-change time
    bool is_directory = false;
    WalkProblem problem = WALK_SOUND;
};

// What the visitor answers for an entry: go on (entering it, when it is a
// sound directory and the walk is recursive), go on without entering it, or
// end the walk.
enum WalkStep { WALK_ENTER, WALK_PASS, WALK_STOP };
using WalkVisitor = std::function<WalkStep(const WalkEntry&)>;

// Visits the entries of `directory` in listing order, a directory's own
// entries right after it when `recursive`. 0 after a complete walk or when
// the visitor ended it; RC_UNABLE_TO_READ when a directory cannot be listed; the listing's
// failure code when an entry cannot be examined. `status_ahead` threads may
// examine entries ahead of the visitor on a host slow to answer (see
// directory_open); the visits are the same.
ResultCode directory_walk(std::string_view directory, bool recursive, const WalkVisitor& visit,
                          unsigned status_ahead = 0);
