// File operations on engine paths, each resolved to its host path first.
#include "sys/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "sys/drive_providers.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"
#include "sys/paths.h"
#include "sys/text.h"
#include "sys/text_file.h"

// A drive without a disk, or a path missing on its disk.
static bool provided_absent(ResultCode rc) {
    return rc == RC_FILE_NOT_FOUND || rc == RC_DEVICE_NOT_READY;
}

ResultCode file_status(std::string_view path, FileStatus* status) {
    *status = FileStatus{};
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc == RC_FILE_NOT_FOUND) return RC_OK;
    if (rc != RC_OK) return rc;
    if (at.provided) {
        DriveEntry entry;
        rc = at.on.provider->stat(at.on.context, at.on.inner, &entry);
        if (provided_absent(rc)) return RC_OK;
        if (rc != RC_OK) return rc;
        *status =
            FileStatus{true, entry.is_directory, entry.size, entry.write_time, entry.write_time};
        return RC_OK;
    }
    struct stat info;
    if (host_stat(at.host.c_str(), &info) != 0) {
        rc = host_error_code(errno);
        return rc == RC_FILE_NOT_FOUND ? RC_OK : rc;
    }
    bool is_directory = S_ISDIR(info.st_mode);
    *status = FileStatus{true,         is_directory, uint64_t(info.st_size),
                         info.st_mtim, info.st_ctim, !is_directory && !S_ISREG(info.st_mode)};
    return RC_OK;
}

ResultCode file_exists(std::string_view path, bool* exists) {
    FileStatus status;
    ResultCode rc = file_status(path, &status);
    *exists = status.exists;
    return rc;
}

bool file_time_not_before(const struct timespec& later, const struct timespec& earlier) {
    return later.tv_sec != earlier.tv_sec ? later.tv_sec > earlier.tv_sec
                                          : later.tv_nsec >= earlier.tv_nsec;
}

ResultCode directory_filling_begin(std::string_view path, DirectoryFilling* filling) {
    *filling = DirectoryFilling{};
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK || at.provided) return rc;
    host_tree_filling(at.host, true);
    filling->host = at.host;
    return RC_OK;
}

void directory_filling_end(DirectoryFilling* filling) {
    if (filling->host.empty()) return;
    host_tree_filling(filling->host, false);
    filling->host.clear();
}

ResultCode file_rename(std::string_view from, std::string_view to) {
    PathTarget source, target;
    ResultCode rc = path_target_find(from, &source);
    if (rc == RC_OK) rc = path_target_find(to, &target);
    if (rc != RC_OK) return rc;
    if (source.provided || target.provided) return RC_OS_ERROR;
    if (host_rename(source.host.c_str(), target.host.c_str()) == 0) return RC_OK;
    return host_error_code(errno);
}

ResultCode file_delete(std::string_view path) {
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc == RC_OK && at.provided) rc = at.on.provider->remove(at.on.context, at.on.inner);
    if (rc == RC_FILE_NOT_FOUND) return RC_OK;
    if (rc != RC_OK || at.provided) return rc;
    const std::string& host = at.host;
    // A read-only file is made writable first. A symbolic link is removed
    // itself, so the file it points to keeps its permissions.
    // A failure to make it writable is not the answer: the host lets a file
    // be removed from a writable directory whatever its own permissions, so
    // the unlink decides.
    struct stat info;
    if (host_lstat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        (info.st_mode & S_IWUSR) == 0)
        (void)host_chmod(host.c_str(), info.st_mode | S_IWUSR);
    if (host_unlink(host.c_str()) == 0) return RC_OK;
    rc = host_error_code(errno);
    return rc == RC_FILE_NOT_FOUND ? RC_OK : rc;
}

ResultCode file_size(std::string_view path, uint32_t* size) {
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK) return rc;
    if (at.provided) {
        DriveEntry entry;
        rc = at.on.provider->stat(at.on.context, at.on.inner, &entry);
        if (rc != RC_OK) return rc;
        if (entry.is_directory) return RC_OS_ERROR;
        *size = entry.size;
        return RC_OK;
    }
    struct stat info;
    int fd = -1;
    rc = host_open_regular(at.host.c_str(), &fd, &info);
    if (rc != RC_OK) return rc;
    host_close(fd);
    if (uint64_t(info.st_size) > UINT32_MAX) return RC_OS_ERROR;
    *size = static_cast<uint32_t>(info.st_size);
    return RC_OK;
}

// The access and modification times of an engine path.
static ResultCode path_times(std::string_view path, struct timespec times[2]) {
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK) return rc;
    if (at.provided) {
        DriveEntry entry;
        rc = at.on.provider->stat(at.on.context, at.on.inner, &entry);
        times[0] = entry.access_time;
        times[1] = entry.write_time;
        return rc;
    }
    struct stat info;
    if (host_stat(at.host.c_str(), &info) != 0) return host_error_code(errno);
    times[0] = info.st_atim;
    times[1] = info.st_mtim;
    return RC_OK;
}

