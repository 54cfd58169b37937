#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/options.h"
#include "engine_fixture.h"
#include "support/test_support.h"

namespace {

std::string usage_text() {
    std::string out;
    OutputLog log;
    log.publish = [&](const std::string& l) { out += l; };
    engine_write_usage(&log);
    return out;
}

}  // namespace

TEST(EngineMain, BannerAndUsageAreWrittenAndNothingIsProcessed) {
    EngineRun e;
    EXPECT_EQ(e.run({"-h", "-b", "Z:\\nonexistent-diskward-dir"}), RC_OK);
    std::string banner = std::string("\r\n") + BANNER_VERSION_TEXT + "\n" + MAKER_NOTICE_TEXT +
                         "\r\n\r\nDiskward Utility\r\n\r\n";
    EXPECT_EQ(e.output, banner + usage_text());

    e.run({"/H"});
    EXPECT_EQ(e.output, usage_text());
}

TEST(EngineMain, UsageTextLines) {
    std::string usage = usage_text();
    EXPECT_EQ(usage.substr(0, 27), "\r\nUsage: diskward -H [-B]\r\n");
    EXPECT_NE(usage.find("                           [{-A | -W [-D drv]}\n"
                         "                              [-Z 3.5UD | 3.5HD | 3.5LD | 5.25HD | "
                         "5.25LD]\n"
                         "                              [-S slp] [-Q] [-X spc] [-C [comp]]]]\r\n"),
              std::string::npos);
    EXPECT_NE(usage.find("       any of the disk options are specified.  Depending on the flags, "
                         "\r\n"),
              std::string::npos);
    EXPECT_NE(usage.find("       -W   Assignes files to floppies and creates disks.\r\n"),
              std::string::npos);
    std::string tail = "current\r\n       working directory.\r\n\r\n";
    EXPECT_EQ(usage.substr(usage.size() - tail.size()), tail);
    size_t lines = 0;
    for (size_t at = 0; (at = usage.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 45u);
}

TEST(EngineMain, WalkReportsNoProductsFound) {
    TempDir dir;
    write_host_file(dir.at("nt.prd"), "");
    write_host_file(dir.at("readme.txt"), "x");
    EngineRun e;
    std::string path = engine_path(dir.path());
    EXPECT_EQ(e.run({path, "-o", "win95"}), RC_OK);
    EXPECT_EQ(e.output, path + "\r\n" + path + ": No products found\r\n");
}

TEST(EngineMain, WalkTakesTheProductFileOfTheWordInAnyCase) {
    TempDir dir;
    write_host_file(dir.at("WIN95.PRD"), "");
    write_host_file(dir.at("nt.prd"), "");
    mkdir(dir.at("sub").c_str(), 0755);
    EngineRun e;
    std::string path = engine_path(dir.path());
    // Both files are empty: the one taken is reported as such, with its line.
    EXPECT_EQ(e.run({path, "-o", "win95"}), RC_EMPTY);
    EXPECT_EQ(e.output, path + "\r\n  " + path + "\\WIN95.PRD\r\n  " + path +
                            "\\WIN95.PRD: Empty on line 1\r\n");

    e.run({path, "-o", "NT"});
    EXPECT_EQ(e.output, path + "\r\n  " + path + "\\nt.prd\r\n  " + path +
                            "\\nt.prd: Empty on line 1\r\n");
}

TEST(EngineMain, LastDirectoryArgumentWins) {
    TempDir a, b;
    EngineRun e;
    e.run({engine_path(a.path()), engine_path(b.path()), "-o", "win95"});
    EXPECT_EQ(e.output.find(engine_path(a.path())), std::string::npos);
    EXPECT_NE(e.output.find(engine_path(b.path()) + ": No products found"), std::string::npos);
}

TEST(EngineMain, UnreadableDirectoryIsReportedOnceAndFailsTheRun) {
    EngineRun e;
    EXPECT_EQ(e.run({"Z:\\nonexistent-diskward-dir", "-o", "win95"}), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output,
              "Z:\\nonexistent-diskward-dir\r\nZ:\\nonexistent-diskward-dir: Unable To Read\r\n");
}

TEST(EngineMain, FailedReplicationDoesNotCheckTheTarget) {
    TempDir target;
    EngineRun e;
    std::string t = engine_path(target.path());
    EXPECT_EQ(e.run({"Z:\\nonexistent-diskward-dir", "-o", "nt", "-J", t}), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output.find(t), std::string::npos);
}

TEST(EngineMain, ReplicationChecksTheTargetAfterTheSource) {
    TempDir source, target;
    EngineRun e;
    std::string s = engine_path(source.path()), t = engine_path(target.path());
    EXPECT_EQ(e.run({s, "-o", "nt", "-J", t}), RC_OK);
    EXPECT_EQ(e.output, s + "\r\n" + s + ": No products found\r\n" + t + "\r\n" + t +
                            ": No products found\r\n");
    // The options stay as given; the check of the copy keeps no back-ups,
    // makes no CD-ROM subdirectories and replicates nothing.
    EXPECT_TRUE(e.rc.options.replicate);
    EXPECT_FALSE(e.rc.options.no_backups || e.rc.options.no_cd_subdirs);
    EXPECT_TRUE(e.rc.checking_copy);
    EXPECT_FALSE(run_keeps_backups(&e.rc) || run_makes_cd_subdirs(&e.rc) ||
                 run_replicates(&e.rc));
}
