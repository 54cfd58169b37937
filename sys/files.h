// File operations on engine paths: exists, delete, size, file times, make
// directory, directory full path, whole-file read, and the reading of a
// floppy drive root (the root itself is the run's). Paths under a drive
// provider's root go to that provider. Needs sys/host_paths, sys/host_io and
// sys/drive_providers.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "sys/directory.h"
#include "sys/paths.h"
#include "sys/result_code.h"

// RC_OK with *exists set when the file or directory can be found; RC_OK with it
// clear when it is absent, its drive unbound, or a component of the path is
// not a directory; RC_PERMISSION_DENIED on a permission error; RC_INVALID_FILE_NAME for a path over
// 260 characters; RC_OS_ERROR otherwise.
ResultCode file_exists(std::string_view path, bool* exists);

// Makes the file writable and deletes it. RC_OK also when the file or its
// directory does not exist; else the host error's code (RC_PERMISSION_DENIED in a directory
// that may not be written).
ResultCode file_delete(std::string_view path);

// The file's size in *size. RC_FILE_NOT_FOUND when it is absent, RC_PERMISSION_DENIED without
// permission to read it, RC_OS_ERROR for a directory or a file of 4 GiB or more.
ResultCode file_size(std::string_view path, uint32_t* size);

// Sets the access and modification times of `destination` to those of
// `source`, to the nanosecond. RC_OK, or the host error's code (RC_PERMISSION_DENIED when
// `destination` may not be changed, RC_UNABLE_TO_WRITE on a read-only file system).
ResultCode file_copy_times(std::string_view source, std::string_view destination);

// What one look at a file tells: whether it is there, and its kind, size,
// modification time and status-change time (set by the host to the current
// time at every change of the file, its times included, so that no copy or
// restore can set it back; a drive provider's file has its modification
// time there).
struct FileStatus {
    bool exists = false;
    bool is_directory = false;
    uint64_t size = 0;
    struct timespec modified = {};
    struct timespec changed = {};
    // Neither a regular file nor a directory: a FIFO, a socket or a device,
    // which a read could wait on for ever.
    bool is_other = false;
};
// The status of `path`: RC_OK with status->exists clear when it is absent, its
// drive unbound, or a component of the path is not a directory; else the
// codes of file_exists.
ResultCode file_status(std::string_view path, FileStatus* status);
// True when time `later` is the same as `earlier` or after it.
bool file_time_not_before(const struct timespec& later, const struct timespec& earlier);
// *not_older is set when `second` was modified no earlier than `first`.
// RC_OK, or the host error's code (RC_FILE_NOT_FOUND when either is missing).
ResultCode file_not_older(std::string_view first, std::string_view second, bool* not_older);

// Makes the directory `path`. RC_OK only when a directory is there afterwards
// (one already there is fine); RC_FILE_NOT_FOUND when the parent is missing; RC_PERMISSION_DENIED
// without permission; RC_UNABLE_TO_WRITE on a read-only file system; RC_OS_ERROR when a file is in
// the way.
ResultCode directory_make(std::string_view path);

// Makes the directory `path` and every missing directory above it. RC_OK, the
// codes of directory_make, or RC_UNABLE_TO_WRITE when even the root is missing.
ResultCode directory_make_tree(std::string_view path);

// The full engine path of directory `path` in *full_path, in the spelling
// found on the host and on the drive `path` names ("kit" in /home/ana gives
// "Z:\home\ana\kit"). The process's current directory is left alone.
// RC_FILE_NOT_FOUND when it does not exist or is not a directory, RC_PERMISSION_DENIED when it may
// not be entered, RC_INVALID_FILE_NAME when either path is over 260 characters, RC_OS_ERROR
// otherwise.
ResultCode directory_full_path(std::string_view path, std::string* full_path);

// Where a directory named by an engine path stands on the host, every link
// followed: the directory itself when it exists, else the nearest directory
// above it that does (where a directory yet to be made will lie).
struct DirectoryPlace {
    bool exists = false;    // the path itself names a directory
    bool blocked = false;   // the path, or the nearest entry on it that exists, is no directory
    FileIdentity identity;  // of the directory that stands for the path; unknown
                            // when blocked or on a drive provider's disk
    std::string host;       // the host path of that directory
};
// The place of `path` in *place. RC_OK (also when blocked); RC_FILE_NOT_FOUND for an unbound
// drive; RC_INVALID_FILE_NAME for a path over 260 characters; the host error's code when an
// entry on the path cannot be examined.
ResultCode directory_place(std::string_view path, DirectoryPlace* place);
// Sets *within when the directory of `inner` is the directory of `outer` or
// lies below it: `inner`'s directory and each parent above it, as the host
// finds them ("..", whatever links led there), up to the root, compared
// with `outer` by device and file number. An `outer` that does not exist
// holds nothing, and an unknown identity is within nothing. RC_OK; RC_INVALID_FILE_NAME when the
// walk up outgrows a host path; the host error's code when a parent cannot
// be examined.
ResultCode directory_place_within(const DirectoryPlace& inner, const DirectoryPlace& outer,
                                  bool* within);

// Reads the whole file into *bytes, bytes as they are. RC_OK, or the host
// error's code (RC_UNABLE_TO_READ when reading fails, RC_OS_ERROR for a directory).
ResultCode file_read_all(std::string_view path, std::string* bytes);
// Whether the file holds exactly `bytes`, in *same. The file is read piece
// by piece, so no copy of a large file is made. Codes as file_read_all.
ResultCode file_holds(std::string_view path, std::string_view bytes, bool* same);

// Copies the bytes of `source` to `destination`, replacing it only once the
// whole copy is written. RC_OK, the read's code (RC_FILE_NOT_FOUND when `source` is missing),
// or the write's code.
ResultCode file_copy_contents(std::string_view source, std::string_view destination);

// Renames the file `from` to `to`, replacing a file there. RC_OK, or the host
// error's code; RC_OS_ERROR for a file under a drive provider's root.
ResultCode file_rename(std::string_view from, std::string_view to);

// A directory the run fills with files of its own (a copy it makes): while
// the filling lasts, the names in it are looked up in the listing the file
// services keep, brought up to date by the run's own changes, without
// asking the host each time (see host_tree_filling). The directory must
// exist; one on a drive provider's disk is left unmarked.
struct DirectoryFilling {
    std::string host;  // empty when nothing is marked
};
// RC_OK with the directory marked; the codes of host_path_resolve.
ResultCode directory_filling_begin(std::string_view path, DirectoryFilling* filling);
// Ends the filling (does nothing for one that marked nothing).
void directory_filling_end(DirectoryFilling* filling);

// Keeps the former contents of `path` under its base name with the extension
// "old", replacing an earlier copy, with the file times of `path`.
ResultCode file_keep_old_copy(const PathParts& path);
// The same under the extension `extension`.
ResultCode file_keep_copy(const PathParts& path, std::string_view extension);

// The floppy drive root that `text` names, in *root: an empty text (or one
// over 260 characters) leaves *root as it is; "." names the current
// directory; anything else is taken as it is, a leading drive letter
// upper-cased.
void floppy_root_parse(std::string_view text, std::string* root);
