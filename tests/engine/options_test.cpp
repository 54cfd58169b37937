#include "engine/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_fixture.h"
#include "sys/files.h"

// Every run below names a directory that does not exist, so that the walk
// fails fast and the test looks only at what the options did.
static const std::string kNowhere = "Z:\\nonexistent-diskward-dir";

TEST(Options, OperatingSystemWordsChooseInstallerAndCode) {
    EngineRun e;
    e.run({kNowhere, "-O", "WIN95"});
    EXPECT_EQ(e.context.options.os_word, "WIN95");
    EXPECT_EQ(e.context.options.install_product, "w95install");
    EXPECT_EQ(e.context.options.os_code, 615);
    e.run({kNowhere, "/o", "win32"});
    EXPECT_EQ(e.context.options.install_product, "w32install");
    EXPECT_EQ(e.context.options.os_code, 0);
    e.run({kNowhere, "-o", "nt"});
    EXPECT_EQ(e.context.options.os_code, 912);
    e.run({kNowhere, "-o", "netware"});
    EXPECT_EQ(e.context.options.install_product, "netwareinstall");

    // The words the window accepts a product file by.
    std::vector<std::string> known;
    for (const char* word : {"dos", "NetWare", "OS2", "nt", "Windows", "win95", "win32", "w95", "",
                             "win95.prd", "nt "})
        if (os_word_known(word)) known.push_back(word);
    EXPECT_EQ(known, (std::vector<std::string>{"dos", "NetWare", "OS2", "nt", "Windows", "win95"}));
}

// Without -Z a run has the 3.5-inch high-density medium, also after a run
// that named another.
TEST(Options, ARunWithoutAMediumHasTheDefaultMedium) {
    auto medium = [](const RunContext& run) {
        return std::vector<uint32_t>{run.options.media_capacity, run.options.other_capacity,
                                     run.options.cluster_size, run.options.max_root_entries};
    };
    const std::vector<uint32_t> high_density{1457664, 730112, 512, 223};
    EngineRun e;
    e.run({kNowhere, "-Z", "5.25JHD"});
    EXPECT_EQ(medium(e.context), (std::vector<uint32_t>{1250304, 1250304, 1024, 191}));
    e.run({kNowhere});
    EXPECT_EQ(medium(e.context), high_density);
    e.run({kNowhere, "-Z", "3.5hd"});
    EXPECT_EQ(medium(e.context), high_density);
    EXPECT_EQ(medium(RunContext{}), high_density);
}

TEST(Options, FlagsAreResetBetweenRuns) {
    EngineRun e;
    e.run({kNowhere, "-a", "-f", "/R", "-q", "-C"});
    const RunOptions& o = e.context.options;
    EXPECT_TRUE(o.assign && o.no_backups && o.no_cd_subdirs && o.no_split && o.compress);
    EXPECT_FALSE(e.context.options.make_disks);
    e.run({kNowhere, "-W"});
    EXPECT_TRUE(e.context.options.assign && e.context.options.make_disks);
    EXPECT_FALSE(e.context.options.no_backups || e.context.options.compress);
}

TEST(Options, SlopAndSplitSizesAreCheckedAgainstTheMediumSoFar) {
    EngineRun e;
    e.run({kNowhere, "-S", "2000"});
    EXPECT_EQ(e.context.options.slop, 0u);
    EXPECT_EQ(e.context.options.path, kNowhere);  // 2000 was consumed, not taken as the directory
    EXPECT_NE(e.output.find(": Invalid Slop Size. Using default size of 0\r\n"), std::string::npos);

    e.run({kNowhere, "-S", "1423", "-a"});
    EXPECT_EQ(e.context.options.slop, 1423u * 1024u);
    e.run({kNowhere, "-S", "1423"});
    EXPECT_EQ(e.context.options.slop, 1423u);  // stays in Kb without a disk option

    e.run({kNowhere, "-Z", "3.5LD", "-S", "1423"});
    EXPECT_EQ(e.context.options.slop, 0u);
    e.run({kNowhere, "-Z", "3.5UD", "-S", "2000"});
    EXPECT_EQ(e.context.options.slop, 2000u);
    e.run({kNowhere, "-S", "2000", "-Z", "3.5UD"});
    EXPECT_EQ(e.context.options.slop, 0u);
    e.run({kNowhere, "-S", "12k"});
    EXPECT_EQ(e.context.options.slop, 0u);

    e.run({kNowhere, "-X", "99999999999"});
    EXPECT_EQ(e.context.options.min_split_space, 0u);
    EXPECT_NE(e.output.find(": Invalid Split Size. Using default size of 0\r\n"),
              std::string::npos);
    e.run({kNowhere, "-x", "100", "-w"});
    EXPECT_EQ(e.context.options.min_split_space, 102400u);
}

