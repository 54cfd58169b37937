// Writing a product's disks.
#include "engine/disk_writer.h"

#include <algorithm>
#include <map>
#include <string>

#include "engine/density_maps.h"
#include "engine/disk_layout.h"
#include "engine/disk_prompts.h"
#include "engine/messages.h"
#include "media/copy.h"
#include "media/copy_names.h"
#include "media/fat_names.h"
#include "media/floppy_drives.h"
#include "model/component.h"
#include "model/fields.h"
#include "model/group.h"
#include "model/product.h"
#include "model/system_columns.h"
#include "runtime/runtime_context.h"
#include "sys/files.h"
#include "sys/host_paths.h"
#include "sys/text.h"
#include "sys/volumes.h"

namespace {

// The most segments a component may be written in.
constexpr uint32_t MOST_SEGMENTS = 20;

constexpr const char* NOTE_DIRECTORY_PART = "Not written to disk: the name has a directory part";

// One component to write: where its bytes come from, its name on the
// disks, and the disks and pieces the assignment gave it.
struct ComponentCopy {
    std::string source_text;  // the Source as the map file has it
    std::string staging;      // the engine path of the component's file
    std::string read_name;    // the name a reader of the disks asks for
    bool compressed = false;
    std::string from;  // the engine path of the bytes written
    std::string name;  // the name on the disks (before piece names)
    uint32_t start_disk = 0;
    uint32_t total_disks = 0;
    std::vector<uint32_t> pieces;
};

bool is_number(Value v) {
    return value_is_real(v) && value_type(v) == VT_NUMBER;
}

// What file a name on a disk belongs to, by disk and folded name.
using DiskNames = std::map<std::pair<uint32_t, std::string>, std::string>;

// Records `name` on `disk` for the file `from`; false when another file
// already has that name there.
bool claim_name(DiskNames* names, uint32_t disk, std::string_view name, const std::string& from) {
    auto [at, added] = names->emplace(std::make_pair(disk, text_fold(name)), from);
    return added || text_equal_nocase(at->second, from);
}

// The components to write, in group and file order, checked before any
// disk is asked for. `skipped` gets the Sources with a directory part.
ResultCode collect_components(RunContext* run, BiList* groups, const PathParts& map,
                              const std::vector<DiskOneFile>& first,
                              std::vector<ComponentCopy>* copies, std::vector<std::string>* skipped,
                              std::string* failed_source, std::string* problem) {
    RuntimeContext* rt = run->runtime;
    DiskNames names;
    for (const DiskOneFile& file : first) (void)claim_name(&names, 1, file.name, file.path);
    std::string density = density_map_path(map.absolute, map.base, run->options.media_capacity);
    std::string work = work_directory_path(map.absolute);
    for (GroupComponent gc : group_components(groups)) {
        Value component = gc.component;
        std::string source(field_text(rt, component_source(component)));
        if (source.empty() || source.find('%') != std::string::npos) continue;
        PathParts parts = path_split(source);
        if (!parts.absolute.empty() || !parts.relative.empty()) {
            skipped->push_back(source);
            continue;
        }
        if (parts.base.empty()) continue;
        SystemComponent* system = component_system(component);
        if (!system || !is_number(system->start_disk) || !is_number(system->total_disks))
            return RC_NO_OBJECT;
        ComponentCopy copy;
        copy.source_text = source;
        copy.start_disk = system_component_start_disk(rt, system);
        copy.total_disks = system_component_total_disks(rt, system);
        if (copy.start_disk == 0 || copy.total_disks == 0) continue;  // not placed
        std::string name = path_join("", "", parts.base, parts.extension);
        copy.staging = path_join(map.absolute, "", parts.base, parts.extension);
        copy.read_name = name;
        if (text_equal_nocase(parts.base, map.base) && text_equal_nocase(parts.extension, "map")) {
            copy.from = density;
            copy.staging = density;
            copy.name = name;
        } else if (component_compress(component)) {
            copy.name = copy_compressed_name(name);
            copy.compressed = true;
            copy.from =
                path_join(work, "", path_split(copy.name).base, path_split(copy.name).extension);
        } else {
            copy.name = name;
            copy.from = path_join(map.absolute, "", parts.base, parts.extension);
        }
        BiList* segments = component_segments(component);
        for (BiNode* s = segments ? segments->first : nullptr; s; s = s->next)
            copy.pieces.push_back(field_number_value(rt, s->value));
        *failed_source = source;
        *problem = engine_message(RC_TOO_MANY_SEGMENTS);
        if (copy.pieces.size() > MOST_SEGMENTS || copy.total_disks > MOST_SEGMENTS)
            return RC_TOO_MANY_SEGMENTS;
        uint32_t unnamed = 0;
        ResultCode named = layout_piece_names_check(copy.name, copy.total_disks, &unnamed, problem);
        if (named != RC_OK) return named;
        for (uint32_t i = 0; i < copy.total_disks; ++i) {
            std::string piece = copy.name;
            if (copy.total_disks > 1)
                (void)copy_piece_name(copy.name, i + 1, i + 1 == copy.total_disks, &piece);
            *problem = engine_message(RC_INVALID_FILE_NAME);
            if (!claim_name(&names, copy.start_disk + i, piece, copy.from))
                return RC_INVALID_FILE_NAME;
        }
        failed_source->clear();
        copies->push_back(std::move(copy));
    }
    return RC_OK;
}

// Copies the disk-1 files, then every component, each through the copy
// onto disks.
ResultCode write_all(RunContext* run, Value product, const std::vector<DiskOneFile>& first,
                     const std::vector<ComponentCopy>& copies, const std::string& volume,
                     std::string* source) {
    RuntimeContext* rt = run->runtime;
    ResultCode code = RC_OK;
    CopyOptions options;
    options.slop_size = run->options.slop;
    options.label_base = volume;
    options.label_text = field_text(rt, product_interface_label(product));
    options.prompt = run->front_end.disk_prompt;
    options.take = disk_prompt_take;
    options.user = run;
    options.floppy_root = &run->floppy_root;
    options.progress = run->front_end.disk_progress;
    options.cancel = run->front_end.cancel;
    options.start_disk = 1;
    options.disk_count = 1;
    // One piece takes the whole file: its budget is not the free space
    // found before the copy, which on a disk written before still counts
    // the file's older bytes.
    options.piece_sizes = {COPY_UNLIMITED};
    for (const DiskOneFile& file : disk_one_write_order(first)) {
        run->disk_writing = file.name + " on disk 1";
        run->disk_file = file.name;
        run->disk_file_start = 1;
        run->disk_file_pieces = 1;
        *source = file.path;
        if ((code = run_cancel_check(run)) != RC_OK) return code;
        if ((code = copy_to_disks(file.path, file.name, options)) != RC_OK) return code;
        run->disks_written.push_back(DiskCopy{file.path, file.path, file.name, file.name, 1, false,
                                              options.label_base, options.label_text,
                                              run->disk_product});
    }
    for (const ComponentCopy& copy : copies) {
        options.start_disk = copy.start_disk;
        options.disk_count = copy.total_disks;
        options.piece_sizes = copy.pieces;
        run->disk_writing = copy.name + " on disk " + std::to_string(copy.start_disk);
        run->disk_file = copy.name;
        run->disk_file_start = copy.start_disk;
        run->disk_file_pieces = copy.total_disks;
        *source = copy.from;
        if ((code = run_cancel_check(run)) != RC_OK) return code;
        if ((code = copy_to_disks(copy.from, copy.name, options)) != RC_OK) return code;
        run->disks_written.push_back(DiskCopy{copy.staging, copy.from, copy.name, copy.read_name,
                                              copy.start_disk, copy.compressed, options.label_base,
                                              options.label_text, run->disk_product});
    }
    return RC_OK;
}

// The highest disk number the product's disks reach.
uint32_t last_disk(const std::vector<ComponentCopy>& copies) {
    uint32_t last = 1;
    for (const ComponentCopy& copy : copies)
        last = std::max(last, copy.start_disk + copy.total_disks - 1);
    return last;
}

// Whether every disk of the set can be labelled "<volume> <n>": a disk
// label holds 11 characters at most, and not every character.
bool volume_fits_labels(const std::string& volume, uint32_t last) {
    char raw[FAT_SHORT_BYTES];
    return fat_label_encode(volume + " " + std::to_string(last), raw) &&
           fat_label_encode(volume + " 1", raw);
}

// The disk image or device that the disk in the drive is (or was to be),
// as the report names it: in a folder of images, the image the set's disk
// takes its name from.
std::string disk_place(const RunContext* run, const std::string& volume) {
    const std::string& root = run->floppy_root;
    const FloppyDrive* drive = floppy_drive_find(root);
    if (!drive) return root;
    uint32_t disk = run->disk_in_drive ? run->disk_in_drive : 1;
    if (drive->binding != FLOPPY_FOLDER) return host_path_to_engine(drive->host_path);
    return host_path_to_engine(
        drive->host_path + "/" +
        floppy_set_image_name(run->disk_product, volume + " " + std::to_string(disk)));
}

// A write that failed because the disk in the drive has no room left is
// told as "Disk Full".
ResultCode failure_code(const RunContext* run, ResultCode code) {
    if (code != RC_UNABLE_TO_WRITE) return code;
    uint32_t free_bytes = 0, cluster = 0;
    if (volume_space(run->floppy_root, &free_bytes, &cluster) == RC_OK && free_bytes < cluster)
        return RC_DISK_FULL;
    return code;
}

}  // namespace

