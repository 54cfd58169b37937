// Directory listing over a snapshot of the directory's names, taken in
// delivery order when the listing starts; each entry is examined when it is
// delivered, or ahead of that by a pool of threads when the host answers
// status queries slowly.
#include "sys/directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <memory>
#include <new>
#include <vector>

#include "sys/drive_providers.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"
#include "sys/work_pool.h"

// The answer of the host to one entry's status query.
struct EntryStatus {
    struct stat info = {};
    int error = 0;  // errno of a failed query, 0 when it answered
    bool answered = false;
};

// Status queries asked ahead of the reader: each worker takes the next
// entry not yet asked and records the host's answer in its place.
struct StatusAhead {
    std::mutex lock;
    std::condition_variable answered;
    std::vector<EntryStatus> answers;  // by entry index
    std::atomic<size_t> next_asked{0};
    std::atomic<bool> stopping{false};
    WorkPool pool;
};

// How many entries a listing examines itself before it judges the host's
// speed, and the mean time per status query above which it asks ahead.
// A local disk answers from its cache in a few microseconds; a file server
// takes a round trip of a tenth of a millisecond or more.
constexpr size_t STATUS_PROBES = 8;
constexpr std::chrono::microseconds SLOW_STATUS{100};

struct DirectoryListing {
    std::string host_directory;
    std::vector<std::string> names;   // in delivery order
    bool provided = false;            // the entries come from a drive provider
    std::vector<DriveEntry> entries;  // a provider's entries, in delivery order
    size_t next_index = 0;
    int directory_fd = -1;  // entries are examined relative to it
    FileIdentity identity;  // of the directory itself
    std::string entry_name;
    uint32_t entry_size = 0;
    struct timespec entry_modified = {};
    struct timespec entry_changed = {};
    bool entry_is_directory = false;
    bool entry_too_large = false;
    bool entry_not_regular = false;
    FileIdentity entry_identity;
    unsigned status_ahead = 0;              // threads that may ask ahead
    std::chrono::nanoseconds probe_time{};  // spent on the first queries
    std::unique_ptr<StatusAhead> ahead;     // while asking ahead
};

static FileIdentity identity_of(const struct stat& info) {
    return FileIdentity{uint64_t(info.st_dev), uint64_t(info.st_ino)};
}

// A listing of a provider's directory, taken whole when it starts.
static DirectoryListing* provided_open(const DriveProvider* provider, void* context,
                                       const std::string& inner) {
    std::vector<DriveEntry> entries;
    if (provider->list(context, inner, &entries) != RC_OK) return nullptr;
    std::sort(entries.begin(), entries.end(), [](const DriveEntry& a, const DriveEntry& b) {
        return host_name_before(a.name, b.name);
    });
    DirectoryListing* listing = new (std::nothrow) DirectoryListing;
    if (!listing) return nullptr;
    listing->provided = true;
    listing->entries = std::move(entries);
    return listing;
}

