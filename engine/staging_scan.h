// The staging-area scan: walks a product's directory, matches every file
// with the components whose Source names it, corrects their sizes and
// reports "Superfluous" files and product files listed in the map.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "engine/directory_walk.h"
#include "engine/run_context.h"

struct BiList;

// A file the scan reported "Superfluous": its path below the product
// directory ("\" separated), its size and times.
struct SuperfluousFile {
    std::string relative;
    uint32_t size = 0;
    struct timespec modified = {};
    struct timespec changed = {};
};

// Scans `directory` at `depth` against `groups`. Turns run->modified on when
// a size changed (and rebuilds the volume maps of the groups concerned).
// Returns RC_OK after a complete walk; RC_UNABLE_TO_READ when a directory
// cannot be listed; the listing's failure code; after a complete walk, the
// code of an entry that stands for nothing when a component names it (RC_SIZE_TOO_LARGE
// for a file too large for a 32-bit size, RC_UNABLE_TO_READ for a directory reached again
// through a link, RC_INVALID_FILE_NAME for a path over 260 characters). With `superfluous`,
// every file reported "Superfluous" is appended to it in report order. With
// `ahead`, the entries are those of that walk of `directory`, started with
// scan_enters while the map was read; the lines are the same.
ResultCode scan_staging_area(RunContext* run, Namespace* reader_namespace, BiList* groups,
                             std::string_view directory, int depth,
                             std::vector<SuperfluousFile>* superfluous = nullptr,
                             WalkAhead* ahead = nullptr);

// True when the scan walks into the directory `entry`, which it decides
// from the entry alone: not the tool's own working subdirectory, nor one
// that cannot stand for a directory of the kit.
bool scan_enters(const WalkEntry& entry);
