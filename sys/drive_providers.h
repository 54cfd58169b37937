// Drive providers: how a drive that is no host folder (a floppy disk) answers
// the file services; a provider registered for a root ("A:\", "Z:\floppies")
// gets every engine path under it. Owns the provider table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "sys/result_code.h"

// A file or directory as a provider describes it.
struct DriveEntry {
    std::string name;
    uint32_t size = 0;
    bool is_directory = false;
    struct timespec access_time = {0, 0};
    struct timespec write_time = {0, 0};
};

enum DriveOpenMode { DRIVE_OPEN_READ, DRIVE_OPEN_WRITE, DRIVE_OPEN_APPEND };

// An open file of a provider; each provider defines its own.
struct DriveFile;

// The operations of a provider. `context` is the value given at
// registration; `path` is the part of the engine path below the root ("" or
// "\" for the root itself, "\SETUP.EXE", "DISK\A.TXT"), backslash or slash
// separated. Each answers with the result codes of the file services.
struct DriveProvider {
    ResultCode (*stat)(void* context, std::string_view path, DriveEntry* out);
    ResultCode (*list)(void* context, std::string_view path, std::vector<DriveEntry>* out);
    ResultCode (*remove)(void* context, std::string_view path);  // also a read-only file
    ResultCode (*make_directory)(void* context, std::string_view path);
    ResultCode (*set_times)(void* context, std::string_view path, const struct timespec times[2]);
    ResultCode (*open)(void* context, std::string_view path, DriveOpenMode mode, DriveFile** out);
    ResultCode (*read)(DriveFile* file, void* buffer, size_t size, size_t* got);
    ResultCode (*write)(DriveFile* file, const void* buffer, size_t size);
    ResultCode (*close)(DriveFile* file);
    ResultCode (*space)(void* context, uint32_t* free_bytes, uint32_t* cluster_size);
    ResultCode (*label)(void* context, std::string* label);
    ResultCode (*set_label)(void* context, std::string_view label);
    // Puts the disk labelled `label` in the drive when the drive keeps
    // several disks; RC_OK when done or when there is nothing to choose.
    ResultCode (*insert_labelled)(void* context, std::string_view label);
};

// Registers `provider` (kept by pointer, must outlive the registration) for
// every engine path under `root`; a root registered before is replaced.
// Returns RC_OK, RC_INVALID_FILE_NAME for an empty root or one over 260 characters, RC_OS_ERROR
// when the table is full.
ResultCode drive_provider_register(std::string_view root, const DriveProvider* provider,
                                   void* context);
// Removes the registration of `root`, if any.
void drive_provider_unregister(std::string_view root);

// The provider of the engine path `path`, when one is registered for a root
// above it (the longest such root wins): its operations in *provider, the
// context in *context, the part below the root in *inner. Letter case and
// "/" against "\" do not matter; a rooted path without a drive is on Z:.
bool drive_provider_find(std::string_view path, const DriveProvider** provider, void** context,
                         std::string* inner);

// The same, gathered in one record.
struct ProvidedPath {
    const DriveProvider* provider = nullptr;
    void* context = nullptr;
    std::string inner;
};
inline bool drive_provider_find(std::string_view path, ProvidedPath* out) {
    return drive_provider_find(path, &out->provider, &out->context, &out->inner);
}

// Where an engine path leads: to a provider's disk, or to a host path.
struct PathTarget {
    bool provided = false;
    ProvidedPath on;   // when provided
    std::string host;  // otherwise
};
// The one dispatch of the file services: RC_OK with *target; for a path under
// no provider, the codes of host_path_resolve (RC_FILE_NOT_FOUND for an unbound drive,
// RC_INVALID_FILE_NAME for a path over 260 characters).
ResultCode path_target_find(std::string_view path, PathTarget* target);
