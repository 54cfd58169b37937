// Staging-area replication.
#include "engine/replication.h"

#include <algorithm>
#include <chrono>
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
        if (part == ".." && kept.size() > 1 && kept.back() != "..")
            kept.pop_back();
        else
            kept.push_back(part);
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

// The products named by -N, in order; unknown names are reported and skipped.
std::vector<Value> named_products(RunContext* run, BiList* products, const PathParts& file,
                                  int depth) {
    std::vector<Value> selected;
    for (const std::string& name : run->options.replication_products) {
        if (name.empty()) continue;  // an -N read before -O
        Value product = product_named(run->runtime, products, name);
        if (!product) {
            engine_report(run->log, file, NO_LINE, depth, RC_UNKNOWN_PRODUCT_NAME);
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

// Whether the copy's directory `path` (made or yet to be made) lies, as the
// host resolves it, inside one of the directories `sources` that the copy
// reads from: a link inside an earlier copy's tree that leads back into the
// kit. Checked before the directory is made, so that nothing is created
// there. RC_OK with *inside; the codes of directory_place.
ResultCode leads_into_source(std::string_view path, const std::vector<std::string>& sources,
                             bool* inside) {
    *inside = false;
    DirectoryPlace place;
    ResultCode code = directory_place(path, &place);
    for (size_t i = 0; code == RC_OK && !*inside && i < sources.size(); ++i) {
        DirectoryPlace source;
        code = directory_place(sources[i], &source);
        if (code == RC_OK) code = directory_place_within(place, source, inside);
    }
    return code;
}

// Makes the copy's directory `path` with its parents, unless it leads back
// into one of `sources` (RC_INVALID_TARGET_LOCATION), and clears it of the temporary files of
// runs that were killed.
ResultCode copy_directory_make(std::string_view path, const std::vector<std::string>& sources) {
    bool inside = false;
    ResultCode code = leads_into_source(path, sources, &inside);
    if (code != RC_OK) return code;
    if (inside) return RC_INVALID_TARGET_LOCATION;
    code = directory_make_tree(path);
    // What a run that was killed while it copied here left half-written.
    if (code == RC_OK) text_file_remove_stale_temporaries(path);
    return code;
}

// True when `path` can be read without waiting on it. A FIFO, a socket or a
// device is never opened: it gets a line of its own and is not copied.
bool copyable(RunContext* run, const std::string& path, int depth) {
    FileStatus status;
    if (file_status(path, &status) != RC_OK || !status.is_other) return true;
    engine_report_note(run->log, depth, path, NOT_REGULAR_FILE_NOTE);
    return false;
}

// The options of every copy into the replica: whole files only, stopped
// by the run's cancel.
CopyOptions replica_copy_options(RunContext* run) {
    CopyOptions options;
    options.cancel = run->front_end.cancel;
    options.user = run;
    return options;
}

// Copies the files named "user.*" or "*.usr" of the source directory into
// the copy. A file that cannot be copied leaves the copy's former file (or
// none), gets a line of its own naming it (the source for a failed read,
// the copy otherwise) and fails the run; the others are still copied. RC_UNABLE_TO_READ
// when the source directory cannot be listed.
ResultCode copy_user_files(RunContext* run, std::string_view directory, const std::string& replica,
                           int depth) {
    return directory_walk(directory, false, [&](const WalkEntry& entry) {
        if (entry.is_directory || !names_user_file(entry.name)) return WALK_PASS;
        if (!copyable(run, entry.full, depth)) {
            run_keep_failure(run, RC_UNABLE_TO_READ);
            return WALK_PASS;
        }
        std::string copy = path_join(replica, "", entry.name, "");
        ResultCode code = copy_file_replacing(entry.full, copy, replica_copy_options(run));
        if (code == RC_OK) return WALK_PASS;
        bool read_failed = code == RC_UNABLE_TO_READ || code == RC_FILE_NOT_FOUND;
        engine_report_text(run->log, depth, read_failed ? entry.full : copy, engine_message(code));
        run_keep_failure(run, code);
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
        ResultCode code = file_exists(path_join(table.absolute, "", table.base, candidate), &taken);
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
void write_replica_table(RunContext* run, const std::vector<Value>& selected,
                         const PathParts& table, int depth) {
    RuntimeContext* rt = run->runtime;
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
            engine_report_text(
                run->log, depth, path,
                "Already exists.\nWriting back-up copy to " + table.base + "." + number);
            code = file_keep_copy(table, number);
            if (code != RC_OK) failed_path = path_join(table.absolute, "", table.base, number);
        }
    }
    if (code == RC_OK && !same) code = text_file_replace(table, text, false, nullptr);
    if (code == RC_OK) return;
    engine_report_text(run->log, depth, failed_path, engine_message(code));
    run_keep_failure(run, code);
}

}  // namespace

ResultCode select_dependencies(RunContext* run, std::vector<Value>* selected, BiList* products,
                               std::string_view directory, int depth) {
    RuntimeContext* rt = run->runtime;
    std::string version_name = version_product_name(run);
    for (size_t i = 0; i < selected->size(); ++i) {
        ResultCode code = product_references_read(
            run, products, directory, (*selected)[i], depth + 2, [&](Value named) {
                if (!text_equal_nocase(name_of(rt, named), version_name) &&
                    !is_selected(*selected, named))
                    selected->push_back(named);
            });
        if (code != RC_OK) return code;
    }
    return RC_OK;
}

ResultCode compute_replica_dir(RunContext* run, BiList* products, std::string_view directory,
                               std::string* replica, std::string* copy_root) {
    RuntimeContext* rt = run->runtime;
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
    if ((code = directory_place(run->options.target, &target_place)) != RC_OK) return code;
    if (target_place.blocked) return RC_TARGET_NOT_A_DIRECTORY;
    bool inside = false, around = false;
    if ((code = directory_place_within(target_place, source_place, &inside)) != RC_OK) return code;
    if ((code = directory_place_within(source_place, target_place, &around)) != RC_OK) return code;
    if (inside || around) return RC_INVALID_TARGET_LOCATION;

    std::string target;
    if ((code = directory_make_tree(run->options.target)) != RC_OK) return code;
    if ((code = directory_full_path(run->options.target, &target)) != RC_OK) return code;
    // Only the leading occurrence of the root is replaced.
    std::string made = target + source.substr(root.size());
    if (made.size() > size_t(PATH_LIMIT)) return RC_INVALID_FILE_NAME;
    run->replica_dir = made;
    *replica = made;
    if (copy_root) *copy_root = target;
    return RC_OK;
}

ResultCode product_copy_sources(RunContext* run, Value product, std::string_view directory,
                                std::vector<std::string>* sources, int32_t* error_line) {
    RuntimeContext* rt = run->runtime;
    sources->clear();
    std::string source_dir = product_directory(rt, directory, product);
    std::string filename(field_text(rt, product_filename(product)));
    MapReading map;
    ResultCode code =
        map_reading_open(run, product, PathParts{source_dir, "", filename, "map"}, &map);
    *error_line = map.error_line;
    bool map_listed = false;
    for (GroupComponent gc : group_components(code == RC_OK ? map.groups : nullptr)) {
        std::string_view source = field_text(rt, component_source(gc.component));
        if (is_absolute(source) || climbs(source) || path_split(source).base.empty()) continue;
        sources->emplace_back(source);
        if (map_is_map_component(source, filename)) map_listed = true;
    }
    // The copy is checked next, so its map file goes with it even when the
    // map does not list itself.
    if (code == RC_OK && !map_listed) sources->push_back(path_join("", "", filename, "map"));
    map_reading_close(rt, &map);
    return code;
}

namespace {

// One file of a product's copy, in the order of its map.
struct ReplicaFile {
    std::string from;       // in the staging area
    std::string to;         // in the copy
    std::string directory;  // its subdirectory, "" for none
    std::string relative;   // the same, folded
};

// How many files of a product are copied one at a time before the host's
// speed is judged, and the mean time per file above which the host counts
// as slow. A file of a kit on a local disk is copied in a few tens of
// microseconds; on a file server each open and status query waits a round
// trip, and one file takes milliseconds. The rest are copied ahead: on a
// slow host by many threads, each taking one file at a time, to keep many
// round trips in flight; on a quick one by as many threads as the run has
// jobs, each taking a run of files, so that the walk seldom waits on them.
constexpr size_t COPY_PROBES = 16;
constexpr std::chrono::microseconds SLOW_COPY{1000};
constexpr size_t QUICK_COPY_RUN = 16;

// The copying of one product's files into its copy: each subdirectory made
// once, checked not to lead back into `sources`, before the first file
// that lands in it.
struct ReplicaCopy {
    RunContext* run = nullptr;
    int depth = 0;
    std::string target_dir;
    std::vector<std::string> sources;
    std::set<std::string> made;  // subdirectories of the copy made so far
    // While copying ahead: the batch, each file's ticket, and each
    // subdirectory's door (opened once it is made).
    CopyBatch batch;
    bool ahead = false;
    std::vector<size_t> tickets;
    std::map<std::string, unsigned> doors;
    bool passed_over = false;
};

// True when `file` is the first file of a subdirectory of the copy not
// made yet.
bool directory_pending(const ReplicaCopy* copy, const ReplicaFile& file) {
    return !file.relative.empty() && !copy->made.count(file.relative);
}

// Makes the subdirectory of `file` when it is the first file in it. RC_OK, or
// RC_INVALID_TARGET_LOCATION when it leads back into the kit; a directory that cannot be made
// fails its file's copy instead.
ResultCode replica_directory_make(ReplicaCopy* copy, const ReplicaFile& file) {
    if (!directory_pending(copy, file)) return RC_OK;
    copy->made.insert(file.relative);
    ResultCode code =
        copy_directory_make(path_join(copy->target_dir, file.directory, "", ""), copy->sources);
    if (code == RC_INVALID_TARGET_LOCATION) return code;
    if (copy->ahead) copy_batch_open(&copy->batch, copy->doors[file.relative]);
    return RC_OK;
}

// Hands the files from `first` on to the run's threads, each to be made
// beside its place as soon as a thread is free and its subdirectory made,
// and put in place when the walk comes to it; `slow` when the host
// keeps each file waiting.
void replica_copy_ahead(ReplicaCopy* copy, const std::vector<ReplicaFile>& files, size_t first,
                        bool slow) {
    if (slow)
        copy_batch_start(&copy->batch, run_status_ahead(copy->run));
    else
        copy_batch_start(&copy->batch, copy->run->front_end.jobs, QUICK_COPY_RUN);
    copy->ahead = true;
    copy->tickets.resize(files.size());
    for (size_t i = first; i < files.size(); ++i) {
        const ReplicaFile& file = files[i];
        unsigned door = 0;
        if (directory_pending(copy, file)) {
            auto [at, fresh] = copy->doors.emplace(file.relative, 0);
            if (fresh) at->second = copy_batch_door(&copy->batch);
            door = at->second;
        }
        copy->tickets[i] =
            copy_batch_add(&copy->batch, file.from, file.to, replica_copy_options(copy->run), door);
    }
}

// Copies file `i`. A file that is no regular file gets its line and is
// passed over: judged before its subdirectory of the copy is made for it,
// else when its copy could not open it (a copy opens no such file, writes
// nothing for it and answers as for a missing source), which spares every
// other file a status query.
ResultCode replica_file_copy(ReplicaCopy* copy, const std::vector<ReplicaFile>& files, size_t i) {
    const ReplicaFile& file = files[i];
    if (directory_pending(copy, file) && !copyable(copy->run, file.from, copy->depth)) {
        copy->passed_over = true;
        return RC_OK;
    }
    ResultCode code = replica_directory_make(copy, file);
    if (code != RC_OK) return code;
    code = copy->ahead ? copy_batch_finish(&copy->batch, copy->tickets[i])
                       : copy_file_replacing(file.from, file.to, replica_copy_options(copy->run));
    if (code == RC_FILE_NOT_FOUND && !copyable(copy->run, file.from, copy->depth)) {
        copy->passed_over = true;
        return RC_OK;
    }
    return code;
}

}  // namespace

ResultCode replicate_product(RunContext* run, Value product, std::string_view directory,
                             std::string_view copy_root, int depth, int32_t* error_line) {
    RuntimeContext* rt = run->runtime;
    *error_line = NO_LINE;
    std::string_view location = field_text(rt, product_location(product));
    std::string source_dir = product_directory(rt, directory, product);
    std::string target_dir = lexical_form(path_join(run->replica_dir, location, "", ""));
    // A product that would land outside the copy's tree is not copied.
    if (is_absolute(location) || !path_within(target_dir, copy_root))
        return RC_INVALID_TARGET_LOCATION;
    std::vector<std::string> sources;
    ResultCode code = product_copy_sources(run, product, directory, &sources, error_line);
    ReplicaCopy copy;
    copy.run = run;
    copy.depth = depth;
    copy.target_dir = target_dir;
    // The kit and the product's own directory are never written through a
    // link in the copy's tree.
    copy.sources = {std::string(directory), source_dir};
    if (code == RC_OK) code = copy_directory_make(target_dir, copy.sources);
    // Nothing but this run writes into the copy while it is made: the names
    // there are looked up in the listing our own changes keep current.
    DirectoryFilling filling;
    if (code == RC_OK) code = directory_filling_begin(target_dir, &filling);
    std::vector<ReplicaFile> files;
    for (const std::string& source : sources) {
        PathParts parts = path_split(source);
        files.push_back(ReplicaFile{path_join(source_dir, "", source, ""),
                                    path_join(target_dir, "", source, ""), parts.relative,
                                    text_fold(parts.relative)});
    }
    auto started = std::chrono::steady_clock::now();
    for (size_t i = 0; i < files.size() && code == RC_OK; ++i) {
        // The files past the first few are copied ahead, several at once,
        // when the run may use more than one thread. A run that can be
        // cancelled copies on its own thread, where the cancel is asked
        // between chunks.
        if (i == COPY_PROBES && run->front_end.jobs > 1 && !run->front_end.cancel &&
            files.size() > COPY_PROBES)
            replica_copy_ahead(
                &copy, files, i,
                std::chrono::steady_clock::now() - started > SLOW_COPY * COPY_PROBES);
        code = replica_file_copy(&copy, files, i);
    }
    // The files copied ahead past a failure are given up, leaving their
    // former copies as they were.
    copy_batch_end(&copy.batch);
    directory_filling_end(&filling);
    // A file passed over leaves the copy of the product short.
    if (code == RC_OK && copy.passed_over) code = RC_UNABLE_TO_READ;
    return code;
}

bool names_user_file(std::string_view name) {
    PathParts parts = path_split(name);
    return text_equal_nocase(parts.base, "user") || text_equal_nocase(parts.extension, "usr");
}

ResultCode select_products(RunContext* run, BiList* products, const PathParts& file, int depth,
                           std::vector<Value>* selected) {
    selected->clear();
    if (!run->options.has_replication_products) {
        for (BiNode* n = products->first; n; n = n->next) selected->push_back(n->value);
        return RC_OK;
    }
    *selected = named_products(run, products, file, depth);
    return select_dependencies(run, selected, products, file.absolute, depth);
}

ResultCode replicate_product_file(RunContext* run, BiList* products, std::string_view directory,
                                  std::string_view base, std::string_view extension, int depth) {
    RuntimeContext* rt = run->runtime;
    PathParts file{std::string(directory), "", std::string(base), std::string(extension)};
    std::string version_name = version_product_name(run);

    std::vector<Value> selected;
    ResultCode code = select_products(run, products, file, depth, &selected);
    // The check of the copy keeps the source's installer version.
    if (Value version = product_named(rt, products, version_name)) {
        std::string_view text = field_text(rt, product_version(version));
        if (!text_equal_nocase(text, run->installer_version))
            run->installer_version = std::string(text.substr(0, TEXT_LIMIT));
    }
    if (code != RC_OK) return code;

    std::string replica, copy_root;
    if ((code = compute_replica_dir(run, products, directory, &replica, &copy_root)) != RC_OK)
        return code;
    if ((code = directory_make_tree(replica)) != RC_OK) return code;

    // Another run at work on the copy (checking it, or replicating into it)
    // holds its product table: nothing is copied, no back-up announced.
    PathParts table{replica, "", file.base, file.extension};
    FileLock* lock = nullptr;
    code = file_lock_take(path_join(table), &lock);
    if (code == RC_FILE_NOT_FOUND) code = RC_OK;  // no table yet
    if (code != RC_OK) {
        engine_report(run->log, table, NO_LINE, depth, code);
        run_keep_failure(run, code);
        return RC_OK;
    }

    // A cancelled run stops between products (a cancel inside one is told
    // under its map file) and leaves the copy's tables as they were.
    ResultCode cancelled = RC_OK;
    bool cancel_told = false;
    for (Value product : selected) {
        if (text_equal_nocase(name_of(rt, product), version_name)) continue;
        if ((cancelled = run_cancel_check(run)) != RC_OK) break;
        int32_t line = NO_LINE;
        ResultCode copied = replicate_product(run, product, directory, copy_root, depth + 2, &line);
        if (copied == RC_USER_CANCELLED) {
            cancelled = copied;
            cancel_told = true;
        }
        if (copied == RC_OK) continue;
        engine_report(run->log, directory, field_text(rt, product_location(product)),
                      field_text(rt, product_filename(product)), "map", line, depth + 2, copied);
        run_keep_failure(run, copied);
        if (cancelled != RC_OK) break;
    }
    if (cancelled != RC_OK) {
        file_lock_release(lock);
        run_keep_failure(run, cancelled);
        return cancel_told ? RC_OK : cancelled;
    }
    code = RC_NO_OBJECT;
    if (rt_usable(rt)) {
        write_replica_table(run, selected, table, depth);
        code = copy_user_files(run, directory, replica, depth + 2);
    }
    file_lock_release(lock);
    return code;
}
