// Run locks over the host's whole-file advisory locks.
#include "sys/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <new>
#include <string>

#include "sys/drive_providers.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"

struct FileLock {
    int fd = -1;
};

namespace {

// A lock is taken on the file the path names at that moment. A writer may
// have put a new file in its place since it was opened (the file services
// replace files by renaming); a lock on the former file would guard
// nothing, so the path is looked at again and the lock taken anew.
constexpr int LOCK_ATTEMPTS = 8;

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What lock_once answers when the path names another file by now: a value
// apart from every result code, so that a host failure (RC_INVALID_FILE_NAME for an invalid
// name among them) is never taken for a file replaced meanwhile.
constexpr ResultCode LOCK_FILE_REPLACED = ResultCode(-1);

// Locks the file now named by `host`: RC_OK with *fd, RC_SHARING_VIOLATION when it is held,
// LOCK_FILE_REPLACED when the path names another file by now, or the host
// error's code.
ResultCode lock_once(const std::string& host, int* fd) {
    *fd = host_open(host.c_str(), O_RDONLY | O_NONBLOCK, 0);
    if (*fd < 0) return host_error_code(errno);
    ResultCode rc = RC_OK;
    struct stat opened, named;
    if (host_flock(*fd, LOCK_EX | LOCK_NB) != 0)
        rc = host_error_code(errno);  // held elsewhere: RC_SHARING_VIOLATION
    else if (host_fstat(*fd, &opened) != 0 || host_stat(host.c_str(), &named) != 0)
        rc = host_error_code(errno);
    else if (!same_file(opened, named))
        rc = LOCK_FILE_REPLACED;
    if (rc != RC_OK) {
        host_close(*fd);  // closing drops a lock taken on it
        *fd = -1;
    }
    return rc;
}

}  // namespace

ResultCode file_lock_take(std::string_view path, FileLock** lock) {
    *lock = nullptr;
    ProvidedPath on;
    if (drive_provider_find(path, &on)) {
        *lock = new (std::nothrow) FileLock;
        return *lock ? RC_OK : RC_NO_OBJECT;
    }
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    return rc != RC_OK ? rc : file_lock_take_host(host, lock);
}

ResultCode file_lock_take_host(const std::string& host, FileLock** lock) {
    *lock = nullptr;
    FileLock* made = new (std::nothrow) FileLock;
    if (!made) return RC_NO_OBJECT;
    ResultCode rc = RC_OK;
    for (int attempt = 0; rc == RC_OK && attempt < LOCK_ATTEMPTS; ++attempt) {
        rc = lock_once(host, &made->fd);
        if (rc == RC_OK) {
            *lock = made;
            return RC_OK;
        }
        if (rc == LOCK_FILE_REPLACED) rc = RC_OK;  // replaced meanwhile: again
    }
    delete made;
    return rc == RC_OK ? RC_SHARING_VIOLATION : rc;
}

void file_lock_release(FileLock* lock) {
    if (!lock) return;
    if (lock->fd >= 0) host_close(lock->fd);
    delete lock;
}
