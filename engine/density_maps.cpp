// Density map files.
#include "engine/density_maps.h"

#include "engine/messages.h"
#include "media/media_table.h"
#include "sys/files.h"

const char* const CYCLE_WARNING =
    "Diskward has detected a cyclical dependency.\n"
    "Please run Diskward again on this dependent product\n"
    "to assign it to floppy.  Then you may run Diskward\n"
    "on the current product without getting this warning.";

namespace {

enum DensityState { DENSITY_MISSING, DENSITY_OUT_OF_DATE, DENSITY_CURRENT };

std::string product_map_path(std::string_view product_directory, std::string_view map_base) {
    return path_join(product_directory, "", map_base, "map");
}

// A density map file is current when it was modified after the product map
// file; the same time counts as out of date.
ResultCode density_state(std::string_view path, std::string_view map_path, DensityState* state) {
    bool exists = false;
    ResultCode code = file_exists(path, &exists);
    if (code != RC_OK) return code;
    *state = DENSITY_MISSING;
    if (!exists) return RC_OK;
    bool map_not_older = false;
    if ((code = file_not_older(path, map_path, &map_not_older)) != RC_OK) return code;
    *state = map_not_older ? DENSITY_OUT_OF_DATE : DENSITY_CURRENT;
    return RC_OK;
}

// Makes the working subdirectory and copies the product map file to `path`.
// The copy holds no assignment, so it takes the map file's times: it is
// never later than the map file, and a run that stops before the
// assignment's text replaces it leaves a file that counts as out of date.
ResultCode density_map_make(std::string_view product_directory, std::string_view map_base,
                            std::string_view path) {
    if (directory_make(work_directory_path(product_directory)) != RC_OK)
        return RC_NO_DISKWARD_SUBDIR;
    std::string map_path = product_map_path(product_directory, map_base);
    ResultCode code = file_copy_contents(map_path, path);
    if (code == RC_OK) code = file_copy_times(map_path, path);
    if (code != RC_OK) (void)file_delete(path);
    return code;
}

}  // namespace

std::string density_map_path(std::string_view product_directory, std::string_view map_base,
                             uint32_t capacity) {
    std::string suffix;
    media_density_suffix(capacity, &suffix);
    return path_join(work_directory_path(product_directory), "", map_base, suffix);
}

ResultCode dependent_out_of_date(RunContext* run, std::string_view path, std::string_view notice,
                                 int depth) {
    std::string text(notice);
    text += "\n";
    text += run->dependency_flag ? CYCLE_WARNING : NOTICE_RUN_FIRST;
    engine_report_text(run->log, depth, path, text);
    return run->dependency_flag ? RC_OK : RC_DEPENDENT_PRODUCT_ERROR;
}

ResultCode density_map_prepare(RunContext* run, std::string_view product_directory,
                               std::string_view map_base, bool* created) {
    *created = false;
    std::string path = density_map_path(product_directory, map_base, run->options.media_capacity);
    DensityState state;
    ResultCode code = density_state(path, product_map_path(product_directory, map_base), &state);
    if (code != RC_OK || state != DENSITY_MISSING) return code;
    code = density_map_make(product_directory, map_base, path);
    *created = code == RC_OK;
    return code;
}

ResultCode density_map_retire(RunContext* run, std::string_view product_directory,
                              std::string_view map_base) {
    std::string path = density_map_path(product_directory, map_base, run->options.media_capacity);
    DensityState state;
    ResultCode code = density_state(path, product_map_path(product_directory, map_base), &state);
    if (code != RC_OK || state != DENSITY_OUT_OF_DATE) return code;
    return file_delete(path);
}

ResultCode density_map_judge(RunContext* run, std::string_view product_directory,
                             std::string_view map_base, int depth) {
    std::string map_path = product_map_path(product_directory, map_base);
    std::string path = density_map_path(product_directory, map_base, run->options.media_capacity);
    DensityState state;
    ResultCode code = density_state(path, map_path, &state);
    if (code != RC_OK) return code;
    if (state == DENSITY_MISSING) {
        engine_report_text(run->log, depth, path,
                           std::string(NOTICE_NO_DENSITY) + "\n" + NOTICE_TRY_OTHER);
        path = density_map_path(product_directory, map_base, run->options.other_capacity);
        if ((code = density_state(path, map_path, &state)) != RC_OK) return code;
    }
    if (state == DENSITY_MISSING) {
        if (run->dependency_flag) {
            engine_report_text(run->log, depth, path, CYCLE_WARNING);
            return density_map_make(product_directory, map_base, path);
        }
        engine_report_text(run->log, depth, path,
                           std::string(NOTICE_NO_DENSITY) + "\n" + NOTICE_RUN_FIRST);
        return RC_DEPENDENT_PRODUCT_ERROR;
    }
    if (state == DENSITY_OUT_OF_DATE)
        return dependent_out_of_date(run, path, NOTICE_OUT_OF_DATE, depth);
    return RC_OK;
}

ResultCode density_map_find(RunContext* run, std::string_view product_directory,
                            std::string_view map_base, std::string* path) {
    std::string map_path = product_map_path(product_directory, map_base);
    DensityState state = DENSITY_MISSING;
    for (uint32_t capacity : {run->options.media_capacity, run->options.other_capacity}) {
        *path = density_map_path(product_directory, map_base, capacity);
        ResultCode code = density_state(*path, map_path, &state);
        if (code != RC_OK) return code;
        if (state != DENSITY_MISSING) break;
    }
    if (state == DENSITY_MISSING) return RC_DEPENDENT_PRODUCT_ERROR;
    if (state == DENSITY_OUT_OF_DATE && !run->dependency_flag) return RC_DEPENDENT_PRODUCT_ERROR;
    return RC_OK;
}
