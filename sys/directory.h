// Directory listing: delivers the entries of one directory, one at a time, in
// name order with letters folded, so reports are the same on every file
// system. Needs sys/host_paths (paths and the delivery order) and sys/host_io.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sys/result_code.h"

struct DirectoryListing;

// Starts listing `directory` (an engine path); "" lists the current
// directory. nullptr when the search cannot start (the caller reports 20).
DirectoryListing* directory_open(std::string_view directory);

// Moves to the next entry: 0 with a current entry, 23 at the end, 29 on any
// other failure (a file of 4 GiB or more among them), 5 when `listing` is
// missing. "." and ".." are never delivered; a symbolic link is delivered as
// what it points to, and one that points nowhere is passed over.
ResultCode directory_next(DirectoryListing* listing);

// The current entry: its name, its size (0 for a directory) and whether it
// is a directory. Empty, 0 and false before the first entry or without a listing.
const std::string& directory_entry_name(const DirectoryListing* listing);
uint32_t directory_entry_size(const DirectoryListing* listing);
bool directory_entry_is_directory(const DirectoryListing* listing);

// Releases the listing; nullptr is allowed.
void directory_close(DirectoryListing* listing);
