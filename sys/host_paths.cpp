// Host paths: drive table, engine-to-host path resolution and back.
#include "sys/host_paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <set>

#include "sys/host_io.h"
#include "sys/paths.h"
#include "sys/text.h"
#include "sys/work_pool.h"

// The drive table: one host directory per letter, empty when unbound.
struct DriveTable {
    std::string directory[26];
};

static DriveTable make_drive_table() {
    DriveTable table;
    table.directory['Z' - 'A'] = "/";
    return table;
}

static DriveTable& drives() {
    static DriveTable table = make_drive_table();
    return table;
}

// The table slot of a drive letter, or -1.
static int drive_index(char letter) {
    char upper = upper_char(letter);
    if (upper < 'A' || upper > 'Z') return -1;
    return upper - 'A';
}

static bool is_separator(char c) {
    return c == '\\' || c == '/';
}

std::string host_current_directory() {
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) return std::string();
    return buffer;
}

ResultCode drive_bind(char letter, std::string_view host_directory) {
    int index = drive_index(letter);
    if (index < 0 || index == 'Z' - 'A' || host_directory.empty()) return RC_INVALID_FILE_NAME;
    std::string directory(host_directory);
    if (directory[0] != '/') directory = host_current_directory() + "/" + directory;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    drives().directory[index] = directory;
    return RC_OK;
}

void drive_unbind(char letter) {
    int index = drive_index(letter);
    if (index < 0 || index == 'Z' - 'A') return;
    drives().directory[index].clear();
}

bool drive_host_directory(char letter, std::string* host_directory) {
    int index = drive_index(letter);
    if (index < 0 || drives().directory[index].empty()) return false;
    if (host_directory) *host_directory = drives().directory[index];
    return true;
}

bool host_name_before(const std::string& a, const std::string& b) {
    int order = text_compare_nocase(a, b);
    if (order != 0) return order < 0;
    return a < b;
}

int host_directory_read(const std::string& host_directory, std::vector<std::string>* names) {
    names->clear();
    DIR* dir = host_opendir(host_directory.c_str());
    if (!dir) return errno;
    while (dirent* entry = host_readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names->push_back(name);
    }
    int error = errno;
    host_closedir(dir);
    // Sorted on folded copies made once, not folded again at every
    // comparison. The sort moves small keys, which hold the first 8 folded
    // bytes as a number (in the order of the bytes, zeros after a short
    // name), so that most comparisons look at no text; the names move once.
    struct SortKey {
        uint64_t head;
        uint32_t index;
    };
    std::vector<std::string> folded;
    std::vector<SortKey> keys;
    folded.reserve(names->size());
    keys.reserve(names->size());
    for (const std::string& name : *names) {
        folded.push_back(text_fold(name));
        uint64_t head = 0;
        for (size_t i = 0; i < 8; ++i)
            head = head << 8 | (i < name.size() ? uint8_t(folded.back()[i]) : 0);
        keys.push_back(SortKey{head, uint32_t(keys.size())});
    }
    std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
        if (a.head != b.head) return a.head < b.head;
        int by_fold = folded[a.index].compare(folded[b.index]);
        return by_fold != 0 ? by_fold < 0 : (*names)[a.index] < (*names)[b.index];
    });
    std::vector<std::string> sorted;
    sorted.reserve(names->size());
    for (const SortKey& key : keys) sorted.push_back(std::move((*names)[key.index]));
    *names = std::move(sorted);
    return error;
}

static std::string host_child(const std::string& directory, std::string_view name) {
    std::string out = directory;
    if (out.back() != '/') out += '/';
    out += name;
    return out;
}

