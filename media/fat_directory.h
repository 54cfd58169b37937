// Directories of a FAT volume, loaded whole, read entry by entry with long
// names joined to their short entries, changed and stored back whole; path
// lookup and 32-byte entry fields. Needs fat_volume and fat_names.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "media/fat_volume.h"
#include "sys/result_code.h"

constexpr uint8_t FAT_ATTR_READ_ONLY = 0x01;
constexpr uint8_t FAT_ATTR_HIDDEN = 0x02;
constexpr uint8_t FAT_ATTR_SYSTEM = 0x04;
constexpr uint8_t FAT_ATTR_VOLUME = 0x08;
constexpr uint8_t FAT_ATTR_DIRECTORY = 0x10;
constexpr uint8_t FAT_ATTR_ARCHIVE = 0x20;
constexpr uint8_t FAT_ATTR_LONG_NAME = 0x0F;
constexpr size_t FAT_ENTRY_BYTES = 32;

struct FatDir {
    uint32_t first_cluster = 0;      // 0 for the root directory
    std::vector<uint32_t> clusters;  // the chain of a subdirectory
    std::vector<uint8_t> bytes;      // every entry slot, 32 bytes each
};

// One file, directory, label or dot entry as a directory lists it.
struct FatEntry {
    std::string name;        // the long name when there is one, else the short name
    std::string short_name;  // "NAME.EXT"
    uint8_t attributes = 0;
    uint32_t first_cluster = 0;
    uint32_t size = 0;
    size_t slot = 0;        // slot of the short entry
    size_t first_slot = 0;  // first slot of its long-name entries; slot when none
};

// Loads the root directory (first_cluster 0) or the subdirectory starting at
// `first_cluster`. RC_FILE_CORRUPT when its chain is broken, RC_UNABLE_TO_READ
// when reading fails. Slots after the end mark read as free.
ResultCode fat_dir_load(const FatVolume& volume, uint32_t first_cluster, FatDir* out);

// Writes every slot of `dir` back to the volume.
ResultCode fat_dir_store(FatVolume* volume, const FatDir& dir);

// Steps to the next entry at or after slot *cursor, leaving *cursor behind
// it. Deleted slots are passed over; long names whose ordinals or checksum
// do not match their short entry are ignored. False at the end.
bool fat_dir_next(const FatDir& dir, size_t* cursor, FatEntry* out);

// True when the entry is the volume label, or "." or "..".
bool fat_entry_is_label(const FatEntry& entry);
bool fat_entry_is_dot(const FatEntry& entry);

// Finds the file or directory called `name` (long or short name, letter case
// aside). False when there is none.
bool fat_dir_find(const FatDir& dir, std::string_view name, FatEntry* out);

// Adds an entry for `name` (valid by fat_name_valid and not yet present):
// a single short entry when the name fits 8.3, else long-name entries
// followed by a made-up short name. Creation, write and access times are
// `now`. A subdirectory grows by a cluster when it has no room; a full root
// or a full disk gives RC_UNABLE_TO_WRITE and leaves `dir` and the FAT as
// they were. Only memory changes: the caller writes the FAT, then `dir`.
ResultCode fat_dir_add(FatVolume* volume, FatDir* dir, std::string_view name, uint8_t attributes,
                       uint32_t first_cluster, time_t now, FatEntry* out);

// Marks the slots of `entry` (long-name entries included) deleted.
void fat_dir_remove(FatDir* dir, const FatEntry& entry);

// The 32 bytes of `slot`.
inline uint8_t* fat_dir_slot(FatDir* dir, size_t slot) {
    return dir->bytes.data() + slot * FAT_ENTRY_BYTES;
}

// Byte offset on the volume of `slot` of `dir`.
uint64_t fat_dir_slot_offset(const FatVolume& volume, const FatDir& dir, size_t slot);

// Fields of a 32-byte entry.
void fat_entry_set_cluster(uint8_t* entry, uint32_t cluster);
void fat_entry_set_size(uint8_t* entry, uint32_t size);
// Write date and time and access date; local time, kept within the years
// 1980 to 2107 that the fields can hold.
void fat_entry_set_times(uint8_t* entry, time_t access_time, time_t write_time);
time_t fat_entry_write_time(const uint8_t* entry);

// Resolves every component of `path` but the last (backslash or slash
// separated, letter case aside, "." and ".." understood) and loads that
// directory into *parent; the last component goes to *leaf (empty for the
// root itself). RC_FILE_NOT_FOUND when a component is missing or not a
// directory.
ResultCode fat_path_parent(const FatVolume& volume, std::string_view path, FatDir* parent,
                           std::string* leaf);
