// Host I/O: error mapping and the failure-injectable wrappers of host calls.
#include "sys/host_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

ResultCode host_error_code(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return RC_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
        return RC_PERMISSION_DENIED;
    case EROFS:
    case EIO:
        return RC_UNABLE_TO_WRITE;
    case EMFILE:
    case ENFILE:
        return RC_TOO_MANY_OPEN_FILES;
    case EINVAL:
    case ENAMETOOLONG:
        return RC_INVALID_FILE_NAME;
    case EBUSY:
        return RC_SHARING_VIOLATION;
    case ENOLCK:
        return RC_LOCK_VIOLATION;
    default:
        return RC_OS_ERROR;
    }
}

ResultCode host_write_error_code(int error) {
    if (error == ENOSPC || error == EFBIG || error == EDQUOT) return RC_UNABLE_TO_WRITE;
    return host_error_code(error);
}

ResultCode host_read_error_code(int error) {
    return error == EIO ? RC_UNABLE_TO_READ : host_error_code(error);
}

// The pending forced failures: one error per operation (0 for none), and the
// byte budget of writes when a "fail writes after N bytes" switch is set.
struct FaultSwitches {
    int next_error[HOST_OP_COUNT] = {};
    bool write_budget_set = false;
    uint64_t write_budget = 0;
    int write_budget_error = 0;
};

static FaultSwitches& faults() {
    static FaultSwitches switches;
    return switches;
}

void file_services_fail_next(HostOp op, int error) { faults().next_error[op] = error; }

void file_services_fail_writes_after(uint64_t bytes, int error) {
    faults().write_budget_set = true;
    faults().write_budget = bytes;
    faults().write_budget_error = error;
}

void file_services_faults_clear() { faults() = FaultSwitches{}; }

// True (with errno set) when a failure of `op` is pending; it is used up.
static bool fault_take(HostOp op) {
    int error = faults().next_error[op];
    if (error == 0) return false;
    faults().next_error[op] = 0;
    errno = error;
    return true;
}

int host_open(const char* path, int flags, mode_t mode) {
    if (fault_take(HOST_OP_OPEN)) return -1;
    return open(path, flags | O_CLOEXEC, mode);
}

int host_rename(const char* from, const char* to) {
    if (fault_take(HOST_OP_RENAME)) return -1;
    return rename(from, to);
}

int host_unlink(const char* path) {
    if (fault_take(HOST_OP_UNLINK)) return -1;
    return unlink(path);
}

int host_mkdir(const char* path, mode_t mode) {
    if (fault_take(HOST_OP_MKDIR)) return -1;
    return mkdir(path, mode);
}

int host_stat(const char* path, struct stat* info) {
    if (fault_take(HOST_OP_STAT)) return -1;
    return stat(path, info);
}

int host_set_times(const char* path, const struct timespec times[2]) {
    if (fault_take(HOST_OP_SET_TIMES)) return -1;
    return utimensat(AT_FDCWD, path, times, 0);
}

// How many of `size` bytes the write budget still allows (all when unset).
static size_t write_allowance(size_t size) {
    if (!faults().write_budget_set || size <= faults().write_budget) return size;
    return static_cast<size_t>(faults().write_budget);
}

int host_write_all(int fd, const char* data, size_t size) {
    if (fault_take(HOST_OP_WRITE)) return errno;
    size_t allowed = write_allowance(size);
    size_t done = 0;
    while (done < allowed) {
        ssize_t n = write(fd, data + done, allowed - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        done += static_cast<size_t>(n);
    }
    if (faults().write_budget_set) faults().write_budget -= done;
    if (allowed < size) return faults().write_budget_error;
    return 0;
}

long host_read(int fd, char* data, size_t size) {
    if (fault_take(HOST_OP_READ)) return -1;
    for (;;) {
        ssize_t n = read(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}
