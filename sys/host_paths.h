// Host paths: the drive table (Z: bound to the host root) and the turning of
// engine paths into host paths, with case-insensitive lookup, and back.
// Needs sys/text and sys/paths; owns the drive table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sys/result_code.h"

// Binds drive `letter` (either case) to the host directory `host_directory`;
// a relative directory is taken from the current directory. Z: stays bound
// to the host root. Returns RC_OK, or RC_INVALID_FILE_NAME for a letter that cannot be bound or an
// empty directory.
ResultCode drive_bind(char letter, std::string_view host_directory);
// Unbinds `letter`; paths on it then behave as paths that do not exist.
void drive_unbind(char letter);
// True with the drive's host directory in *host_directory when `letter` is bound.
bool drive_host_directory(char letter, std::string* host_directory);

// Where an engine path lies on the host: its drive, the host directory the
// drive is bound to, and the host path itself (absolute, without "." or
// ".." components, each component in the spelling found on the host).
struct HostLocation {
    char drive = 'Z';
    std::string root;
    std::string path;
    bool found = true;  // every component exists on the host, in some case
};

// Finds the host location of `engine_path`. "X:\..." is on drive X, "\..."
// on Z:, anything else relative to the current directory ("" is the current
// directory itself); "\" and "/" both separate; ".." never leaves the drive.
// A component that does not exist as written is looked up without regard to
// case (the first match in listing order); one found in no case keeps its
// spelling, as do all after it. The listings read for this are kept for a
// few directories and used again while the directory is unchanged (see
// host_paths.cpp). Returns RC_OK; RC_FILE_NOT_FOUND for an unbound drive; RC_INVALID_FILE_NAME for
// a path over 260 characters or holding a NUL; RC_OS_ERROR when the current directory cannot be
// read.
ResultCode host_path_locate(std::string_view engine_path, HostLocation* location);

// The host path of `engine_path` (see host_path_locate for the codes);
// *found, when given, tells whether every component exists on the host.
ResultCode host_path_resolve(std::string_view engine_path, std::string* host_path,
                             bool* found = nullptr);

// The host path of `engine_path` with every component spelled as written,
// without looking at the host (but for the current directory of a relative
// path): what the lookup gives whenever the path exists as written. False
// for a path holding "..", or one host_path_locate refuses.
bool host_path_as_written(std::string_view engine_path, std::string* host_path);

// Marks the host directory tree at `host_root` as being filled by the run
// with files of its own (`begun`), or no longer: each begin is ended once.
// While it is, the cached listings of its directories answer lookups, and
// take our own changes, without asking the host again; a change another
// process makes there meanwhile is not seen. When the last filling of the
// tree ends, its listings are dropped, to be read again when needed.
void host_tree_filling(const std::string& host_root, bool begun);

// The engine form of a location: its drive, ":\" and the path below the drive's root.
std::string host_location_engine_path(const HostLocation& location);

// A host absolute path in engine form: "/home/ana" becomes "Z:\home\ana".
std::string host_path_to_engine(std::string_view host_path);

// The console command's conversion of one command-line word: a word that
// begins with "/" and is longer than two characters becomes "Z:" and the path
// with "\" for "/"; two-character options ("-a", "/A") stay as they are; in
// any other word every "/" becomes "\".
std::string console_convert_argument(std::string_view word);

// The process's current directory on the host; empty when it cannot be read.
std::string host_current_directory();

// The order in which a directory's entries are delivered: names compared with
// letters folded, ties broken byte by byte, so the order is the same on every
// file system.
bool host_name_before(const std::string& a, const std::string& b);

// Reads the names in host directory `host_directory` ("." and ".." left
// out) in delivery order. Returns 0, or the host error number.
int host_directory_read(const std::string& host_directory, std::vector<std::string>* names);