TEST(Options, SlopLargerThanALaterMediumIsDroppedWhenAssigning) {
    EngineRun e;
    e.run({kNowhere, "-S", "1000", "-Z", "5.25LD", "-A"});
    EXPECT_EQ(e.context.options.slop, 0u);
    EXPECT_NE(e.output.find("Invalid Slop Size"), std::string::npos);
}

TEST(Options, CompressThresholdFollowsMediaAndValue) {
    EngineRun e;
    e.run({kNowhere});
    EXPECT_EQ(e.context.options.compress_threshold, 512u);
    e.run({kNowhere, "-Z", "5.25ld"});
    EXPECT_EQ(e.context.options.compress_threshold, 1024u);
    EXPECT_EQ(e.context.options.media_capacity, 362496u);
    e.run({kNowhere, "-C", "64", "-Z", "5.25LD"});
    EXPECT_EQ(e.context.options.compress_threshold, 65536u);
    e.run({kNowhere, "-C", "2", "-Z", "3.5LD"});
    EXPECT_EQ(e.context.options.compress_threshold, 2048u);
    e.run({kNowhere, "-Z", "3.5LD", "-C", "0"});
    EXPECT_EQ(e.context.options.compress_threshold, 0u);
    e.run({kNowhere, "-C", "-A"});
    EXPECT_TRUE(e.context.options.compress);
    EXPECT_EQ(e.context.options.compress_threshold, 512u);

    e.run({kNowhere, "-C", "4194304"});  // times 1024 overflows
    EXPECT_EQ(e.context.options.compress_threshold, 512u);
    EXPECT_NE(e.output.find(": Invalid Threshold Compress Size. Using default size\r\n"),
              std::string::npos);
    e.run({"-C", "9999999999", kNowhere});
    EXPECT_EQ(e.context.options.compress_threshold, 512u);
    EXPECT_EQ(e.context.options.path, kNowhere);

    e.run({kNowhere, "4096"});  // digits not after -C are the directory
    EXPECT_EQ(e.context.options.path, "4096");
}

TEST(Options, UnknownMediumStopsReadingProcessesNothingAndFails) {
    EngineRun e;
    EXPECT_EQ(e.run({"kit", "-o", "win95", "-z", "2.88", "-B"}), RC_INVALID_MEDIA_SIZE);
    EXPECT_EQ(e.output, "kit: Invalid Media Size.\r\n");
    EXPECT_FALSE(e.context.options.show_banner);  // reading stopped at -z
    EXPECT_EQ(e.run({"-b", "-z", "2.88", "kit"}), RC_INVALID_MEDIA_SIZE);
    EXPECT_EQ(e.output, "\r\n" + std::string(BANNER_VERSION_TEXT) + "\n" + MAKER_NOTICE_TEXT +
                            "\r\n\r\nDiskward Utility\r\n\r\n: Invalid Media Size.\r\n");
    // -H read before still writes only the usage.
    e.run({"-h"});
    std::string usage = e.output;
    EXPECT_EQ(e.run({"-h", "-z", "2.88"}), RC_OK);
    EXPECT_EQ(e.output, usage);
}