ResultCode disk_writer_write(RunContext* run, Value product, BiList* groups,
                             const std::vector<DiskOneFile>& first, const PathParts& map, int depth,
                             bool* reported) {
    RuntimeContext* rt = run->runtime;
    std::string volume(field_text(rt, system_product_volume(product_volume(product))));
    if (volume.empty()) return RC_NO_VOLUME_LABEL;
    std::vector<ComponentCopy> copies;
    std::vector<std::string> skipped;
    std::string failed_source, problem;
    ResultCode code =
        collect_components(run, groups, map, first, &copies, &skipped, &failed_source, &problem);
    if (code == RC_TOO_MANY_SEGMENTS || code == RC_INVALID_FILE_NAME) {
        engine_report_text(run->log, depth, failed_source, problem);
        *reported = true;
    }
    if (code != RC_OK) return code;
    for (const std::string& source : skipped)
        engine_report_note(run->log, depth, source, NOTE_DIRECTORY_PART);

    // Checked before disk 1 is asked for, so that no disk is touched.
    if (!volume_fits_labels(volume, last_disk(copies))) return RC_INVALID_VOLUME_LABEL;

    run->disk_prompt_result = RC_OK;
    run->disk_product = std::string(field_text(rt, product_name(product)));
    run->disks_taken.clear();
    run->disk_in_drive = 0;
    run->disk_problem.clear();
    const std::string root = run->floppy_root;
    bool on_drive = floppy_drive_find(root) != nullptr;
    std::string source;
    if (on_drive) code = floppy_drive_set_begin(root, run->disk_product);
    if (code == RC_OK) code = write_all(run, product, first, copies, volume, &source);
    if (code == RC_USER_CANCELLED && run->disk_prompt_result != RC_OK)
        code = run->disk_prompt_result;
    if (code == RC_OK && on_drive) code = floppy_drive_set_commit(root);
    if (code == RC_OK) return RC_OK;
    code = failure_code(run, code);
    // A file that could not be read is named itself; any other failure
    // names the disk image or device it befell.
    bool reading = code == RC_FILE_NOT_FOUND || code == RC_UNABLE_TO_READ;
    std::string place = reading ? source : disk_place(run, volume);
    if (on_drive) floppy_drive_set_discard(root);
    // A person's cancelling is told under the map file, as before.
    if (code != RC_USER_CANCELLED) {
        engine_report_text(run->log, depth, place, engine_message(code));
        *reported = true;
    }
    return code;
}
