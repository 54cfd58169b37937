// The staging-area scan. Components are found by an index on their folded
// Source, so a kit of many files is matched in one pass; the lines come out
// in the order a walk over every group and component would give them.
// Entries that cannot stand for a file of the kit (too large for a 32-bit
// size, a directory reached again, a path too long, a FIFO, socket or
// device, a second spelling of a name already met) get a line of their own
// and the walk goes on.
#include "engine/staging_scan.h"

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/directory_walk.h"
#include "engine/messages.h"
#include "model/fields.h"
#include "model/group.h"
#include "runtime/values.h"
#include "sys/paths.h"
#include "sys/text.h"

namespace {

struct Match {
    Value group;
    Value component;
};

struct Scan {
    RunContext* run = nullptr;
    BiList* groups = nullptr;
    int depth = 0;
    bool first_file_done = false;
    ResultCode failure = RC_OK;  // a value that could not be made
    // Components by folded Source, in group and file order.
    std::unordered_map<std::string, std::vector<Match>> index;
    // Groups whose sizes changed: their volume maps are rebuilt once, after
    // the walk.
    std::set<Value> changed_groups;
    // Folded relative paths of the files met so far: a second spelling of
    // one is no file of its own.
    std::unordered_set<std::string> seen;
    // Entries that stand for nothing, by folded relative path, with the code
    // a component that names them (or a path below them) fails the product with.
    std::map<std::string, ResultCode> odd_entries;
    std::vector<SuperfluousFile>* superfluous = nullptr;  // kept when asked for
};

constexpr const char* TOO_LARGE_NOTE = "Too large for a 32-bit size";
constexpr const char* VISITED_NOTE = "Directory already visited";
constexpr const char* PATH_TOO_LONG_NOTE = "Path too long";

void build_index(Scan* scan) {
    RuntimeContext* rt = scan->run->runtime;
    for (GroupComponent gc : group_components(scan->groups)) {
        std::string key = text_fold(field_text(rt, component_source(gc.component)));
        scan->index[key].push_back(Match{gc.group, gc.component});
    }
}

// Sets a component's size to `size`; a value that cannot be made is kept as
// the scan's failure.
void set_size(Scan* scan, Value component, uint32_t size) {
    RuntimeContext* rt = scan->run->runtime;
    Value made = field_number(rt, size);
    if (made && component_set_size(rt, component, made, false) == RC_OK) return;
    value_release(rt, made);
    if (scan->failure == RC_OK) scan->failure = RC_NO_OBJECT;
}

// The checks made while the first file of the scan is handled: a product
// file listed in the map, and a component without a Source that has a size.
void first_file_checks(Scan* scan) {
    RuntimeContext* rt = scan->run->runtime;
    for (GroupComponent gc : group_components(scan->groups)) {
        std::string_view source = field_text(rt, component_source(gc.component));
        if (names_product_file(scan->run, source))
            engine_report_note(scan->run->log, scan->depth, source,
                               "Should not be included in map file");
        if (source.empty() && field_number_value(rt, component_size(gc.component, false)) != 0) {
            set_size(scan, gc.component, 0);
            scan->changed_groups.insert(gc.group);
        }
    }
}

// Matches one file; true when a component names it.
bool match_file(Scan* scan, const WalkEntry& entry) {
    const std::string& relative = entry.relative;
    RuntimeContext* rt = scan->run->runtime;
    auto found = scan->index.find(text_fold(relative));
    if (found == scan->index.end()) return false;
    for (const Match& m : found->second) {
        component_mark_processed(m.component, entry.modified, entry.changed);
        uint32_t old_size = field_number_value(rt, component_size(m.component, false));
        if (old_size == entry.size) continue;
        engine_report_size_change(scan->run->log, scan->depth, relative, old_size, entry.size);
        set_size(scan, m.component, entry.size);
        scan->changed_groups.insert(m.group);
    }
    return true;
}

void handle_file(Scan* scan, const WalkEntry& entry) {
    const std::string& relative = entry.relative;
    if (!scan->first_file_done) first_file_checks(scan);
    bool matched = match_file(scan, entry);
    scan->first_file_done = true;
    if (matched || text_equal_nocase(path_split(relative).extension, "old")) return;
    engine_report_note(scan->run->log, scan->depth, relative, "Superfluous");
    if (scan->superfluous)
        scan->superfluous->push_back(
            SuperfluousFile{relative, entry.size, entry.modified, entry.changed});
}

// An entry that stands for nothing: its line, and the code that a component
// naming it fails the product with (0: the product is not changed).
void odd_entry(Scan* scan, const std::string& relative, std::string_view note, ResultCode code) {
    engine_report_note(scan->run->log, scan->depth, relative, note);
    if (code != RC_OK) scan->odd_entries.emplace(text_fold(relative), code);
}

// A name that holds a backslash cannot be told from a path.
bool name_like_a_path(const WalkEntry& entry) {
    return entry.name.find('\\') != std::string::npos;
}

// True when the entry can stand for a file or directory of the kit;
// otherwise its line has been written.
bool entry_admitted(Scan* scan, const WalkEntry& entry) {
    switch (entry.problem) {
        case WALK_PATH_TOO_LONG:
            odd_entry(scan, entry.relative, PATH_TOO_LONG_NOTE, RC_INVALID_FILE_NAME);
            return false;
        case WALK_VISITED:
            odd_entry(scan, entry.relative, VISITED_NOTE, RC_UNABLE_TO_READ);
            return false;
        case WALK_TOO_LARGE:
            odd_entry(scan, entry.relative, TOO_LARGE_NOTE, RC_SIZE_TOO_LARGE);
            return false;
        case WALK_NOT_REGULAR:
            // Its size is no file's size: the component keeps the one it has.
            odd_entry(scan, entry.relative, NOT_REGULAR_FILE_NOTE, RC_UNABLE_TO_READ);
            return false;
        case WALK_SOUND:
            break;
    }
    // A file already met in another letter case is the same file to the
    // kit: the first spelling in listing order is the file. (Directories
    // that differ only in case are both walked; their files meet here.)
    if (name_like_a_path(entry) ||
        (!entry.is_directory && !scan->seen.insert(text_fold(entry.relative)).second)) {
        odd_entry(scan, entry.relative, engine_message(RC_INVALID_FILE_NAME), RC_OK);
        return false;
    }
    return true;
}

// The tool's own working subdirectory is never part of the kit.
bool is_work_subdirectory(const WalkEntry& entry) {
    return entry.is_directory && entry.relative == entry.name &&
           text_equal_nocase(entry.name, WORK_SUBDIRECTORY);
}

WalkStep visit(Scan* scan, const WalkEntry& entry) {
    if (is_work_subdirectory(entry)) return WALK_PASS;
    if (!entry_admitted(scan, entry)) return WALK_PASS;
    if (!entry.is_directory) handle_file(scan, entry);
    return WALK_ENTER;
}

// The code of the first component that names an entry standing for
// nothing, or a path below one; RC_OK when none does.
ResultCode odd_entry_named(Scan* scan) {
    if (scan->odd_entries.empty()) return RC_OK;
    RuntimeContext* rt = scan->run->runtime;
    for (GroupComponent gc : group_components(scan->groups)) {
        std::string source = text_fold(field_text(rt, component_source(gc.component)));
        for (std::string path = source; !path.empty();) {
            auto found = scan->odd_entries.find(path);
            if (found != scan->odd_entries.end()) return found->second;
            size_t slash = path.rfind('\\');
            path.resize(slash == std::string::npos ? 0 : slash);
        }
    }
    return RC_OK;
}

}  // namespace

