// The engine's entry point, the directory walk and the product-file step.
#include "engine/engine_main.h"

#include "engine/directory_walk.h"
#include "engine/messages.h"
#include "engine/options.h"
#include "media/floppy_drives.h"
#include "sys/text.h"

namespace {

void write_banner(OutputLog* log) {
    log_end_line(log);
    log_text(log, BANNER_VERSION_TEXT);
    log_text(log, "\n");
    log_text(log, MAKER_NOTICE_TEXT);
    log_end_line(log);
    log_end_line(log);
    log_text(log, "Diskward Utility");
    log_end_line(log);
    log_end_line(log);
}

bool follows_compress_option(const char* previous) {
    return text_equal_nocase(previous, "-c") || text_equal_nocase(previous, "/c");
}

// An argument longer than the field it is read into: reported under the
// argument itself, and nothing is processed.
void report_too_long(RunContext* run, std::string_view argument) {
    engine_report(run->log, argument, "", "", "", NO_LINE, 0, RC_INVALID_FILE_NAME);
    run->result = RC_INVALID_FILE_NAME;
}

// Reads every argument into *options and the directory parts. Returns
// false when nothing may be processed; *bad_medium is set when that is for
// a -Z name outside the media table.
bool read_arguments(RunContext* run, RunOptions* options, int argc, const char* const* argv,
                    PathParts* parts, bool* bad_medium) {
    bool proceed = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-' || arg[0] == '/') {
            ResultCode code = engine_parse_option(options, !run->front_end.cd_image.empty(), argc,
                                                  argv, &i, &proceed);
            if (code == RC_INVALID_MEDIA_SIZE)
                *bad_medium = true;
            else if (code == RC_INVALID_FILE_NAME)
                report_too_long(run, argv[i]);
            else if (code != RC_OK)
                engine_report(run->log, *parts, NO_LINE, 0, code);
            if (!proceed) break;
        } else if (is_digits(arg) && follows_compress_option(argv[i - 1])) {
            uint32_t kb = 0;
            if (!parse_size(arg, &kb) || kb > UINT32_MAX / 1024)
                engine_report(run->log, *parts, NO_LINE, 0, RC_INVALID_THRESHOLD_SIZE);
            else
                options->compress_threshold = kb * 1024;
        } else if (std::string_view(arg).size() > PATH_LIMIT) {
            report_too_long(run, arg);
            proceed = false;
            break;
        } else {
            options->path = arg;
            *parts = path_split(options->path);
        }
    }
    return proceed;
}

// Kb to bytes once the options are read, when the disk sizes are used.
void finish_sizes(OutputLog* log, RunOptions* options, const PathParts& parts) {
    if (!options->assign) return;
    options->slop *= 1024;
    options->min_split_space *= 1024;
    // A -Z after -S can leave a slop larger than the medium itself.
    if (options->slop > options->media_capacity) {
        engine_report(log, parts, NO_LINE, 0, RC_INVALID_SLOP_SIZE);
        options->slop = 0;
    }
}

PathParts current_directory_parts() {
    PathParts parts;
    parts.relative = ".";
    return parts;
}

// Walks one directory at depth 0, reporting a failure of the walk itself.
void walk(RunContext* run, const PathParts& parts) {
    run->result = RC_OK;
    ResultCode code = engine_process_directory(run, parts, 0);
    if (code == RC_OK) return;  // product-file failures are kept in run->result
    engine_report(run->log, parts, NO_LINE, 0, code);
    run->result = code;
}

}  // namespace

bool engine_start(RunContext* run, int argc, const char* const* argv) {
    PathParts parts = current_directory_parts();
    engine_reset_run(run);
    RunOptions options;
    bool bad_medium = false;
    bool proceed = read_arguments(run, &options, argc, argv, &parts, &bad_medium);
    finish_sizes(run->log, &options, parts);
    run->options = std::move(options);
    if (!run->options.drive_folder.empty()) run->floppy_root = run->options.drive_folder;

    if (run->options.show_banner) write_banner(run->log);
    if (run->options.show_usage) {
        engine_write_usage(run->log);
        return false;
    }
    // A medium outside the table stops the reading and processes nothing;
    // it is said where processing would have started, so that the run does
    // not end as a success.
    if (bad_medium) {
        engine_report(run->log, parts, NO_LINE, 0, RC_INVALID_MEDIA_SIZE);
        run->result = RC_INVALID_MEDIA_SIZE;
    }
    return proceed;
}

ResultCode engine_run(RunContext* run) {
    const RunOptions& options = run->options;
    if (!options.drive_folder.empty()) floppy_drives_follow(run->floppy_root);
    PathParts parts = options.path.empty() ? current_directory_parts() : path_split(options.path);
    if (options.replicate) {
        walk(run, path_split(options.path));
        // The copy is checked next, with what the replication found for it.
        run->checking_copy = true;
        parts = path_split(run_copy_directory(run));
    }
    if (run->result == RC_OK) walk(run, parts);
    return run->result;
}

ResultCode engine_main(RunContext* run, int argc, const char* const* argv) {
    if (!run) return RC_NO_OBJECT;
    if (!engine_start(run, argc, argv)) return run->result;
    return engine_run(run);
}

ResultCode engine_process_directory(RunContext* run, const PathParts& parts, int depth) {
    std::string directory = path_join(parts);
    engine_report_note(run->log, depth, directory);

    bool found = false;
    ResultCode code = directory_walk(directory, false, [&](const WalkEntry& found_entry) {
        if (!names_product_file(run, found_entry.name)) return WALK_PASS;
        PathParts entry = path_split(found_entry.name);
        // Names that differ only in letter case are one name to the engine:
        // the first in listing order is the product file, any other is
        // reported and left alone (its back-up would be the first one's).
        ResultCode product_file_code = RC_INVALID_FILE_NAME;
        int32_t line = NO_LINE;
        if (!found)
            product_file_code = engine_process_product_file(run, directory, entry.base,
                                                            entry.extension, depth + 2, &line);
        found = true;
        if (product_file_code == RC_OK) return WALK_PASS;
        engine_report(run->log, directory, "", entry.base, entry.extension, line, depth + 2,
                      product_file_code);
        run_keep_failure(run, product_file_code);
        return WALK_PASS;
    });
    if (code != RC_OK) return code;
    if (!found) engine_report_text(run->log, depth, directory, "No products found");
    return RC_OK;
}
