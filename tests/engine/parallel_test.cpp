// Work on several files at once gives exactly what one thread gives: the
// report, every map file, compressed copy, disk image and replicated file,
// for the sample kit and for a generated kit of 2 000 files; and a failure
// that strikes one file in the middle of a pass leaves the same tree and
// the same report with one job as with eight.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/disk_prompts.h"
#include "kit_fixture.h"
#include "media/fat_test_tools.h"
#include "media/floppy_drives.h"
#include "sys/files.h"
#include "sys/host_io.h"

namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

// A disk image as its files: each name on it (in directory order, the label
// left out) with its bytes. The image's own bytes hold the times it was
// written at and a serial number made from the time, which no two runs
// share.
std::string image_files(const std::string& image) {
    std::string files;
    ToolRun listed = run_tool("mdir -b -i '" + image + "' '::'");
    EXPECT_EQ(listed.status, 0) << listed.output;
    size_t start = 0;
    for (size_t end; (end = listed.output.find('\n', start)) != std::string::npos;
         start = end + 1) {
        std::string name = listed.output.substr(start, end - start);
        if (name.rfind("::/", 0) != 0) continue;
        files += name + "\n" + mtype(image, name.substr(2)) + "\n";
    }
    return files;
}

// Every file and directory below `folder` (links not followed): a file with
// its bytes (a disk image with its files), a directory as "<dir>".
Tree whole_tree(const std::string& folder) {
    Tree tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        std::string path = entry.path().string().substr(folder.size() + 1);
        if (entry.is_directory() && !entry.is_symlink())
            tree[path] = "<dir>";
        else if (entry.is_regular_file() && entry.path().extension() == ".img")
            tree[path] = image_files(entry.path());
        else if (entry.is_regular_file() && !entry.is_symlink())
            tree[path] = read_host_file(entry.path());
        else
            tree[path] = "<other>";
    }
    return tree;
}

// The names of two trees that differ, for a short failure message.
std::string differences(const Tree& a, const Tree& b) {
    std::string out;
    for (const auto& [path, bytes] : a) {
        auto other = b.find(path);
        if (other == b.end())
            out += "only with one job: " + path + "\n";
        else if (other->second != bytes)
            out += "differs: " + path + "\n";
    }
    for (const auto& [path, bytes] : b)
        if (!a.count(path)) out += "only with eight jobs: " + path + "\n";
    return out;
}

// One run of the engine as the steps of a test make it: the words, with
// "KIT" standing for the staging area and "COPY" for the replica folder.
using Steps = std::vector<std::vector<std::string>>;

// What a series of runs left: the whole report (each run's code and lines)
// and the whole folder the kit and everything made from it lies in.
struct Outcome {
    std::string report;
    Tree tree;
    std::chrono::steady_clock::duration last_took{};  // the time of the last run
};

class ParallelTest : public ::testing::Test {
protected:
    void TearDown() override {
        file_services_faults_clear();
        floppy_drive_unbind("A:\\");
    }

    // Lays the kit out with `make` in a fresh folder, runs `steps` with
    // `jobs` jobs (disks go to a folder of images, A:) and takes what they
    // left. `arm` (may be empty) runs before the last step.
    Outcome run_with(unsigned jobs, const std::function<void(const std::string&)>& make,
                     const Steps& steps, const std::function<void()>& arm = {}) {
        TempDir place;
        std::string kit = place.at("kit");
        make(kit);
        fs::create_directories(place.at("disks"));
        EXPECT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, place.at("disks")), RC_OK);
        EngineRun e;
        e.context.front_end.jobs = jobs;
        e.context.front_end.disk_prompt = disk_prompt_folder;
        Outcome outcome;
        for (size_t i = 0; i < steps.size(); ++i) {
            std::vector<std::string> words;
            for (const std::string& word : steps[i])
                words.push_back(word == "KIT"    ? engine_path(kit)
                                : word == "COPY" ? engine_path(place.at("copy"))
                                                 : word);
            if (i + 1 == steps.size() && arm) arm();
            auto started = std::chrono::steady_clock::now();
            ResultCode code = e.run(words);
            outcome.last_took = std::chrono::steady_clock::now() - started;
            file_services_faults_clear();
            outcome.report +=
                "run " + std::to_string(i) + ": " + std::to_string(code) + "\n" + e.output;
        }
        floppy_drive_unbind("A:\\");
        // Paths in the report name the folder; each run has its own.
        std::string engine_place = engine_path(place.path());
        for (size_t at; (at = outcome.report.find(engine_place)) != std::string::npos;)
            outcome.report.replace(at, engine_place.size(), "<place>");
        outcome.tree = whole_tree(place.path());
        return outcome;
    }

    // Runs `steps` with one job and with eight; both outcomes are the same.
    // The one-job outcome is given back for a look at what was made.
    Outcome expect_same(const std::function<void(const std::string&)>& make, const Steps& steps,
                        const std::function<void()>& arm = {}) {
        Outcome one = run_with(1, make, steps, arm);
        Outcome eight = run_with(8, make, steps, arm);
        EXPECT_EQ(one.report, eight.report);
        EXPECT_TRUE(one.tree == eight.tree) << differences(one.tree, eight.tree);
        return one;
    }
};

