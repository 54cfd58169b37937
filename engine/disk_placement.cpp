// The placement of files onto disks. Rounded sizes are carried in 64 bits: a
// file of nearly 4 GiB rounds up past 32 bits, and bytes left + slop may too.
// A slop that is no whole number of clusters makes segments that are not
// either; the arithmetic stays exact and never wraps in that case as well.
#include "engine/disk_placement.h"

#include <cassert>
#include <cstdint>

#include "media/media_table.h"

namespace {

// The room of a fresh disk: what the medium holds less the slop.
uint32_t fresh_room(const PlacementParameters& p) {
    return p.slop > p.media_capacity ? 0 : p.media_capacity - p.slop;
}

// The room left on the disk plus the slop, the measure min_split_space is
// compared with.
uint64_t room_with_slop(const DiskState& disk, const PlacementParameters& p) {
    return uint64_t(disk.bytes_left) + p.slop;
}

// bytes_used only ever holds sizes whose rounded total fitted one disk, so
// the sum stays within 32 bits for any state these functions made; a state
// made elsewhere saturates rather than wraps.
uint32_t add_used(uint32_t used, uint64_t size) {
    uint64_t sum = uint64_t(used) + size;
    return sum > UINT32_MAX ? UINT32_MAX : uint32_t(sum);
}

// Puts the rest of a file (`rounded` bytes, `size` of them data) on the
// current disk, which has room for it: it closes the file there.
void put_last(DiskState* disk, uint64_t rounded, uint64_t size, Placement* out) {
    assert(rounded <= disk->bytes_left);
    out->segments.push_back(uint32_t(rounded));
    disk->bytes_left -= uint32_t(rounded);
    disk->bytes_used = add_used(disk->bytes_used, size);
    disk->files_on_disk += 1;
}

// Fills the rest of the current disk with a segment of the file. Only the
// final segment of a file counts towards bytes_used, so the data size left
// just shrinks by the segment; it cannot go below 0 even when a segment that
// is no whole number of clusters holds more than the data that remained.
void put_filling_segment(DiskState* disk, uint64_t* rounded, uint64_t* size, Placement* out) {
    // A segment is never empty, and never the rest of the file: that is put_last's.
    assert(disk->bytes_left > 0 && disk->bytes_left < *rounded);
    uint32_t segment = disk->bytes_left;
    out->segments.push_back(segment);
    *rounded -= segment;
    *size = *size > segment ? *size - segment : 0;
    disk->bytes_left = 0;
    disk->files_on_disk += 1;
}

ResultCode finish(Placement* out, ResultCode code) {
    out->disk_count = uint32_t(out->segments.size());
    return code;
}

// What a placement that succeeded holds: one segment on each disk from the
// first to the current one, together the file's rounded size.
[[maybe_unused]] bool placed_whole(const DiskState& disk, const Placement& out, uint64_t rounded) {
    uint64_t total = 0;
    for (uint32_t segment : out.segments) total += segment;
    return out.disk_count >= 1 && out.start_disk + out.disk_count - 1 == disk.disk_number &&
           total == rounded;
}

}  // namespace

void disk_state_start(DiskState* disk, const PlacementParameters& p) {
    disk->disk_number = 1;
    disk->bytes_left = fresh_room(p);
    disk->bytes_used = 0;
    disk->files_on_disk = 0;
    disk->disk_full = false;
}

void disk_state_next(DiskState* disk, const PlacementParameters& p) {
    disk->disk_number += 1;
    disk->bytes_left = fresh_room(p);
    disk->bytes_used = 0;
    disk->files_on_disk = 0;
}

ResultCode disk_reserve(DiskState* disk, const PlacementParameters& p,
                        const std::vector<uint32_t>& sizes) {
    disk_state_start(disk, p);
    if (sizes.size() > p.max_root_entries) return RC_NO_SPACE_WITHOUT_SPLITTING;
    uint64_t rounded = 0;
    uint64_t used = 0;
    for (uint32_t size : sizes) {
        rounded += media_round_to_cluster(size, p.cluster_size);
        used += size;
        // Stopping at the first excess keeps the sums far from 64 bits.
        if (rounded > disk->bytes_left || used > UINT32_MAX) return RC_NO_SPACE_WITHOUT_SPLITTING;
    }
    disk->bytes_left -= uint32_t(rounded);
    disk->bytes_used = uint32_t(used);
    disk->files_on_disk = uint32_t(sizes.size());
    return RC_OK;
}

// Places the file as disk_place tells; disk_place then checks what it made.
static ResultCode place(DiskState* disk, const PlacementParameters& p, uint32_t size,
                        bool compressed, Placement* out) {
    *out = Placement{};
    uint64_t rounded = media_round_to_cluster(size, p.cluster_size);
    uint64_t data = size;

    if (disk->disk_full) {
        disk_state_next(disk, p);
        disk->disk_full = false;
    }

    // The whole file on the current disk.
    if (disk->bytes_left >= rounded && disk->files_on_disk < p.max_root_entries) {
        out->start_disk = disk->disk_number;
        put_last(disk, rounded, data, out);
        if (disk->bytes_left == 0) disk->disk_full = true;
        return finish(out, RC_OK);
    }

    // A file that may not be split, or one that has the space but no file
    // entry left here, goes whole onto a fresh disk. That disk is not marked
    // full even when the file fills it.
    if ((p.no_split && !compressed) || disk->bytes_left >= rounded) {
        disk_state_next(disk, p);
        out->start_disk = disk->disk_number;
        if (disk->bytes_left < rounded) return finish(out, RC_NO_SPACE_WITHOUT_SPLITTING);
        put_last(disk, rounded, data, out);
        return finish(out, RC_OK);
    }

    // Split. A first segment goes on the current disk only where enough room
    // is left and an entry is free; a segment of 0 bytes is never made.
    out->start_disk = disk->disk_number;
    bool started = false;
    if (room_with_slop(*disk, p) >= p.min_split_space && disk->files_on_disk < p.max_root_entries &&
        disk->bytes_left > 0) {
        put_filling_segment(disk, &rounded, &data, out);
        started = true;
    }
    disk_state_next(disk, p);

    // Every disk from here on is fresh, and data remains: the split rule
    // leaves a disk only with the file's rounded bytes still above its room.
    for (;;) {
        if (room_with_slop(*disk, p) < p.min_split_space)
            return finish(out, RC_NO_SPACE_WITH_SPLIT_SIZE);
        // A fresh disk without room would never take the rest.
        if (disk->bytes_left == 0) return finish(out, RC_NO_SPACE_WITH_SPLIT_SIZE);
        if (!started) {
            out->start_disk = disk->disk_number;
            started = true;
        }
        if (disk->bytes_left >= rounded) {
            put_last(disk, rounded, data, out);
            if (disk->bytes_left == 0) disk->disk_full = true;
            return finish(out, RC_OK);
        }
        put_filling_segment(disk, &rounded, &data, out);
        disk_state_next(disk, p);
    }
}

ResultCode disk_place(DiskState* disk, const PlacementParameters& p, uint32_t size, bool compressed,
                      Placement* out) {
    ResultCode code = place(disk, p, size, compressed, out);
    assert(code != RC_OK ||
           placed_whole(*disk, *out, media_round_to_cluster(size, p.cluster_size)));
    return code;
}

std::string disk_summary_text(const DiskState& disk, const PlacementParameters& p) {
    std::string n = std::to_string(disk.disk_number);
    return n + " disks required.  " + std::to_string(disk.bytes_used) + " bytes used on disk " + n +
           ".  " + std::to_string(room_with_slop(disk, p)) + " bytes remain on disk " + n + ".";
}