bool scan_enters(const WalkEntry& entry) {
    // As entry_admitted judges a directory, without its lines.
    return !is_work_subdirectory(entry) && entry.problem == WALK_SOUND && !name_like_a_path(entry);
}

ResultCode scan_staging_area(RunContext* run, Namespace* reader_namespace, BiList* groups,
                             std::string_view directory, int depth,
                             std::vector<SuperfluousFile>* superfluous, WalkAhead* ahead) {
    if (!groups || !rt_usable(run->runtime)) return RC_NO_OBJECT;
    Scan scan;
    scan.run = run;
    scan.superfluous = superfluous;
    scan.groups = groups;
    scan.depth = depth;
    build_index(&scan);
    auto visitor = [&](const WalkEntry& entry) { return visit(&scan, entry); };
    ResultCode code = ahead ? directory_walk_ahead_visit(ahead, visitor)
                            : directory_walk(directory, true, visitor, run_status_ahead(run));
    if (!scan.changed_groups.empty()) run->modified = true;
    for (Value group : scan.changed_groups) {
        ResultCode rebuilt = group_rebuild_volume_map(run->runtime, reader_namespace, group);
        if (code == RC_OK) code = rebuilt;
    }
    if (code == RC_OK) code = scan.failure;
    if (code == RC_OK) code = odd_entry_named(&scan);
    return code;
}