// ---- The listing cache ----
//
// A name that does not exist as written is looked up in its directory's
// listing. Creating many new files in one directory would read that listing
// again for every new name, so the last few listings read are kept, each
// with the directory's state when it was taken: identity (device, inode),
// modification and change times, size and link count.
//
// When a listing answers: only when a stat of the directory shows the same
// state, and then only when one of these holds:
//  - It is settled: when its state was taken, the change time was already
//    older than the time stamps' granularity. Every change of the entries
//    (by any process) sets the change time to the current time, and changing
//    the modification time back (as archivers do) sets it too, so any later
//    change shows as a new change time. The granularity is taken as 100 ms
//    for stamps with a fraction of a second (the kernel's clock tick, with a
//    wide margin) and 3 s for stamps in whole seconds (file systems that keep
//    one or two seconds, and the tick by which file times trail the clock).
//  - Its state was recorded just after a change of our own, and less than
//    OWN_RECORD_TRUST has passed since. A listing whose change time is that
//    fresh may miss a change another process made within the same clock
//    tick (it leaves the times as they were); such a change races with our
//    own writes into that directory, which no lookup could order anyway,
//    and once the time has passed the listing is read again.
// A listing read while its change time was fresh is kept (our own changes
// can bring it up to date) but does not answer by itself: the next lookup
// reads the directory again.
//
// Our own changes keep listings current: the file services' wrappers report
// every name they create, rename or remove; the cached listing of that
// directory, if any, takes the change, and the directory's state after it
// (one stat) is recorded. A change that leaves the state inexplicable (a
// removal that changed nothing, a settled new state, another directory)
// drops the listing instead.
//
// While the run fills a directory tree of its own (a copy it makes), the
// listings of the directories in it answer without asking the host, and our
// own changes there are noted without asking it again: nothing but the run
// writes into a copy it is making, and a change by another process meanwhile
// races with the copy's own writes, which no lookup could order anyway. When
// the filling ends, those listings are dropped.
//
// A listing that could not be read whole is never kept, and a lookup in it
// counts as not found. Every host call goes through the host_io wrappers.

// Names in delivery order; a FoldedName finds the first name equal to it
// without regard to case (the lowest by byte among those that are).
struct FoldedName {
    std::string_view name;
};

struct DeliveryOrder {
    using is_transparent = void;
    bool operator()(const std::string& a, const std::string& b) const {
        return host_name_before(a, b);
    }
    bool operator()(const std::string& a, FoldedName b) const {
        return text_compare_nocase(a, b.name) < 0;
    }
    bool operator()(FoldedName a, const std::string& b) const {
        return text_compare_nocase(a.name, b) < 0;
    }
};

using NameSet = std::set<std::string, DeliveryOrder>;

// What of a directory's state tells that its entries may have changed.
struct DirectoryState {
    dev_t device = 0;
    ino_t inode = 0;
    struct timespec modified = {};
    struct timespec changed = {};
    off_t size = 0;
    nlink_t links = 0;
};

enum ListingTrust {
    LISTING_SETTLED,     // answers while the state is unchanged
    LISTING_OWN_RECORD,  // answers until own_record_until
    LISTING_FRESH,       // read too soon after a change: read again first
};

struct CachedListing {
    std::string directory;
    NameSet names;
    DirectoryState state;
    ListingTrust trust = LISTING_FRESH;
    int64_t own_record_until = 0;  // nanoseconds of the real-time clock
    uint64_t last_use = 0;
};

static const size_t LISTING_CACHE_SIZE = 8;
static const int64_t NANOSECONDS = 1000000000;
static const int64_t OWN_RECORD_TRUST = 2 * NANOSECONDS;

struct ListingCache {
    std::vector<CachedListing> listings;
    uint64_t uses = 0;
    // Per directory, how many of our own changes to its names are under way
    // (begun, not yet noted): a lookup meanwhile finds the directory in a
    // state the listing has not caught up with yet, for a reason of ours.
    std::map<std::string, unsigned> changing;
    // The host roots of the trees the run is filling, each with how many
    // fillings of it are under way.
    std::map<std::string, unsigned> filling;
};

static ListingCache& listing_cache() {
    static ListingCache cache;
    return cache;
}

