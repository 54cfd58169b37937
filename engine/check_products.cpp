// Checking products against the staging area.
#include "engine/check_products.h"

#include <algorithm>

#include "engine/density_maps.h"
#include "engine/dependencies.h"
#include "engine/floppy_assignment.h"
#include "engine/harvest.h"
#include "engine/map_files.h"
#include "engine/messages.h"
#include "engine/script_file.h"
#include "engine/script_resources.h"
#include "engine/staging_scan.h"
#include "engine/version_checks.h"
#include "model/fields.h"
#include "model/group.h"
#include "model/group_table.h"
#include "model/product.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/numbers.h"
#include "runtime/reader.h"
#include "runtime/values.h"
#include "sys/files.h"
#include "sys/text.h"

namespace {

// The sum of every component's Size as a number value in *sum: 0 (none)
// with RC_SIZE_TOO_LARGE when it leaves 32 bits, RC_NO_OBJECT when the value
// cannot be made.
ResultCode component_sizes_sum(RuntimeContext* rt, BiList* groups, Value* sum) {
    *sum = 0;
    uint64_t total = 0;
    for (GroupComponent gc : group_components(groups))
        total += field_number_value(rt, component_size(gc.component, false));
    if (total > UINT32_MAX) return RC_SIZE_TOO_LARGE;
    *sum = field_number(rt, uint32_t(total));
    return *sum ? RC_OK : RC_NO_OBJECT;
}

// Writes the new map file, keeping the former one as .old (with its times)
// unless -F, and only when its text changed.
ResultCode rewrite_map_file(RunContext* run, const MapReading& r, const PathParts& map, int depth) {
    return map_file_write(run, r.file.ns, r.groups, map.base, &map, depth + 2, false,
                          run_keeps_backups(run));
}

// Writes the CD-ROM map file in the product's working subdirectory.
ResultCode write_cdrom_map(RunContext* run, const MapReading& r, std::string_view directory,
                           std::string_view map_base, int depth) {
    std::string subdirectory = work_directory_path(directory);
    if (directory_make(subdirectory) != RC_OK) return RC_NO_DISKWARD_SUBDIR;
    bool had = false;
    ResultCode code = map_clear_assignment(run->runtime, r.groups, &had);
    if (code != RC_OK) return code;
    PathParts cdr{subdirectory, "", std::string(map_base), "cdr"};
    return map_file_write(run, r.file.ns, r.groups, map_base, &cdr, depth + 2, false, false);
}

// The checks after the map file is read; their result. *reported is set
// when a failure was already reported under the file it concerns.
ResultCode check_read_map(RunContext* run, const ProductFileContext& pf, Value product,
                          MapReading* r, const PathParts& map, int depth, bool top_level,
                          bool* reported, WalkAhead* ahead) {
    run->modified = false;
    // Harvesting adds rows to the map of the product the run is for, whose
    // map file is rewritten; a product checked for another's is not.
    bool harvest = run->front_end.harvest && top_level;
    std::vector<SuperfluousFile> superfluous;
    ResultCode result = scan_staging_area(run, r->file.ns, r->groups, map.absolute, depth + 2,
                                          harvest ? &superfluous : nullptr, ahead);
    // A run cancelled during the scan leaves the map file as it was.
    if (result == RC_OK) result = run_cancel_check(run);
    if (result == RC_OK && harvest)
        result = harvest_files(run, product, r, map.base, superfluous, depth + 2);
    if (result != RC_OK) return result;
    if (!run_makes_cd_subdirs(run)) {
        bool had = false;
        if ((result = map_clear_assignment(run->runtime, r->groups, &had)) != RC_OK) return result;
        if (had) run->modified = true;
    }
    if (!run->modified)
        result =
            map_file_write(run, r->file.ns, r->groups, map.base, nullptr, depth + 2, false, false);
    else if (top_level)
        result = rewrite_map_file(run, *r, map, depth);
    else
        result = dependent_out_of_date(run, path_join(map), NOTICE_SIZES_OUT_OF_DATE, depth);
    bool assigned = false;
    if (result == RC_OK && run->options.assign) result = run_cancel_check(run);
    if (result == RC_OK && run->options.assign) {
        if (top_level) {
            assigned = true;
            result = assign_product(run, pf, product, r, map, depth, reported);
        } else {
            result = density_map_judge(run, map.absolute, map.base, depth);
        }
    }
    // An assignment that failed for a dependent product still leaves the
    // CD-ROM map file written; its failure stays the product's result.
    bool cdrom = result == RC_OK || (assigned && result == RC_DEPENDENT_PRODUCT_ERROR);
    if (cdrom && run_makes_cd_subdirs(run)) {
        ResultCode code = write_cdrom_map(run, *r, map.absolute, map.base, depth);
        if (result == RC_OK) result = code;
    }
    return result;
}

}  // namespace

