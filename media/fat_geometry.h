// Layouts of the blank floppy volumes Diskward formats, one per medium name
// of the media table: sector and cluster sizes, reserved, FAT and root areas,
// media descriptor and drive geometry. Pure data; needs nothing else.
#pragma once

#include <cstdint>
#include <string_view>

struct FatGeometry {
    const char* medium;  // media-table name, e.g. "3.5HD"
    uint32_t total_sectors;
    uint16_t bytes_per_sector;
    uint8_t sectors_per_cluster;
    uint16_t reserved_sectors;
    uint8_t fat_count;
    uint16_t fat_sectors;  // sectors of one FAT copy
    uint16_t root_entries;
    uint8_t media_descriptor;
    uint16_t sectors_per_track;
    uint16_t heads;
    bool fat16;  // 16-bit FAT entries instead of 12-bit
};

// The layout for a medium name, matched without regard to letter case;
// nullptr for a name that is not in the table.
const FatGeometry* fat_geometry_find(std::string_view medium);
