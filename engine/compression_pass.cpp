// The compression pass.
#include "engine/compression_pass.h"

#include <map>
#include <vector>

#include "engine/directory_walk.h"
#include "engine/messages.h"
#include "media/copy.h"
#include "media/copy_batch.h"
#include "media/copy_names.h"
#include "model/fields.h"
#include "model/group.h"
#include "runtime/values.h"
#include "sys/files.h"
#include "sys/text.h"
#include "sys/text_file.h"

namespace {

// Files the installer reads before it can expand anything, and text meant
// to be read on the disk, are never compressed.
constexpr const char* PLAIN_EXTENSIONS[] = {"vrf", "ins", "map", "dei", "stp", "avf",
                                            "pvf", "pin", "doc", "bat", "txt", "cmd"};
constexpr const char* PLAIN_BASE_NAMES[] = {"readme", "read"};

ResultCode set_stored_size(RuntimeContext* rt, Value component, uint32_t size) {
    Value made = field_number(rt, size);
    if (!made) return RC_NO_OBJECT;
    ResultCode code = component_set_size(rt, component, made, true);
    if (code != RC_OK) value_release(rt, made);
    return code;
}

// How a compressed copy is made: named as given, through a temporary file
// beside it (copy_file_replacing), so that a compression that stops,
// however it stops, never leaves a copy that looks current; the copy has
// the source's times. The run's compression progress hears of the bytes as
// they move.
CopyOptions compress_options(RunContext* run) {
    CopyOptions options;
    options.compress = true;
    options.named_as_given = true;
    options.progress = run->front_end.compress_progress;
    options.cancel = run->front_end.cancel;
    options.user = run;
    return options;
}

// True when a component whose Source is `source`, in the group named
// `group`, of `size` bytes, is stored compressed under -C.
bool compression_wanted(const RunContext* run, std::string_view source, std::string_view group,
                        uint32_t size) {
    if (source.empty() || text_equal_nocase(group, "nocopy")) return false;
    PathParts parts = path_split(source);
    for (const char* extension : PLAIN_EXTENSIONS)
        if (text_equal_nocase(parts.extension, extension)) return false;
    for (const char* base : PLAIN_BASE_NAMES)
        if (text_equal_nocase(parts.base, base)) return false;
    return size > run->options.compress_threshold;
}

// The name of the compressed copy of the file `source` names.
std::string compressed_name_of(std::string_view source) {
    PathParts parts = path_split(source);
    return copy_compressed_name(path_join("", "", parts.base, parts.extension));
}

struct Pass {
    RunContext* run = nullptr;
    std::string_view directory;
    std::string work;
    int depth = 0;
    bool* reported = nullptr;  // set when a failure is reported here
    bool work_made = false;    // the working subdirectory is there
    // Compressed names met so far (letters folded), with the Source each came from.
    std::map<std::string, std::string> names;
    // The files of the working subdirectory as one listing found them
    // (names folded), so that a copy need not be looked up on its own.
    std::map<std::string, FileStatus> copies;
    // The compressions, made ahead on the run's workers; per component in
    // file order the ticket of the one foreseen for it, or -1.
    CopyBatch batch;
    std::vector<long> foreseen;
    size_t at = 0;  // the component the walk is at
};

// Lists the working subdirectory once. A subdirectory that is not there
// yet holds no copies. What runs that were killed while they wrote here
// left behind (half-made copies under temporary names, of any size) is
// removed first.
ResultCode list_copies(Pass* pass) {
    bool exists = false;
    ResultCode code = file_exists(pass->work, &exists);
    if (code != RC_OK || !exists) return code;
    pass->work_made = true;
    text_file_remove_stale_temporaries(pass->work);
    return directory_walk(pass->work, false, [&](const WalkEntry& entry) {
        if (entry.problem == WALK_SOUND)
            pass->copies[text_fold(entry.name)] =
                FileStatus{true, entry.is_directory, entry.size, entry.modified, entry.changed};
        return WALK_PASS;
    });
}

// True when the compressed copy `compressed` stands for the file
// `original` as it is now. The copy carries the file's modification time,
// so another time means another file; and a file put in place since the
// copy was made (a restore or a copy that keeps times, which can give other
// bytes of the same size the old time) has a status-change time later than
// the copy's, which no restore can set back.
bool copy_current(const FileStatus& compressed, const FileStatus& original) {
    return compressed.exists && compressed.modified.tv_sec == original.modified.tv_sec &&
           compressed.modified.tv_nsec == original.modified.tv_nsec &&
           file_time_not_before(compressed.changed, original.changed);
}

// The compressed copy of one component: made unless it is current; its size
// becomes the stored size.
ResultCode compress_component(Pass* pass, Value component, std::string_view source) {
    RunContext* run = pass->run;
    std::string name = compressed_name_of(source);
    auto [at, fresh] = pass->names.emplace(text_fold(name), text_fold(source));
    if (!fresh && at->second != text_fold(source)) {
        engine_report_text(run->log, pass->depth, source, engine_message(RC_INVALID_FILE_NAME));
        *pass->reported = true;
        return RC_INVALID_FILE_NAME;
    }
    std::string file = path_join(pass->directory, "", source, "");
    std::string copy = path_join(pass->work, "", name, "");
    // The file's time as the staging-area check found it, and the copy's as
    // the listing found it.
    FileStatus original{true, false, 0, component_modified(component),
                        component_changed(component)},
        compressed;
    ResultCode code = RC_OK;
    if (!component_processed(component)) code = file_status(file, &original);
    if (code != RC_OK) return code;
    if (!original.exists) return RC_FILE_NOT_FOUND;
    auto listed = pass->copies.find(text_fold(name));
    if (listed != pass->copies.end()) compressed = listed->second;
    if (!copy_current(compressed, original)) {
        engine_report_note(run->log, pass->depth, source, "Compressing...");
        if (!pass->work_made && directory_make(pass->work) != RC_OK) return RC_NO_DISKWARD_SUBDIR;
        pass->work_made = true;
        run->compressing = std::string(source);
        run->compressing_size = field_number_value(run->runtime, component_size(component, false));
        long ticket = pass->foreseen[pass->at];
        if (ticket < 0 || size_t(ticket) < pass->batch.passed ||
            pass->batch.copies[size_t(ticket)]->source != file ||
            pass->batch.copies[size_t(ticket)]->destination != copy)
            ticket = long(copy_batch_add(&pass->batch, file, copy, compress_options(run)));
        code = copy_batch_finish(&pass->batch, size_t(ticket));
        run->compressing.clear();
        if (code != RC_OK) return code;
        if ((code = file_status(copy, &compressed)) != RC_OK) return code;
        if (!compressed.exists) return RC_FILE_NOT_FOUND;
    }
    if (compressed.is_directory || compressed.size > UINT32_MAX) return RC_OS_ERROR;
    return set_stored_size(run->runtime, component, uint32_t(compressed.size));
}

// True when -C turns Compress? on for the component, and when it must be
// off whatever it was.
bool compress_turned_on(const RunContext* run, std::string_view source, std::string_view group,
                        uint32_t size) {
    return run->options.compress && compression_wanted(run, source, group, size);
}

// A file of no bytes has no compressed form worth having, and a Source that
// is empty or holds a variable names no file to compress.
bool compress_ruled_out(std::string_view source, uint32_t size) {
    return source.empty() || source.find('%') != std::string_view::npos || size == 0;
}

// Foresees the compressions the walk will make, in file order, and queues
// them on the run's workers, which make them ahead of the walk. Only what
// is known without asking the file services counts: a component whose
// file the staging-area check did not find is compressed when the walk
// comes to it. Nothing is changed here, neither the components nor the
// log: the walk does that in its turn.
void foresee_compressions(Pass* pass, BiList* groups) {
    RunContext* run = pass->run;
    RuntimeContext* rt = run->runtime;
    std::map<std::string, std::string> names;
    for (GroupComponent gc : group_components(groups)) {
        Value component = gc.component;
        pass->foreseen.push_back(-1);
        std::string_view group = field_text(rt, group_name(gc.group));
        std::string_view source = field_text(rt, component_source(component));
        uint32_t size = field_number_value(rt, component_size(component, false));
        bool compress =
            compress_turned_on(run, source, group, size) || component_compress(component);
        if (!compress || compress_ruled_out(source, size) || component_instantiate(component) ||
            !component_processed(component))
            continue;
        std::string name = compressed_name_of(source);
        auto [at, fresh] = names.emplace(text_fold(name), text_fold(source));
        if (!fresh && at->second != text_fold(source)) continue;
        FileStatus original{true, false, 0, component_modified(component),
                            component_changed(component)},
            compressed;
        auto listed = pass->copies.find(text_fold(name));
        if (listed != pass->copies.end()) compressed = listed->second;
        if (copy_current(compressed, original)) continue;
        pass->foreseen.back() =
            long(copy_batch_add(&pass->batch, path_join(pass->directory, "", source, ""),
                                path_join(pass->work, "", name, ""), compress_options(run)));
    }
}

ResultCode pass_component(Pass* pass, Value component, std::string_view group) {
    RunContext* run = pass->run;
    RuntimeContext* rt = run->runtime;
    std::string_view source = field_text(rt, component_source(component));
    uint32_t size = field_number_value(rt, component_size(component, false));
    ResultCode code = RC_OK;
    if (compress_turned_on(run, source, group, size))
        code = component_set_compress(rt, component, true);
    if (code == RC_OK && compress_ruled_out(source, size))
        code = component_set_compress(rt, component, false);
    if (code != RC_OK || !component_compress(component)) return code;
    if (component_instantiate(component)) {
        engine_report_note(run->log, pass->depth, source, "Instantiated file must be uncompressed");
        if ((code = component_set_compress(rt, component, false)) != RC_OK) return code;
        uint32_t on_disk = 0;
        code = file_size(path_join(pass->directory, "", source, ""), &on_disk);
        return code == RC_OK ? set_stored_size(rt, component, on_disk) : code;
    }
    return compress_component(pass, component, source);
}

}  // namespace

ResultCode compression_pass(RunContext* run, BiList* groups, std::string_view product_directory,
                            int depth, bool* reported) {
    Pass pass;
    pass.run = run;
    pass.reported = reported;
    pass.directory = product_directory;
    pass.work = work_directory_path(product_directory);
    pass.depth = depth;
    ResultCode code = list_copies(&pass);
    if (code != RC_OK) return code;
    // With one job nothing is foreseen: each compression is made on this
    // thread when the walk comes to it.
    copy_batch_start(&pass.batch, run->front_end.jobs);
    if (run->front_end.jobs > 1) foresee_compressions(&pass, groups);
    for (GroupComponent gc : group_components(groups)) {
        std::string_view group = field_text(run->runtime, group_name(gc.group));
        if (pass.foreseen.size() <= pass.at) pass.foreseen.push_back(-1);
        code = run_cancel_check(run);
        if (code == RC_OK) code = pass_component(&pass, gc.component, group);
        ++pass.at;
        if (code != RC_OK) break;
    }
    // The compressions foreseen past a failure are given up: they leave
    // neither a copy nor a temporary file.
    copy_batch_end(&pass.batch);
    return code;
}
