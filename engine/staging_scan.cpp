// The staging-area scan. Components are found by an index on their folded
// Source, so a kit of many files is matched in one pass; the lines come out
// in the order a walk over every group and component would give them.
#include "engine/staging_scan.h"

#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/messages.h"
#include "model/fields.h"
#include "model/group.h"
#include "runtime/bidirectional_lists.h"
#include "sys/directory.h"
#include "sys/paths.h"
#include "sys/text.h"

namespace {

struct Match {
    Value group;
    Value component;
};

struct Scan {
    RunContext* rc = nullptr;
    BiList* groups = nullptr;
    int depth = 0;
    bool first_file_done = false;
    // Components by folded Source, in group and file order.
    std::unordered_map<std::string, std::vector<Match>> index;
    // Groups whose sizes changed: their volume maps are rebuilt once, after
    // the walk.
    std::set<Value> changed_groups;
};

void build_index(Scan* scan) {
    RuntimeContext* rt = scan->rc->runtime;
    for (BiNode* g = scan->groups->first; g; g = g->next) {
        for (BiNode* c = group_record(g->value)->components->first; c; c = c->next) {
            std::string key = text_fold(field_text(rt, component_source(c->value)));
            scan->index[key].push_back(Match{g->value, c->value});
        }
    }
}

// The checks made while the first file of the scan is handled: a product
// file listed in the map, and a component without a Source that has a size.
void first_file_checks(Scan* scan) {
    RuntimeContext* rt = scan->rc->runtime;
    for (BiNode* g = scan->groups->first; g; g = g->next) {
        for (BiNode* c = group_record(g->value)->components->first; c; c = c->next) {
            std::string_view source = field_text(rt, component_source(c->value));
            PathParts parts = path_split(source);
            if (text_equal_nocase(parts.base, scan->rc->os_word) &&
                text_equal_nocase(parts.extension, "prd"))
                engine_report_note(scan->rc->log, scan->depth, source,
                                   "Should not be included in map file");
            if (source.empty() && field_number_value(rt, component_size(c->value, false)) != 0) {
                Value zero = field_number(rt, 0);
                if (zero) component_set_size(rt, c->value, zero, false);
                scan->changed_groups.insert(g->value);
            }
        }
    }
}

// Matches one file; true when a component names it.
bool match_file(Scan* scan, const std::string& relative, uint32_t size) {
    RuntimeContext* rt = scan->rc->runtime;
    auto found = scan->index.find(text_fold(relative));
    if (found == scan->index.end()) return false;
    for (const Match& m : found->second) {
        component_mark_processed(m.component);
        uint32_t old_size = field_number_value(rt, component_size(m.component, false));
        if (old_size == size) continue;
        engine_report_size_change(scan->rc->log, scan->depth, relative, old_size, size);
        Value made = field_number(rt, size);
        if (made) component_set_size(rt, m.component, made, false);
        scan->changed_groups.insert(m.group);
    }
    return true;
}

void handle_file(Scan* scan, const std::string& relative, uint32_t size) {
    if (!scan->first_file_done) first_file_checks(scan);
    bool matched = match_file(scan, relative, size);
    scan->first_file_done = true;
    if (!matched && !text_equal_nocase(path_split(relative).extension, "old"))
        engine_report_note(scan->rc->log, scan->depth, relative, "Superfluous");
}

bool is_own_subdirectory(std::string_view prefix, std::string_view name) {
    return prefix.empty() && text_equal_nocase(name, "diskward");
}

ResultCode walk(Scan* scan, const std::string& directory, const std::string& prefix) {
    DirectoryListing* listing = directory_open(directory);
    if (!listing) return RC_UNABLE_TO_READ;
    ResultCode code;
    while ((code = directory_next(listing)) == RC_OK) {
        const std::string& name = directory_entry_name(listing);
        // The name is joined whole, so that a name ending in a dot keeps it.
        std::string relative = path_join("", prefix, name, "");
        if (!directory_entry_is_directory(listing)) {
            handle_file(scan, relative, directory_entry_size(listing));
            continue;
        }
        // The tool's own working subdirectory is never part of the kit.
        if (is_own_subdirectory(prefix, name)) continue;
        std::string full = path_join(directory, "", name, "");
        code = walk(scan, full, relative);
        if (code != RC_OK) break;
    }
    directory_close(listing);
    return code == RC_NO_MORE_ENTRIES ? RC_OK : code;
}

}  // namespace

ResultCode scan_staging_area(RunContext* rc, Namespace* reader_namespace, BiList* groups,
                             std::string_view directory, int depth) {
    if (!groups || !rt_usable(rc->runtime)) return RC_NO_OBJECT;
    Scan scan;
    scan.rc = rc;
    scan.groups = groups;
    scan.depth = depth;
    build_index(&scan);
    ResultCode code = walk(&scan, std::string(directory), "");
    if (!scan.changed_groups.empty()) rc->modified = true;
    for (Value group : scan.changed_groups)
        group_rebuild_volume_map(rc->runtime, reader_namespace, group);
    return code;
}
