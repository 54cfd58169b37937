// Directory listing: delivers the entries of one directory, one at a time, in
// name order with letters folded, so reports are the same on every file
// system. Needs sys/host_paths (paths and the delivery order) and sys/host_io.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "sys/result_code.h"

struct DirectoryListing;

// Starts listing `directory` (an engine path); "" lists the current
// directory. nullptr when the search cannot start or the names cannot all be
// read (the caller reports RC_UNABLE_TO_READ).
// With `status_ahead` above 1, a listing whose first entries each took the
// host long to examine (a file server, where each status query waits a round
// trip) has its remaining entries examined by that many threads ahead of the
// reader; they are still delivered one at a time, in order, exactly as one
// thread would deliver them. On a local disk it stays on the reader's thread.
DirectoryListing* directory_open(std::string_view directory, unsigned status_ahead = 0);

// What directory_next answers at the end of the listing: a value of the
// listing's own, apart from every result code, so that an entry the host
// refuses as an invalid or too long name (RC_INVALID_FILE_NAME) is a failure and never taken
// for the end. It is never a run's result: the callers turn it into theirs.
constexpr ResultCode DIRECTORY_END = ResultCode(-1);

// Moves to the next entry: RC_OK with a current entry, DIRECTORY_END at the
// end, the host error's code when an entry cannot be examined (RC_UNABLE_TO_READ for an
// input/output error), RC_NO_OBJECT when `listing` is missing. "." and ".." are never
// delivered; a symbolic link is delivered as what it points to, and one that
// points nowhere (or into a loop of links) is passed over.
ResultCode directory_next(DirectoryListing* listing);

// The current entry: its name, its size (0 for a directory) and whether it
// is a directory. Empty, 0 and false before the first entry or without a listing.
const std::string& directory_entry_name(const DirectoryListing* listing);
uint32_t directory_entry_size(const DirectoryListing* listing);
bool directory_entry_is_directory(const DirectoryListing* listing);

// The current entry's modification and status-change times; zero before
// the first entry. A drive provider's entry has its modification time as
// both.
struct timespec directory_entry_modified(const DirectoryListing* listing);
struct timespec directory_entry_changed(const DirectoryListing* listing);

// True when the current entry is a file of 4 GiB or more, whose size does
// not fit 32 bits (its size then reads 0).
bool directory_entry_too_large(const DirectoryListing* listing);

// True when the current entry is neither a regular file nor a directory (a
// FIFO, a socket, a device): it holds no bytes of a file, and opening one
// to read could wait for ever. Its size reads 0.
bool directory_entry_not_regular(const DirectoryListing* listing);

// Where a file lives on the host (device and file number), so that a
// directory reached again through a link can be told; zeros when unknown
// (a drive provider's entries).
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator<(const FileIdentity& o) const {
        return device != o.device ? device < o.device : inode < o.inode;
    }
    bool known() const { return device != 0 || inode != 0; }
};
// The identity of the current entry, and of the listing's own directory.
FileIdentity directory_entry_identity(const DirectoryListing* listing);
FileIdentity directory_identity(const DirectoryListing* listing);

// Releases the listing; nullptr is allowed.
void directory_close(DirectoryListing* listing);
