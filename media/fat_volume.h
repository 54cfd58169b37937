// A mounted FAT volume: the image file or block device it lives on (reads
// and writes at offsets of one descriptor), its layout and its FAT held in
// memory. Opening checks the whole volume first. Needs fat_boot, fat_table
// and sys/host_io.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/fat_boot.h"
#include "media/fat_table.h"
#include "sys/result_code.h"

// An open file of the volume: where its directory entry lies, and whether
// it is open for writing.
struct FatOpenRecord {
    uint64_t entry_offset = 0;
    bool writing = false;
};

struct FatVolume {
    int fd = -1;
    bool owns_fd = false;    // close fd with the volume
    bool read_only = false;  // writes answer RC_WRITE_PROTECTED
    FatLayout layout;
    FatTable table;
    std::vector<FatOpenRecord> open_files;
};

// Opens the image file or block device at `host_path` (for writing when the
// host allows it, else read-only) and checks it: boot sector, size, FAT and
// every directory and chain. Returns RC_FILE_NOT_FOUND when the path does
// not exist, RC_PERMISSION_DENIED without permission to read it (the host
// error's code for any other failure to open it), RC_UNABLE_TO_READ when
// reading fails, RC_FILE_CORRUPT when the volume is truncated or
// inconsistent. Nothing is written. On failure *out is closed.
ResultCode fat_volume_open(const std::string& host_path, FatVolume* out);

// The same on a descriptor the caller owns and keeps open.
ResultCode fat_volume_open_fd(int fd, bool read_only, FatVolume* out);

// Releases the volume (closing its descriptor when it owns it). Handles still
// open are forgotten; everything they wrote is already on the volume.
void fat_volume_close(FatVolume* volume);

// Reads or writes `size` bytes at byte `offset` of the volume. Reading past
// the volume or a failed read gives RC_UNABLE_TO_READ, whatever the host's
// error; a failed write the host error's code (RC_UNABLE_TO_WRITE when the
// host is out of space or the device fails), a read-only volume
// RC_WRITE_PROTECTED.
ResultCode fat_volume_read(const FatVolume& volume, uint64_t offset, void* buffer, size_t size);
ResultCode fat_volume_write(FatVolume* volume, uint64_t offset, const void* buffer, size_t size);

// Writes the FAT to every copy when it changed.
ResultCode fat_volume_flush_table(FatVolume* volume);

// After a failed write: frees the clusters of `chain` beyond its first
// `keep`, in memory and on every FAT copy (one of which may already hold
// them), so that the FAT is as before the chain grew. A device that fails
// this too leaves clusters that nothing uses.
void fat_volume_take_back(FatVolume* volume, std::vector<uint32_t>* chain, size_t keep);

// Free bytes (free clusters times the cluster size) and the cluster size.
uint32_t fat_volume_free_bytes(const FatVolume& volume);
uint32_t fat_volume_cluster_bytes(const FatVolume& volume);
