// The console command: converts the host paths among its words to the
// engine's form, runs the engine once with a log that writes every ended
// line to standard output, and exits 0 when the run succeeded, 1 otherwise.
// Floppy drives are set up first: A: on /dev/fd0, and the folder -D names.
// The console's own option "--layout" (never handed to the engine) prints
// the disk layout of every product the run assigned after the report.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_main.h"
#include "media/floppy_drives.h"
#include "sys/host_paths.h"

int main(int argc, char** argv) {
    std::vector<std::string> words;
    words.emplace_back("diskward");
    bool show_layout = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--layout") {
            show_layout = true;
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
    ResultCode result = engine_main(&rc, int(vector.size()), vector.data());
    if (show_layout)
        for (const ProductLayout& layout : rc.layouts) {
            std::string text = "\n" + layout_text(layout);
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
    engine_detach(&rc);
    return result == RC_OK ? 0 : 1;
}