// The cache serves every thread that resolves paths (the workers of a
// parallel pass too): each use of it is made under this lock, which is taken
// again by the observer when a wrapper called under it makes a name.
static std::recursive_mutex& listing_lock() {
    static std::recursive_mutex lock;
    return lock;
}

static int64_t nanoseconds_of(const struct timespec& t) {
    return int64_t(t.tv_sec) * NANOSECONDS + t.tv_nsec;
}

static int64_t clock_now() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds_of(now);
}

static DirectoryState directory_state(const struct stat& info) {
    return DirectoryState{info.st_dev,  info.st_ino,  info.st_mtim,
                          info.st_ctim, info.st_size, info.st_nlink};
}

static bool same_time(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

static bool same_state(const DirectoryState& a, const DirectoryState& b) {
    return a.device == b.device && a.inode == b.inode && same_time(a.modified, b.modified) &&
           same_time(a.changed, b.changed) && a.size == b.size && a.links == b.links;
}

// True when a change made after `now` cannot leave the change time as it is
// in `state` (see above for the granularity).
static bool state_settled(const DirectoryState& state, int64_t now) {
    int64_t granularity = state.changed.tv_nsec == 0 ? 3 * NANOSECONDS : NANOSECONDS / 10;
    return now - nanoseconds_of(state.changed) >= granularity;
}

static CachedListing* listing_find(const std::string& directory) {
    for (CachedListing& listing : listing_cache().listings)
        if (listing.directory == directory) return &listing;
    return nullptr;
}

// True when the cache holds a listing of `directory`.
static bool listing_known(const std::string& directory) {
    auto held = work_held(listing_lock());
    return listing_find(directory) != nullptr;
}

// True when the host directory `directory` is `root` or lies below it.
static bool in_tree(const std::string& directory, const std::string& root) {
    if (directory.compare(0, root.size(), root) != 0) return false;
    return directory.size() == root.size() || directory[root.size()] == '/' || root == "/";
}

// True when `directory` lies in a tree the run is filling; the lock is held.
static bool listing_filled(const std::string& directory) {
    for (const auto& filled : listing_cache().filling)
        if (in_tree(directory, filled.first)) return true;
    return false;
}

static void listing_drop(const std::string& directory) {
    std::vector<CachedListing>& listings = listing_cache().listings;
    for (size_t i = 0; i < listings.size(); ++i) {
        if (listings[i].directory != directory) continue;
        listings.erase(listings.begin() + long(i));
        return;
    }
}

// The directory and the name of the host path `path`; false for a path
// that no cached listing can hold: a relative one, or one that ends in "/",
// "." or ".." (a change to another directory's entries, whose new times
// will force a read).
static bool listing_place(const char* path, std::string* directory, std::string* name) {
    if (!path) return false;
    std::string_view whole = path;
    size_t slash = whole.rfind('/');
    if (slash == std::string_view::npos) return false;
    *directory = std::string(whole.substr(0, slash == 0 ? 1 : slash));
    *name = std::string(whole.substr(slash + 1));
    return !name->empty() && *name != "." && *name != "..";
}

// Brings the cached listing of `directory` up to date after our own change
// to it: the name `gone` removed, `made` created (either may be empty).
// The host is asked about the directory once, with the cache's lock
// released, so that other threads resolving paths do not wait on it.
static void listing_note(const std::string& directory, const std::string& gone,
                         const std::string& made) {
    {
        auto held = work_held(listing_lock());
        CachedListing* listing = listing_find(directory);
        if (!listing) return;
        if (listing_filled(directory)) {
            if (!gone.empty()) listing->names.erase(gone);
            if (!made.empty()) listing->names.emplace(made);
            return;
        }
    }
    int64_t now = clock_now();
    struct stat info;
    bool stated = host_stat(directory.c_str(), &info) == 0;
    auto held = work_held(listing_lock());
    CachedListing* listing = listing_find(directory);
    if (!listing) return;
    if (!stated) return listing_drop(directory);
    DirectoryState after = directory_state(info);
    bool unchanged = same_state(after, listing->state);
    if (after.device != listing->state.device || after.inode != listing->state.inode ||
        (unchanged && made.empty()) || (!unchanged && state_settled(after, now)))
        return listing_drop(directory);
    if (!gone.empty()) listing->names.erase(gone);
    if (!made.empty()) listing->names.emplace(made);
    // A state older than the one recorded was taken before another thread's
    // change, noted first; the recorded state holds this change as well.
    if (unchanged || nanoseconds_of(after.changed) < nanoseconds_of(listing->state.changed)) return;
    listing->state = after;
    listing->trust = LISTING_OWN_RECORD;
    listing->own_record_until = nanoseconds_of(after.changed) + OWN_RECORD_TRUST;
}

// Counts one more of `key` under way (`begun`), or one fewer. True when the
// last one has ended; the lock is held.
static bool count_under_way(std::map<std::string, unsigned>* counts, const std::string& key,
                            bool begun) {
    if (begun) {
        ++(*counts)[key];
        return false;
    }
    auto at = counts->find(key);
    if (at == counts->end() || --at->second > 0) return false;
    counts->erase(at);
    return true;
}

// Counts a change of ours to `directory` under way (`begun`), or ended.
static void listing_changing(const std::string& directory, bool begun) {
    auto held = work_held(listing_lock());
    count_under_way(&listing_cache().changing, directory, begun);
}

void host_tree_filling(const std::string& host_root, bool begun) {
    auto held = work_held(listing_lock());
    if (!count_under_way(&listing_cache().filling, host_root, begun)) return;
    // The listings the filling kept current without asking the host carry
    // a state from before it: they are read again when next needed.
    std::vector<CachedListing>& listings = listing_cache().listings;
    auto filled_before = [&](const CachedListing& listing) {
        return in_tree(listing.directory, host_root) && !listing_filled(listing.directory);
    };
    listings.erase(std::remove_if(listings.begin(), listings.end(), filled_before), listings.end());
}

// The observer of the host_io wrappers: a change under way is counted, and
// a change made is noted in the listing; a rename within one directory is
// one change to it.
static void listing_note_change(const char* gone, const char* made, HostNamesStage stage) {
    std::string gone_directory, gone_name, made_directory, made_name;
    bool from = listing_place(gone, &gone_directory, &gone_name);
    bool to = listing_place(made, &made_directory, &made_name);
    bool one_directory = from && to && gone_directory == made_directory;
    if (stage == NAMES_CHANGED) {
        if (one_directory)
            listing_note(gone_directory, gone_name, made_name);
        else {
            if (from) listing_note(gone_directory, gone_name, "");
            if (to) listing_note(made_directory, "", made_name);
        }
    }
    bool begun = stage == NAMES_CHANGING;
    if (from) listing_changing(gone_directory, begun);
    if (to && !one_directory) listing_changing(made_directory, begun);
}

// Reads the names of `directory` into *names. False when they could not all
// be read.
static bool listing_read(const std::string& directory, NameSet* names) {
    std::vector<std::string> listed;
    if (host_directory_read(directory, &listed) != 0) return false;
    // In delivery order already: each name goes in at the end.
    for (std::string& name : listed) names->emplace_hint(names->end(), std::move(name));
    return true;
}

// A directory's status as a lookup found it, and the clock just before.
struct KnownStatus {
    struct stat info = {};
    int64_t taken_at = 0;
};

// The cached listing of `directory` when it answers for the directory in
// the state `known`; the lock is held.
static const CachedListing* listing_valid(const std::string& directory, const KnownStatus& known) {
    CachedListing* listing = listing_find(directory);
    if (!listing) return nullptr;
    // While changes of ours to the directory are under way (other threads
    // writing there), a state it has moved on to is taken for theirs, as a
    // state we just noted is taken for ours: the listing answers as it
    // stands, and their notes bring it up to date.
    bool ours_under_way =
        listing_cache().changing.count(directory) > 0 || listing_filled(directory);
    if (!same_state(listing->state, directory_state(known.info)) &&
        (listing->trust == LISTING_FRESH || !ours_under_way))
        return nullptr;
    if (listing->trust == LISTING_SETTLED || ours_under_way ||
        (listing->trust == LISTING_OWN_RECORD && known.taken_at < listing->own_record_until)) {
        listing->last_use = ++listing_cache().uses;
        return listing;
    }
    return nullptr;
}

// Keeps `names`, read after the directory was found in the state `known`,
// as its listing; the lock is held.
static const CachedListing* listing_keep(const std::string& directory, const KnownStatus& known,
                                         NameSet names) {
    ListingCache& cache = listing_cache();
    CachedListing* listing = listing_find(directory);
    if (!listing) {
        // Full: the listing used least recently goes.
        if (cache.listings.size() >= LISTING_CACHE_SIZE) {
            auto older = [](const CachedListing& a, const CachedListing& b) {
                return a.last_use < b.last_use;
            };
            cache.listings.erase(
                std::min_element(cache.listings.begin(), cache.listings.end(), older));
        }
        host_names_observe(listing_note_change);
        cache.listings.emplace_back();
        listing = &cache.listings.back();
        listing->directory = directory;
    }
    DirectoryState state = directory_state(known.info);
    listing->names = std::move(names);
    listing->state = state;
    listing->trust = state_settled(state, known.taken_at) ? LISTING_SETTLED : LISTING_FRESH;
    listing->last_use = ++cache.uses;
    return listing;
}

// The first spelling of `name` in `listing`: as written when it is there
// so, else the first entry equal to it without regard to case in delivery
// order, else empty.
static std::string listing_spelling(const CachedListing& listing, std::string_view name) {
    std::string spelling;
    for (auto at = listing.names.lower_bound(FoldedName{name});
         at != listing.names.end() && text_equal_nocase(*at, name); ++at) {
        if (*at == name) return *at;
        if (spelling.empty()) spelling = *at;
    }
    return spelling;
}

// The spelling of `name` in `directory` (empty when it is listed in no
// case) as the listing of a tree the run is filling gives it, asking the
// host nothing. False when `directory` is in no such tree or its listing is
// not at hand.
static bool filled_spelling(const std::string& directory, std::string_view name,
                            std::string* spelling) {
    auto held = work_held(listing_lock());
    CachedListing* listing = listing_find(directory);
    if (!listing || !listing_filled(directory)) return false;
    listing->last_use = ++listing_cache().uses;
    *spelling = listing_spelling(*listing, name);
    return true;
}

// The spelling of `name` in the listing of `directory`, whose status is
// `known` when the caller has just taken it (else nullptr): as
// listing_spelling finds it in the cached listing, read again when it
// cannot answer for the directory as it is. False when the directory's
// state or names cannot all be read (the first match may have been
// missed). The host is asked with the cache's lock released.
static bool listed_spelling(const std::string& directory, std::string_view name,
                            const KnownStatus* known, std::string* spelling) {
    KnownStatus taken;
    if (!known) {
        taken.taken_at = clock_now();
        if (host_stat(directory.c_str(), &taken.info) != 0) {
            auto held = work_held(listing_lock());
            listing_drop(directory);
            return false;
        }
        known = &taken;
    }
    {
        auto held = work_held(listing_lock());
        if (const CachedListing* listing = listing_valid(directory, *known)) {
            *spelling = listing_spelling(*listing, name);
            return true;
        }
    }
    // The state was taken before the names are read, so that a change while
    // they are read shows as a new state at the next lookup.
    NameSet names;
    bool read = listing_read(directory, &names);
    auto held = work_held(listing_lock());
    if (!read) {
        listing_drop(directory);
        return false;
    }
    *spelling = listing_spelling(*listing_keep(directory, *known, std::move(names)), name);
    return true;
}

// The spelling listed_spelling finds for a name that does not exist as
// written; empty when none does or the directory cannot be listed.
static std::string case_lookup(const std::string& directory, std::string_view name,
                               const KnownStatus* known = nullptr) {
    std::string spelling;
    listed_spelling(directory, name, known, &spelling);
    return spelling;
}

// The spelling of `name` inside host directory `directory`: as written when
// it exists so, else as case_lookup finds it.
static std::string component_lookup(const std::string& directory, std::string_view name) {
    std::string spelling;
    if (filled_spelling(directory, name, &spelling)) return spelling;
    struct stat info;
    if (host_lstat(host_child(directory, name).c_str(), &info) == 0) return std::string(name);
    if (errno != ENOENT) return std::string();
    return case_lookup(directory, name);
}

// Strips the last component of `path`, never going above `floor`.
static void host_parent(std::string* path, const std::string& floor) {
    size_t slash = path->rfind('/');
    path->resize(slash == 0 ? 1 : slash);
    if (path->size() < floor.size()) *path = floor;
}

// The components of `rest` that name an entry ("" and "." left out). False
// when one is "..".
static bool plain_components(std::string_view rest, std::vector<std::string_view>* names) {
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = start;
        while (end < rest.size() && !is_separator(rest[end])) ++end;
        std::string_view name = rest.substr(start, end - start);
        start = end + 1;
        if (name == "..") return false;
        if (!name.empty() && name != ".") names->push_back(name);
    }
    return true;
}

