// Directory listing over a snapshot of the directory's names, taken in
// delivery order when the listing starts; each entry is examined when it is
// delivered.
#include "sys/directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "sys/drive_providers.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"
#include "sys/work_pool.h"

// The status of one entry as a worker asked for it ahead of delivery.
struct AheadStatus {
    bool asked = false;   // queued on the pool
    bool answered = false;
    int error = 0;        // 0, or the errno of the failed query
    struct stat info = {};
};

// The queries made ahead of delivery: one status per name, answered by the
// pool's workers under `lock`.
struct LookAhead {
    WorkPool* pool = nullptr;
    size_t ahead = 0;
    std::mutex lock;
    std::condition_variable answered;
    std::vector<AheadStatus> statuses;  // by name index
    size_t in_flight = 0;               // asked, not yet answered
};

struct DirectoryListing {
    std::string host_directory;
    std::vector<std::string> names;  // in delivery order
    bool provided = false;           // the entries come from a drive provider
    std::vector<DriveEntry> entries; // a provider's entries, in delivery order
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
    std::unique_ptr<LookAhead> look_ahead;  // none: each entry asked on delivery
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

DirectoryListing* directory_open(std::string_view directory) {
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

// Asks for the status of the entry `name`: 0, or the errno of the failure.
static int entry_stat(const DirectoryListing* listing, const std::string& name,
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

// How many statuses one worker asks for in a row: few enough that many
// workers share a listing, enough that handing them out costs little
// beside a query on a local disk.
constexpr size_t STATUSES_PER_TASK = 8;

// Queues the status queries of the names from `index` on, up to the
// look-ahead's reach, in tasks of a few names each.
static void ahead_ask(DirectoryListing* listing, size_t index) {
    LookAhead* ahead = listing->look_ahead.get();
    size_t end = std::min(listing->names.size(), index + ahead->ahead);
    size_t first = index;
    {
        std::lock_guard<std::mutex> held(ahead->lock);
        while (first < end && ahead->statuses[first].asked) ++first;
        for (size_t i = first; i < end; ++i) ahead->statuses[i].asked = true;
        ahead->in_flight += end - first;
    }
    for (size_t from = first; from < end; from += STATUSES_PER_TASK) {
        size_t to = std::min(end, from + STATUSES_PER_TASK);
        work_pool_queue(ahead->pool, [listing, ahead, from, to] {
            for (size_t i = from; i < to; ++i) {
                struct stat info = {};
                int error = entry_stat(listing, listing->names[i], &info);
                // Told under the lock: once the last answer is in, the
                // listing may be closed and the look-ahead freed.
                std::lock_guard<std::mutex> held(ahead->lock);
                ahead->statuses[i].error = error;
                ahead->statuses[i].info = info;
                ahead->statuses[i].answered = true;
                --ahead->in_flight;
                ahead->answered.notify_all();
            }
        });
    }
}

// The status of name `index`: asked ahead when the listing looks ahead,
// else asked now. 0, or the errno of the failure.
static int entry_status(DirectoryListing* listing, size_t index, struct stat* info) {
    LookAhead* ahead = listing->look_ahead.get();
    if (!ahead) return entry_stat(listing, listing->names[index], info);
    ahead_ask(listing, index);
    std::unique_lock<std::mutex> held(ahead->lock);
    ahead->answered.wait(held, [&] { return ahead->statuses[index].answered; });
    *info = ahead->statuses[index].info;
    return ahead->statuses[index].error;
}

void directory_look_ahead(DirectoryListing* listing, WorkPool* pool, size_t ahead) {
    if (!listing || listing->provided || !pool || pool->workers.empty() || ahead == 0) return;
    listing->look_ahead = std::make_unique<LookAhead>();
    listing->look_ahead->pool = pool;
    listing->look_ahead->ahead = ahead;
    listing->look_ahead->statuses.resize(listing->names.size());
}

// Examines the entry of name `index`: 0 when it is to be delivered, 23 when it is to
// be passed over (a link pointing nowhere or into a loop of links, or an
// entry gone since the listing started), else the host error's code (20 for
// an input/output error).
static ResultCode entry_examine(DirectoryListing* listing, size_t index) {
    const std::string& name = listing->names[index];
    struct stat info;
    int error = entry_status(listing, index, &info);
    if (error != 0)
        return (error == ENOENT || error == ELOOP) ? RC_NO_MORE_ENTRIES
                                                   : host_read_error_code(error);
    listing->entry_name = name;
    listing->entry_modified = info.st_mtim;
    listing->entry_changed = info.st_ctim;
    listing->entry_is_directory = S_ISDIR(info.st_mode);
    listing->entry_identity = identity_of(info);
    if (listing->entry_is_directory) return RC_OK;
    if (!S_ISREG(info.st_mode)) listing->entry_not_regular = true;
    else if (uint64_t(info.st_size) > UINT32_MAX) listing->entry_too_large = true;
    else listing->entry_size = static_cast<uint32_t>(info.st_size);
    return RC_OK;
}

ResultCode directory_next(DirectoryListing* listing) {
    if (!listing) return RC_NO_OBJECT;
    entry_clear(listing);
    if (listing->provided) {
        if (listing->next_index >= listing->entries.size()) return RC_NO_MORE_ENTRIES;
        const DriveEntry& entry = listing->entries[listing->next_index++];
        listing->entry_name = entry.name;
        listing->entry_size = entry.size;
        listing->entry_modified = entry.write_time;
        listing->entry_changed = entry.write_time;
        listing->entry_is_directory = entry.is_directory;
        return RC_OK;
    }
    while (listing->next_index < listing->names.size()) {
        ResultCode rc = entry_examine(listing, listing->next_index++);
        if (rc == RC_NO_MORE_ENTRIES) continue;
        if (rc != RC_OK) entry_clear(listing);
        return rc;
    }
    return RC_NO_MORE_ENTRIES;
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
    // Queries still under way use the directory and the names.
    if (listing && listing->look_ahead) {
        LookAhead* ahead = listing->look_ahead.get();
        std::unique_lock<std::mutex> held(ahead->lock);
        ahead->answered.wait(held, [&] { return ahead->in_flight == 0; });
    }
    if (listing && listing->directory_fd >= 0) host_close(listing->directory_fd);
    delete listing;
}
