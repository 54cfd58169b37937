// Host I/O: the one mapping of host error numbers to result codes, and every
// host call of the file services behind a wrapper that a test can make fail.
// Needs only the C library; owns the failure-injection switches.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "sys/result_code.h"

// Maps a host error number to a result code: no such file or not a
// directory RC_FILE_NOT_FOUND, permission RC_PERMISSION_DENIED, read-only
// file system or input/output error RC_UNABLE_TO_WRITE, too many open files
// RC_TOO_MANY_OPEN_FILES, invalid or too long name RC_INVALID_FILE_NAME,
// busy RC_SHARING_VIOLATION, no locks RC_LOCK_VIOLATION, anything else
// RC_OS_ERROR.
ResultCode host_error_code(int error);

// The same for a failed write: no space (or quota) or file too large is RC_UNABLE_TO_WRITE as well.
ResultCode host_write_error_code(int error);

// The same for a failed read: an input/output error, or a file that cannot
// be opened for reading (a socket), is RC_UNABLE_TO_READ ("Unable to Read").
ResultCode host_read_error_code(int error);

// The host calls that a test can make fail.
enum HostOp {
    HOST_OP_OPEN,   // open
    HOST_OP_READ,   // read, pread
    HOST_OP_WRITE,  // write, pwrite
    HOST_OP_RENAME,
    HOST_OP_UNLINK,
    HOST_OP_MKDIR,
    HOST_OP_STAT,   // stat, lstat
    HOST_OP_FSTAT,  // fstat, fstatat
    HOST_OP_SET_TIMES,
    HOST_OP_CHMOD,  // chmod, fchmod
    HOST_OP_ACCESS,
    HOST_OP_OPENDIR,
    HOST_OP_READDIR,  // the names of a directory
    HOST_OP_SYNC,     // fsync
    HOST_OP_CLOSE,
    HOST_OP_LOCK,      // flock
    HOST_OP_TRUNCATE,  // ftruncate
    HOST_OP_SEEK,      // lseek
    HOST_OP_STATVFS,   // the free space of a file system
    HOST_OP_COUNT
};

// The call of `op` that follows `after` further calls of it fails with the
// host error `error` (an errno value); `after` 0 is the very next call.
void file_services_fail_next(HostOp op, int error, unsigned after = 0);
// The same for the calls of `op` on one file only: those whose host path
// (or, for reads, writes and directory names, the path the descriptor or
// directory was opened with; for an entry's status asked relative to its
// open directory, that path, "/" and the entry's name) holds `path_part`.
// The switches are shared by every thread; a failure aimed by a count
// rather than at one file strikes whichever call comes first.
void file_services_fail_on(HostOp op, const char* path_part, int error, unsigned after = 0);
// Once `bytes` more bytes have been written, every further write fails with
// `error` (ENOSPC gives RC_UNABLE_TO_WRITE, "Unable to Write"); the write that crosses the limit
// writes only the bytes below it.
void file_services_fail_writes_after(uint64_t bytes, int error);
// The call of `op` on one file (as file_services_fail_on picks it) that
// follows `after` further such calls ends the process at once, before it
// does anything, with the exit status STOPPED_EXIT_STATUS: no file is
// closed, renamed or removed, as when a run is killed. For a test that runs
// the engine in a child process and then looks at what was left.
constexpr int STOPPED_EXIT_STATUS = 86;
void file_services_stop_on(HostOp op, const char* path_part, unsigned after = 0);
// Every later call of `op` waits `microseconds` before it is made, as each
// call to a file server waits one round trip (0 ends the wait). For a test
// of work that keeps several calls in flight; cleared with the failures.
void file_services_delay(HostOp op, unsigned microseconds);
// Clears every pending failure and delay.
void file_services_faults_clear();

