// Host I/O: error mapping and the failure-injectable wrappers of host calls.
#include "sys/host_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

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
        case EWOULDBLOCK:
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
    // A socket or a device without its medium cannot be opened for reading
    // at all: the file is there but unreadable.
    return error == EIO || error == ENXIO ? RC_UNABLE_TO_READ : host_error_code(error);
}

// The pending forced failures: per operation the error (0 for none) and the
// calls still to pass before it strikes, and the byte budget of writes when
// a "fail writes after N bytes" switch is set.
struct FaultSwitches {
    int next_error[HOST_OP_COUNT] = {};
    unsigned calls_before[HOST_OP_COUNT] = {};
    std::string path_part[HOST_OP_COUNT];  // empty: every call counts
    // While a fault is aimed at one file: the paths that descriptors and
    // directory streams were opened with.
    std::map<int, std::string> descriptor_paths;
    std::map<const DIR*, std::string> directory_paths;
    bool write_budget_set = false;
    uint64_t write_budget = 0;
    int write_budget_error = 0;
};

static FaultSwitches& faults() {
    static FaultSwitches switches;
    return switches;
}

// The switches are shared by every thread that calls the wrappers (the
// workers of a parallel pass too): each look at them or change to them is
// made under this lock, so that a failure strikes exactly one call.
static std::mutex& faults_lock() {
    static std::mutex lock;
    return lock;
}

using FaultsHeld = std::lock_guard<std::mutex>;

// True from the first switch set until the switches are cleared. A run with
// none set (every run outside the tests) passes the switches by without
// taking their lock, which every host call would otherwise take in turn on
// every thread of a parallel pass.
static std::atomic<bool> switches_set{false};

static bool switches_in_use() {
    return switches_set.load(std::memory_order_acquire);
}

static void fail_next_held(HostOp op, int error, unsigned after) {
    switches_set.store(true, std::memory_order_release);
    faults().next_error[op] = error;
    faults().calls_before[op] = after;
    faults().path_part[op].clear();
}

void file_services_fail_next(HostOp op, int error, unsigned after) {
    FaultsHeld held(faults_lock());
    fail_next_held(op, error, after);
}

void file_services_fail_on(HostOp op, const char* path_part, int error, unsigned after) {
    FaultsHeld held(faults_lock());
    fail_next_held(op, error, after);
    faults().path_part[op] = path_part;
}

// True when some fault is aimed at one file, so that paths must be kept.
// The lock is held.
static bool paths_wanted() {
    for (const std::string& part : faults().path_part)
        if (!part.empty()) return true;
    return false;
}

// The path `fd` was opened with, as kept for the faults aimed at one file
// (empty when none is). The lock is held.
static std::string descriptor_path(int fd) {
    auto found = faults().descriptor_paths.find(fd);
    return found == faults().descriptor_paths.end() ? std::string() : found->second;
}

static std::string directory_path(const DIR* directory) {
    auto found = faults().directory_paths.find(directory);
    return found == faults().directory_paths.end() ? std::string() : found->second;
}

void file_services_fail_writes_after(uint64_t bytes, int error) {
    FaultsHeld held(faults_lock());
    switches_set.store(true, std::memory_order_release);
    faults().write_budget_set = true;
    faults().write_budget = bytes;
    faults().write_budget_error = error;
}

// The round trip each call of an operation waits, in microseconds; apart
// from the switches, so that a waiting call holds no lock.
static std::atomic<unsigned> round_trips[HOST_OP_COUNT];

void file_services_delay(HostOp op, unsigned microseconds) {
    round_trips[op] = microseconds;
}

