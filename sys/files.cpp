// File operations on engine paths, each resolved to its host path first.
#include "sys/files.h"
#include "sys/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sys/host_io.h"
#include "sys/host_paths.h"
#include "sys/paths.h"

ResultCode file_exists(std::string_view path, bool* exists) {
    *exists = false;
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc == RC_FILE_NOT_FOUND) return RC_OK;
    if (rc != RC_OK) return rc;
    struct stat info;
    if (host_stat(host.c_str(), &info) == 0) {
        *exists = true;
        return RC_OK;
    }
    if (errno == ENOENT || errno == ENOTDIR) return RC_OK;
    return errno == EACCES || errno == EPERM ? RC_PERMISSION_DENIED : RC_OS_ERROR;
}

ResultCode file_delete(std::string_view path) {
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc == RC_FILE_NOT_FOUND) return RC_OK;
    if (rc != RC_OK) return rc;
    // A read-only file is made writable first. A symbolic link is removed
    // itself, so the file it points to keeps its permissions.
    struct stat info;
    if (lstat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        chmod(host.c_str(), info.st_mode | S_IWUSR);
    if (host_unlink(host.c_str()) == 0) return RC_OK;
    if (errno == ENOENT || errno == ENOTDIR) return RC_OK;
    return host_error_code(errno);
}

ResultCode file_size(std::string_view path, uint32_t* size) {
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc != RC_OK) return rc;
    int fd = host_open(host.c_str(), O_RDONLY, 0);
    if (fd < 0) return host_error_code(errno);
    struct stat info;
    rc = RC_OK;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || uint64_t(info.st_size) > UINT32_MAX)
        rc = RC_OS_ERROR;
    else
        *size = static_cast<uint32_t>(info.st_size);
    close(fd);
    return rc;
}

ResultCode file_copy_times(std::string_view source, std::string_view destination) {
    std::string host_source, host_destination;
    ResultCode rc = host_path_resolve(source, &host_source);
    if (rc == RC_OK) rc = host_path_resolve(destination, &host_destination);
    if (rc != RC_OK) return rc;
    struct stat info;
    if (host_stat(host_source.c_str(), &info) != 0) return host_error_code(errno);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (host_set_times(host_destination.c_str(), times) != 0) return host_error_code(errno);
    return RC_OK;
}

// The modification time of an engine path in *mtime.
static ResultCode modification_time(std::string_view path, struct timespec* mtime) {
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc != RC_OK) return rc;
    struct stat info;
    if (host_stat(host.c_str(), &info) != 0) return host_error_code(errno);
    *mtime = info.st_mtim;
    return RC_OK;
}

ResultCode file_not_older(std::string_view first, std::string_view second, bool* not_older) {
    struct timespec first_time, second_time;
    ResultCode rc = modification_time(first, &first_time);
    if (rc == RC_OK) rc = modification_time(second, &second_time);
    if (rc != RC_OK) return rc;
    *not_older = second_time.tv_sec != first_time.tv_sec ? second_time.tv_sec > first_time.tv_sec
                                                         : second_time.tv_nsec >= first_time.tv_nsec;
    return RC_OK;
}

static bool host_is_directory(const std::string& host) {
    struct stat info;
    return stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

ResultCode directory_make(std::string_view path) {
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc != RC_OK) return rc;
    if (host_mkdir(host.c_str(), 0777) == 0) return RC_OK;
    int error = errno;
    if (host_is_directory(host)) return RC_OK;
    return error == EEXIST ? RC_OS_ERROR : host_error_code(error);
}

ResultCode directory_full_path(std::string_view path, std::string* full_path) {
    HostLocation location;
    ResultCode rc = host_path_locate(path, &location);
    if (rc != RC_OK) return rc;
    struct stat info;
    if (host_stat(location.path.c_str(), &info) != 0) return host_error_code(errno);
    if (!S_ISDIR(info.st_mode)) return RC_FILE_NOT_FOUND;
    if (access(location.path.c_str(), X_OK) != 0) return host_error_code(errno);
    std::string full = host_location_engine_path(location);
    if (full.size() > size_t(PATH_LIMIT)) return RC_INVALID_FILE_NAME;
    *full_path = full;
    return RC_OK;
}

ResultCode file_read_all(std::string_view path, std::string* bytes) {
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc != RC_OK) return rc;
    int fd = host_open(host.c_str(), O_RDONLY, 0);
    if (fd < 0) return host_error_code(errno);
    std::string data;
    char buffer[65536];
    long n;
    while ((n = host_read(fd, buffer, sizeof buffer)) > 0) data.append(buffer, size_t(n));
    rc = n < 0 ? host_read_error_code(errno) : RC_OK;
    close(fd);
    if (rc == RC_OK) *bytes = std::move(data);
    return rc;
}

static std::string& floppy_root_text() {
    static std::string root = "A:\\";
    return root;
}

void floppy_root_set(std::string_view text) {
    if (text.empty() || text.size() > size_t(PATH_LIMIT)) return;
    std::string root(text);
    if (text == ".") {
        std::string current = host_current_directory();
        if (current.empty()) return;
        root = host_path_to_engine(current);
        if (root.size() > size_t(PATH_LIMIT)) return;
    }
    if (path_has_drive(root) && root[0] >= 'a' && root[0] <= 'z') root[0] = char(root[0] - 'a' + 'A');
    floppy_root_text() = root;
}

const std::string& floppy_root() { return floppy_root_text(); }

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