// The size of a map file from which its product's directory is walked
// while the map is read: about 3 000 rows, a few milliseconds of reading.
constexpr uint64_t WALK_AHEAD_MAP_BYTES = 256 * 1024;

ResultCode check_product(RunContext* run, const ProductFileContext& pf, Value product,
                         std::string_view product_directory, std::string_view map_base,
                         std::string_view map_extension, int depth, bool top_level,
                         CheckOutcome* outcome) {
    RuntimeContext* rt = run->runtime;
    PathParts map{std::string(product_directory), "", std::string(map_base),
                  std::string(map_extension)};
    MapReading r;
    *outcome = CheckOutcome{};
    engine_report_note(run->log, depth, path_join(map));
    // With more than one thread, the directory of a product whose map is
    // large is walked while the map is read; the scan then takes the
    // entries that walk met. A small map is read sooner than a thread for
    // the walk gets going.
    WalkAhead ahead;
    FileStatus map_status;
    bool walking_ahead = run->front_end.jobs > 1 &&
                         file_status(path_join(map), &map_status) == RC_OK &&
                         map_status.size >= WALK_AHEAD_MAP_BYTES;
    if (walking_ahead)
        directory_walk_ahead_start(&ahead, map.absolute, scan_enters, run_status_ahead(run));
    ResultCode result = map_reading_open(run, product, map, &r);
    outcome->line = r.error_line;
    if (result == RC_OK) {
        result = check_read_map(run, pf, product, &r, map, depth, top_level, &outcome->reported,
                                walking_ahead ? &ahead : nullptr);
        Value sum = 0;
        ResultCode summed = component_sizes_sum(rt, r.groups, &sum);
        outcome->size = sum;
        engine_report_text(run->log, depth, path_join(map),
                           sum ? std::to_string(field_number_value(rt, sum)) : NUMBER_PLACEHOLDER);
        // The size line stays as it is; the product then fails, its Size
        // left as it was, rather than passing with a size that is wrong.
        if (result == RC_OK) result = summed;
    }
    // The script resources are written whatever the map file gave; their
    // failure counts only when the product had none of its own. They report
    // their own failures under the script file concerned. A cancelled run
    // writes nothing more.
    if (top_level && run_makes_cd_subdirs(run) && result != RC_USER_CANCELLED) {
        ResultCode scripts = write_script_resources(run, product, product_directory, depth);
        if (result == RC_OK && scripts != RC_OK) {
            result = scripts;
            outcome->reported = true;
        }
    }
    directory_walk_ahead_end(&ahead);
    map_reading_close(rt, &r);
    return result;
}