const std::string kVersionRow =
    "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false false false "
    "\"\" \"\"\n";

// The name of file `n` of a generated product: one in five in a
// subdirectory.
std::string generated_name(unsigned n) {
    char name[16];
    std::snprintf(name, sizeof name, "f%04u.dat", n);
    return n % 5 == 0 ? std::string("sub\\") + name : std::string(name);
}

// A product "big" of `count` files of 0 to 6 000 bytes, text and noise by
// turns (`salt` changes every file's bytes), its sizes settled later by a
// run with -f.
void generated_kit(const std::string& kit, unsigned count, unsigned salt) {
    write_host_file(kit + "/win95.prd", kVersionRow + product_row(1, "big", "root", "big"));
    write_host_file(kit + "/big/big.vrf", "");
    std::string map = kMapHeader + map_row("G", "big.map", 0) + map_row("G", "big.vrf", 0);
    for (unsigned n = 1; n <= count; ++n) {
        std::string name = generated_name(n);
        size_t size = (n * 7919 + salt * 13) % 6001;
        std::string bytes = n % 2 ? demo_lines(size, "file " + std::to_string(n + salt))
                                  : demo_noise(size, n + salt);
        std::string host = name;
        if (host.rfind("sub\\", 0) == 0) host[3] = '/';
        write_host_file(kit + "/big/" + host, bytes);
        map += map_row("G" + std::to_string(n / 100), name, 0);
    }
    write_host_file(kit + "/big/big.map", map);
}

TEST_F(ParallelTest, SampleKitGivesTheSameBytesWithOneJobAndWithEight) {
    require_tool("mdir");
    require_tool("mtype");
    Outcome one = expect_same(
        sample_kit_copy,
        {{"KIT", "-o", "win95", "-f"},
         {"KIT", "-o", "win95", "-n", "core", "-a", "-c", "-z", "5.25LD"},
         {"KIT", "-o", "win95", "-n", "tools", "-a", "-c", "-z", "5.25LD"},
         {"KIT", "-o", "win95", "-n", "tools", "-w", "-c", "-z", "5.25LD", "-D", "A:\\"},
         {"KIT", "-o", "win95", "-j", "COPY"}});
    // What was made is there: compressed copies, the three disks of tools
    // with their files, and the copy of every product file.
    EXPECT_EQ(one.tree.count("kit/apps/tools/diskward/_tools.cab"), 1u);
    EXPECT_EQ(one.tree.count("kit/apps/core/diskward/core.5ld"), 1u);
    for (const char* image :
         {"disks/TOOLS.KIT2_1.img", "disks/TOOLS.KIT2_2.img", "disks/TOOLS.KIT2_3.img"})
        EXPECT_NE(one.tree[image].find("::/"), std::string::npos) << image;
    for (const char* file : {"apps/core/core.dll", "apps/core/help/core.hlp",
                             "apps/tools/tools.cab", "install/setup.exe", "docs/guide.txt"})
        EXPECT_EQ(one.tree[std::string("copy/") + file], one.tree[std::string("kit/") + file]);
}

