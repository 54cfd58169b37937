// The media table: capacity, cluster size and file limit of every floppy
// medium the engine knows, the density suffix that names a density's map
// file, and the rounding of sizes to whole clusters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct MediaRow {
    const char* name;            // the -Z name, e.g. "3.5HD"
    uint32_t media_capacity;     // usable data bytes of one disk
    uint32_t other_capacity;     // capacity of the other density of the same drive
    uint32_t cluster_size;       // allocation unit in bytes
    uint32_t max_root_entries;   // most files or segments one disk may receive
    const char* density_suffix;  // of its capacity, naming the density's map file
};

// The rows in table order; the first is the default medium, whose values a
// run takes when it names no medium.
inline constexpr MediaRow MEDIA_ROWS[] = {
    {"3.5HD", 1457664, 730112, 512, 223, "3hd"},   // 2847 clusters of 512
    {"3.5LD", 730112, 1457664, 1024, 111, "3ld"},  // 713 clusters of 1024
    // The Japanese disks' root holds 192 entries (six sectors of 1024 bytes),
    // one of them the volume label.
    {"3.5JHD", 1250304, 1250304, 1024, 191, "jhd"},  // 1221 clusters of 1024
    {"3.5UD", 2915328, 1457664, 512, 111, "3ud"},    // 5694 clusters of 512
    {"5.25HD", 1213952, 362496, 512, 223, "5hd"},    // 2371 clusters of 512
    {"5.25LD", 362496, 1213952, 1024, 111, "5ld"},   // 354 clusters of 1024
    {"5.25JHD", 1250304, 1250304, 1024, 191, "jhd"},
};
inline constexpr const MediaRow& MEDIA_DEFAULT = MEDIA_ROWS[0];

// The row whose name equals `name` (letters folded), or nullptr.
const MediaRow* media_find(std::string_view name);

// The density suffix of a capacity: "3hd", "3ld", "3ud", "5hd", "5ld", and
// "jhd" for the capacity the two Japanese media share. Returns false and
// leaves `suffix` unchanged for any other capacity.
bool media_density_suffix(uint32_t capacity, std::string* suffix);

// Rounds `size` up to a whole number of clusters; 0 stays 0. The result
// may exceed 32 bits, so it is handed back in 64.
uint64_t media_round_to_cluster(uint64_t size, uint32_t cluster_size);
