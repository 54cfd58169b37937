// Binary files on the host.
#include "sys/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "sys/drive_providers.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"
#include "sys/text_file.h"

// A host file (fd), or a file of a drive provider (drive_file).
struct BinaryFile {
    int fd = -1;
    const DriveProvider* provider = nullptr;
    DriveFile* drive_file = nullptr;
    // A host file opened for reading: its access and modification times
    // when it was opened, which a copy of it takes over.
    bool times_known = false;
    struct timespec times[2] = {};
    // A file made without a name: the host path binary_file_place gives it.
    std::string place;
};

static DriveOpenMode drive_mode(BinaryMode mode) {
    if (mode == BINARY_READ) return DRIVE_OPEN_READ;
    return mode == BINARY_APPEND ? DRIVE_OPEN_APPEND : DRIVE_OPEN_WRITE;
}

static int host_flags(BinaryMode mode) {
    if (mode == BINARY_READ) return O_RDONLY;
    if (mode == BINARY_WRITE || mode == BINARY_REPLACE) return O_WRONLY | O_CREAT | O_TRUNC;
    return O_WRONLY | O_CREAT | O_APPEND;
}

static ResultCode provided_open(BinaryFile** file, const DriveProvider* provider, void* context,
                                const std::string& inner, BinaryMode mode) {
    DriveFile* drive_file = nullptr;
    ResultCode rc = provider->open(context, inner, drive_mode(mode), &drive_file);
    if (rc != RC_OK) return rc;
    *file = new (std::nothrow) BinaryFile;
    if (*file) {
        (*file)->provider = provider;
        (*file)->drive_file = drive_file;
        return RC_OK;
    }
    provider->close(drive_file);
    return RC_NO_OBJECT;
}

static ResultCode wrap_host_file(BinaryFile** file, int fd) {
    *file = new (std::nothrow) BinaryFile;
    if (*file) {
        (*file)->fd = fd;
        return RC_OK;
    }
    host_close(fd);
    return RC_NO_OBJECT;
}

// A host file opened for reading, with the status its open found.
static ResultCode wrap_read_file(BinaryFile** file, int fd, const struct stat& info) {
    ResultCode rc = wrap_host_file(file, fd);
    if (rc != RC_OK) return rc;
    (*file)->times_known = true;
    (*file)->times[0] = info.st_atim;
    (*file)->times[1] = info.st_mtim;
    return RC_OK;
}

