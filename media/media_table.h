// The media table: capacity, cluster size and file limit of every floppy
// medium the engine knows, the density suffix that names a density's map
// file, and the rounding of sizes to whole clusters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct MediaRow {
    const char* name;           // the -Z name, e.g. "3.5HD"
    uint32_t media_capacity;    // usable data bytes of one disk
    uint32_t other_capacity;    // capacity of the other density of the same drive
    uint32_t cluster_size;      // allocation unit in bytes
    uint32_t max_root_entries;  // most files or segments one disk may receive
};

// The rows in table order; the first is the default medium.
const MediaRow* media_rows(size_t* count);

// The row whose name equals `name` (letters folded), or nullptr.
const MediaRow* media_find(std::string_view name);

// The density suffix of a capacity: "3hd", "3ld", "3ud", "5hd", "5ld", and
// "jhd" for the capacity the two Japanese media share. Returns false and
// leaves `suffix` unchanged for any other capacity.
bool media_density_suffix(uint32_t capacity, std::string* suffix);

// Rounds `size` up to a whole number of clusters; 0 stays 0. The result
// may exceed 32 bits, so it is handed back in 64.
uint64_t media_round_to_cluster(uint64_t size, uint32_t cluster_size);
