// Floppy assignment.
#include "engine/floppy_assignment.h"

#include "engine/compression_pass.h"
#include "engine/density_maps.h"
#include "engine/dependencies.h"
#include "engine/disk_one_files.h"
#include "engine/disk_placement.h"
#include "engine/disk_writer.h"
#include "engine/messages.h"
#include "media/copy_names.h"
#include "media/media_table.h"
#include "model/fields.h"
#include "model/group.h"
#include "model/product.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/values.h"
#include "sys/files.h"
#include "sys/text.h"

namespace {

// Checks the dependent products as products of their own: not top-level,
// so without harvesting, compression or disks, each of them whatever -N
// named. A dependent product that is not ready makes the assignment fail
// with RC_DEPENDENT_PRODUCT_ERROR; a failure of its own check is reported under its map file
// first.
ResultCode check_dependents(RunContext* run, const ProductFileContext& pf,
                            const std::vector<Value>& dependents, int depth) {
    RuntimeContext* rt = run->runtime;
    ResultCode result = RC_OK;
    for (Value dependent : dependents) {
        std::string directory = product_directory(rt, pf.file.absolute, dependent);
        std::string filename(field_text(rt, product_filename(dependent)));
        CheckOutcome outcome;
        ResultCode code =
            check_product(run, pf, dependent, directory, filename, "map", depth, false, &outcome);
        value_release(rt, outcome.size);
        // A cancelled run is told once, under the product being assigned.
        if (code == RC_USER_CANCELLED) {
            result = code;
            break;
        }
        if (code != RC_OK && code != RC_DEPENDENT_PRODUCT_ERROR && !outcome.reported)
            engine_report(run->log, directory, "", filename, "map", outcome.line, depth, code);
        if (code != RC_OK) result = RC_DEPENDENT_PRODUCT_ERROR;
    }
    return result;
}

PlacementParameters placement_parameters(const RunContext* run) {
    PlacementParameters p;
    p.media_capacity = run->options.media_capacity;
    p.cluster_size = run->options.cluster_size;
    p.max_root_entries = run->options.max_root_entries;
    p.slop = run->options.slop;
    p.min_split_space = run->options.min_split_space;
    p.no_split = run->options.no_split;
    return p;
}

// `path` below the product file's directory when it lies there.
std::string shown_path(const ProductFileContext& pf, const std::string& path) {
    std::string prefix = pf.file.absolute;
    if (!prefix.empty() && prefix.back() != '\\') prefix += '\\';
    if (!prefix.empty() && path.size() > prefix.size() &&
        text_equal_nocase(std::string_view(path).substr(0, prefix.size()), prefix))
        return path.substr(prefix.size());
    return path;
}

// The layout entries of one placed file: one per piece.
void layout_pieces(ProductLayout* layout, std::string_view source, const std::string& name,
                   uint32_t size, const Placement& placed) {
    uint32_t pieces = uint32_t(placed.segments.size());
    uint32_t rest = size;
    for (uint32_t i = 0; i < pieces; ++i) {
        bool last = i + 1 == pieces;
        LayoutFile file{std::string(source), name, last ? rest : placed.segments[i], 0, pieces, ""};
        if (pieces > 1) {
            file.piece = i + 1;
            std::string piece_name;
            uint32_t unnamed = 0;
            if (copy_piece_name(name, i + 1, last, &piece_name) == RC_OK) {
                file.name = piece_name;
            } else {
                // The writing refuses the file: the layout says why instead of a name.
                file.name.clear();
                (void)layout_piece_names_check(name, pieces, &unnamed, &file.refusal);
            }
        }
        rest -= last ? rest : placed.segments[i];
        layout_add(layout, placed.start_disk + i, std::move(file));
    }
}

ResultCode set_disks(RuntimeContext* rt, Value component, uint32_t start, uint32_t count) {
    SystemComponent* system = component_system(component);
    ResultCode code = system_component_set_start_disk(rt, system, start);
    return code == RC_OK ? system_component_set_total_disks(rt, system, count) : code;
}

// Places every component in file order; a Source that is empty or holds a
// variable names no file and is not placed.
ResultCode place_components(RunContext* run, BiList* groups, const PlacementParameters& p,
                            DiskState* disk, ProductLayout* layout) {
    RuntimeContext* rt = run->runtime;
    for (GroupComponent gc : group_components(groups)) {
        Value component = gc.component;
        std::string_view source = field_text(rt, component_source(component));
        ResultCode code = RC_OK;
        if (source.empty() || source.find('%') != std::string_view::npos) {
            if ((code = set_disks(rt, component, 0, 0)) != RC_OK) return code;
            continue;
        }
        bool compressed = component_compress(component);
        Value size = component_size(component, compressed);
        if (!size) return RC_NO_OBJECT;
        uint32_t bytes = field_number_value(rt, size);
        Placement placed;
        if ((code = disk_place(disk, p, bytes, compressed, &placed)) != RC_OK) return code;
        if ((code = set_disks(rt, component, placed.start_disk, placed.disk_count)) != RC_OK)
            return code;
        for (uint32_t segment : placed.segments) {
            Value made = field_number(rt, segment);
            if (!made) return RC_NO_OBJECT;
            if ((code = component_add_segment(rt, component, made)) != RC_OK) {
                value_release(rt, made);
                return code;
            }
        }
        PathParts parts = path_split(source);
        std::string name = path_join("", "", parts.base, parts.extension);
        if (compressed) name = copy_compressed_name(name);
        layout_pieces(layout, source, name, bytes, placed);
    }
    return RC_OK;
}

// The room each disk of the layout has left, slop included.
void layout_rooms(ProductLayout* layout, const PlacementParameters& p) {
    for (LayoutDisk& disk : layout->disks) {
        uint64_t taken = 0;
        for (const LayoutFile& file : disk.files)
            taken += media_round_to_cluster(file.bytes, p.cluster_size);
        uint64_t room = p.media_capacity;
        disk.bytes_left = room > taken ? room - taken : 0;
    }
}

// The disk-1 files, then every component, then the summary line. *first
// gets the disk-1 files in order, for the disk writer; *reported is set
// when a failure was reported under the file it concerns.
ResultCode place_product(RunContext* run, const ProductFileContext& pf, Value product,
                         const std::vector<Value>& dependents, BiList* groups, const PathParts& map,
                         int depth, std::vector<DiskOneFile>* out_first, bool* reported) {
    PlacementParameters p = placement_parameters(run);
    std::vector<DiskOneFile>& first = *out_first;
    ResultCode code =
        disk_one_files_collect(run, pf, product, dependents, depth + 2, &first, reported);
    if (code != RC_OK) return code;
    std::vector<uint32_t> sizes;
    ProductLayout layout;
    layout.product = field_text(run->runtime, product_name(product));
    layout.map_file = path_join(map);
    for (const DiskOneFile& file : first) {
        sizes.push_back(file.size);
        layout_add(&layout, 1,
                   LayoutFile{shown_path(pf, file.path), file.name, file.size, 0, 1, ""});
    }
    DiskState disk;
    if ((code = disk_reserve(&disk, p, sizes)) != RC_OK) return code;
    if ((code = place_components(run, groups, p, &disk, &layout)) != RC_OK) return code;
    engine_report_text(run->log, depth, path_join(map), disk_summary_text(disk, p));
    layout_disk(&layout, disk.disk_number);  // every disk, an empty last one too
    layout_rooms(&layout, p);
    run->layouts.push_back(std::move(layout));
    return RC_OK;
}

}  // namespace

