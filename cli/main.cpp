// The console command: converts the host paths among its words to the
// engine's form, runs the engine once with a log that writes every ended
// line to standard output, and exits 0 when the run succeeded, 1 when it
// reported a failure, 2 when its own options were used wrongly.
// Floppy drives are set up first (A: on /dev/fd0); the folder the engine
// read from -D becomes a drive once the options are read.
// Every word that begins with "--" is the console's own and never reaches
// the engine: the options of CONSOLE_OPTIONS below, and any other such word
// is refused before anything is read or written.
// With -w each disk is asked for on standard error: a folder of images
// takes a blank image at once (the folder -D names is made when missing);
// a device or an image file waits for Enter ("c" cancels), and never waits
// without a terminal on standard input.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cd_image.h"
#include "engine/disk_prompts.h"
#include "engine/disk_verify.h"
#include "engine/engine_main.h"
#include "engine/messages.h"
#include "engine/options.h"
#include "media/floppy_drives.h"
#include "sys/host_paths.h"
#include "sys/work_pool.h"

namespace {

void say(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

// Progress of the writing, on a terminal only: the file, its first disk and
// the bytes written so far, one line rewritten in place.
struct Progress {
    std::string file;
    uint64_t bytes = 0;
    bool shown = false;
};
Progress progress;

void console_prompt(void* user, std::string* root, std::string_view label_text, uint32_t disk,
                    std::string_view system, bool* cancelled, bool wrong_disk) {
    FloppyDrive* drive = floppy_drive_find(*root);
    if (drive && drive->binding == FLOPPY_FOLDER) {
        disk_prompt_folder(user, root, label_text, disk, system, cancelled, wrong_disk);
        return;
    }
    if (progress.shown) say("\r\033[K");
    RunContext* run = static_cast<RunContext*>(user);
    if (!run->disk_problem.empty()) say(run->disk_problem + "\n");
    run->disk_problem.clear();
    for (;;) {
        say(disk_prompt_question(label_text, disk, *root) + "\n");
        char line[256];
        if (!isatty(0)) {
            // Nobody can put a disk in: the run ends as a drive without a
            // disk, not as cancelled by a person.
            run->disk_prompt_result = RC_DEVICE_NOT_READY;
            *cancelled = true;
            return;
        }
        if (!std::fgets(line, sizeof line, stdin)) {
            *cancelled = true;
            return;
        }
        std::string answer(line);
        while (!answer.empty() &&
               (answer.back() == '\n' || answer.back() == '\r' || answer.back() == ' '))
            answer.pop_back();
        if (answer == "c" || answer == "C") {
            *cancelled = true;
            return;
        }
        std::string problem = disk_prompt_check(run, *root);
        if (problem.empty()) return;
        say(problem + "\n");
    }
}

// With -w, the folder -D names is made when it is missing. A root on
// another drive than the host's own (Z:, which the console gives host
// paths) is a drive, never a folder to make.
void make_drive_folder(const RunOptions& options) {
    const std::string& folder = options.drive_folder;
    if (!options.make_disks || folder.empty()) return;
    if (folder.size() >= 2 && folder[1] == ':' && folder[0] != 'Z') return;
    std::string host;
    if (host_path_resolve(folder, &host) == RC_OK) (void)floppy_folder_make(host);
}

void console_progress(void* user, uint32_t bytes) {
    const RunContext* run = static_cast<const RunContext*>(user);
    if (run->disk_writing != progress.file) {
        progress.file = run->disk_writing;
        progress.bytes = 0;
    }
    progress.bytes += bytes;
    progress.shown = true;
    say("\r\033[KWriting " + progress.file + ": " + std::to_string(progress.bytes) + " bytes");
}

void print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// Reads the disks back: one line per file that differs, then the count of
// files checked. False when anything differs or cannot be read.
bool verify_disks(RunContext* run) {
    char scratch[] = "/tmp/diskward-verify-XXXXXX";
    int fd = mkstemp(scratch);
    if (fd < 0) {
        print("The disks cannot be verified: no scratch file\n");
        return false;
    }
    close(fd);
    DiskVerification verification;
    ResultCode code = disk_verify(run, host_path_to_engine(scratch), &verification);
    std::remove(scratch);
    for (const std::string& line : verification.mismatches) print(line + "\n");
    if (code != RC_OK) print("Verification stopped: " + std::string(engine_message(code)) + "\n");
    print(std::to_string(verification.checked) + " files checked\n");
    return code == RC_OK && verification.mismatches.empty();
}

// What the console's own options ask for.
struct ConsoleSettings {
    bool show_help = false;
    bool show_version = false;
    bool show_layout = false;
    bool verify = false;
    unsigned jobs = 0;  // 0: one per processor
    bool harvest = false;
    std::string iso;        // the CD-ROM image to write, a host path
    std::string iso_label;  // its volume identifier
};

// One option of the console: its word; the name of its value in the help,
// empty when it takes none (a value is the next word, or follows "=" in
// the same word); its help text (lines apart at '\n'); and what it sets.
// `apply` answers false when the value is not acceptable.
struct ConsoleOption {
    std::string_view word;
    std::string_view value;
    std::string_view help;
    bool (*apply)(ConsoleSettings* settings, std::string_view value);
};

// An option without a value that turns one of the settings on.
template <bool ConsoleSettings::*setting>
bool turn_on(ConsoleSettings* settings, std::string_view) {
    settings->*setting = true;
    return true;
}

// --jobs N: a whole number from 1 to 256.
bool set_jobs(ConsoleSettings* settings, std::string_view value) {
    if (value.empty() || value.size() > 3 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    unsigned jobs = unsigned(std::stoul(std::string(value)));
    if (jobs < 1 || jobs > 256) return false;
    settings->jobs = jobs;
    return true;
}

// --iso FILE and --iso-label TEXT.
bool set_iso(ConsoleSettings* settings, std::string_view value) {
    settings->iso = value;
    return !value.empty();
}
bool set_iso_label(ConsoleSettings* settings, std::string_view value) {
    settings->iso_label = value;
    return cd_image_label_valid(value);
}

constexpr ConsoleOption CONSOLE_OPTIONS[] = {
    {"--layout", "",
     "After the report, prints where every file and every piece of\n"
     "each assigned product lands, disk by disk.",
     turn_on<&ConsoleSettings::show_layout>},
    {"--verify", "",
     "With -W, reads every written disk back, compares each file with\n"
     "its staging file and prints the files that differ.",
     turn_on<&ConsoleSettings::verify>},
    {"--jobs", "N",
     "Compresses or copies N files at once (1 to 256; one per processor\n"
     "when not given); with more than one, walks the folder of a product\n"
     "with a large map while the map is read; on a file server slow to\n"
     "answer, copies and asks for the status of 8 x N files at once.\n"
     "The report and every file written are the same for any N.",
     set_jobs},
    {"--harvest", "",
     "After the check, adds a row to a product's map, in the group\n"
     "Harvested, for every file of its folder that no row lists.",
     turn_on<&ConsoleSettings::harvest>},
    {"--iso", "FILE",
     "After the check, writes the CD-ROM image FILE (ISO 9660): the\n"
     "product file, the files, CD-ROM map and resource files of the\n"
     "products (those of -N and the products they need, or all) and\n"
     "the user files. Not with -R or -J.",
     set_iso},
    {"--iso-label", "TEXT",
     "The image's volume identifier (at most 32 characters); the\n"
     "product file's name in capitals when not given.",
     set_iso_label},
    {"--help", "", "Writes this text and does nothing else.", turn_on<&ConsoleSettings::show_help>},
    {"--version", "", "Writes the version and does nothing else.",
     turn_on<&ConsoleSettings::show_version>},
};

constexpr int EXIT_SUCCEEDED = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// What is wrong with the image options among the engine's words: an image
// needs the CD-ROM subdirectories that -R turns off and the check that
// replication (-J, -E) replaces.
std::string image_problem(const ConsoleSettings& settings, const std::vector<std::string>& words) {
    if (settings.iso.empty())
        return settings.iso_label.empty() ? "" : "option '--iso-label' needs '--iso'";
    for (const std::string& word : words)
        if (word.size() == 2 && (word[0] == '-' || word[0] == '/') &&
            std::string_view("rRjJeE").find(word[1]) != std::string_view::npos)
            return "option '--iso' cannot be used with '" + word + "'";
    return "";
}

// Takes the console's own words out of argv: the engine's words go to
// *engine_words, the options into *settings. Answers what is wrong with
// them, or "" when nothing is.
std::string read_console_options(int argc, char** argv, ConsoleSettings* settings,
                                 std::vector<std::string>* engine_words) {
    for (int i = 1; i < argc; ++i) {
        std::string_view word = argv[i];
        if (!word.starts_with("--")) {
            engine_words->emplace_back(word);
            continue;
        }
        std::string_view name = word.substr(0, word.find('='));
        const ConsoleOption* option =
            std::find_if(std::begin(CONSOLE_OPTIONS), std::end(CONSOLE_OPTIONS),
                         [&](const ConsoleOption& o) { return o.word == name; });
        if (option == std::end(CONSOLE_OPTIONS) || (option->value.empty() && name != word))
            return "unknown option '" + std::string(word) + "'";
        std::string_view value;
        if (!option->value.empty()) {
            if (name != word)
                value = word.substr(name.size() + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else
                return "option '" + std::string(name) + "' needs a value";
        }
        if (!option->apply(settings, value))
            return "invalid value '" + std::string(value) + "' for option '" + std::string(name) +
                   "'";
    }
    return image_problem(*settings, *engine_words);
}

// The engine's usage, then the console's own options, through the same log
// so that every line ends as the usage's lines do.
void write_help(OutputLog* log) {
    engine_write_usage(log);
    size_t width = 0;
    for (const ConsoleOption& option : CONSOLE_OPTIONS)
        width = std::max(width,
                         option.word.size() + (option.value.empty() ? 0 : 1 + option.value.size()));
    log_text(log, "       Options of the console command, never handed to the engine:");
    log_end_line(log);
    log_end_line(log);
    for (const ConsoleOption& option : CONSOLE_OPTIONS) {
        std::string head(option.word);
        if (!option.value.empty()) head += " " + std::string(option.value);
        head.resize(width + 2, ' ');
        std::string_view help = option.help;
        for (bool first = true;; first = false) {
            size_t end = help.find('\n');
            std::string line = "       " + (first ? head : std::string(width + 2, ' ')) +
                               std::string(help.substr(0, end));
            log_text(log, line);
            log_end_line(log);
            if (end == std::string_view::npos) break;
            help.remove_prefix(end + 1);
        }
    }
    log_end_line(log);
}

}  // namespace

int main(int argc, char** argv) {
    ConsoleSettings settings;
    std::vector<std::string> host_words;
    std::string problem = read_console_options(argc, argv, &settings, &host_words);
    if (!problem.empty()) {
        say("diskward: " + problem + " (see diskward --help)\n");
        return EXIT_USAGE;
    }
    OutputLog log;
    log.publish = [](const std::string& line) { print(line); };
    if (settings.show_help) {
        write_help(&log);
        return EXIT_SUCCEEDED;
    }
    if (settings.show_version) {
        print("diskward " DISKWARD_VERSION "\n");
        return EXIT_SUCCEEDED;
    }

    std::vector<std::string> words;
    words.emplace_back("diskward");
    for (const std::string& word : host_words) words.push_back(console_convert_argument(word));
    std::vector<const char*> vector;
    for (const std::string& w : words) vector.push_back(w.c_str());

    floppy_drives_start("/dev");
    RunContext run;
    if (engine_attach(&run, &log) != RC_OK) {
        std::fputs("diskward: out of memory\n", stderr);
        return EXIT_FAILED;
    }
    run.front_end.disk_prompt = console_prompt;
    run.front_end.jobs = settings.jobs ? settings.jobs : work_pool_processors();
    run.front_end.harvest = settings.harvest;
    if (!settings.iso.empty()) run.front_end.cd_image = console_convert_argument(settings.iso);
    run.front_end.cd_image_label = settings.iso_label;
    if (isatty(2)) run.front_end.disk_progress = console_progress;
    bool proceed = engine_start(&run, int(vector.size()), vector.data());
    if (proceed) make_drive_folder(run.options);
    ResultCode result = proceed ? engine_run(&run) : run.result;
    if (progress.shown) say("\r\033[K");
    if (settings.show_layout)
        for (const ProductLayout& layout : run.layouts) print("\n" + layout_text(layout));
    bool verified = !settings.verify || (result == RC_OK && verify_disks(&run));
    engine_detach(&run);
    return result == RC_OK && verified ? EXIT_SUCCEEDED : EXIT_FAILED;
}