static ResultCode path_set_times(std::string_view path, const struct timespec times[2]) {
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK) return rc;
    if (at.provided) return at.on.provider->set_times(at.on.context, at.on.inner, times);
    if (host_set_times(at.host.c_str(), times) != 0) return host_error_code(errno);
    return RC_OK;
}

ResultCode file_copy_times(std::string_view source, std::string_view destination) {
    struct timespec times[2];
    ResultCode rc = path_times(source, times);
    return rc != RC_OK ? rc : path_set_times(destination, times);
}

ResultCode file_not_older(std::string_view first, std::string_view second, bool* not_older) {
    struct timespec first_times[2] = {}, second_times[2] = {};
    ResultCode rc = path_times(first, first_times);
    if (rc == RC_OK) rc = path_times(second, second_times);
    if (rc != RC_OK) return rc;
    *not_older = file_time_not_before(second_times[1], first_times[1]);
    return RC_OK;
}

static bool host_is_directory(const std::string& host) {
    struct stat info;
    return host_stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

static ResultCode provided_directory_make(const ProvidedPath& on) {
    ResultCode rc = on.provider->make_directory(on.context, on.inner);
    if (rc == RC_OK) return rc;
    DriveEntry entry;
    if (on.provider->stat(on.context, on.inner, &entry) == RC_OK && entry.is_directory)
        return RC_OK;
    return rc;
}

ResultCode directory_make(std::string_view path) {
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK) return rc;
    if (at.provided) return provided_directory_make(at.on);
    const std::string& host = at.host;
    if (host_mkdir(host.c_str(), 0777) == 0) return RC_OK;
    int error = errno;
    if (host_is_directory(host)) return RC_OK;
    return error == EEXIST ? RC_OS_ERROR : host_error_code(error);
}

// A directory on a provider's drive is named as written, with "\" separators.
static ResultCode provided_full_path(std::string_view path, const ProvidedPath& on,
                                     std::string* full_path) {
    DriveEntry entry;
    ResultCode rc = on.provider->stat(on.context, on.inner, &entry);
    if (rc != RC_OK) return rc;
    if (!entry.is_directory) return RC_FILE_NOT_FOUND;
    std::string full = path_trim(path);
    for (char& c : full)
        if (c == '/') c = '\\';
    *full_path = full;
    return RC_OK;
}

ResultCode directory_full_path(std::string_view path, std::string* full_path) {
    ProvidedPath on;
    if (drive_provider_find(path, &on)) return provided_full_path(path, on, full_path);
    HostLocation location;
    ResultCode rc = host_path_locate(path, &location);
    if (rc != RC_OK) return rc;
    struct stat info;
    if (host_stat(location.path.c_str(), &info) != 0) return host_error_code(errno);
    if (!S_ISDIR(info.st_mode)) return RC_FILE_NOT_FOUND;
    if (host_access(location.path.c_str(), X_OK) != 0) return host_error_code(errno);
    std::string full = host_location_engine_path(location);
    if (full.size() > size_t(PATH_LIMIT)) return RC_INVALID_FILE_NAME;
    *full_path = full;
    return RC_OK;
}

static FileIdentity identity_of(const struct stat& info) {
    return FileIdentity{uint64_t(info.st_dev), uint64_t(info.st_ino)};
}

static bool same_identity(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.inode == b.inode;
}

ResultCode directory_place(std::string_view path, DirectoryPlace* place) {
    *place = DirectoryPlace{};
    ProvidedPath on;
    if (drive_provider_find(path, &on)) {
        // A provider's disk has no host identity: it is placed, never compared.
        FileStatus status;
        ResultCode rc = file_status(path, &status);
        place->exists = status.exists && status.is_directory;
        place->blocked = status.exists && !status.is_directory;
        return rc;
    }
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc != RC_OK) return rc;
    struct stat info;
    bool itself = true;
    while (host_stat(host.c_str(), &info) != 0) {
        int error = errno;
        if (error != ENOENT && error != ENOTDIR) return host_error_code(error);
        // A link that points nowhere is in the way of a directory as much
        // as a file is.
        struct stat link;
        if (itself && error == ENOENT && host_lstat(host.c_str(), &link) == 0) {
            place->blocked = true;
            place->host = host;
            return RC_OK;
        }
        size_t slash = host.rfind('/');
        if (slash == std::string::npos || host == "/") return host_error_code(error);
        host.resize(slash == 0 ? 1 : slash);
        itself = false;
    }
    place->host = host;
    if (!S_ISDIR(info.st_mode)) {
        place->blocked = true;
        return RC_OK;
    }
    place->exists = itself;
    place->identity = identity_of(info);
    return RC_OK;
}