namespace {

// The version product keeps the installer version current; *changed is set
// when it changed. RC_NO_OBJECT when the new version cannot be made.
ResultCode check_version_product(RunContext* run, Value product, const PathParts& product_file,
                                 int depth, bool* changed) {
    RuntimeContext* rt = run->runtime;
    std::string current = current_installer_version(run);
    std::string_view version = field_text(rt, product_version(product));
    if (text_version_compare(version, current, 5) < 0) {
        Value made = field_string(rt, current);
        if (made && product_set_version(rt, product, made) == RC_OK) {
            *changed = true;
            return RC_OK;
        }
        value_release(rt, made);
        return RC_NO_OBJECT;
    }
    if (text_version_compare(version, current, 4) > 0)
        engine_report(run->log, product_file, NO_LINE, depth, RC_WARN_ENGINE_OUT_OF_DATE);
    return RC_OK;
}

bool is_named(RuntimeContext* rt, Value product, std::string_view name) {
    return text_equal_nocase(field_text(rt, product_name(product)), name);
}

// Checks one product of the list; its result (reported under its map
// file). *changed is set when its Size changed.
ResultCode check_listed_product(RunContext* run, const ProductFileContext& pf, Value product,
                                int depth, bool* changed) {
    RuntimeContext* rt = run->runtime;
    uint32_t remembered = field_number_value(rt, product_size(product));
    std::string directory = product_directory(rt, pf.file.absolute, product);
    std::string map_base(field_text(rt, product_filename(product)));
    CheckOutcome outcome;
    ResultCode code =
        check_product(run, pf, product, directory, map_base, "map", depth + 2, true, &outcome);
    if (code != RC_OK && !outcome.reported)
        engine_report(run->log, directory, "", map_base, "map", outcome.line, depth + 2, code);
    if (!outcome.size) return code;
    product_record(product)->size_computed = true;
    uint32_t computed = field_number_value(rt, outcome.size);
    value_release(rt, outcome.size);
    if (computed == remembered) return code;
    Value made = field_number(rt, computed);
    if (!made) return code != RC_OK ? code : RC_NO_OBJECT;
    if (product_set_size(rt, product, made) != RC_OK) {
        value_release(rt, made);
        return code != RC_OK ? code : RC_NO_OBJECT;
    }
    *changed = true;
    return code;
}

}  // namespace

ResultCode check_products(RunContext* run, SymbolTable* atoms, BiList* products,
                          std::string_view directory, std::string_view base,
                          std::string_view extension, int depth, ResultCode* product_failure,
                          const std::vector<Value>* selection) {
    RuntimeContext* rt = run->runtime;
    ProductFileContext pf{
        atoms, products,
        PathParts{std::string(directory), "", std::string(base), std::string(extension)}};
    const PathParts& product_file = pf.file;
    std::string version_name = version_product_name(run);
    std::string current = current_installer_version(run);
    run->modified = false;
    bool changed = false, version_found = false, matched = false;
    ResultCode version_result = RC_OK;  // the version product's own failure
    *product_failure = RC_OK;
    // A cancel is told once: under the map file of the product it stopped,
    // else under the product file when it comes between two products.
    bool cancel_told = false;
    ResultCode cancelled = RC_OK;

    for (BiNode* n = products->first; n; n = n->next) {
        Value product = n->value;
        if (field_number_value(rt, product_number(product)) == 0) {
            if (is_named(rt, product, version_name)) {
                version_found = true;
                ResultCode code =
                    check_version_product(run, product, product_file, depth, &changed);
                if (version_result == RC_OK) version_result = code;
                continue;
            }
            if (is_named(rt, product, run->options.install_product) &&
                text_version_compare(current, field_text(rt, product_version(product)), 4) > 0)
                engine_report(run->log, product_file, NO_LINE, depth,
                              RC_WARN_INSTALLER_OUT_OF_DATE);
        }
        const std::string& filter = run->options.product_filter;
        if (!filter.empty() && !is_named(rt, product, filter)) continue;
        if (selection &&
            std::find(selection->begin(), selection->end(), product) == selection->end())
            continue;
        matched = true;
        if ((cancelled = run_cancel_check(run)) != RC_OK) break;
        ResultCode code = check_listed_product(run, pf, product, depth, &changed);
        if (code == RC_USER_CANCELLED) cancel_told = true;
        if (code != RC_OK && *product_failure == RC_OK) *product_failure = code;
    }
    if (cancelled != RC_OK) return cancel_told ? version_result : cancelled;

    ResultCode result = version_result;
    if (!version_found) {
        Value made = version_product_create(rt, atoms, current, version_name);
        if (made && bilist_push_front(rt, products, made) == RC_OK)
            changed = true;
        else
            result = RC_NO_OBJECT;  // the table would be written without it
        if (made && result != RC_OK) product_destroy(rt, made);
    }
    run->modified = changed;
    if (!run->options.product_filter.empty() && !matched) return RC_UNKNOWN_PRODUCT_NAME;
    return result;
}