// The walk below in one or two host calls for the common paths: those that
// exist as written, and those of which all but the last component do. An
// lstat of the whole path succeeds exactly when every component exists as
// written (the kernel resolves the symbolic links before each component as
// the walk's own lstat of that prefix does), and an lstat of its parent
// then tells whether only the last one is missing. ".." is taken lexically
// by the walk and not by the kernel, so a path holding it is not taken
// here. False when the walk must be made component by component.
static bool host_walk_whole(std::string_view rest, std::string* path, bool* found) {
    std::vector<std::string_view> names;
    if (!plain_components(rest, &names)) return false;
    *found = true;
    if (names.empty()) return true;
    std::string parent = *path;
    for (size_t i = 0; i + 1 < names.size(); ++i) parent = host_child(parent, names[i]);
    // A directory the run is filling answers from its listing, asking the
    // host nothing. Another whose listing is at hand (one read lately)
    // tells from its status alone whether the name is there and in what
    // spelling: one host call instead of two.
    std::string spelling;
    bool answered = names.size() > 1 && filled_spelling(parent, names.back(), &spelling);
    if (!answered && names.size() > 1 && listing_known(parent)) {
        KnownStatus parent_status;
        parent_status.taken_at = clock_now();
        answered = host_lstat(parent.c_str(), &parent_status.info) == 0 &&
                   S_ISDIR(parent_status.info.st_mode) &&
                   listed_spelling(parent, names.back(), &parent_status, &spelling);
    }
    if (answered) {
        *found = !spelling.empty();
        *path = host_child(parent, *found ? std::string_view(spelling) : names.back());
        return true;
    }
    std::string whole = host_child(parent, names.back());
    struct stat info;
    if (host_lstat(whole.c_str(), &info) == 0) {
        *path = whole;
        return true;
    }
    if (errno != ENOENT) return false;
    // The parent's status serves the lookup below when it is the directory
    // itself rather than a link to it.
    KnownStatus parent_status;
    parent_status.taken_at = clock_now();
    if (names.size() > 1 && host_lstat(parent.c_str(), &parent_status.info) != 0) return false;
    bool known = names.size() > 1 && S_ISDIR(parent_status.info.st_mode);
    // The last name is missing as written (the lstat above): look for it
    // without regard to case.
    spelling = case_lookup(parent, names.back(), known ? &parent_status : nullptr);
    *found = !spelling.empty();
    *path = host_child(parent, spelling.empty() ? names.back() : std::string_view(spelling));
    return true;
}

