// Run locks: an exclusive advisory lock on a file (a product file), held
// while a run works on it and dropped by the host when the process ends, so
// that two runs never rewrite one file and its back-up at the same time.
// Needs sys/host_paths, sys/host_io and sys/drive_providers; owns its locks.
#pragma once

#include <string>
#include <string_view>

#include "sys/result_code.h"

struct FileLock;

// Takes the exclusive lock of the file at the engine path `path` without
// waiting, and hands it out in *lock. RC_OK; RC_SHARING_VIOLATION ("Sharing Violation") when
// another run holds it; the host error's code when the file cannot be
// opened (RC_FILE_NOT_FOUND when it is missing). A file on a drive provider's disk is not
// locked: RC_OK with a lock that holds nothing.
ResultCode file_lock_take(std::string_view path, FileLock** lock);

// The same for the host path `host`: a file, a device, or a directory
// (a folder of disk images, locked while a disk set is written into it).
ResultCode file_lock_take_host(const std::string& host, FileLock** lock);

// Drops the lock and frees it; nullptr is allowed.
void file_lock_release(FileLock* lock);
