// Binding and resetting the run context.
#include "engine/run_context.h"

#include <algorithm>

#include "media/volume_map.h"
#include "model/group.h"
#include "model/product.h"
#include "runtime/runtime_context.h"
#include "sys/paths.h"
#include "sys/text.h"

ResultCode engine_attach(RunContext* rc, OutputLog* log) {
    if (!rc) return RC_NO_OBJECT;
    rc->log = log;
    rc->runtime = rt_create();
    if (!rc->runtime) return RC_NO_OBJECT;
    // The value types that live outside the runtime itself.
    ResultCode code = volume_map_register(rc->runtime);
    if (code == RC_OK) code = product_register(rc->runtime);
    if (code == RC_OK) code = group_register(rc->runtime);
    return code;
}

ResultCode engine_detach(RunContext* rc) {
    if (!rc) return RC_NO_OBJECT;
    if (rc->runtime) rt_destroy(rc->runtime);
    rc->runtime = nullptr;
    return RC_OK;
}

ResultCode engine_reset_run(RunContext* rc) {
    if (!rc) return RC_NO_OBJECT;
    RunContext fresh;
    fresh.runtime = rc->runtime;
    fresh.log = rc->log;
    fresh.disk_prompt = rc->disk_prompt;
    fresh.disk_prompt_user = rc->disk_prompt_user;
    fresh.disk_progress = rc->disk_progress;
    fresh.compress_progress = rc->compress_progress;
    fresh.cancel = rc->cancel;
    fresh.jobs = rc->jobs;
    fresh.harvest = rc->harvest;
    fresh.cd_image = rc->cd_image;
    fresh.cd_image_label = rc->cd_image_label;
    fresh.floppy_root = rc->floppy_root;
    *rc = std::move(fresh);
    return RC_OK;
}

bool run_keeps_backups(const RunContext* rc) {
    return !rc->options.no_backups && !rc->checking_copy;
}

bool run_makes_cd_subdirs(const RunContext* rc) {
    return !rc->options.no_cd_subdirs && !rc->checking_copy;
}

bool run_replicates(const RunContext* rc) {
    return rc->options.replicate && !rc->checking_copy;
}

const std::string& run_copy_directory(const RunContext* rc) {
    return rc->replica_dir.empty() ? rc->options.target : rc->replica_dir;
}

unsigned run_status_ahead(const RunContext* rc) {
    if (rc->jobs <= 1) return 0;
    return std::min(rc->jobs * 8u, 64u);
}

ResultCode run_cancel_check(RunContext* rc) {
    return rc->cancel ? rc->cancel(rc) : RC_OK;
}

std::string work_directory_path(std::string_view product_directory) {
    return path_join(product_directory, "", WORK_SUBDIRECTORY, "");
}

bool names_product_file(const RunContext* rc, std::string_view name) {
    // Only a name ending in ".prd" has that extension; the others are told
    // without taking the path apart.
    if (!text_ends_with_nocase(name, ".prd")) return false;
    PathParts parts = path_split(name);
    return text_equal_nocase(parts.base, rc->options.os_word) &&
           text_equal_nocase(parts.extension, "prd");
}