DirectoryListing* directory_open(std::string_view directory, unsigned status_ahead) {
    const DriveProvider* provider = nullptr;
    void* context = nullptr;
    std::string inner;
    if (drive_provider_find(directory, &provider, &context, &inner))
        return provided_open(provider, context, inner);
    std::string host_directory;
    if (host_path_resolve(directory, &host_directory) != RC_OK) return nullptr;
    struct stat info;
    if (host_stat(host_directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return nullptr;
    DirectoryListing* listing = new (std::nothrow) DirectoryListing;
    if (!listing) return nullptr;
    listing->host_directory = host_directory;
    listing->identity = identity_of(info);
    // A listing whose names could not all be read is no listing: delivering
    // the names read so far would make the files after them look absent.
    if (host_directory_read(host_directory, &listing->names) != 0) {
        delete listing;
        return nullptr;
    }
    listing->directory_fd = host_open(host_directory.c_str(), O_RDONLY | O_DIRECTORY, 0);
    listing->status_ahead = status_ahead;
    return listing;
}

static void entry_clear(DirectoryListing* listing) {
    listing->entry_name.clear();
    listing->entry_size = 0;
    listing->entry_modified = {};
    listing->entry_changed = {};
    listing->entry_is_directory = false;
    listing->entry_too_large = false;
    listing->entry_not_regular = false;
    listing->entry_identity = FileIdentity{};
}

// Asks the host for the status of the entry `name`: 0, or the errno of
// the failed query.
static int entry_status(const DirectoryListing* listing, const std::string& name,
                        struct stat* info) {
    int failed = 0;
    if (listing->directory_fd >= 0) {
        // Relative to the open directory, the host does not walk the whole
        // path again for every entry.
        failed = host_fstatat(listing->directory_fd, name.c_str(), info);
    } else {
        std::string host_path = listing->host_directory;
        if (host_path.back() != '/') host_path += '/';
        host_path += name;
        failed = host_stat(host_path.c_str(), info);
    }
    return failed != 0 ? errno : 0;
}

static void status_ahead_serve(DirectoryListing* listing) {
    StatusAhead* ahead = listing->ahead.get();
    for (;;) {
        size_t index = ahead->next_asked++;
        if (ahead->stopping || index >= listing->names.size()) return;
        EntryStatus status;
        status.error = entry_status(listing, listing->names[index], &status.info);
        status.answered = true;
        {
            std::lock_guard<std::mutex> held(ahead->lock);
            ahead->answers[index] = status;
        }
        ahead->answered.notify_all();
    }
}

// Starts asking for the entries from `first` on ahead of the reader; stays
// on the reader's thread when the host gives no thread.
static void status_ahead_start(DirectoryListing* listing, size_t first) {
    auto ahead = std::make_unique<StatusAhead>();
    ahead->answers.resize(listing->names.size());
    ahead->next_asked = first;
    listing->ahead = std::move(ahead);
    work_pool_start(&listing->ahead->pool, listing->status_ahead);
    if (listing->ahead->pool.workers.empty()) {
        listing->ahead.reset();
        return;
    }
    for (size_t i = 0; i < listing->ahead->pool.workers.size(); ++i)
        work_pool_queue(&listing->ahead->pool, [listing] { status_ahead_serve(listing); });
}

static void status_ahead_stop(DirectoryListing* listing) {
    if (!listing->ahead) return;
    listing->ahead->stopping = true;
    work_pool_stop(&listing->ahead->pool);
    listing->ahead.reset();
}

// The status of entry `index`: the answer asked ahead, else asked now. The
// first queries are timed, and when the host is slow to answer them the
// rest are asked ahead.
static int entry_status_at(DirectoryListing* listing, size_t index, struct stat* info) {
    if (StatusAhead* ahead = listing->ahead.get()) {
        std::unique_lock<std::mutex> held(ahead->lock);
        ahead->answered.wait(held, [&] { return ahead->answers[index].answered; });
        *info = ahead->answers[index].info;
        return ahead->answers[index].error;
    }
    // Only the first queries of a listing that may ask ahead are timed.
    if (listing->status_ahead <= 1 || index >= STATUS_PROBES)
        return entry_status(listing, listing->names[index], info);
    auto started = std::chrono::steady_clock::now();
    int error = entry_status(listing, listing->names[index], info);
    listing->probe_time += std::chrono::steady_clock::now() - started;
    if (index + 1 == STATUS_PROBES && index + 1 < listing->names.size() &&
        listing->probe_time > SLOW_STATUS * STATUS_PROBES)
        status_ahead_start(listing, index + 1);
    return error;
}

// What entry_take answers for an entry to pass over; like DIRECTORY_END a
// value apart from every result code, never returned by directory_next.
constexpr ResultCode ENTRY_PASSED_OVER = ResultCode(-2);

// Takes the status of the entry `name` (or the errno `error` of its query)
// as the current entry: RC_OK when it is to be delivered, ENTRY_PASSED_OVER
// when it is to be passed over (a link pointing nowhere or into a loop of
// links, or an entry gone since the listing started), else the host error's
// code (RC_UNABLE_TO_READ for an input/output error).
static ResultCode entry_take(DirectoryListing* listing, const std::string& name, int error,
                             const struct stat& info) {
    if (error != 0)
        return (error == ENOENT || error == ELOOP) ? ENTRY_PASSED_OVER
                                                   : host_read_error_code(error);
    // The walk joins the name to the directory's path: an empty one would
    // stand for the directory itself.
    assert(!name.empty());
    listing->entry_name = name;
    listing->entry_modified = info.st_mtim;
    listing->entry_changed = info.st_ctim;
    listing->entry_is_directory = S_ISDIR(info.st_mode);
    listing->entry_identity = identity_of(info);
    if (listing->entry_is_directory) return RC_OK;
    if (!S_ISREG(info.st_mode))
        listing->entry_not_regular = true;
    else if (uint64_t(info.st_size) > UINT32_MAX)
        listing->entry_too_large = true;
    else
        listing->entry_size = static_cast<uint32_t>(info.st_size);
    return RC_OK;
}

ResultCode directory_next(DirectoryListing* listing) {
    if (!listing) return RC_NO_OBJECT;
    entry_clear(listing);
    if (listing->provided) {
        if (listing->next_index >= listing->entries.size()) return DIRECTORY_END;
        const DriveEntry& entry = listing->entries[listing->next_index++];
        listing->entry_name = entry.name;
        listing->entry_size = entry.size;
        listing->entry_modified = entry.write_time;
        listing->entry_changed = entry.write_time;
        listing->entry_is_directory = entry.is_directory;
        return RC_OK;
    }
    while (listing->next_index < listing->names.size()) {
        size_t index = listing->next_index++;
        struct stat info = {};
        int error = entry_status_at(listing, index, &info);
        ResultCode rc = entry_take(listing, listing->names[index], error, info);
        if (rc == ENTRY_PASSED_OVER) continue;
        if (rc != RC_OK) entry_clear(listing);
        return rc;
    }
    return DIRECTORY_END;
}

const std::string& directory_entry_name(const DirectoryListing* listing) {
    static const std::string none;
    return listing ? listing->entry_name : none;
}

uint32_t directory_entry_size(const DirectoryListing* listing) {
    return listing ? listing->entry_size : 0;
}

struct timespec directory_entry_modified(const DirectoryListing* listing) {
    return listing ? listing->entry_modified : timespec{};
}

struct timespec directory_entry_changed(const DirectoryListing* listing) {
    return listing ? listing->entry_changed : timespec{};
}

bool directory_entry_is_directory(const DirectoryListing* listing) {
    return listing && listing->entry_is_directory;
}

bool directory_entry_too_large(const DirectoryListing* listing) {
    return listing && listing->entry_too_large;
}

bool directory_entry_not_regular(const DirectoryListing* listing) {
    return listing && listing->entry_not_regular;
}

FileIdentity directory_entry_identity(const DirectoryListing* listing) {
    return listing ? listing->entry_identity : FileIdentity{};
}

FileIdentity directory_identity(const DirectoryListing* listing) {
    return listing ? listing->identity : FileIdentity{};
}

void directory_close(DirectoryListing* listing) {
    if (!listing) return;
    // The threads asking ahead use the open directory: they end first.
    status_ahead_stop(listing);
    if (listing->directory_fd >= 0) host_close(listing->directory_fd);
    delete listing;
}
