// The arithmetic of laying files onto disks: the room left on the disk being
// filled, the reservation of the disk-1 files, the rule that puts one file
// whole or in segments onto one or more disks, and the closing summary line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/media_table.h"
#include "sys/result_code.h"

struct PlacementParameters {
    // The medium, the default one until set: the usable bytes of one disk,
    // the cluster every file and segment takes whole, and the most files or
    // segments one disk receives.
    uint32_t media_capacity = MEDIA_DEFAULT.media_capacity;
    uint32_t cluster_size = MEDIA_DEFAULT.cluster_size;
    uint32_t max_root_entries = MEDIA_DEFAULT.max_root_entries;
    uint32_t slop = 0;             // bytes held back on every disk (already in bytes)
    uint32_t min_split_space = 0;  // least (bytes left + slop) for a first segment on a disk
    bool no_split = false;         // a file whose Compress? is not TRUE is never split
};

struct DiskState {
    uint32_t disk_number = 1;
    uint32_t bytes_left = 0;  // room left for cluster-rounded data
    uint32_t bytes_used = 0;  // unrounded sizes of the files and final segments on this disk
    uint32_t files_on_disk = 0;
    bool disk_full = false;  // the last placement left exactly 0: the next starts a new disk
};

// Disk 1, fresh: bytes_left = media_capacity - slop (0 if slop > capacity),
// used 0, files 0, not full.
void disk_state_start(DiskState* disk, const PlacementParameters& p);

// The next disk: number + 1, bytes_left = media_capacity - slop (0 if slop >
// capacity), used 0, files 0. disk_full is left as it is.
void disk_state_next(DiskState* disk, const PlacementParameters& p);

struct Placement {
    uint32_t start_disk = 0;
    uint32_t disk_count = 0;
    std::vector<uint32_t> segments;  // cluster-rounded bytes per disk, in disk order
};

// Counts the disk-1 files (unrounded sizes) onto a fresh disk 1 with no
// per-file capacity check: each adds its size to bytes_used, its rounded size
// is taken from bytes_left, and files_on_disk grows by one. disk_full stays
// clear. Returns RC_NO_SPACE_WITHOUT_SPLITTING and leaves *disk as disk_state_start made it when
// the rounded total exceeds media_capacity - slop, the count exceeds max_root_entries, or the
// unrounded total does not fit 32 bits.
ResultCode disk_reserve(DiskState* disk, const PlacementParameters& p,
                        const std::vector<uint32_t>& sizes);

// Places one file of `size` bytes (unrounded) from the disk *disk describes
// on; `compressed` is the component's Compress?. *out is cleared first and
// receives the first disk, the number of disks and the rounded bytes put on
// each. Returns RC_OK; RC_NO_SPACE_WITHOUT_SPLITTING when a file that may not be split is larger
// than a fresh disk's room; RC_NO_SPACE_WITH_SPLIT_SIZE when a split file reaches a fresh disk
// whose room plus slop is below min_split_space, or whose room is 0. On failure *out and *disk may
// hold partial data; the caller stops the whole assignment. max_root_entries is taken to be at
// least 1.
ResultCode disk_place(DiskState* disk, const PlacementParameters& p, uint32_t size, bool compressed,
                      Placement* out);

// "N disks required.  U bytes used on disk N.  R bytes remain on disk N."
// with N the disk number, U bytes_used and R bytes_left + slop.
std::string disk_summary_text(const DiskState& disk, const PlacementParameters& p);
