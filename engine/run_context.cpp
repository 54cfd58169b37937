// Binding and resetting the run context.
#include "engine/run_context.h"

#include <algorithm>

#include "media/volume_map.h"
#include "model/group.h"
#include "model/product.h"
#include "runtime/runtime_context.h"
#include "sys/paths.h"
#include "sys/text.h"

ResultCode engine_attach(RunContext* run, OutputLog* log) {
    if (!run) return RC_NO_OBJECT;
    run->log = log;
    run->runtime = rt_create();
    if (!run->runtime) return RC_NO_OBJECT;
    // The value types that live outside the runtime itself.
    ResultCode code = volume_map_register(run->runtime);
    if (code == RC_OK) code = product_register(run->runtime);
    if (code == RC_OK) code = group_register(run->runtime);
    return code;
}

ResultCode engine_detach(RunContext* run) {
    if (!run) return RC_NO_OBJECT;
    if (run->runtime) rt_destroy(run->runtime);
    run->runtime = nullptr;
    return RC_OK;
}

ResultCode engine_reset_run(RunContext* run) {
    if (!run) return RC_NO_OBJECT;
    RunContext fresh;
    fresh.runtime = run->runtime;
    fresh.log = run->log;
    fresh.front_end = run->front_end;
    fresh.floppy_root = run->floppy_root;
    *run = std::move(fresh);
    return RC_OK;
}

bool run_keeps_backups(const RunContext* run) {
    return !run->options.no_backups && !run->checking_copy;
}

bool run_makes_cd_subdirs(const RunContext* run) {
    return !run->options.no_cd_subdirs && !run->checking_copy;
}

bool run_replicates(const RunContext* run) {
    return run->options.replicate && !run->checking_copy;
}

const std::string& run_copy_directory(const RunContext* run) {
    return run->replica_dir.empty() ? run->options.target : run->replica_dir;
}

unsigned run_status_ahead(const RunContext* run) {
    if (run->front_end.jobs <= 1) return 0;
    return std::min(run->front_end.jobs * 8u, 64u);
}

void run_keep_failure(RunContext* run, ResultCode code) {
    if (code != RC_OK && run->result == RC_OK) run->result = code;
}

ResultCode run_cancel_check(RunContext* run) {
    return run->front_end.cancel ? run->front_end.cancel(run) : RC_OK;
}

std::string work_directory_path(std::string_view product_directory) {
    return path_join(product_directory, "", WORK_SUBDIRECTORY, "");
}

bool names_product_file(const RunContext* run, std::string_view name) {
    // Only a name ending in ".prd" has that extension; the others are told
    // without taking the path apart.
    if (!text_ends_with_nocase(name, ".prd")) return false;
    PathParts parts = path_split(name);
    return text_equal_nocase(parts.base, run->options.os_word) &&
           text_equal_nocase(parts.extension, "prd");
}
