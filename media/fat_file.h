// Open files of a FAT volume: opening by path, streaming reads and writes,
// closing. Each write leaves the volume sound: data first, then both FAT
// copies, then the directory entry. Needs fat_volume and fat_directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "media/fat_volume.h"
#include "sys/result_code.h"

enum FatOpenMode {
    FAT_OPEN_READ,
    FAT_OPEN_WRITE,   // create, or empty an existing file
    FAT_OPEN_APPEND,  // create, or write on after the end of an existing file
};

struct FatFile {
    FatVolume* volume = nullptr;  // nullptr when the handle is closed
    FatOpenMode mode = FAT_OPEN_READ;
    uint64_t entry_offset = 0;    // where the directory entry lies
    std::vector<uint32_t> chain;  // the file's clusters
    uint32_t size = 0;
    uint32_t position = 0;
    bool written = false;
};

// Opens the file at `path` inside the volume (backslash or slash separated,
// letter case aside). Returns RC_FILE_NOT_FOUND when a directory of the path
// or, for reading, the file is missing; RC_INVALID_FILE_NAME for a name a
// file cannot have; RC_PERMISSION_DENIED for a directory or, for writing, a
// read-only file; RC_SHARING_VIOLATION when the file is open for writing, or
// is open at all and is to be written; RC_WRITE_PROTECTED on a read-only
// volume; RC_UNABLE_TO_WRITE when no directory entry is left for a new file.
// `out` must not be a handle that is still open.
ResultCode fat_file_open(FatVolume* volume, std::string_view path, FatOpenMode mode, FatFile* out);

// Reads up to `size` bytes at the current position; *got is less than
// `size` only at the end of the file. RC_UNABLE_TO_READ when reading fails.
ResultCode fat_file_read(FatFile* file, void* buffer, size_t size, size_t* got);

// Writes `size` bytes at the end of the file. When the disk is full, as much
// as fits is written, *written says how much, and the result is
// RC_UNABLE_TO_WRITE; the file then holds what was written. A failed device
// write gives its code (RC_UNABLE_TO_WRITE when the host is out of space or
// the device fails), *written 0, and leaves the file as it was; the
// clusters the write took are given back on the FAT copies too, which a
// device that fails every write from then on does not allow.
ResultCode fat_file_write(FatFile* file, const void* buffer, size_t size, size_t* written);

// Closes the handle; a file that was written gets the current time as its
// write time. Closing a closed handle does nothing.
ResultCode fat_file_close(FatFile* file);