// Told of the names that a wrapper removes and creates, as the call was
// given them: `gone` for unlink and the old name of a rename, `made` for an
// open with O_CREAT, mkdir and the new name of a rename; the other is
// nullptr (a rename tells both at once). Told twice: with NAMES_CHANGING
// just before the host call, then with NAMES_CHANGED after it succeeded or
// NAMES_UNCHANGED after it failed. The wrapper keeps errno as its own call
// left it. One observer at a time; nullptr for none.
enum HostNamesStage { NAMES_CHANGING, NAMES_CHANGED, NAMES_UNCHANGED };
typedef void (*HostNameObserver)(const char* gone, const char* made, HostNamesStage stage);
void host_names_observe(HostNameObserver observer);

// The wrappers: each behaves as the host call of the same name (returns -1,
// or nullptr, and sets errno on failure) unless a forced failure is pending.
int host_open(const char* path, int flags, mode_t mode);
int host_close(int fd);
int host_rename(const char* from, const char* to);
int host_unlink(const char* path);
int host_mkdir(const char* path, mode_t mode);
int host_stat(const char* path, struct stat* info);
int host_lstat(const char* path, struct stat* info);
int host_fstat(int fd, struct stat* info);
int host_fstatat(int directory_fd, const char* name, struct stat* info);
int host_set_times(const char* path, const struct timespec times[2]);
int host_fset_times(int fd, const struct timespec times[2]);
int host_chmod(const char* path, mode_t mode);
int host_fchmod(int fd, mode_t mode);
int host_fchown(int fd, uid_t owner, gid_t group);
int host_access(const char* path, int mode);
int host_fsync(int fd);
int host_flock(int fd, int operation);
int host_ftruncate(int fd, off_t length);
off_t host_lseek(int fd, off_t offset, int whence);
int host_statvfs(const char* path, struct statvfs* info);
DIR* host_opendir(const char* path);
// The next entry; nullptr at the end (errno 0) or on failure (errno set).
dirent* host_readdir(DIR* directory);
int host_closedir(DIR* directory);

// Opens for writing a file without a name in the host directory
// `directory`, which host_link_unnamed gives the name `path` in it once the
// file is whole; until then nothing shows in the directory, and a file that
// is never named vanishes when closed. A test's failures aimed at one file
// judge it as an open of `path`. -1 with errno EOPNOTSUPP, EISDIR or EINVAL
// where the file system or the kernel cannot make such a file.
int host_open_unnamed(const char* directory, const char* path, mode_t mode);
// Gives the unnamed file `fd` the name `path`: -1 with EEXIST when a file
// has that name already. A test's failures judge it as a rename to `path`;
// the observer is told of the name made.
int host_link_unnamed(int fd, const char* path);

// Writes all `size` bytes to `fd`, retrying short writes. Returns 0, or the
// host error number of the failed write.
int host_write_all(int fd, const char* data, size_t size);
// The same at `offset`, leaving the file position alone.
int host_pwrite_all(int fd, const char* data, size_t size, off_t offset);
// Reads up to `size` bytes; returns the count, 0 at the end, -1 on failure.
long host_read(int fd, char* data, size_t size);
// Copies up to `size` bytes from the current position of `from` to that of
// `to` inside the kernel: the bytes copied (0 at the end of `from`), or -1
// with errno. It declines (ENOSYS) while a failure is armed, so a test's
// failures reach the plain reads and writes that stand in for it.
long host_copy_range(int from, int to, size_t size);
// The same at `offset`.
long host_pread(int fd, char* data, size_t size, off_t offset);

// Opens a host file for reading without ever blocking (a FIFO would block
// in open) and only when it is a regular file (or a link to one), with its
// status in *info. RC_OK with *fd; a directory is RC_OS_ERROR, any other kind of file
// RC_UNABLE_TO_READ; a failed open or status query its read code.
ResultCode host_open_regular(const char* path, int* fd, struct stat* info);

// True when the process `pid` is running (or may not be asked about).
bool host_process_alive(long pid);