static void round_trip_wait(HostOp op) {
    unsigned microseconds = round_trips[op].load(std::memory_order_relaxed);
    if (microseconds != 0) std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

void file_services_faults_clear() {
    for (std::atomic<unsigned>& wait : round_trips) wait = 0;
    FaultsHeld held(faults_lock());
    faults() = FaultSwitches{};
    switches_set.store(false, std::memory_order_release);
}

// The error that stands for a stop of the process rather than a failure.
constexpr int STOP_MARK = -1;

void file_services_stop_on(HostOp op, const char* path_part, unsigned after) {
    file_services_fail_on(op, path_part, STOP_MARK, after);
}

// True (with errno set) when a failure of `op` on `path` strikes now; it is
// used up. A stop ends the process there.
static bool fault_take_held(HostOp op, const char* path) {
    FaultSwitches& f = faults();
    if (f.next_error[op] == 0) return false;
    if (!f.path_part[op].empty() && !std::strstr(path, f.path_part[op].c_str())) return false;
    if (f.calls_before[op] > 0) {
        --f.calls_before[op];
        return false;
    }
    if (f.next_error[op] == STOP_MARK) _exit(STOPPED_EXIT_STATUS);
    errno = f.next_error[op];
    f.next_error[op] = 0;
    return true;
}

static bool fault_take(HostOp op, const char* path = "") {
    round_trip_wait(op);
    if (!switches_in_use()) return false;
    FaultsHeld held(faults_lock());
    return fault_take_held(op, path);
}

// The same for a call on the descriptor `fd` (or directory stream), judged
// by the path it was opened with.
static bool fault_take_fd(HostOp op, int fd) {
    round_trip_wait(op);
    if (!switches_in_use()) return false;
    FaultsHeld held(faults_lock());
    return fault_take_held(op, descriptor_path(fd).c_str());
}

static bool fault_take_directory(HostOp op, const DIR* directory) {
    round_trip_wait(op);
    if (!switches_in_use()) return false;
    FaultsHeld held(faults_lock());
    return fault_take_held(op, directory_path(directory).c_str());
}

// Keeps the path a descriptor or directory stream was opened with while a
// fault is aimed at one file; forgets it when it is closed.
static void descriptor_opened(int fd, const char* path) {
    if (!switches_in_use()) return;
    FaultsHeld held(faults_lock());
    if (paths_wanted()) faults().descriptor_paths[fd] = path;
}

static void descriptor_closed(int fd) {
    if (!switches_in_use()) return;
    FaultsHeld held(faults_lock());
    faults().descriptor_paths.erase(fd);
}

static std::atomic<HostNameObserver>& name_observer() {
    static std::atomic<HostNameObserver> observer{nullptr};
    return observer;
}

void host_names_observe(HostNameObserver observer) {
    name_observer() = observer;
}

// Tells the observer of the names `gone` and `made` (either may be
// nullptr) at `stage`.
static void names_tell(const char* gone, const char* made, HostNamesStage stage) {
    HostNameObserver observer = name_observer();
    if (!observer) return;
    int error = errno;
    observer(gone, made, stage);
    errno = error;
}

// Makes the host call `change` of the names `gone` and `made`, telling the
// observer before and after it; the call's answer.
template <typename Change>
static int names_change(const char* gone, const char* made, Change change) {
    names_tell(gone, made, NAMES_CHANGING);
    int answer = change();
    names_tell(gone, made, answer == 0 ? NAMES_CHANGED : NAMES_UNCHANGED);
    return answer;
}

// Opens `path`, again when a signal broke the call off; the descriptor is
// kept as opened with `judged` for the failures aimed at one file.
static int open_kept(const char* path, int flags, mode_t mode, const char* judged) {
    for (;;) {
        int fd = open(path, flags | O_CLOEXEC, mode);
        if (fd >= 0) descriptor_opened(fd, judged);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

int host_open(const char* path, int flags, mode_t mode) {
    if (fault_take(HOST_OP_OPEN, path)) return -1;
    bool creates = (flags & O_CREAT) != 0;
    if (creates) names_tell(nullptr, path, NAMES_CHANGING);
    int fd = open_kept(path, flags, mode, path);
    if (creates) names_tell(nullptr, path, fd >= 0 ? NAMES_CHANGED : NAMES_UNCHANGED);
    return fd;
}

int host_open_unnamed(const char* directory, const char* path, mode_t mode) {
    if (fault_take(HOST_OP_OPEN, path)) return -1;
    return open_kept(directory, O_TMPFILE | O_WRONLY, mode, path);
}

int host_link_unnamed(int fd, const char* path) {
    if (fault_take(HOST_OP_RENAME, path)) return -1;
    return names_change(nullptr, path, [&] {
        if (linkat(fd, "", AT_FDCWD, path, AT_EMPTY_PATH) == 0) return 0;
        // A kernel before 6.10 links a descriptor itself for a privileged
        // process only; for the others its name under /proc serves.
        if (errno != ENOENT) return -1;
        char own[48];
        std::snprintf(own, sizeof own, "/proc/self/fd/%d", fd);
        return linkat(AT_FDCWD, own, AT_FDCWD, path, AT_SYMLINK_FOLLOW);
    });
}

int host_close(int fd) {
    descriptor_closed(fd);
    if (fault_take(HOST_OP_CLOSE)) {
        int error = errno;
        close(fd);  // the descriptor is gone either way
        errno = error;
        return -1;
    }
    return close(fd);
}

int host_rename(const char* from, const char* to) {
    if (fault_take(HOST_OP_RENAME, from)) return -1;
    return names_change(from, to, [&] { return rename(from, to); });
}

int host_unlink(const char* path) {
    if (fault_take(HOST_OP_UNLINK, path)) return -1;
    return names_change(path, nullptr, [&] { return unlink(path); });
}

int host_mkdir(const char* path, mode_t mode) {
    if (fault_take(HOST_OP_MKDIR, path)) return -1;
    return names_change(nullptr, path, [&] { return mkdir(path, mode); });
}

int host_stat(const char* path, struct stat* info) {
    if (fault_take(HOST_OP_STAT, path)) return -1;
    return stat(path, info);
}

int host_lstat(const char* path, struct stat* info) {
    if (fault_take(HOST_OP_STAT, path)) return -1;
    return lstat(path, info);
}

int host_fstat(int fd, struct stat* info) {
    if (fault_take_fd(HOST_OP_FSTAT, fd)) return -1;
    return fstat(fd, info);
}

int host_fstatat(int directory_fd, const char* name, struct stat* info) {
    bool strikes = false;
    round_trip_wait(HOST_OP_FSTAT);
    if (switches_in_use()) {
        // Judged by the entry's own path, so that a failure can be aimed at
        // one entry of a directory whatever order its entries are asked in.
        FaultsHeld held(faults_lock());
        std::string path = descriptor_path(directory_fd);
        if (!path.empty()) path += std::string("/") + name;
        strikes = fault_take_held(HOST_OP_FSTAT, path.c_str());
    }
    if (strikes) return -1;
    return fstatat(directory_fd, name, info, 0);
}

int host_set_times(const char* path, const struct timespec times[2]) {
    if (fault_take(HOST_OP_SET_TIMES, path)) return -1;
    return utimensat(AT_FDCWD, path, times, 0);
}

int host_fset_times(int fd, const struct timespec times[2]) {
    if (fault_take_fd(HOST_OP_SET_TIMES, fd)) return -1;
    return futimens(fd, times);
}

int host_chmod(const char* path, mode_t mode) {
    if (fault_take(HOST_OP_CHMOD, path)) return -1;
    return chmod(path, mode);
}

int host_fchmod(int fd, mode_t mode) {
    if (fault_take(HOST_OP_CHMOD)) return -1;
    return fchmod(fd, mode);
}

int host_fchown(int fd, uid_t owner, gid_t group) {
    if (fault_take(HOST_OP_CHMOD)) return -1;
    return fchown(fd, owner, group);
}

int host_access(const char* path, int mode) {
    if (fault_take(HOST_OP_ACCESS, path)) return -1;
    return access(path, mode);
}

int host_fsync(int fd) {
    if (fault_take_fd(HOST_OP_SYNC, fd)) return -1;
    return fsync(fd);
}

int host_flock(int fd, int operation) {
    if (fault_take_fd(HOST_OP_LOCK, fd)) return -1;
    for (;;) {
        int result = flock(fd, operation);
        if (result == 0 || errno != EINTR) return result;
    }
}

int host_ftruncate(int fd, off_t length) {
    if (fault_take(HOST_OP_TRUNCATE)) return -1;
    return ftruncate(fd, length);
}

off_t host_lseek(int fd, off_t offset, int whence) {
    if (fault_take(HOST_OP_SEEK)) return -1;
    return lseek(fd, offset, whence);
}

int host_statvfs(const char* path, struct statvfs* info) {
    if (fault_take(HOST_OP_STATVFS, path)) return -1;
    return statvfs(path, info);
}

DIR* host_opendir(const char* path) {
    if (fault_take(HOST_OP_OPENDIR, path)) return nullptr;
    DIR* directory = opendir(path);
    if (directory && switches_in_use()) {
        FaultsHeld held(faults_lock());
        if (paths_wanted()) faults().directory_paths[directory] = path;
    }
    return directory;
}

dirent* host_readdir(DIR* directory) {
    if (fault_take_directory(HOST_OP_READDIR, directory)) return nullptr;
    errno = 0;
    return readdir(directory);
}

int host_closedir(DIR* directory) {
    if (switches_in_use()) {
        FaultsHeld held(faults_lock());
        faults().directory_paths.erase(directory);
    }
    return closedir(directory);
}

// How many of `size` bytes the write budget still allows (all when unset),
// taken from the budget at once so that writes on several threads share it.
static size_t write_allowance(size_t size, bool* budget_set, int* budget_error) {
    *budget_set = false;
    *budget_error = 0;
    if (!switches_in_use()) return size;
    FaultsHeld held(faults_lock());
    FaultSwitches& f = faults();
    *budget_set = f.write_budget_set;
    *budget_error = f.write_budget_error;
    if (!f.write_budget_set) return size;
    size_t allowed = size <= f.write_budget ? size : static_cast<size_t>(f.write_budget);
    f.write_budget -= allowed;
    return allowed;
}

// Writes within the budget through `put` (a write at the current position
// or at an offset); 0 or the host error number.
template <typename Put>
static int write_all_with(int fd, size_t size, Put put) {
    if (fault_take_fd(HOST_OP_WRITE, fd)) return errno;
    bool budget_set = false;
    int budget_error = 0;
    size_t allowed = write_allowance(size, &budget_set, &budget_error);
    size_t done = 0;
    while (done < allowed) {
        ssize_t n = put(done, allowed - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;  // a device that takes nothing would loop for ever
        done += static_cast<size_t>(n);
    }
    if (budget_set && allowed < size) return budget_error;
    return 0;
}

int host_write_all(int fd, const char* data, size_t size) {
    return write_all_with(fd, size,
                          [&](size_t done, size_t left) { return write(fd, data + done, left); });
}

int host_pwrite_all(int fd, const char* data, size_t size, off_t offset) {
    return write_all_with(fd, size, [&](size_t done, size_t left) {
        return pwrite(fd, data + done, left, offset + off_t(done));
    });
}

// True when any failure is armed: the in-kernel copy then stands aside, so
// that every armed failure strikes the reads and writes it is aimed at.
static bool faults_armed() {
    if (!switches_in_use()) return false;
    FaultsHeld held(faults_lock());
    const FaultSwitches& f = faults();
    if (f.write_budget_set) return true;
    for (int error : f.next_error)
        if (error != 0) return true;
    return false;
}

long host_copy_range(int from, int to, size_t size) {
    if (faults_armed()) {
        errno = ENOSYS;
        return -1;
    }
    for (;;) {
        ssize_t n = copy_file_range(from, nullptr, to, nullptr, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

long host_read(int fd, char* data, size_t size) {
    if (fault_take_fd(HOST_OP_READ, fd)) return -1;
    for (;;) {
        ssize_t n = read(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

long host_pread(int fd, char* data, size_t size, off_t offset) {
    if (fault_take_fd(HOST_OP_READ, fd)) return -1;
    for (;;) {
        ssize_t n = pread(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

ResultCode host_open_regular(const char* path, int* fd, struct stat* info) {
    *fd = host_open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
    if (*fd < 0) return host_read_error_code(errno);
    ResultCode rc = RC_OK;
    if (host_fstat(*fd, info) != 0)
        rc = host_read_error_code(errno);
    else if (S_ISDIR(info->st_mode))
        rc = RC_OS_ERROR;
    else if (!S_ISREG(info->st_mode))
        rc = RC_UNABLE_TO_READ;
    if (rc != RC_OK) {
        host_close(*fd);
        *fd = -1;
    }
    return rc;
}

bool host_process_alive(long pid) {
    if (pid <= 0) return true;
    return kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}
