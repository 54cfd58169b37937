// Staging-area replication.
#include "engine/replication.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "engine/dependencies.h"
#include "engine/directory_walk.h"
#include "engine/map_files.h"
#include "engine/messages.h"
#include "engine/version_checks.h"
#include "media/copy.h"
#include "media/copy_batch.h"
#include "model/fields.h"
#include "model/group.h"
#include "model/group_table.h"
#include "model/product.h"
#include "model/product_table.h"
#include "runtime/bidirectional_lists.h"
#include "sys/file_lock.h"
#include "sys/files.h"
#include "sys/text.h"
#include "sys/text_file.h"

namespace {

// Highest back-up number of an existing product table in the copy.
constexpr int MOST_BACKUPS = 999;

std::string_view name_of(RuntimeContext* rt, Value product) {
    return field_text(rt, product_name(product));
}

bool is_selected(const std::vector<Value>& selected, Value product) {
    return std::find(selected.begin(), selected.end(), product) != selected.end();
}

// True when a component of `path` is "..".
bool climbs(std::string_view path) {
    for (std::string_view part : path_components(path))
        if (part == "..") return true;
    return false;
}

// `path` with its "." and ".." components worked out, "\" separated; a
// ".." above the first component is kept.
std::string lexical_form(std::string_view path) {
    std::vector<std::string_view> kept;
    for (std::string_view part : path_components(path)) {
        if (part == "." || (part.empty() && !kept.empty())) continue;
        if (part == ".." && kept.size() > 1 && kept.back() != "..") kept.pop_back();
        else kept.push_back(part);
    }
    std::string out;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i) out += '\\';
        out += kept[i];
    }
    return out;
}

