// The boot sector of a FAT volume: reading and checking its parameter block
// into a FatLayout that says where every area of the volume lies, and
// building the boot sector of a blank volume. Needs fat_geometry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "media/fat_geometry.h"
#include "sys/result_code.h"

// Little-endian fields of the records on the disk.
inline uint32_t fat_get16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
inline uint32_t fat_get32(const uint8_t* p) {
    return fat_get16(p) | fat_get16(p + 2) << 16;
}
inline void fat_put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void fat_put32(uint8_t* p, uint32_t v) {
    fat_put16(p, v);
    fat_put16(p + 2, v >> 16);
}

// Where the parts of a volume lie; byte offsets from the start of the image.
struct FatLayout {
    uint32_t bytes_per_sector = 0;
    uint32_t sectors_per_cluster = 0;
    uint32_t cluster_bytes = 0;
    uint32_t fat_count = 0;
    uint32_t fat_bytes = 0;  // bytes of one FAT copy
    uint32_t root_entries = 0;
    uint32_t cluster_count = 0;  // data clusters, numbered 2 to cluster_count + 1
    bool fat16 = false;
    bool has_label_field = false;  // the extended parameter block is present
    uint64_t fat_offset = 0;       // first FAT copy
    uint64_t root_offset = 0;
    uint64_t data_offset = 0;  // cluster 2
    uint64_t volume_bytes = 0;
};

// Smallest readable boot sector.
constexpr size_t FAT_BOOT_BYTES = 512;
// Offset and size of the volume label field of the boot sector.
constexpr size_t FAT_BOOT_LABEL_OFFSET = 43;
constexpr size_t FAT_LABEL_BYTES = 11;

// Checks the parameter block of `sector` (at least FAT_BOOT_BYTES bytes) and
// fills *out. Returns RC_FILE_CORRUPT for zero, absurd or inconsistent
// fields (sector or cluster sizes that are not powers of two, no FAT, areas
// that overlap or leave no data, too many clusters for a 16-bit FAT, a FAT
// too small for its clusters); *out is then unspecified.
ResultCode fat_boot_read(const uint8_t* sector, FatLayout* out);

// Builds the boot sector of a blank volume of layout `g` into `sector`
// (g.bytes_per_sector bytes): parameter block, label field (11 bytes, padded
// with blanks; "NO NAME" when empty), serial number, and a short start-up
// program that says the disk cannot start a system.
void fat_boot_build(const FatGeometry& g, const char label[FAT_LABEL_BYTES], uint32_t serial,
                    uint8_t* sector);

// Offset of the byte at `cluster`, which must be a data cluster of `layout`.
inline uint64_t fat_cluster_offset(const FatLayout& layout, uint32_t cluster) {
    return layout.data_offset + uint64_t(cluster - 2) * layout.cluster_bytes;
}