// Walks the components of `rest` from `path` (the start directory); *found
// tells whether every component exists on the host.
static void host_walk(std::string_view rest, const std::string& floor, std::string* path,
                      bool* found_all) {
    if (host_walk_whole(rest, path, found_all)) return;
    bool found = true;  // every component so far exists on the host
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = start;
        while (end < rest.size() && !is_separator(rest[end])) ++end;
        std::string_view name = rest.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            host_parent(path, floor);
            continue;
        }
        std::string spelling = found ? component_lookup(*path, name) : std::string();
        if (spelling.empty()) {
            found = false;
            spelling = name;
        }
        *path = host_child(*path, spelling);
    }
    *found_all = found;
}

// The drive, root and start directory of `engine_path`, and in *rest the
// part below the start.
static ResultCode location_start(std::string_view engine_path, HostLocation* found,
                                 std::string_view* rest) {
    if (engine_path.size() > size_t(PATH_LIMIT)) return RC_INVALID_FILE_NAME;
    if (engine_path.find('\0') != std::string_view::npos) return RC_INVALID_FILE_NAME;

    *rest = engine_path;
    bool relative_to_cwd = true;
    if (path_has_drive(engine_path)) {
        found->drive = char(drive_index(engine_path[0]) + 'A');
        *rest = engine_path.substr(2);
        // "Z:name" is relative to the current directory (Z: is the current
        // drive); "A:name" to the root of A:.
        relative_to_cwd = found->drive == 'Z' && (rest->empty() || !is_separator((*rest)[0]));
    } else if (!engine_path.empty() && is_separator(engine_path[0])) {
        relative_to_cwd = false;
    }
    if (!drive_host_directory(found->drive, &found->root)) return RC_FILE_NOT_FOUND;

    if (relative_to_cwd) {
        found->root = "/";
        found->path = host_current_directory();
        if (found->path.empty()) return RC_OS_ERROR;
    } else {
        found->path = found->root;
    }
    return RC_OK;
}