bool is_absolute(std::string_view path) {
    return path_has_drive(path) || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// True when a component whose Source is `source` is copied with its
// product: a file named below the product's directory.
bool copied_with_product(std::string_view source) {
    return !is_absolute(source) && !climbs(source) && !path_split(source).base.empty();
}

// The products named by -N, in order; unknown names are reported and skipped.
std::vector<Value> named_products(RunContext* rc, BiList* products, const PathParts& file,
                                  int depth) {
    std::vector<Value> selected;
    for (const std::string& name : rc->replication_products) {
        if (name.empty()) continue;  // an -N read before -O
        Value product = product_named(rc->runtime, products, name);
        if (!product) {
            engine_report(rc->log, file, NO_LINE, depth, RC_UNKNOWN_PRODUCT_NAME);
            continue;
        }
        if (!is_selected(selected, product)) selected.push_back(product);
    }
    return selected;
}

// Cuts *root to the part it shares with `path`, character by character,
// letters folded.
void root_cut(std::string* root, std::string_view path) {
    size_t same = 0;
    while (same < root->size() && same < path.size() &&
           fold_char((*root)[same]) == fold_char(path[same]))
        ++same;
    root->resize(same);
}

// True when `path` can be read without waiting on it. A FIFO, a socket or a
// device is never opened: it gets a line of its own and is not copied.
bool copyable(RunContext* rc, const std::string& path, int depth) {
    FileStatus status;
    if (file_status(path, &status) != RC_OK || !status.is_other) return true;
    engine_report_note(rc->log, depth, path, NOT_REGULAR_FILE_NOTE);
    return false;
}

// Keeps a failure of the copy in the run's result, so that the copy is not
// checked as if it were whole; the first failure is the result.
void keep_failure(RunContext* rc, ResultCode code) {
    if (code != RC_OK && rc->result == RC_OK) rc->result = code;
}

// Copies the files named "user.*" or "*.usr" of the source directory into
// the copy. A file that cannot be copied leaves the copy's former file (or
// none), gets a line of its own naming it (the source for a failed read,
// the copy otherwise) and fails the run; the others are still copied. 20
// when the source directory cannot be listed.
ResultCode copy_user_files(RunContext* rc, std::string_view directory,
                           const std::string& replica, int depth) {
    return directory_walk(directory, false, [&](const WalkEntry& entry) {
        if (entry.is_directory) return WALK_PASS;
        PathParts parts = path_split(entry.name);
        if (!text_equal_nocase(parts.base, "user") && !text_equal_nocase(parts.extension, "usr"))
            return WALK_PASS;
        if (!copyable(rc, entry.full, depth)) {
            keep_failure(rc, RC_UNABLE_TO_READ);
            return WALK_PASS;
        }
        std::string copy = path_join(replica, "", entry.name, "");
        ResultCode code = copy_file_replacing(entry.full, copy, CopyOptions{});
        if (code == RC_OK) return WALK_PASS;
        bool read_failed = code == RC_UNABLE_TO_READ || code == RC_FILE_NOT_FOUND;
        engine_report_text(rc->log, depth, read_failed ? entry.full : copy,
                           engine_message(code));
        keep_failure(rc, code);
        return WALK_PASS;
    });
}

// The first free back-up number of the product table `table` ("001" on) in
// *number; empty when all are taken.
ResultCode free_backup_number(const PathParts& table, std::string* number) {
    number->clear();
    for (int n = 1; n <= MOST_BACKUPS; ++n) {
        char candidate[12];  // room for any int; n stays below 1000
        std::snprintf(candidate, sizeof candidate, "%03d", n);
        bool taken = false;
        ResultCode code =
            file_exists(path_join(table.absolute, "", table.base, candidate), &taken);
        if (code != RC_OK) return code;
        if (!taken) {
            *number = candidate;
            break;
        }
    }
    return RC_OK;
}

// Writes the product table of the selected products as the copy's product
// file `table`, keeping a different table already there under the first
// free number; one that holds the very same bytes is left alone, with no
// back-up. A failure is reported against the file it concerns (the table,
// or its back-up) and kept in the run's result.
void write_replica_table(RunContext* rc, const std::vector<Value>& selected,
                         const PathParts& table, int depth) {
    RuntimeContext* rt = rc->runtime;
    std::string path = path_join(table);
    std::string failed_path = path;
    std::string text;
    ResultCode code = text_file_render(
        [&](TextFile* out) {
            BiList* list = bilist_new(rt, 0);
            if (!list) return RC_NO_OBJECT;
            ResultCode made = RC_OK;
            for (Value product : selected)
                if (made == RC_OK) made = bilist_push_back(rt, list, product);
            if (made == RC_OK) made = product_table_write(rt, out, list, false);
            bilist_destroy(rt, list, nullptr);  // the products belong to the product list
            return made;
        },
        &text);
    bool exists = false, same = false;
    if (code == RC_OK) code = file_exists(path, &exists);
    if (code == RC_OK && exists) code = file_holds(path, text, &same);
    if (code == RC_OK && exists && !same) {
        std::string number;
        code = free_backup_number(table, &number);
        if (code == RC_OK && number.empty()) code = RC_UNABLE_TO_WRITE;
        if (code == RC_OK) {
            engine_report_text(rc->log, depth, path,
                               "Already exists.\nWriting back-up copy to " + table.base + "." +
                                   number);
            code = file_keep_copy(table, number);
            if (code != RC_OK) failed_path = path_join(table.absolute, "", table.base, number);
        }
    }
    if (code == RC_OK && !same) code = text_file_replace(table, text, false, nullptr);
    if (code == RC_OK) return;
    engine_report_text(rc->log, depth, failed_path, engine_message(code));
    keep_failure(rc, code);
}

}  // namespace

ResultCode select_dependencies(RunContext* rc, std::vector<Value>* selected, BiList* products,
                               std::string_view directory, int depth) {
    RuntimeContext* rt = rc->runtime;
    std::string version_name = version_product_name(rc);
    for (size_t i = 0; i < selected->size(); ++i) {
        ResultCode code = product_references_read(
            rc, products, directory, (*selected)[i], depth + 2, [&](Value named) {
                if (!text_equal_nocase(name_of(rt, named), version_name) &&
                    !is_selected(*selected, named))
                    selected->push_back(named);
            });
        if (code != RC_OK) return code;
    }
    return RC_OK;
}

