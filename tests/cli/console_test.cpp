// Runs the console command as a user would and checks what it prints.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "engine/options.h"
#include "engine/run_context.h"
#include "support/test_support.h"

namespace {

struct Outcome {
    std::string output;
    int status = -1;
};

Outcome run_console(const std::string& arguments) {
    Outcome out;
    std::string command = std::string(DISKWARD_BIN_DIR) + "/diskward " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.output.append(buffer, n);
    int raw = pclose(pipe);
    out.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

}  // namespace

TEST(Console, HelpAndBannerAreWrittenExactly) {
    std::string usage;
    OutputLog log;
    log.publish = [&](const std::string& l) { usage += l; };
    engine_write_usage(&log);
    Outcome out = run_console("-h -b");
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.output, std::string("\r\n") + BANNER_VERSION_TEXT + "\n" + MAKER_NOTICE_TEXT +
                              "\r\n\r\nDiskward Utility\r\n\r\n" + usage);
}

TEST(Console, HostPathsAreShownInTheEnginesForm) {
    TempDir dir;
    write_host_file(dir.at("Kit/readme.txt"), "x");
    Outcome out = run_console(dir.at("Kit") + " -o win95");
    std::string shown = engine_path(dir.at("Kit"));
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.output, shown + "\r\n" + shown + ": No products found\r\n");
}

TEST(Console, TakesTheProductFileAndFailsOnAMissingDirectory) {
    TempDir dir;
    write_host_file(dir.at("WIN95.PRD"), "");
    write_host_file(dir.at("nt.prd"), "");
    Outcome out = run_console(dir.path() + " -o win95");
    std::string shown = engine_path(dir.path());
    EXPECT_EQ(out.status, 1);  // an empty product file
    EXPECT_EQ(out.output, shown + "\r\n  " + shown + "\\WIN95.PRD\r\n  " + shown +
                              "\\WIN95.PRD: Empty on line 1\r\n");

    out = run_console(dir.at("missing") + " -o win95");
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.output.find(": Unable To Read\r\n"), std::string::npos);
}
