// The directory walk.
#include "engine/directory_walk.h"

#include <cassert>
#include <set>

#include "sys/directory.h"
#include "sys/paths.h"
#include "sys/text_file.h"

namespace {

struct Walk {
    bool recursive = false;
    const WalkVisitor* visit = nullptr;
    std::set<FileIdentity> entered;  // directories entered so far
    bool stopped = false;
    unsigned status_ahead = 0;
};

// The entry the listing stands on, described and classified.
WalkEntry entry_of(Walk* walk, DirectoryListing* listing, const std::string& directory,
                   const std::string& prefix) {
    WalkEntry entry;
    entry.name = directory_entry_name(listing);
    // The name is joined whole, so that a name ending in a dot keeps it.
    entry.relative = path_join("", prefix, entry.name, "");
    entry.full = path_join(directory, "", entry.name, "");
    entry.is_directory = directory_entry_is_directory(listing);
    entry.size = directory_entry_size(listing);
    entry.modified = directory_entry_modified(listing);
    entry.changed = directory_entry_changed(listing);
    if (entry.full.size() > size_t(PATH_LIMIT) || entry.relative.size() > size_t(PATH_LIMIT)) {
        entry.problem = WALK_PATH_TOO_LONG;
    } else if (entry.is_directory) {
        FileIdentity id = directory_entry_identity(listing);
        if (id.known() && walk->entered.count(id)) entry.problem = WALK_VISITED;
    } else if (directory_entry_not_regular(listing)) {
        entry.problem = WALK_NOT_REGULAR;
    } else if (directory_entry_too_large(listing)) {
        entry.problem = WALK_TOO_LARGE;
    }
    return entry;
}

ResultCode walk_directory(Walk* walk, const std::string& directory, const std::string& prefix) {
    DirectoryListing* listing = directory_open(directory, walk->status_ahead);
    if (!listing) return RC_UNABLE_TO_READ;
    if (directory_identity(listing).known()) walk->entered.insert(directory_identity(listing));
    ResultCode code;
    while ((code = directory_next(listing)) == RC_OK) {
        // The writer's temporary files are its own, never part of a kit.
        if (text_file_is_temporary_name(directory_entry_name(listing), nullptr)) continue;
        WalkEntry entry = entry_of(walk, listing, directory, prefix);
        WalkStep step = (*walk->visit)(entry);
        if (step == WALK_STOP) {
            walk->stopped = true;
            break;
        }
        if (step != WALK_ENTER || !walk->recursive || !entry.is_directory ||
            entry.problem != WALK_SOUND)
            continue;
        code = walk_directory(walk, entry.full, entry.relative);
        if (code != RC_OK || walk->stopped) break;
    }
    directory_close(listing);
    return code == DIRECTORY_END || walk->stopped ? RC_OK : code;
}

}  // namespace

ResultCode directory_walk(std::string_view directory, bool recursive, const WalkVisitor& visit,
                          unsigned status_ahead) {
    Walk walk;
    walk.status_ahead = status_ahead;
    walk.recursive = recursive;
    walk.visit = &visit;
    return walk_directory(&walk, std::string(directory), "");
}

void directory_walk_ahead_start(WalkAhead* ahead, std::string_view directory,
                                std::function<bool(const WalkEntry&)> enters,
                                unsigned status_ahead) {
    ahead->directory = std::string(directory);
    ahead->status_ahead = status_ahead;
    ahead->enters = std::move(enters);
    // Without a thread, the walk is made when it is visited.
    work_pool_start(&ahead->pool, 1);
    if (ahead->pool.workers.empty()) return;
    work_pool_queue(&ahead->pool, [ahead] {
        // Each entry is taken as it is met; an abandoned walk stops at the next.
        auto take = [ahead](const WalkEntry& entry) {
            if (ahead->abandoned) return WALK_STOP;
            ahead->entries.push_back(entry);
            return ahead->enters(entry) ? WALK_ENTER : WALK_PASS;
        };
        ResultCode code = directory_walk(ahead->directory, true, take, ahead->status_ahead);
        std::lock_guard<std::mutex> held(ahead->lock);
        ahead->code = code;
        ahead->done = true;
        ahead->ended.notify_all();
    });
}

ResultCode directory_walk_ahead_visit(WalkAhead* ahead, const WalkVisitor& visit) {
    if (ahead->pool.workers.empty())
        return directory_walk(ahead->directory, true, visit, ahead->status_ahead);
    {
        std::unique_lock<std::mutex> held(ahead->lock);
        ahead->ended.wait(held, [ahead] { return ahead->done; });
    }
    for (const WalkEntry& entry : ahead->entries) {
        WalkStep step = visit(entry);
        if (step == WALK_STOP) return RC_OK;
        // The walk entered exactly the directories this visitor enters.
        assert(!entry.is_directory || entry.problem != WALK_SOUND ||
               (step == WALK_ENTER) == ahead->enters(entry));
    }
    return ahead->code;
}

void directory_walk_ahead_end(WalkAhead* ahead) {
    ahead->abandoned = true;
    work_pool_stop(&ahead->pool);
}