ResultCode compute_replica_dir(RunContext* rc, BiList* products, std::string_view directory,
                               std::string* replica, std::string* copy_root) {
    RuntimeContext* rt = rc->runtime;
    std::string source;
    ResultCode code = directory_full_path(directory, &source);
    if (code != RC_OK) return code;
    std::string root = source;
    std::vector<std::string> compared{source};
    for (BiNode* n = products->first; n; n = n->next) {
        std::string full;
        if (directory_full_path(product_directory(rt, directory, n->value), &full) != RC_OK)
            continue;
        compared.push_back(full);
    }
    for (const std::string& path : compared) root_cut(&root, path);
    // The root ends at a path component: "Z:\STAGE\W1" and "Z:\STAGE\W2"
    // have the root "Z:\STAGE", not "Z:\STAGE\W".
    bool at_component = true;
    for (const std::string& path : compared)
        if (root.size() < path.size() && path[root.size()] != '\\' &&
            (root.empty() || root.back() != '\\'))
            at_component = false;
    if (!at_component) root.resize(root.rfind('\\') == std::string::npos ? 0 : root.rfind('\\'));
    root = path_trim(root);
    if (!root.empty() && root.back() == '\\') root.pop_back();

    // The target is judged where the host puts it before anything is made:
    // a target that does not exist yet lies where its nearest existing
    // directory lies.
    DirectoryPlace source_place, target_place;
    if ((code = directory_place(root, &source_place)) != RC_OK) return code;
    if ((code = directory_place(rc->target, &target_place)) != RC_OK) return code;
    if (target_place.blocked) return RC_TARGET_NOT_A_DIRECTORY;
    bool inside = false, around = false;
    if ((code = directory_place_within(target_place, source_place, &inside)) != RC_OK) return code;
    if ((code = directory_place_within(source_place, target_place, &around)) != RC_OK) return code;
    if (inside || around) return RC_INVALID_TARGET_LOCATION;

    std::string target;
    if ((code = directory_make_tree(rc->target)) != RC_OK) return code;
    if ((code = directory_full_path(rc->target, &target)) != RC_OK) return code;
    // Only the leading occurrence of the root is replaced.
    std::string made = target + source.substr(root.size());
    if (made.size() > size_t(PATH_LIMIT)) return RC_INVALID_FILE_NAME;
    rc->replica_dir = made;
    *replica = made;
    if (copy_root) *copy_root = target;
    return RC_OK;
}

ResultCode replicate_product(RunContext* rc, Value product, std::string_view directory,
                             std::string_view copy_root, int depth) {
    RuntimeContext* rt = rc->runtime;
    std::string_view location = field_text(rt, product_location(product));
    std::string source_dir = product_directory(rt, directory, product);
    std::string target_dir = lexical_form(path_join(rc->replica_dir, location, "", ""));
    // A product that would land outside the copy's tree is not copied.
    if (is_absolute(location) || !path_within(target_dir, copy_root))
        return RC_INVALID_TARGET_LOCATION;
    std::string filename(field_text(rt, product_filename(product)));
    MapReading map;
    ResultCode code = map_reading_open(rc, product, PathParts{source_dir, "", filename, "map"}, &map);
    BiList* groups = map.groups;
    if (code == RC_OK) code = directory_make_tree(target_dir);
    // The files are copied ahead on the run's workers, each into the place
    // the walk below would give it, and put in place as the walk comes to
    // them. A file in a subdirectory of the copy waits for the walk to make
    // that subdirectory (its door). With one job each is copied when the
    // walk comes to it.
    CopyBatch batch;
    copy_batch_start(&batch, rc->jobs);
    std::vector<size_t> tickets;
    if (code == RC_OK) {
        std::map<std::string, unsigned> doors;
        for (BiNode* g = groups->first; g; g = g->next)
            for (BiNode* c = group_record(g->value)->components->first; c; c = c->next) {
                std::string_view source = field_text(rt, component_source(c->value));
                if (!copied_with_product(source)) continue;
                PathParts parts = path_split(source);
                unsigned door = 0;
                if (!parts.relative.empty()) {
                    auto [at, fresh] = doors.emplace(text_fold(parts.relative), 0);
                    if (fresh) at->second = copy_batch_door(&batch);
                    door = at->second;
                }
                tickets.push_back(copy_batch_add(&batch, path_join(source_dir, "", source, ""),
                                                 path_join(target_dir, "", source, ""),
                                                 CopyOptions{}, door));
            }
    }
    // The subdirectories of the copy made so far (folded), each made once.
    std::set<std::string> made;
    bool map_copied = false, passed_over = false;
    size_t next = 0;  // the ticket of the next file to copy
    for (BiNode* g = code == RC_OK ? groups->first : nullptr; g && code == RC_OK; g = g->next) {
        for (BiNode* c = group_record(g->value)->components->first; c && code == RC_OK;
             c = c->next) {
            std::string_view source = field_text(rt, component_source(c->value));
            if (!copied_with_product(source)) continue;
            PathParts parts = path_split(source);
            size_t ticket = tickets[next++];
            std::string from = path_join(source_dir, "", source, "");
            if (!copyable(rc, from, depth)) {
                passed_over = true;
                continue;
            }
            if (!parts.relative.empty() && made.insert(text_fold(parts.relative)).second) {
                (void)directory_make_tree(path_join(target_dir, parts.relative, "", ""));
                copy_batch_open(&batch, batch.copies[ticket]->door);
            }
            code = copy_batch_finish(&batch, ticket);
            if (map_is_map_component(source, filename)) map_copied = true;
        }
    }
    // The files foreseen past a failure are given up, leaving their former
    // copies as they were.
    copy_batch_end(&batch);
    // The copy is checked next, so its map file goes with it even when the
    // map does not list itself.
    if (code == RC_OK && !map_copied)
        code = copy_file_replacing(path_join(source_dir, "", filename, "map"),
                                   path_join(target_dir, "", filename, "map"), CopyOptions{});
    // A file passed over leaves the copy of the product short.
    if (code == RC_OK && passed_over) code = RC_UNABLE_TO_READ;
    map_reading_close(rt, &map);
    return code;
}

