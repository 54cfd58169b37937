// The console command: converts the host paths among its words to the
// engine's form, runs the engine once with a log that writes every ended
// line to standard output, and exits 0 when the run succeeded, 1 otherwise.
// Floppy drives are set up first: A: on /dev/fd0, and the folder -D names.
// The console's own options (never handed to the engine): "--layout"
// prints the disk layout of every product the run assigned after the
// report; "--verify" reads back every disk the run wrote and compares each
// file with its staging file; "--jobs N" works on N files at once (1: one
// thread; the number of processors when not given).
// With -w each disk is asked for on standard error: a folder of images
// takes a blank image at once (the folder -D names is made when missing);
// a device or an image file waits for Enter ("c" cancels), and never waits
// without a terminal on standard input.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/disk_prompts.h"
#include "engine/disk_verify.h"
#include "engine/engine_main.h"
#include "engine/messages.h"
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
    RunContext* rc = static_cast<RunContext*>(user);
    if (!rc->disk_problem.empty()) say(rc->disk_problem + "\n");
    rc->disk_problem.clear();
    for (;;) {
        say(disk_prompt_question(label_text, disk, *root) + "\n");
        char line[256];
        if (!isatty(0)) {
            // Nobody can put a disk in: the run ends as a drive without a
            // disk, not as cancelled by a person.
            rc->disk_prompt_result = RC_DEVICE_NOT_READY;
            *cancelled = true;
            return;
        }
        if (!std::fgets(line, sizeof line, stdin)) {
            *cancelled = true;
            return;
        }
        std::string answer(line);
        while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r' ||
                                   answer.back() == ' '))
            answer.pop_back();
        if (answer == "c" || answer == "C") {
            *cancelled = true;
            return;
        }
        std::string problem = disk_prompt_check(rc, *root);
        if (problem.empty()) return;
        say(problem + "\n");
    }
}

// With -w, the folder -D names is made when it is missing.
void make_drive_folder(const std::vector<std::string>& arguments) {
    bool writing = false;
    for (const std::string& word : arguments)
        if (word == "-w" || word == "-W" || word == "/w" || word == "/W") writing = true;
    if (!writing) return;
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        std::string_view word = arguments[i];
        if (word == "-D" || word == "-d" || word == "/D" || word == "/d")
            (void)floppy_folder_make(arguments[i + 1]);
    }
}

void console_progress(void* user, uint32_t bytes) {
    const RunContext* rc = static_cast<const RunContext*>(user);
    if (rc->disk_writing != progress.file) {
        progress.file = rc->disk_writing;
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
bool verify_disks(RunContext* rc) {
    char scratch[] = "/tmp/diskward-verify-XXXXXX";
    int fd = mkstemp(scratch);
    if (fd < 0) {
        print("The disks cannot be verified: no scratch file\n");
        return false;
    }
    close(fd);
    DiskVerification verification;
    ResultCode code = disk_verify(rc, host_path_to_engine(scratch), &verification);
    std::remove(scratch);
    for (const std::string& line : verification.mismatches) print(line + "\n");
    if (code != RC_OK) print("Verification stopped: " + std::string(engine_message(code)) + "\n");
    print(std::to_string(verification.checked) + " files checked\n");
    return code == RC_OK && verification.mismatches.empty();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words;
    words.emplace_back("diskward");
    bool show_layout = false, verify = false;
    unsigned jobs = work_pool_processors();
    std::vector<std::string> host_words(argv + 1, argv + argc);
    make_drive_folder(host_words);
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--layout") {
            show_layout = true;
            continue;
        }
        if (std::string_view(argv[i]) == "--verify") {
            verify = true;
            continue;
        }
        if (std::string_view(argv[i]) == "--jobs" && i + 1 < argc) {
            jobs = unsigned(std::strtoul(argv[++i], nullptr, 10));
            if (jobs < 1) jobs = 1;
            continue;
        }
        words.push_back(console_convert_argument(argv[i]));
    }
    std::vector<const char*> vector;
    for (const std::string& w : words) vector.push_back(w.c_str());

    OutputLog log;
    log.publish = [](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    };
    floppy_drives_start("/dev");
    RunContext rc;
    if (engine_attach(&rc, &log) != RC_OK) {
        std::fputs("diskward: out of memory\n", stderr);
        return 1;
    }
    rc.jobs = jobs;
    rc.disk_prompt = console_prompt;
    if (isatty(2)) rc.disk_progress = console_progress;
    ResultCode result = engine_main(&rc, int(vector.size()), vector.data());
    if (progress.shown) say("\r\033[K");
    if (show_layout)
        for (const ProductLayout& layout : rc.layouts) {
            std::string text = "\n" + layout_text(layout);
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
    bool verified = !verify || (result == RC_OK && verify_disks(&rc));
    engine_detach(&rc);
    return result == RC_OK && verified ? 0 : 1;
}
