// Host I/O: the one mapping of host error numbers to result codes, and the
// host calls of the file services behind wrappers that tests can make fail.
// Needs only the C library; owns the failure-injection switches.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "sys/result_code.h"

// Maps a host error number to a result code: no such file or not a
// directory 22, permission 27, read-only file system or input/output error
// 21, too many open files 52, invalid or too long name 23, busy 53, no
// locks 54, anything else 29.
ResultCode host_error_code(int error);

// The same for a failed write: no space (or quota) or file too large is 21 as well.
ResultCode host_write_error_code(int error);

// The same for a failed read: an input/output error is 20 ("Unable to Read").
ResultCode host_read_error_code(int error);

// The host calls that a test can make fail.
enum HostOp {
    HOST_OP_OPEN,
    HOST_OP_READ,
    HOST_OP_WRITE,
    HOST_OP_RENAME,
    HOST_OP_UNLINK,
    HOST_OP_MKDIR,
    HOST_OP_STAT,
    HOST_OP_SET_TIMES,
    HOST_OP_COUNT
};

// The next call of `op` fails with the host error `error` (an errno value).
void file_services_fail_next(HostOp op, int error);
// Once `bytes` more bytes have been written, every further write fails with
// `error` (ENOSPC gives "Disk Full"); the write that crosses the limit writes
// only the bytes below it.
void file_services_fail_writes_after(uint64_t bytes, int error);
// Clears every pending failure.
void file_services_faults_clear();

// The wrappers: each behaves as the host call of the same name (returns -1
// and sets errno on failure) unless a forced failure is pending.
int host_open(const char* path, int flags, mode_t mode);
int host_rename(const char* from, const char* to);
int host_unlink(const char* path);
int host_mkdir(const char* path, mode_t mode);
int host_stat(const char* path, struct stat* info);
int host_set_times(const char* path, const struct timespec times[2]);

// Writes all `size` bytes to `fd`, retrying short writes. Returns 0, or the
// host error number of the failed write.
int host_write_all(int fd, const char* data, size_t size);
// Reads up to `size` bytes; returns the count, 0 at the end, -1 on failure.
long host_read(int fd, char* data, size_t size);