ResultCode replicate_product_file(RunContext* rc, BiList* products, std::string_view directory,
                                  std::string_view base, std::string_view extension, int depth) {
    RuntimeContext* rt = rc->runtime;
    PathParts file{std::string(directory), "", std::string(base), std::string(extension)};
    std::string version_name = version_product_name(rc);

    std::vector<Value> selected;
    ResultCode code = RC_OK;
    if (rc->has_replication_products) {
        selected = named_products(rc, products, file, depth);
        code = select_dependencies(rc, &selected, products, directory, depth);
    } else {
        for (BiNode* n = products->first; n; n = n->next) selected.push_back(n->value);
    }
    // The check of the copy keeps the source's installer version.
    if (Value version = product_named(rt, products, version_name)) {
        std::string_view text = field_text(rt, product_version(version));
        if (!text_equal_nocase(text, rc->installer_version))
            rc->installer_version = std::string(text.substr(0, TEXT_LIMIT));
    }
    if (code != RC_OK) return code;

    std::string replica, copy_root;
    if ((code = compute_replica_dir(rc, products, directory, &replica, &copy_root)) != RC_OK)
        return code;
    if ((code = directory_make_tree(replica)) != RC_OK) return code;
    rc->target = replica;

    // Another run at work on the copy (checking it, or replicating into it)
    // holds its product table: nothing is copied, no back-up announced.
    PathParts table{replica, "", file.base, file.extension};
    FileLock* lock = nullptr;
    code = file_lock_take(path_join(table), &lock);
    if (code == RC_FILE_NOT_FOUND) code = RC_OK;  // no table yet
    if (code != RC_OK) {
        engine_report(rc->log, table, NO_LINE, depth, code);
        keep_failure(rc, code);
        return RC_OK;
    }

    for (Value product : selected) {
        if (text_equal_nocase(name_of(rt, product), version_name)) continue;
        ResultCode copied = replicate_product(rc, product, directory, copy_root, depth + 2);
        if (copied == RC_OK) continue;
        engine_report(rc->log, directory, field_text(rt, product_location(product)),
                      field_text(rt, product_filename(product)), "map", rc->error_line,
                      depth + 2, copied);
        keep_failure(rc, copied);
    }
    code = RC_NO_OBJECT;
    if (rt_usable(rt)) {
        write_replica_table(rc, selected, table, depth);
        code = copy_user_files(rc, directory, replica, depth + 2);
    }
    file_lock_release(lock);
    return code;
}
