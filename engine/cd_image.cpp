// The CD-ROM image of a kit.
#include "engine/cd_image.h"

#include <algorithm>
#include <set>

#include "engine/dependencies.h"
#include "engine/directory_walk.h"
#include "engine/messages.h"
#include "engine/replication.h"
#include "engine/script_resources.h"
#include "engine/version_checks.h"
#include "media/iso_image.h"
#include "model/fields.h"
#include "model/product.h"
#include "sys/files.h"
#include "sys/host_paths.h"
#include "sys/text.h"

namespace {

// The note of a file that the kit names but that lies outside the kit's
// directory, where the image, whose root is that directory, cannot put it.
constexpr const char* OUTSIDE_KIT_NOTE = "Outside the staging area";

// The files of the image gathered so far.
struct Gathering {
    RunContext* run = nullptr;
    int depth = 0;
    std::string kit;              // the host path of the kit's directory
    std::set<std::string> taken;  // host paths already in the image
    IsoImageContents contents;
};

// A failure of the image: reported under `path` and kept in the run's result.
ResultCode fail(Gathering* g, std::string_view path, ResultCode code, std::string_view note = {}) {
    engine_report_text(g->run->log, g->depth, path, note.empty() ? engine_message(code) : note);
    run_keep_failure(g->run, code);
    return code;
}

// Adds the file at the engine path `path`, at its place below the kit's
// directory; a file that is not there fails the image unless `optional`.
ResultCode gather(Gathering* g, const std::string& path, bool optional) {
    std::string host;
    bool found = false;
    ResultCode code = host_path_resolve(path, &host, &found);
    FileStatus status;
    if (code == RC_OK && found) code = file_status(path, &status);
    if (code != RC_OK) return fail(g, path, code);
    if (!found || !status.exists) return optional ? RC_OK : fail(g, path, RC_FILE_NOT_FOUND);
    if (status.is_directory || status.is_other)
        return fail(g, path, RC_UNABLE_TO_READ, NOT_REGULAR_FILE_NOTE);
    if (host.size() <= g->kit.size() + 1 || host.compare(0, g->kit.size(), g->kit) != 0 ||
        host[g->kit.size()] != '/')
        return fail(g, path, RC_INVALID_TARGET_LOCATION, OUTSIDE_KIT_NOTE);
    // Two products may share a directory, and a map may list a file twice.
    if (!g->taken.insert(host).second) return RC_OK;
    time_t modified = status.modified.tv_sec;
    g->contents.entries.push_back(IsoEntry{path, host.substr(g->kit.size() + 1), modified});
    g->contents.volume_time = std::max(g->contents.volume_time, modified);
    return RC_OK;
}

// One product's files: those a copy takes, its CD-ROM map file and the
// resource files of its scripts that there are.
ResultCode gather_product(Gathering* g, Value product, std::string_view directory) {
    RuntimeContext* rt = g->run->runtime;
    std::string product_dir = product_directory(rt, directory, product);
    std::string filename(field_text(rt, product_filename(product)));
    std::vector<std::string> sources;
    int32_t line = NO_LINE;
    ResultCode code = product_copy_sources(g->run, product, directory, &sources, &line);
    if (code != RC_OK) {
        engine_report(g->run->log, product_dir, "", filename, "map", line, g->depth, code);
        run_keep_failure(g->run, code);
        return code;
    }
    for (size_t i = 0; code == RC_OK && i < sources.size(); ++i)
        code = gather(g, path_join(product_dir, "", sources[i], ""), false);
    std::string work = work_directory_path(product_dir);
    if (code == RC_OK) code = gather(g, path_join(work, "", filename, "cdr"), false);
    for (const std::string& base : script_resource_bases(g->run, product))
        if (code == RC_OK) code = gather(g, path_join(work, "", base, "prn"), true);
    return code;
}

// The product file, the selected products' files and the user files.
ResultCode gather_kit(Gathering* g, const std::vector<Value>& selected, const PathParts& file) {
    RuntimeContext* rt = g->run->runtime;
    ResultCode code = host_path_resolve(file.absolute, &g->kit);
    if (code != RC_OK) return fail(g, file.absolute, code);
    while (g->kit.size() > 1 && g->kit.back() == '/') g->kit.pop_back();
    if ((code = gather(g, path_join(file), false)) != RC_OK) return code;
    std::string version_name = version_product_name(g->run);
    for (Value product : selected) {
        // The version product has no directory of its own.
        if (text_equal_nocase(field_text(rt, product_name(product)), version_name)) continue;
        if ((code = gather_product(g, product, file.absolute)) != RC_OK) return code;
    }
    code = directory_walk(file.absolute, false, [&](const WalkEntry& entry) {
        if (entry.is_directory || !names_user_file(entry.name)) return WALK_PASS;
        return gather(g, entry.full, false) == RC_OK ? WALK_PASS : WALK_STOP;
    });
    if (code != RC_OK) return fail(g, file.absolute, code);
    return g->run->result;
}

}  // namespace

bool cd_image_wanted(const RunContext* run) {
    return !run->front_end.cd_image.empty() && run_makes_cd_subdirs(run) && !run_replicates(run);
}

bool cd_image_label_valid(std::string_view label) {
    if (label.empty() || label.size() > ISO_VOLUME_ID_LIMIT) return false;
    return std::none_of(label.begin(), label.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

std::string cd_image_size_warning(uint64_t size) {
    if (size > CD_80_MINUTES) return "WARNING: Larger than an 80-minute CD (737280000 bytes)";
    if (size > CD_74_MINUTES) return "WARNING: Larger than a 74-minute CD (681984000 bytes)";
    return "";
}

ResultCode cd_image_make(RunContext* run, const std::vector<Value>& selected, const PathParts& file,
                         int depth) {
    if (!rt_usable(run->runtime)) return RC_NO_OBJECT;
    Gathering g;
    g.run = run;
    g.depth = depth;
    // A failure already kept stays the run's result; the image's own is told apart.
    ResultCode before = run->result;
    run->result = RC_OK;
    std::string label = run->front_end.cd_image_label;
    if (label.empty())
        for (char c : file.base) label += upper_char(c);
    ResultCode code = RC_OK;
    if (!cd_image_label_valid(label))
        code = fail(&g, run->front_end.cd_image, RC_INVALID_VOLUME_LABEL);
    if (code == RC_OK) code = gather_kit(&g, selected, file);
    g.contents.volume_id = label;
    uint64_t size = 0;
    if (code == RC_OK) {
        code = iso_image_write(g.contents, run->front_end.cd_image, &size);
        if (code != RC_OK) fail(&g, run->front_end.cd_image, code);
    }
    if (code == RC_OK) {
        std::string warning = cd_image_size_warning(size);
        if (!warning.empty()) engine_report_text(run->log, depth, run->front_end.cd_image, warning);
        engine_report_text(run->log, depth, run->front_end.cd_image,
                           std::to_string(size) + " bytes");
    }
    if (before != RC_OK) run->result = before;
    return RC_OK;
}