TEST_F(ParallelTest, GeneratedKitOf2000FilesGivesTheSameBytesWithOneJobAndWithEight) {
    Outcome one = expect_same([](const std::string& kit) { generated_kit(kit, 2000, 0); },
                              {{"KIT", "-o", "win95", "-f"},
                               {"KIT", "-o", "win95", "-n", "big", "-a", "-c", "-z", "3.5HD"},
                               {"KIT", "-o", "win95", "-j", "COPY"}});
    // Each compression has its line and its copy, and every file its replica.
    size_t lines = 0, copies = 0, replicas = 0;
    for (size_t at = 0; (at = one.report.find("Compressing...", at)) != std::string::npos; ++at)
        ++lines;
    for (const auto& [path, bytes] : one.tree) {
        if (path.rfind("kit/big/diskward/_f", 0) == 0) ++copies;
        if (path.rfind("copy/big/", 0) == 0 && path.find(".dat") != std::string::npos) {
            ++replicas;
            EXPECT_EQ(bytes, one.tree["kit/big/" + path.substr(9)]) << path;
        }
    }
    EXPECT_GT(lines, 1500u);
    EXPECT_EQ(copies, lines);
    EXPECT_EQ(replicas, 2000u);
}

// A subdirectory of the copy first named well past the files copied one at
// a time: the run's threads, which copy ahead, wait for the walk to make it
// before they write into it. The report and the tree are those of one
// thread, with every file of that subdirectory in place.
TEST_F(ParallelTest, ASubdirectoryNamedLateIsMadeBeforeAnyThreadCopiesIntoIt) {
    Outcome one = expect_same(
        [](const std::string& kit) {
            generated_kit(kit, 120, 0);
            std::string map = read_host_file(kit + "/big/big.map");
            for (unsigned n = 1; n <= 40; ++n) {
                std::string name = "late" + std::to_string(n) + ".dat";
                write_host_file(kit + "/big/late/" + name, demo_lines(n * 97, name));
                map += map_row("G9", "late\\" + name, 0);
            }
            write_host_file(kit + "/big/big.map", map);
        },
        {{"KIT", "-o", "win95", "-f"}, {"KIT", "-o", "win95", "-j", "COPY"}});
    EXPECT_EQ(one.tree["copy/big/late/late40.dat"], one.tree["kit/big/late/late40.dat"]);
}

// A product whose map is large enough for its folder to be walked while
// the map is read: the checks report what one thread reports, odd entries
// and all (a FIFO the map names, a second spelling of a file, files no row
// lists, the tool's own working folder).
TEST_F(ParallelTest, AFolderWalkedWhileItsLargeMapIsReadGivesWhatOneThreadGives) {
    auto make = [](const std::string& kit) {
        generated_kit(kit, 3600, 0);
        std::string big = kit + "/big/";
        ASSERT_GE(fs::file_size(big + "big.map"), 256u * 1024);
        ASSERT_EQ(unlink((big + "f0101.dat").c_str()), 0);
        ASSERT_EQ(mkfifo((big + "f0101.dat").c_str(), 0644), 0);
        write_host_file(big + "F0102.DAT", "twin");
        write_host_file(big + "extra.txt", "no row lists it");
        write_host_file(big + "sub/deeper/more.txt", "nor this one");
        write_host_file(big + "diskward/_f0001.dat", "the tool's own");
        write_host_file(big + "f0103.dat", "a size that changed");
    };
    Outcome one = expect_same(make, {{"KIT", "-o", "win95", "-f"}, {"KIT", "-o", "win95", "-f"}});
    // The FIFO the map names fails the product, after every line of the scan.
    EXPECT_NE(one.report.find("run 1: " + std::to_string(RC_UNABLE_TO_READ) + "\n"),
              std::string::npos);
}

const Steps kCompressAgain = {{"KIT", "-o", "win95", "-f"},
                              {"KIT", "-o", "win95", "-n", "big", "-a", "-c", "-z", "3.5HD"},
                              {"KIT", "-o", "win95", "-j", "COPY"},
                              {"KIT", "-o", "win95", "-f"},
                              {"KIT", "-o", "win95", "-n", "big", "-a", "-c", "-z", "3.5HD"}};

const Steps kReplicateAgain = {{"KIT", "-o", "win95", "-f"},
                               {"KIT", "-o", "win95", "-j", "COPY"},
                               {"KIT", "-o", "win95", "-f"},
                               {"KIT", "-o", "win95", "-j", "COPY"}};