TEST(Options, UnknownOptionsArePassedOverAndMissingValuesHaveNoEffect) {
    EngineRun e;
    e.run({"-I", kNowhere, "-ab"});
    EXPECT_EQ(e.context.options.path, kNowhere);
    EXPECT_FALSE(e.context.options.assign);
    e.run({kNowhere, "-O"});
    EXPECT_EQ(e.context.options.os_word, "");
    // -J without a value still replicates: the copy's check runs without
    // back-ups once the replication walk is over.
    e.run({kNowhere, "-J"});
    EXPECT_FALSE(e.context.options.no_backups);
    EXPECT_FALSE(run_keeps_backups(&e.context));
    EXPECT_EQ(e.context.options.target, "");
}

TEST(Options, ProductNamesInCheckAndReplicationMode) {
    EngineRun e;
    e.run({kNowhere, "-N", "core"});
    EXPECT_EQ(e.context.options.product_filter, "core");
    EXPECT_FALSE(e.context.options.has_replication_products);

    e.run({kNowhere, "-O", "nt", "-J", "Z:\\t", "-N", "a", "b"});
    EXPECT_EQ(e.context.options.replication_products,
              (std::vector<std::string>{"a", "b", "ntinstall"}));
    EXPECT_EQ(e.context.options.path, kNowhere);

    e.run({kNowhere, "-J", "Z:\\t", "-N", "a", "b", "-O", "nt"});
    EXPECT_EQ(e.context.options.replication_products, (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(e.context.options.os_word, "nt");

    e.run({"-o", "nt", "-E", "-N", "a", "NTINSTALL", "-N", "c", kNowhere});
    // A later -N replaces the list; "c" and the directory are both names.
    EXPECT_EQ(e.context.options.replication_products,
              (std::vector<std::string>{"c", kNowhere, "ntinstall"}));

    e.run({"-o", "dos", "-E", "-N"});
    EXPECT_EQ(e.context.options.replication_products, (std::vector<std::string>{"dosinstall"}));
}

TEST(Options, OverLongValuesStopTheRunNamingTheArgument) {
    EngineRun e;
    EXPECT_EQ(e.run({"Z:\\kit", "-O", "win95abcde", "-B"}), RC_INVALID_FILE_NAME);
    EXPECT_EQ(e.output, "win95abcde: Invalid File Name\r\n");
    EXPECT_EQ(e.context.options.os_word, "");

    std::string long_path = "Z:\\" + std::string(258, 'a');
    EXPECT_EQ(e.run({"Z:\\kit", long_path}), RC_INVALID_FILE_NAME);
    EXPECT_EQ(e.output, long_path + ": Invalid File Name\r\n");
    EXPECT_EQ(e.context.options.path, "Z:\\kit");

    EXPECT_EQ(e.run({"k", "-J", long_path}), RC_INVALID_FILE_NAME);
    EXPECT_EQ(e.output, long_path + ": Invalid File Name\r\n");
    EXPECT_EQ(e.run({"k", "-D", long_path}), RC_INVALID_FILE_NAME);
    EXPECT_EQ(e.output, long_path + ": Invalid File Name\r\n");
    std::string long_name(2049, 'p');
    EXPECT_EQ(e.run({"k", "-N", long_name}), RC_INVALID_FILE_NAME);
    EXPECT_EQ(e.output, long_name + ": Invalid File Name\r\n");
    EXPECT_EQ(e.run({"k", "-J", "t", "-N", "a", long_name, "b"}), RC_INVALID_FILE_NAME);
    EXPECT_EQ(e.output, long_name + ": Invalid File Name\r\n");
    EXPECT_EQ(e.run({"-N", std::string(2048, 'p'), kNowhere}), RC_UNABLE_TO_READ);
}

TEST(Options, FloppyRootSurvivesRuns) {
    EngineRun e;
    EXPECT_EQ(e.context.floppy_root, "A:\\");
    e.run({kNowhere, "-D", "z:\\tmp\\floppies"});
    EXPECT_EQ(e.context.options.drive_folder, "Z:\\tmp\\floppies");
    e.run({kNowhere});
    EXPECT_EQ(e.context.options.drive_folder, "");
    EXPECT_EQ(e.context.floppy_root, "Z:\\tmp\\floppies");
    e.run({kNowhere, "-D", ""});
    EXPECT_EQ(e.context.floppy_root, "Z:\\tmp\\floppies");
}