ResultCode directory_place_within(const DirectoryPlace& inner, const DirectoryPlace& outer,
                                  bool* within) {
    *within = false;
    if (!outer.exists || !outer.identity.known() || !inner.identity.known()) return RC_OK;
    std::string host = inner.host;
    FileIdentity at = inner.identity;
    while (!same_identity(at, outer.identity)) {
        host += host.back() == '/' ? ".." : "/..";
        if (host.size() >= PATH_MAX) return RC_INVALID_FILE_NAME;
        struct stat info;
        if (host_stat(host.c_str(), &info) != 0) return host_error_code(errno);
        FileIdentity parent = identity_of(info);
        if (same_identity(parent, at)) return RC_OK;  // the root is its own parent
        at = parent;
    }
    *within = true;
    return RC_OK;
}

static ResultCode provided_read_all(const ProvidedPath& on, std::string* bytes) {
    DriveFile* file = nullptr;
    ResultCode rc = on.provider->open(on.context, on.inner, DRIVE_OPEN_READ, &file);
    if (rc != RC_OK) return rc;
    std::string data;
    char buffer[65536];
    size_t got = 0;
    while ((rc = on.provider->read(file, buffer, sizeof buffer, &got)) == RC_OK && got > 0)
        data.append(buffer, got);
    ResultCode closed = on.provider->close(file);
    if (rc == RC_OK) rc = closed;
    if (rc == RC_OK) *bytes = std::move(data);
    return rc;
}

ResultCode file_read_all(std::string_view path, std::string* bytes) {
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK) return rc;
    if (at.provided) return provided_read_all(at.on, bytes);
    int fd = -1;
    struct stat info;
    rc = host_open_regular(at.host.c_str(), &fd, &info);
    if (rc != RC_OK) return rc;
    std::string data;
    char buffer[65536];
    long n;
    while ((n = host_read(fd, buffer, sizeof buffer)) > 0) data.append(buffer, size_t(n));
    rc = n < 0 ? host_read_error_code(errno) : RC_OK;
    host_close(fd);
    if (rc == RC_OK) *bytes = std::move(data);
    return rc;
}

ResultCode file_holds(std::string_view path, std::string_view bytes, bool* same) {
    *same = false;
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK) return rc;
    if (at.provided) {
        std::string data;
        rc = provided_read_all(at.on, &data);
        if (rc == RC_OK) *same = data == bytes;
        return rc;
    }
    int fd = -1;
    struct stat info;
    rc = host_open_regular(at.host.c_str(), &fd, &info);
    if (rc != RC_OK) return rc;
    bool equal = true;
    size_t compared = 0;
    char buffer[65536];
    long n;
    while ((n = host_read(fd, buffer, sizeof buffer)) > 0) {
        // The whole file is read even past a difference, so that a failing
        // read shows as it would when reading it all.
        if (equal && (compared + size_t(n) > bytes.size() ||
                      bytes.compare(compared, size_t(n), std::string_view(buffer, size_t(n))) != 0))
            equal = false;
        compared += size_t(n);
    }
    rc = n < 0 ? host_read_error_code(errno) : RC_OK;
    host_close(fd);
    if (rc == RC_OK) *same = equal && compared == bytes.size();
    return rc;
}

void floppy_root_parse(std::string_view text, std::string* root) {
    if (text.empty() || text.size() > size_t(PATH_LIMIT)) return;
    std::string named(text);
    if (text == ".") {
        std::string current = host_current_directory();
        if (current.empty()) return;
        named = host_path_to_engine(current);
        if (named.size() > size_t(PATH_LIMIT)) return;
    }
    if (path_has_drive(named)) named[0] = upper_char(named[0]);
    *root = std::move(named);
}

ResultCode file_copy_contents(std::string_view source, std::string_view destination) {
    std::string bytes;
    ResultCode rc = file_read_all(source, &bytes);
    if (rc != RC_OK) return rc;
    TextFile* out = nullptr;
    rc = text_file_open_write(&out, destination, "", "", "");
    if (rc != RC_OK) return rc;
    text_file_write_bytes(out, bytes);
    return text_file_close(out);
}

ResultCode file_keep_old_copy(const PathParts& path) {
    return file_keep_copy(path, "old");
}

ResultCode directory_make_tree(std::string_view path) {
    ResultCode rc = directory_make(path);
    if (rc != RC_FILE_NOT_FOUND) return rc;
    std::string trimmed = path_trim(path);
    PathParts parts = path_split(trimmed);
    std::string parent = path_trim(parts.absolute.empty() ? parts.relative : parts.absolute);
    if (parent.empty() || parent == trimmed) return RC_UNABLE_TO_WRITE;  // at a root
    rc = directory_make_tree(parent);
    return rc != RC_OK ? rc : directory_make(path);
}

ResultCode file_keep_copy(const PathParts& path, std::string_view extension) {
    std::string source = path_join(path);
    std::string old = path_join(path.absolute, path.relative, path.base, extension);
    ResultCode rc = file_copy_contents(source, old);
    return rc == RC_OK ? file_copy_times(source, old) : rc;
}
