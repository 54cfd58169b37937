// Boot sector reading, checking and building.
#include "media/fat_boot.h"

#include <cstring>

namespace {

bool is_power_of_two(uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

// Largest cluster numbers of 12- and 16-bit FATs.
constexpr uint32_t FAT12_MAX_CLUSTERS = 4084;
constexpr uint32_t FAT16_MAX_CLUSTERS = 65524;

// Prints "Non-system disk" and restarts on a key; entered from the jump at 0.
constexpr uint8_t BOOT_PROGRAM[] = {
    0xFC,              // cld
    0x31, 0xC0,        // xor ax, ax
    0x8E, 0xD8,        // mov ds, ax
    0xBE, 0x5A, 0x7C,  // mov si, 7C5Ah (the message)
    0xAC,              // next: lodsb
    0x08, 0xC0,        // or al, al
    0x74, 0x09,        // jz wait
    0xB4, 0x0E,        // mov ah, 0Eh
    0xBB, 0x07, 0x00,  // mov bx, 7
    0xCD, 0x10,        // int 10h
    0xEB, 0xF2,        // jmp next
    0x30, 0xE4,        // wait: xor ah, ah
    0xCD, 0x16,        // int 16h
    0xCD, 0x19,        // int 19h
};
constexpr char BOOT_MESSAGE[] = "Non-system disk. Press a key to restart.\r\n";
constexpr size_t BOOT_PROGRAM_OFFSET = 0x3E;

}  // namespace

ResultCode fat_boot_read(const uint8_t* s, FatLayout* out) {
    FatLayout l;
    l.bytes_per_sector = fat_get16(s + 11);
    l.sectors_per_cluster = s[13];
    uint32_t reserved = fat_get16(s + 14);
    l.fat_count = s[16];
    l.root_entries = fat_get16(s + 17);
    uint32_t total = fat_get16(s + 19);
    if (total == 0) total = fat_get32(s + 32);
    uint32_t fat_sectors = fat_get16(s + 22);

    if (l.bytes_per_sector < 512 || l.bytes_per_sector > 4096 ||
        !is_power_of_two(l.bytes_per_sector))
        return RC_FILE_CORRUPT;
    if (!is_power_of_two(l.sectors_per_cluster)) return RC_FILE_CORRUPT;
    l.cluster_bytes = l.bytes_per_sector * l.sectors_per_cluster;
    if (l.cluster_bytes > 32768) return RC_FILE_CORRUPT;
    if (reserved == 0 || l.fat_count == 0 || l.fat_count > 2 || fat_sectors == 0 ||
        l.root_entries == 0)
        return RC_FILE_CORRUPT;

    uint32_t root_sectors = (l.root_entries * 32 + l.bytes_per_sector - 1) / l.bytes_per_sector;
    uint64_t system = uint64_t(reserved) + uint64_t(l.fat_count) * fat_sectors + root_sectors;
    if (system >= total) return RC_FILE_CORRUPT;
    uint64_t clusters = (total - system) / l.sectors_per_cluster;
    if (clusters == 0 || clusters > FAT16_MAX_CLUSTERS) return RC_FILE_CORRUPT;
    l.cluster_count = uint32_t(clusters);
    l.fat16 = l.cluster_count > FAT12_MAX_CLUSTERS;

    l.fat_bytes = fat_sectors * l.bytes_per_sector;
    uint64_t entries = uint64_t(l.cluster_count) + 2;
    uint64_t needed = l.fat16 ? entries * 2 : (entries * 3 + 1) / 2;
    if (needed > l.fat_bytes) return RC_FILE_CORRUPT;

    l.fat_offset = uint64_t(reserved) * l.bytes_per_sector;
    l.root_offset = l.fat_offset + uint64_t(l.fat_count) * l.fat_bytes;
    l.data_offset = l.root_offset + uint64_t(root_sectors) * l.bytes_per_sector;
    l.volume_bytes = uint64_t(total) * l.bytes_per_sector;
    l.has_label_field = s[38] == 0x29;
    *out = l;
    return RC_OK;
}

void fat_boot_build(const FatGeometry& g, const char label[FAT_LABEL_BYTES], uint32_t serial,
                    uint8_t* s) {
    memset(s, 0, g.bytes_per_sector);
    s[0] = 0xEB;
    s[1] = uint8_t(BOOT_PROGRAM_OFFSET - 2);
    s[2] = 0x90;
    memcpy(s + 3, "DISKWARD", 8);
    fat_put16(s + 11, g.bytes_per_sector);
    s[13] = g.sectors_per_cluster;
    fat_put16(s + 14, g.reserved_sectors);
    s[16] = g.fat_count;
    fat_put16(s + 17, g.root_entries);
    if (g.total_sectors < 65536)
        fat_put16(s + 19, g.total_sectors);
    else
        fat_put32(s + 32, g.total_sectors);
    s[21] = g.media_descriptor;
    fat_put16(s + 22, g.fat_sectors);
    fat_put16(s + 24, g.sectors_per_track);
    fat_put16(s + 26, g.heads);
    s[36] = 0x00;  // drive number of the first floppy drive
    s[38] = 0x29;
    fat_put32(s + 39, serial);
    memcpy(s + FAT_BOOT_LABEL_OFFSET, label, FAT_LABEL_BYTES);
    memcpy(s + 54, g.fat16 ? "FAT16   " : "FAT12   ", 8);
    memcpy(s + BOOT_PROGRAM_OFFSET, BOOT_PROGRAM, sizeof BOOT_PROGRAM);
    memcpy(s + BOOT_PROGRAM_OFFSET + sizeof BOOT_PROGRAM, BOOT_MESSAGE, sizeof BOOT_MESSAGE);
    s[510] = 0x55;
    s[511] = 0xAA;
}
