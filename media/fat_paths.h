// Files and directories of a FAT volume named by path: details, listings,
// deletion, clearing read-only, setting times, making directories.
// Needs fat_volume and fat_directory.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "media/fat_volume.h"
#include "sys/result_code.h"

// What a listing tells about one file or directory.
struct FatInfo {
    std::string name;        // long name when it has one, else the short name
    std::string short_name;  // "NAME.EXT"
    uint32_t size = 0;
    bool is_directory = false;
    uint8_t attributes = 0;
    time_t write_time = 0;
};

// Details of the file or directory at `path`; the root itself gives a
// directory with an empty name. RC_FILE_NOT_FOUND when it does not exist.
ResultCode fat_path_stat(const FatVolume& volume, std::string_view path, FatInfo* out);

// The files and directories of the directory at `path`, in the order they
// are stored; the label and the "." and ".." entries are left out.
// RC_FILE_NOT_FOUND when `path` is not a directory.
ResultCode fat_path_list(const FatVolume& volume, std::string_view path, std::vector<FatInfo>* out);

// Deletes the file at `path` and frees its clusters. RC_FILE_NOT_FOUND when
// it does not exist, RC_PERMISSION_DENIED for a directory or a read-only
// file, RC_SHARING_VIOLATION while it is open.
ResultCode fat_path_delete(FatVolume* volume, std::string_view path);

// Clears the read-only attribute of the file or directory at `path`.
ResultCode fat_path_make_writable(FatVolume* volume, std::string_view path);

// Sets the access date and the write date and time of `path`.
ResultCode fat_path_set_times(FatVolume* volume, std::string_view path, time_t access_time,
                              time_t write_time);

// Makes the directory `path` (its parent must exist). RC_OS_ERROR when the
// name is taken, RC_INVALID_FILE_NAME for a name a directory cannot have,
// RC_UNABLE_TO_WRITE when the disk or the parent has no room.
ResultCode fat_path_make_directory(FatVolume* volume, std::string_view path);
