// The engine's one walk over a directory: the search for the product file,
// the staging-area scan and replication list their entries through it. It
// passes over the file services' own temporary files, marks the entries
// that cannot stand for a file of a kit, and never enters a directory twice.
// A walk may also be made ahead on a thread of its own. Needs
// sys/directory, sys/paths, sys/text_file and sys/work_pool.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sys/result_code.h"
#include "sys/work_pool.h"

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
// entries right after it when `recursive`. RC_OK after a complete walk or when
// the visitor ended it; RC_UNABLE_TO_READ when a directory cannot be listed; the listing's
// failure code when an entry cannot be examined. `status_ahead` threads may
// examine entries ahead of the visitor on a host slow to answer (see
// directory_open); the visits are the same.
ResultCode directory_walk(std::string_view directory, bool recursive, const WalkVisitor& visit,
                          unsigned status_ahead = 0);

// A recursive walk made ahead, on a thread of its own, while its owner does
// other work (reads the map that the entries are matched against). It takes
// every entry the walk meets, entering the directories that `enters` picks
// from the entry alone; the visitor that is handed them later must answer
// for a directory as `enters` does.
struct WalkAhead {
    WorkPool pool;
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    std::atomic<bool> abandoned{false};
    std::string directory;
    unsigned status_ahead = 0;
    std::function<bool(const WalkEntry&)> enters;
    std::vector<WalkEntry> entries;
    ResultCode code = RC_OK;
};
// Starts the walk of `directory` (on the caller's thread, when visited,
// if no thread can be had).
void directory_walk_ahead_start(WalkAhead* ahead, std::string_view directory,
                                std::function<bool(const WalkEntry&)> enters,
                                unsigned status_ahead);
// Waits for the walk, then hands `visit` its entries in order: the visits
// and the code are those of directory_walk(directory, true, visit).
ResultCode directory_walk_ahead_visit(WalkAhead* ahead, const WalkVisitor& visit);
// Ends a walk whether or not it was visited (one not visited stops early).
void directory_walk_ahead_end(WalkAhead* ahead);