ResultCode host_path_locate(std::string_view engine_path, HostLocation* location) {
    HostLocation found;
    std::string_view rest;
    ResultCode rc = location_start(engine_path, &found, &rest);
    if (rc != RC_OK) return rc;
    host_walk(rest, found.root, &found.path, &found.found);
    *location = found;
    return RC_OK;
}

bool host_path_as_written(std::string_view engine_path, std::string* host_path) {
    HostLocation found;
    std::string_view rest;
    std::vector<std::string_view> names;
    if (location_start(engine_path, &found, &rest) != RC_OK || !plain_components(rest, &names))
        return false;
    for (std::string_view name : names) found.path = host_child(found.path, name);
    *host_path = found.path;
    return true;
}

ResultCode host_path_resolve(std::string_view engine_path, std::string* host_path, bool* found) {
    HostLocation location;
    ResultCode rc = host_path_locate(engine_path, &location);
    if (rc != RC_OK) return rc;
    *host_path = location.path;
    if (found) *found = location.found;
    return RC_OK;
}

static std::string backslashed(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

std::string host_location_engine_path(const HostLocation& location) {
    std::string_view below = location.path;
    below.remove_prefix(std::min(location.root.size(), below.size()));
    while (!below.empty() && below[0] == '/') below.remove_prefix(1);
    std::string out{location.drive, ':', '\\'};
    return out + backslashed(below);
}

std::string host_path_to_engine(std::string_view host_path) {
    if (host_path.empty() || host_path[0] != '/') return backslashed(host_path);
    return "Z:" + backslashed(host_path);
}

std::string console_convert_argument(std::string_view word) {
    if (word.size() == 2 && (word[0] == '-' || word[0] == '/')) return std::string(word);
    if (word.size() > 2 && word[0] == '/') return "Z:" + backslashed(word);
    return backslashed(word);
}