// A kit of 60 files, compressed or replicated once with one job; then
// every file is given new bytes and the last two runs are made with one
// job and with eight, a failure aimed at file 23 in the last: the copies of
// the files before it are new, those after it old, in both trees alike.
class ParallelFailureTest : public ParallelTest {
protected:
    // `open_delay` (microseconds) keeps every open of the last run waiting.
    void failure_leaves_the_same(const Steps& steps, HostOp op, const char* aimed,
                                 unsigned open_delay = 0) {
        Steps before(steps.begin(), steps.begin() + long(steps.size()) - 2);
        Steps after(steps.end() - 2, steps.end());
        auto outcome = [&](unsigned jobs) {
            return run_with(
                jobs,
                [&](const std::string& kit) {
                    generated_kit(kit, 60, 0);
                    // The earlier runs are made here, with one job, so
                    // that both trees start alike.
                    EngineRun e;
                    std::string copy = fs::path(kit).parent_path().string() + "/copy";
                    for (const auto& step : before) {
                        std::vector<std::string> words;
                        for (const std::string& w : step)
                            words.push_back(w == "KIT"    ? engine_path(kit)
                                            : w == "COPY" ? engine_path(copy)
                                                          : w);
                        EXPECT_EQ(e.run(words), RC_OK) << e.output;
                    }
                    generated_kit(kit, 60, 1);
                },
                after,
                [&] {
                    file_services_fail_on(op, aimed, EIO);
                    file_services_delay(HOST_OP_OPEN, open_delay);
                });
        };
        Outcome one = outcome(1);
        Outcome eight = outcome(8);
        // The failure struck: the last run reports it and ends with its code.
        std::string last = one.report.substr(one.report.rfind("run "));
        EXPECT_EQ(last.find("run " + std::to_string(after.size() - 1) + ": 0\n"), std::string::npos)
            << last;
        EXPECT_EQ(one.report, eight.report);
        EXPECT_TRUE(one.tree == eight.tree) << differences(one.tree, eight.tree);
    }
};

TEST_F(ParallelFailureTest, ACompressionThatCannotReadItsFileLeavesWhatOneThreadLeaves) {
    failure_leaves_the_same(kCompressAgain, HOST_OP_READ, "big/f0023.dat");
}

TEST_F(ParallelFailureTest, ACompressedCopyThatCannotTakeItsPlaceLeavesWhatOneThreadLeaves) {
    failure_leaves_the_same(kCompressAgain, HOST_OP_RENAME, "_f0023.dat");
}

TEST_F(ParallelFailureTest, AReplicatedFileThatCannotBeWrittenLeavesWhatOneThreadLeaves) {
    failure_leaves_the_same(kReplicateAgain, HOST_OP_WRITE, "f0023.dat");
}

// On a host that keeps every open waiting (a file server), the files of a
// product are copied ahead on several threads once the first ones have
// shown the wait: the report and the tree are those of one thread, and the
// copy takes a fraction of the time. A FIFO among the files copied ahead is
// passed over with its line, as one thread passes it over.
TEST_F(ParallelTest, OnASlowHostReplicationCopiesAheadAndGivesWhatOneThreadGives) {
    auto make = [](const std::string& kit) {
        generated_kit(kit, 120, 0);
        std::string fifo = kit + "/big/f0101.dat";
        ASSERT_EQ(unlink(fifo.c_str()), 0);
        ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    };
    auto slow_host = [] { file_services_delay(HOST_OP_OPEN, 2000); };
    const Steps steps = {{"KIT", "-o", "win95", "-f"}, {"KIT", "-o", "win95", "-j", "COPY"}};
    Outcome one = run_with(1, make, steps, slow_host);
    Outcome eight = run_with(8, make, steps, slow_host);
    EXPECT_EQ(one.report, eight.report);
    EXPECT_TRUE(one.tree == eight.tree) << differences(one.tree, eight.tree);
    EXPECT_EQ(one.tree["copy/big/f0120.dat"], one.tree["kit/big/f0120.dat"]);
    EXPECT_EQ(one.tree["copy/big/sub/f0115.dat"], one.tree["kit/big/sub/f0115.dat"]);
    // One at a time, the 120 copies wait two opens each: 480 ms or more.
    EXPECT_GE(one.last_took, std::chrono::milliseconds(480));
    if (!kSanitizedBuild) {
        EXPECT_LT(eight.last_took * 2, one.last_took);
    }
}

TEST_F(ParallelFailureTest,
       OnASlowHostAReplicatedFileThatCannotBeWrittenLeavesWhatOneThreadLeaves) {
    failure_leaves_the_same(kReplicateAgain, HOST_OP_WRITE, "f0023.dat", 1000);
}

}  // namespace