ResultCode binary_file_open(BinaryFile** file, std::string_view path, BinaryMode mode) {
    if (!file) return RC_NO_OBJECT;
    *file = nullptr;
    const DriveProvider* provider = nullptr;
    void* context = nullptr;
    std::string inner;
    if (drive_provider_find(path, &provider, &context, &inner)) {
        // Whether there was a file to remove shows when it is opened.
        if (mode == BINARY_REPLACE) (void)provider->remove(context, inner);
        return provided_open(file, provider, context, inner, mode);
    }
    std::string as_written, host;
    int fd = -1;
    struct stat info;
    // A file to read is most often there as written: opened at once, with no
    // lookup before it; the lookup without regard to case follows only when
    // it is not, and a second open only when it finds another spelling. A
    // file to read is opened as a regular file only, never waiting on a FIFO.
    bool missing = false;
    if (mode == BINARY_READ && host_path_as_written(path, &as_written)) {
        ResultCode opened = host_open_regular(as_written.c_str(), &fd, &info);
        if (opened == RC_OK) return wrap_read_file(file, fd, info);
        if (opened != RC_FILE_NOT_FOUND) return opened;
        missing = true;
    }
    bool found = true;
    ResultCode rc = host_path_resolve(path, &host, &found);
    if (rc != RC_OK) return rc;
    if (missing && host == as_written) return RC_FILE_NOT_FOUND;
    // A name the lookup found in no spelling has nothing to remove.
    if (mode == BINARY_REPLACE && found && host_lstat(host.c_str(), &info) == 0) {
        // A read-only file is made writable first; a link is removed itself,
        // so the file it points to is left alone. Whether the removal worked
        // shows when the file is opened.
        if (S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
            (void)host_chmod(host.c_str(), info.st_mode | S_IWUSR);
        (void)host_unlink(host.c_str());
    }
    if (mode == BINARY_READ) {
        rc = host_open_regular(host.c_str(), &fd, &info);
        if (rc != RC_OK) return rc;
        return wrap_read_file(file, fd, info);
    }
    fd = host_open(host.c_str(), host_flags(mode) | O_CLOEXEC, 0666);
    if (fd < 0) return host_error_code(errno);
    return wrap_host_file(file, fd);
}

ResultCode binary_file_make_unnamed(BinaryFile** file, std::string_view place) {
    if (!file) return RC_NO_OBJECT;
    *file = nullptr;
    ProvidedPath on;
    if (drive_provider_find(place, &on)) return RC_OK;
    std::string host;
    ResultCode rc = host_path_resolve(place, &host);
    if (rc != RC_OK) return rc;
    size_t slash = host.rfind('/');
    if (slash == std::string::npos) return RC_OK;
    std::string directory = slash == 0 ? std::string("/") : host.substr(0, slash);
    int fd = host_open_unnamed(directory.c_str(), host.c_str(), 0666);
    if (fd < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return RC_OK;
        return host_error_code(errno);
    }
    rc = wrap_host_file(file, fd);
    if (rc == RC_OK) (*file)->place = host;
    return rc;
}

ResultCode binary_file_place(BinaryFile* file) {
    if (!file || file->place.empty()) return RC_NO_OBJECT;
    const std::string& host = file->place;
    if (host_link_unnamed(file->fd, host.c_str()) == 0) return RC_OK;
    if (errno != EEXIST) return host_error_code(errno);
    // A file has the name: the new one is renamed over it from a temporary
    // name, so that the name never stands for no file or a part of one.
    std::string temporary;
    if (text_file_temporary_beside(host, &temporary, [&](const char* path) {
            return host_link_unnamed(file->fd, path);
        }) != 0)
        return host_error_code(errno);
    if (host_rename(temporary.c_str(), host.c_str()) == 0) return RC_OK;
    int error = errno;
    (void)host_unlink(temporary.c_str());
    return host_error_code(error);
}

ResultCode binary_file_read(BinaryFile* file, void* buffer, size_t size, size_t* got) {
    if (!file || !got) return RC_NO_OBJECT;
    *got = 0;
    if (file->provider) return file->provider->read(file->drive_file, buffer, size, got);
    long n = host_read(file->fd, static_cast<char*>(buffer), size);
    if (n < 0) return RC_UNABLE_TO_READ;
    *got = size_t(n);
    return RC_OK;
}

ResultCode binary_file_write(BinaryFile* file, const void* buffer, size_t size) {
    if (!file) return RC_NO_OBJECT;
    if (file->provider) return file->provider->write(file->drive_file, buffer, size);
    int error = host_write_all(file->fd, static_cast<const char*>(buffer), size);
    if (error == 0) return RC_OK;
    ResultCode rc = host_write_error_code(error);
    return rc == RC_UNABLE_TO_WRITE ? rc : RC_OS_ERROR;
}

bool binary_file_copy_range(BinaryFile* from, BinaryFile* to, size_t size, size_t* moved) {
    *moved = 0;
    if (!from || !to || from->provider || to->provider) return false;
    long n = host_copy_range(from->fd, to->fd, size);
    if (n < 0) return false;
    *moved = size_t(n);
    return true;
}

ResultCode binary_file_copy_times(BinaryFile* from, BinaryFile* to) {
    if (!from || !to) return RC_NO_OBJECT;
    if (from->provider || to->provider) return RC_OS_ERROR;
    struct timespec times[2];
    if (from->times_known) {
        times[0] = from->times[0];
        times[1] = from->times[1];
    } else {
        struct stat info;
        if (host_fstat(from->fd, &info) != 0) return host_error_code(errno);
        times[0] = info.st_atim;
        times[1] = info.st_mtim;
    }
    if (host_fset_times(to->fd, times) != 0) return host_error_code(errno);
    return RC_OK;
}

ResultCode binary_file_close(BinaryFile* file) {
    if (!file) return RC_NO_OBJECT;
    if (file->provider) {
        ResultCode rc = file->provider->close(file->drive_file);
        delete file;
        return rc;
    }
    int result = host_close(file->fd);
    int error = errno;
    delete file;
    return result == 0 ? RC_OK : host_write_error_code(error);
}