ResultCode assign_product(RunContext* run, const ProductFileContext& pf, Value product,
                          MapReading* reading, const PathParts& map, int depth, bool* reported) {
    std::vector<Value> dependents;
    ResultCode code =
        dependency_list_build(run, pf.products, pf.file.absolute, product, depth, &dependents);
    if (code != RC_OK) {
        *reported = true;  // under the verification file
        return code;
    }
    code = check_dependents(run, pf, dependents, depth);
    bool created = false;
    if (code == RC_OK) code = density_map_prepare(run, map.absolute, map.base, &created);
    if (code == RC_OK)
        code = compression_pass(run, reading->groups, map.absolute, depth + 2, reported);
    std::vector<DiskOneFile> first;
    if (code == RC_OK)
        code = place_product(run, pf, product, dependents, reading->groups, map, depth, &first,
                             reported);
    std::string density = density_map_path(map.absolute, map.base, run->options.media_capacity);
    if (code == RC_OK) code = density_map_retire(run, map.absolute, map.base);
    if (code == RC_OK) {
        PathParts out = path_split(density);
        code = map_file_write(run, reading->file.ns, reading->groups, map.base, &out, depth + 2,
                              true, false);
        // The product table file goes on disk 1, so the disks are written
        // before it is deleted.
        if (code == RC_OK && run->options.make_disks)
            code = disk_writer_write(run, product, reading->groups, first, map, depth, reported);
    } else if (created) {
        // The copy of the map file holds no assignment; it carries the map
        // file's times, so it would count as out of date, but it is no
        // density map file of this product either.
        (void)file_delete(density);
    }
    ResultCode removed = file_delete(product_table_file_path(pf.file, map.absolute));
    return code != RC_OK ? code : removed;
}
