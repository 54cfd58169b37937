// The console command: converts the host paths among its words to the
// engine's form, runs the engine once with a log that writes every ended
// line to standard output, and exits 0 when the run succeeded, 1 otherwise.
// Floppy drives are set up first: A: on /dev/fd0, and the folder -D names.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine_main.h"
#include "media/floppy_drives.h"
#include "sys/host_paths.h"

int main(int argc, char** argv) {
    std::vector<std::string> words;
    words.emplace_back("diskward");
    for (int i = 1; i < argc; ++i) words.push_back(console_convert_argument(argv[i]));
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
    engine_detach(&rc);
    return result == RC_OK ? 0 : 1;
}
