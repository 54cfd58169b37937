// End-to-end floppy assignments of small staging areas made in a temporary
// folder: the whole report, the density and CD-ROM map files, the
// compressed copies and the disk layout, and what a failure leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "engine/disk_layout.h"
#include "kit_fixture.h"
#include "media/copy.h"

namespace {

using Files = std::map<std::string, std::string>;

const std::string kVersionRow =
    "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false false false \"\" "
    "\"\"\n";

// A map row with every column given.
std::string row(const std::string& group, const std::string& source, uint32_t size,
                bool instantiate = false, bool compress = false) {
    return group + " \"\" \"" + source + "\" \"%TARGET%\\" + source + "\" " + std::to_string(size) +
           (instantiate ? " true" : " false") + " false" + (compress ? " true" : " false") +
           " 0 0 0 \"\" \"\" \"\"\n";
}

std::string summary(const std::string& map, uint32_t disks, uint64_t used, uint64_t left) {
    std::string d = std::to_string(disks);
    return "    " + map + ": " + d + " disks required.  " + std::to_string(used) +
           " bytes used on disk " + d + ".  " + std::to_string(left) + " bytes remain on disk " +
           d + ".\r\n";
}

// `map` (as the engine writes it, no component assigned) with the row of
// `source` given Compress? and its disks.
std::string assigned(std::string map, const std::string& source, bool compress, int start,
                     int total) {
    auto two = [](int n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    size_t at = map.find("\"" + source + "\"");
    size_t end = map.find('\n', at);
    size_t column = std::string::npos;
    for (const char* unassigned :
         {"false            00         00", "true             00         00"}) {
        size_t found = map.rfind(unassigned, end);
        if (found != std::string::npos && found > at) column = found;
    }
    EXPECT_TRUE(at != std::string::npos && column != std::string::npos) << source;
    if (at == std::string::npos || column == std::string::npos) return map;
    std::string disks = std::string(compress ? "true " : "false") + "            " + two(start) +
                        "         " + two(total);
    return map.replace(column, disks.size(), disks);
}

// The files that differ between two snapshots of a kit (added, removed or
// changed), by name, so that a failure shows names rather than contents.
std::vector<std::string> changed_files(const Files& before, const Files& after) {
    std::vector<std::string> names;
    for (const auto& [path, bytes] : after) {
        auto was = before.find(path);
        if (was == before.end() || was->second != bytes) names.push_back(path);
    }
    for (const auto& [path, bytes] : before)
        if (!after.count(path)) names.push_back(path + " (removed)");
    return names;
}

uint64_t rounded(uint64_t size, uint64_t cluster = 512) {
    return (size + cluster - 1) / cluster * cluster;
}

class AssignTest : public KitTest {
protected:
    // The product file: the version row, then `rows`.
    void products(const std::string& rows) { file("win95.prd", kVersionRow + rows); }
    // Sets the modification time of `path` to that of `other` plus `seconds`.
    void mtime_from(const std::string& path, const std::string& other, int seconds) {
        struct stat info;
        ASSERT_EQ(stat(kit.at(other).c_str(), &info), 0);
        struct timespec times[2] = {info.st_mtim, info.st_mtim};
        times[0].tv_sec += seconds;
        times[1].tv_sec += seconds;
        ASSERT_EQ(utimensat(AT_FDCWD, kit.at(path).c_str(), times, 0), 0);
    }
    std::string map_path(const std::string& product) {
        return root + "\\" + product + "\\" + product + ".map";
    }
    // The lines of a product's check when nothing in it changed.
    std::string quiet_check(const std::string& product, uint64_t sum, int depth = 4) {
        std::string indent(depth, ' ');
        return indent + map_path(product) + "\r\n" + indent + map_path(product) + ": " +
               std::to_string(sum) + "\r\n";
    }
    std::string report(const std::string& product, const std::string& lines) {
        return "    " + map_path(product) + ": " + lines + "\r\n";
    }
    // A product "name" in its own folder with a verification file naming
    // `depends` (one name token each) and an installer script, whose map
    // lists them and `rows` and files `files`; the kit is settled by a run
    // first so that every size is right.
    void product(const std::string& name, const std::string& depends, const Files& files,
                 const std::string& rows = "") {
        file(name + "/" + name + ".vrf", depends);
        file(name + "/" + name + ".ins", "script of " + name + "\n");
        for (const auto& [path, bytes] : files) file(name + "/" + path, bytes);
        std::string map = kMapHeader + rows + row("G", name + ".map", 0) +
                          row("G", name + ".vrf", 0) + row("G", name + ".ins", 0);
        for (const auto& [path, bytes] : files) map += row("G", path, 0);
        file(name + "/" + name + ".map", map);
    }
    void settle() { ASSERT_EQ(run({"-f"}), RC_OK) << e.output; }
    uint32_t size_of(const std::string& path) { return uint32_t(read(path).size()); }
};

}  // namespace

TEST_F(AssignTest, ACompressedProductGetsItsDensityMapCdRomMapAndSummary) {
    products(product_row(1, "core", "root", "core"));
    product("core", "", {{"a.dll", std::string(3000, 'a')}, {"readme.txt", std::string(700, 'r')}});
    settle();
    std::string map_before = read("core/core.map");

    EXPECT_EQ(run({"-n", "core", "-a", "-c"}), RC_OK);
    uint32_t compressed = size_of("core/diskward/_a.dll");
    // The product table (its size from the layout, its bytes in a test of
    // their own), then the components in file order.
    std::vector<uint32_t> disk1 = {
        0, size_of("core/core.map"), 0, size_of("core/core.ins"), compressed, 700};
    ASSERT_EQ(e.context.layouts.size(), 1u);
    ASSERT_EQ(e.context.layouts[0].disks.size(), 1u);
    disk1[0] = e.context.layouts[0].disks[0].files[0].bytes;
    uint64_t used = 0, taken = 0;
    for (uint32_t s : disk1) used += s, taken += rounded(s);
    EXPECT_EQ(e.output,
              opening() + "    " + map_path("core") + "\r\n" + "      a.dll Compressing...\r\n" +
                  summary(map_path("core"), 1, used, 1457664 - taken) + "    " + map_path("core") +
                  ": " + std::to_string(3700 + disk1[1] + disk1[3]) + "\r\n");
    EXPECT_EQ(read("core/core.map"), map_before);
    EXPECT_FALSE(host_exists(kit.at("win95.ptp")));
    EXPECT_EQ(read("core/diskward/core.cdr"), map_before);
    std::string density = map_before;
    for (const char* source : {"core.map", "core.vrf", "core.ins", "readme.txt"})
        density = assigned(density, source, false, 1, 1);
    EXPECT_EQ(read("core/diskward/core.3hd"), assigned(density, "a.dll", true, 1, 1));
    // The compressed copy expands to the file.
    std::string expanded = engine_path(kit.at("expanded"));
    CopyOptions expand;
    expand.decompress = true;
    ASSERT_EQ(copy_file(engine_path(kit.at("core/diskward/a.dll")), expanded, expand), RC_OK);
    EXPECT_EQ(read("expanded"), read("core/a.dll"));
    std::remove(kit.at("expanded").c_str());

    // A copy as new as its file is kept; one older than its file is made again.
    std::string first_report = e.output;
    std::string without_compressing = first_report;
    without_compressing.erase(without_compressing.find("      a.dll Compressing...\r\n"), 28);
    EXPECT_EQ(run({"-n", "core", "-a", "-c"}), RC_OK);
    EXPECT_EQ(e.output, without_compressing);
    mtime_from("core/a.dll", "core/diskward/_a.dll", 1);
    EXPECT_EQ(run({"-n", "core", "-a", "-c"}), RC_OK);
    EXPECT_EQ(e.output, first_report);
}

namespace {

// The names of the files on disk 1 of the run's only layout.
std::vector<std::string> disk_one_names(const RunContext& run) {
    std::vector<std::string> names;
    if (run.layouts.size() != 1 || run.layouts[0].disks.empty()) return names;
    for (const LayoutFile& file : run.layouts[0].disks[0].files) names.push_back(file.name);
    return names;
}

class DependencyTest : public AssignTest {
protected:
    // Products a, b and c, each with one data file, whose verification files
    // name the products given.
    void three(const std::string& a, const std::string& b, const std::string& c) {
        products(product_row(1, "a", "root", "a") + product_row(2, "b", "root", "b") +
                 product_row(3, "c", "root", "c"));
        product("a", a, {{"a.dat", "aaaa"}});
        product("b", b, {{"b.dat", "bbbbbb"}});
        product("c", c, {{"c.dat", "cc"}});
        settle();
    }
    uint64_t sum(const std::string& name) {
        return size_of(name + "/" + name + ".map") + size_of(name + "/" + name + ".ins") +
               size_of(name + "/" + name + ".vrf") + size_of(name + "/" + name + ".dat");
    }
    std::string density(const std::string& name, const std::string& suffix = "3hd") {
        return root + "\\" + name + "\\diskward\\" + name + "." + suffix;
    }
    // Gives b a density map file for 3.5HD `seconds` after its map file.
    void density_file(const std::string& name, int seconds, const std::string& suffix = "3hd") {
        file(name + "/diskward/" + name + "." + suffix, read(name + "/" + name + ".map"));
        mtime_from(name + "/diskward/" + name + "." + suffix, name + "/" + name + ".map", seconds);
    }
    std::string summary_line(const std::string& name) {
        // One disk: the summary's numbers come from the layout.
        const LayoutDisk& disk = e.context.layouts.at(0).disks.at(0);
        return summary(map_path(name), 1, disk.bytes_used, disk.bytes_left);
    }
    const std::string cycle = "Diskward has detected a cyclical dependency.";
    std::string cycle_lines(size_t indent) {
        std::string pad(indent, ' ');
        return cycle + "\r\n" + pad + "Please run Diskward again on this dependent product\r\n" +
               pad + "to assign it to floppy.  Then you may run Diskward\r\n" + pad +
               "on the current product without getting this warning.";
    }
};

}  // namespace

TEST_F(DependencyTest, DependentProductsAreCheckedOnceEachInOrderOfDiscovery) {
    // a names b, b names c, c names b: the list is b, c. c and b are
    // assigned first (each sees the other as a cycle), so both are current.
    three("b\n", "c\n", "b\n");
    density_file("b", 10);
    density_file("c", 10);
    EXPECT_EQ(run({"-n", "a", "-a"}), RC_OK);
    EXPECT_EQ(e.output, opening() + "    " + map_path("a") + "\r\n" + quiet_check("b", sum("b")) +
                            quiet_check("c", sum("c")) + summary_line("a") + "    " +
                            map_path("a") + ": " + std::to_string(sum("a")) + "\r\n");
    EXPECT_EQ(disk_one_names(e.context),
              (std::vector<std::string>{"b.map", "b.ins", "b.vrf", "c.map", "c.ins", "c.vrf",
                                        "win95.prd", "a.map", "a.vrf", "a.ins", "a.dat"}));
    EXPECT_EQ(e.context.layouts[0].disks[0].files[0].source, "b\\diskward\\b.3hd");
    EXPECT_FALSE(host_exists(kit.at("win95.ptp")));
}

TEST_F(DependencyTest, ACycleTurnsAnOutOfDateDependentIntoAWarning) {
    three("b\n", "a\n", "");
    density_file("b", -10);
    Files before = snapshot();
    EXPECT_EQ(run({"-n", "a", "-a"}), RC_OK);
    size_t under = 4 + density("b").size() + 2;
    EXPECT_EQ(e.output,
              opening() + "    " + map_path("a") + "\r\n" + "    " + map_path("b") + "\r\n" +
                  "    " + density("b") + ": The map file for this media size is out of date.\r\n" +
                  std::string(under, ' ') + cycle_lines(under) + "\r\n" + "    " + map_path("b") +
                  ": " + std::to_string(sum("b")) + "\r\n" + summary_line("a") + "    " +
                  map_path("a") + ": " + std::to_string(sum("a")) + "\r\n");
    // b is not rewritten; a gets its density map file.
    EXPECT_EQ(read("b/diskward/b.3hd"), before["b/diskward/b.3hd"]);
    EXPECT_TRUE(host_exists(kit.at("a/diskward/a.3hd")));
}

TEST_F(DependencyTest, ADependentAssignedOnlyForTheOtherDensityIsJudgedByThatFile) {
    three("b\n", "", "");
    density_file("b", 10, "3ld");
    EXPECT_EQ(run({"-n", "a", "-a"}), RC_OK);
    size_t under = 4 + density("b").size() + 2;
    EXPECT_EQ(e.output,
              opening() + "    " + map_path("a") + "\r\n" + "    " + map_path("b") + "\r\n" +
                  "    " + density("b") + ": The map file for this density does not exist.\r\n" +
                  std::string(under, ' ') + "Trying map file for other density.\r\n" + "    " +
                  map_path("b") + ": " + std::to_string(sum("b")) + "\r\n" + summary_line("a") +
                  "    " + map_path("a") + ": " + std::to_string(sum("a")) + "\r\n");
    EXPECT_EQ(e.context.layouts.at(0).disks.at(0).files.at(0).source, "b\\diskward\\b.3ld");
    EXPECT_EQ(e.context.layouts.at(0).disks.at(0).files.at(0).name, "b.map");
}

TEST_F(DependencyTest, ADependentThatIsNotReadyFailsTheAssignmentAndLeavesTheCdRomMap) {
    three("b\n", "", "");
    // The same time as the map file counts as out of date.
    density_file("b", 0);
    Files before = snapshot();
    EXPECT_EQ(run({"-n", "a", "-a"}), RC_DEPENDENT_PRODUCT_ERROR);
    size_t under = 4 + density("b").size() + 2;
    std::string b_lines = "    " + map_path("b") + "\r\n" + "    " + density("b") +
                          ": The map file for this media size is out of date.\r\n" +
                          std::string(under, ' ') +
                          "Please run Diskward on this product first.\r\n" + "    " +
                          map_path("b") + ": " + std::to_string(sum("b")) + "\r\n";
    std::string a_tail = "    " + map_path("a") + ": " + std::to_string(sum("a")) + "\r\n" +
                         report("a", "Dependent Product Error");
    EXPECT_EQ(e.output, opening() + "    " + map_path("a") + "\r\n" + b_lines + a_tail);
    EXPECT_TRUE(e.context.layouts.empty());
    EXPECT_FALSE(host_exists(kit.at("a/diskward/a.3hd")));
    EXPECT_TRUE(host_exists(kit.at("a/diskward/a.cdr")));
    EXPECT_FALSE(host_exists(kit.at("win95.ptp")));

    // A dependent with neither density: two lines about each file.
    std::remove(kit.at("b/diskward/b.3hd").c_str());
    EXPECT_EQ(run({"-n", "a", "-a"}), RC_DEPENDENT_PRODUCT_ERROR);
    std::string missing =
        "    " + density("b") + ": The map file for this density does not exist.\r\n" +
        std::string(under, ' ') + "Trying map file for other density.\r\n" + "    " +
        density("b", "3ld") + ": The map file for this density does not exist.\r\n" +
        std::string(under, ' ') + "Please run Diskward on this product first.\r\n";
    EXPECT_EQ(e.output, opening() + "    " + map_path("a") + "\r\n" + "    " + map_path("b") +
                            "\r\n" + missing + "    " + map_path("b") + ": " +
                            std::to_string(sum("b")) + "\r\n" + a_tail);

    // A dependent whose files changed is not rewritten: it must be run first.
    density_file("b", 10);
    file("b/b.dat", "bbbbbbbb");
    std::string b_map = read("b/b.map");
    EXPECT_EQ(run({"-n", "a", "-a"}), RC_DEPENDENT_PRODUCT_ERROR);
    size_t under_map = 4 + map_path("b").size() + 2;
    EXPECT_EQ(e.output, opening() + "    " + map_path("a") + "\r\n" + "    " + map_path("b") +
                            "\r\n" + "      b.dat 6 --> 8\r\n" + "    " + map_path("b") +
                            ": File sizes are out of date.\r\n" + std::string(under_map, ' ') +
                            "Please run Diskward on this product first.\r\n" + "    " +
                            map_path("b") + ": " + std::to_string(sum("b")) + "\r\n" + a_tail);
    EXPECT_EQ(read("b/b.map"), b_map);
}

TEST_F(DependencyTest, AProductWithoutAVerificationFileCannotBeAssigned) {
    three("", "", "");
    std::remove(kit.at("a/a.vrf").c_str());
    std::string map = read("a/a.map");
    size_t row_at = map.find("G     \"\"       \"a.vrf\"");
    ASSERT_NE(row_at, std::string::npos);
    map.erase(row_at, map.find("\r\n\r\n", row_at) + 4 - row_at);
    file("a/a.map", map);
    settle();
    Files before = snapshot();
    EXPECT_EQ(run({"-n", "a", "-a"}), RC_FILE_NOT_FOUND);
    // Reported once, under the verification file.
    EXPECT_EQ(e.output, opening() + "    " + map_path("a") + "\r\n" + "      " + root +
                            "\\a\\a.vrf: File Not Found\r\n" + "    " + map_path("a") + ": " +
                            std::to_string(sum("a")) + "\r\n");
    Files after = snapshot();
    after.erase("a/diskward/a.cdr");
    before.erase("a/diskward/a.cdr");
    EXPECT_EQ(after, before);
}

TEST_F(AssignTest, TheCompressionPassFollowsTheNamesGroupsSizesAndFlags) {
    products(product_row(1, "p", "root", "p"));
    std::string x600(600, 'x');
    Files files = {{"big.txt", x600},
                   {"readme.dat", x600},
                   {"read.bin", x600},
                   {"n.bin", x600},
                   {"t512.bin", std::string(512, 't')},
                   {"t513.bin", std::string(513, 't')},
                   {"inst.bin", x600},
                   {"zero.bin", ""},
                   {"pre.bin", std::string(100, 'p')}};
    for (const auto& [path, bytes] : files) file("p/" + path, bytes);
    file("p/p.vrf", "");
    file("p/p.ins", "");
    file("p/p.map",
         kMapHeader + row("G", "p.map", 0) + row("G", "p.vrf", 0) + row("G", "p.ins", 0) +
             row("G", "big.txt", 600) + row("G", "readme.dat", 600) + row("G", "read.bin", 600) +
             row("nocopy", "n.bin", 600) + row("G", "t512.bin", 512) + row("G", "t513.bin", 513) +
             row("G", "inst.bin", 600, true) + row("G", "zero.bin", 0, false, true) +
             row("G", "%SYS%\\x.dll", 0, false, true) + row("G", "", 0, false, true) +
             row("G", "pre.bin", 100, false, true));
    settle();
    std::string map = read("p/p.map");
    EXPECT_EQ(run({"-n", "p", "-a", "-c"}), RC_OK);
    const std::string& summary_text = e.output.substr(e.output.find("    " + map_path("p") + ": "));
    EXPECT_EQ(e.output, opening() + "    " + map_path("p") + "\r\n" +
                            "      t513.bin Compressing...\r\n" +
                            "      inst.bin Instantiated file must be uncompressed\r\n" +
                            "      pre.bin Compressing...\r\n" + summary_text);
    // Only t513.bin and pre.bin are stored compressed; the variable and the
    // empty Source are not placed.
    std::string density = map;
    for (const char* source : {"p.map", "p.vrf", "p.ins", "big.txt", "readme.dat", "read.bin",
                               "n.bin", "t512.bin", "inst.bin", "zero.bin"})
        density = assigned(density, source, false, 1, 1);
    density = assigned(assigned(density, "t513.bin", true, 1, 1), "pre.bin", true, 1, 1);
    density = assigned(density, "%SYS%\\x.dll", false, 0, 0);
    // The row of the empty Source: the one Destination that is the target alone.
    size_t empty = density.find("\"%TARGET%\\\" ");
    ASSERT_NE(empty, std::string::npos);
    std::string set = "true             00         00";
    size_t flags = density.find(set, empty);
    ASSERT_NE(flags, std::string::npos);
    density.replace(flags, set.size(), "false            00         00");
    EXPECT_EQ(read("p/diskward/p.3hd"), density);
    EXPECT_EQ(names_in(kit.at("p/diskward")),
              (std::vector<std::string>{"_pre.bin", "_t513.bin", "p.3hd", "p.cdr"}));
}

namespace {

// One product p in folder p with the files given (each listed in its map
// after its map file, verification file and installer script).
class FailureTest : public AssignTest {
protected:
    void single(const Files& files) {
        products(product_row(1, "p", "root", "p"));
        product("p", "", files);
        settle();
        map_before = read("p/p.map");
    }
    std::string lines_with(const std::string& middle, const std::string& failure) {
        return opening() + "    " + map_path("p") + "\r\n" + middle + "    " + map_path("p") +
               ": " + std::to_string(total()) + "\r\n" + report("p", failure);
    }
    uint64_t total() {
        uint64_t sum = 0;
        for (const auto& [path, bytes] : snapshot())
            if (path.rfind("p/", 0) == 0 && path.find("diskward") == std::string::npos &&
                path != "p/p.old")
                sum += path == "p/p.map" ? read("p/p.map").size() : bytes.size();
        return sum;
    }
    // Nothing of the product but its CD-ROM map file from the settling run
    // changed, and no product table file is left.
    void nothing_written(const Files& before) {
        EXPECT_EQ(changed_files(before, snapshot()), std::vector<std::string>{});
        EXPECT_EQ(read("p/p.map"), map_before);
        EXPECT_FALSE(host_exists(kit.at("win95.ptp")));
        EXPECT_FALSE(host_exists(kit.at("p/diskward/p.5ld")));
        EXPECT_FALSE(host_exists(kit.at("p/diskward/p.3hd")));
    }
    std::string map_before;
};

}  // namespace

TEST_F(FailureTest, PlacementFailuresEndTheAssignmentAndLeaveTheKitAsItWas) {
    single({{"big.bin", std::string(400000, 'b')}});
    Files before = snapshot();
    // Larger than a 5.25" low-density disk and not to be split.
    EXPECT_EQ(run({"-n", "p", "-a", "-z", "5.25ld", "-q"}), RC_NO_SPACE_WITHOUT_SPLITTING);
    EXPECT_EQ(e.output, lines_with("", "Insufficient Space Without File Splitting"));
    nothing_written(before);
    // Disk-1 files that do not fit on disk 1.
    file("extra.usr", std::string(362496, 'u'));
    before = snapshot();
    EXPECT_EQ(run({"-n", "p", "-a", "-z", "5.25ld"}), RC_NO_SPACE_WITHOUT_SPLITTING);
    EXPECT_EQ(e.output, lines_with("", "Insufficient Space Without File Splitting"));
    nothing_written(before);
}

TEST_F(FailureTest, AMapFileThatChangesItsClusterCountAsksForAnotherRun) {
    single({{"d1.bin", "1"}, {"d2.bin", "22"}, {"d3.bin", "333"}, {"d4.bin", "4444"}});
    // The map file as the engine writes it takes n bytes. One written by
    // hand with a comment takes s bytes and says so, so the check leaves it
    // alone, and the density map file's entry moves from s to n.
    uint32_t n = size_of("p/p.map");
    ASSERT_TRUE(n >= 1000 && n % 512 != 0 && n % 512 < 500) << n;
    auto by_hand = [&](uint32_t s) {
        std::string text = map_before;
        std::string entry = std::to_string(n);
        text.replace(text.find(" " + entry + " "), entry.size() + 2, " " + std::to_string(s) + " ");
        text += "#" + std::string(s - text.size() - 3, 'c') + "\r\n";
        EXPECT_EQ(text.size(), s);
        file("p/p.map", text);
        return text;
    };
    auto summary_of = [&](const std::string& output) {
        std::string line = output.substr(output.find("    " + map_path("p") + ": 1 disks"));
        return line.substr(0, line.find("\r\n") + 2);
    };
    std::string size_line = "    " + map_path("p") + ": " + std::to_string(total() - n + n);

    // In the same number of clusters: the entry is fixed, nothing more.
    uint32_t s = n + 5;
    std::string hand = by_hand(s);
    EXPECT_EQ(run({"-n", "p", "-a"}), RC_OK);
    EXPECT_EQ(e.output, opening() + "    " + map_path("p") + "\r\n" + summary_of(e.output) +
                            "      p.map " + std::to_string(s) + " --> " + std::to_string(n) +
                            "\r\n" + size_line + "\r\n");
    EXPECT_EQ(read("p/p.map"), hand);
    EXPECT_EQ(size_of("p/diskward/p.3hd"), n);
    EXPECT_EQ(size_of("p/diskward/p.cdr"), n);

    // In one cluster more: the disks would not hold what was assigned.
    s = (n / 512 + 1) * 512 + 10;
    hand = by_hand(s);
    EXPECT_EQ(run({"-n", "p", "-a"}), RC_MAP_FILE_SIZE_CHANGED);
    size_t under = 6 + std::string("p.map").size() + 2;
    EXPECT_EQ(e.output, opening() + "    " + map_path("p") + "\r\n" + summary_of(e.output) +
                            "      p.map " + std::to_string(s) + " --> " + std::to_string(n) +
                            "\r\n" + "      p.map: Block allocation has changed.\r\n" +
                            std::string(under, ' ') + "Please run Diskward again.\r\n" + size_line +
                            "\r\n" + report("p", "Unexpected Error"));
    EXPECT_EQ(read("p/p.map"), hand);
    EXPECT_EQ(size_of("p/diskward/p.3hd"), n);
    EXPECT_FALSE(host_exists(kit.at("win95.ptp")));
}

TEST_F(FailureTest, AWorkingSubdirectoryThatCannotBeMadeIsReported) {
    single({{"d.bin", "dd"}});
    std::remove(kit.at("p/diskward/p.cdr").c_str());
    std::remove(kit.at("p/diskward").c_str());
    file("p/diskward", "a file in the way");
    Files before = snapshot();
    EXPECT_EQ(run({"-n", "p", "-a"}), RC_NO_DISKWARD_SUBDIR);
    EXPECT_EQ(e.output,
              lines_with("      diskward Superfluous\r\n", "Cannot create Diskward subdirectory"));
    EXPECT_EQ(changed_files(before, snapshot()), std::vector<std::string>{});
    EXPECT_FALSE(host_exists(kit.at("win95.ptp")));
}

TEST_F(FailureTest, TwoFilesSharingACompressedNameEndTheProduct) {
    single({{"abcdefgh.dll", std::string(600, 'a')}, {"xbcdefgh.dll", std::string(600, 'x')}});
    Files before = snapshot();
    EXPECT_EQ(run({"-n", "p", "-a", "-c"}), RC_INVALID_FILE_NAME);
    // Reported once, with the second Source.
    std::string middle =
        "      abcdefgh.dll Compressing...\r\n"
        "      xbcdefgh.dll: Invalid File Name\r\n";
    std::string expected = lines_with(middle, "");
    expected.erase(expected.rfind("    " + map_path("p") + ": \r\n"));
    EXPECT_EQ(e.output, expected);
    EXPECT_EQ(changed_files(before, snapshot()),
              (std::vector<std::string>{"p/diskward/_bcdefgh.dll"}));
    EXPECT_FALSE(host_exists(kit.at("win95.ptp")));
    EXPECT_FALSE(host_exists(kit.at("p/diskward/p.3hd")));
}

TEST_F(FailureTest, ACompressionThatFailsLeavesNoCompressedFile) {
    single({{"big.dll", std::string(200000, 'z') + std::string(200000, 'y')}});
    Files before = snapshot();
    file_services_fail_writes_after(1000, ENOSPC);
    ResultCode result = run({"-n", "p", "-a", "-c"});
    file_services_faults_clear();
    EXPECT_EQ(result, RC_UNABLE_TO_WRITE);
    EXPECT_EQ(e.output, lines_with("      big.dll Compressing...\r\n", "Unable to Write"));
    EXPECT_EQ(changed_files(before, snapshot()), std::vector<std::string>{});
    EXPECT_EQ(names_in(kit.at("p/diskward")), std::vector<std::string>{"p.cdr"});
    // A run that was killed while compressing leaves only a temporary file,
    // which is never taken for the copy: the next run compresses it whole.
    file("p/diskward/._big.dll.~999999-1", "half a copy");
    EXPECT_EQ(run({"-n", "p", "-a", "-c"}), RC_OK);
    ASSERT_EQ(e.context.layouts.size(), 1u);
    const LayoutDisk& disk = e.context.layouts[0].disks.at(0);
    EXPECT_EQ(e.output, opening() + "    " + map_path("p") + "\r\n" +
                            "      big.dll Compressing...\r\n" +
                            summary(map_path("p"), 1, disk.bytes_used, disk.bytes_left) + "    " +
                            map_path("p") + ": " + std::to_string(total()) + "\r\n");
    std::string expanded = engine_path(kit.at("expanded"));
    CopyOptions expand;
    expand.decompress = true;
    ASSERT_EQ(copy_file(engine_path(kit.at("p/diskward/big.dll")), expanded, expand), RC_OK);
    EXPECT_TRUE(read("expanded") == read("p/big.dll"));
}

TEST_F(DependencyTest, TheProductTableFileListsTheVersionTheDependentsAndTheProduct) {
    three("c\nb\n", "", "");
    density_file("b", 10);
    density_file("c", 10);
    // A product table the user keeps beside the product file is not ours.
    file("win95.ptp", "the user's own table\n");
    // The sizes of the products are their sums (three digits each). Every
    // Location is blank, for the floppy holds no product folders; only a,
    // the product of the disks, is visible and selected, and it is the open
    // root of the tree.
    auto row_of = [&](int number, const std::string& name, const std::string& flags) {
        return "   " + std::to_string(number) + " " + name + "            root   \"" + name +
               "\"      \"1.0\"       \"" + name + " label\"           \"\"        " +
               std::to_string(sum(name)) + " " + flags + " \"\"          \"V1\"  ";
    };
    // Kept for the test: its removal fails, which fails the product.
    file_services_fail_on(HOST_OP_UNLINK, "win95.ptp", EACCES);
    EXPECT_EQ(run({"-n", "a", "-a"}), RC_PERMISSION_DENIED);
    file_services_faults_clear();
    EXPECT_EQ(
        read("a/diskward/win95.ptp"),
        crlf_lines(
            {"#### Product      Parent Filename Version     Interface Label     "
             "Location Size Visible? Selected? Open? Description Volume",
             R"(   0 win95instver root   ""       "3.2.1.0.0" "Installer Version" ""          0 false    false     false ""          ""    )",
             row_of(3, "c", "false    false     false"), row_of(2, "b", "false    false     false"),
             row_of(1, "a", "true     true      true ")}));
    EXPECT_EQ(read("win95.ptp"), "the user's own table\n");
    EXPECT_EQ(disk_one_names(e.context),
              (std::vector<std::string>{"c.map", "c.ins", "c.vrf", "b.map", "b.ins", "b.vrf",
                                        "win95.prd", "a.map", "a.vrf", "a.ins", "a.dat"}));
    EXPECT_EQ(e.context.layouts.at(0).disks.at(0).files.at(6).source, "a\\diskward\\win95.ptp");

    // The table of a run that succeeds is gone afterwards; the user's stays.
    // The product file, written back for a's new size, keeps its own
    // display state: the table's marking was made on copies.
    std::string table = read("win95.prd");
    std::string before = std::to_string(sum("a"));
    file("a/a.dat", "aaaaa");
    EXPECT_EQ(run({"-n", "a", "-a"}), RC_OK);
    EXPECT_FALSE(host_exists(kit.at("a/diskward/win95.ptp")));
    EXPECT_EQ(read("win95.ptp"), "the user's own table\n");
    std::string after = std::to_string(sum("a"));
    ASSERT_EQ(after.size(), before.size());
    size_t row_a = table.find("   1 a ");
    ASSERT_NE(row_a, std::string::npos);
    EXPECT_EQ(read("win95.prd"), table.replace(table.find(" " + before + " ", row_a),
                                               before.size() + 2, " " + after + " "));
}

TEST_F(FailureTest, ASplitFileRunsOverDisksInNamedPiecesAndTheLayoutShowsThem) {
    single({{"big.bin", std::string(500000, 'b')}});
    EXPECT_EQ(run({"-n", "p", "-a", "-z", "5.25LD"}), RC_OK);
    ASSERT_EQ(e.context.layouts.size(), 1u);
    uint32_t table = e.context.layouts[0].disks.at(0).files.at(0).bytes;
    uint32_t map = size_of("p/p.map"), script = size_of("p/p.ins");
    uint64_t taken = rounded(table, 1024) + rounded(map, 1024) + rounded(script, 1024);
    uint64_t first = 362496 - taken;                  // the piece fills disk 1
    uint64_t second = rounded(500000, 1024) - first;  // the rest, in whole clusters
    auto pad = [](uint64_t n, size_t width) {
        std::string text = std::to_string(n);
        return std::string(width - text.size(), ' ') + text;
    };
    EXPECT_EQ(layout_text(e.context.layouts[0]),
              "p (" + map_path("p") + "): 2 disks\n" +
                  "  Disk 1: " + std::to_string(table + map + script + first) +
                  " bytes used, 0 bytes left, 5 files\n" + "    win95.prd  " + pad(table, 6) +
                  "  p\\diskward\\win95.ptp\n" + "    p.map      " + pad(map, 6) + "  p.map\n" +
                  "    p.vrf      " + pad(0, 6) + "  p.vrf\n" + "    p.ins      " + pad(script, 6) +
                  "  p.ins\n" + "    1ig.bin    " + pad(first, 6) + "  big.bin  piece 1 of 2\n" +
                  "  Disk 2: " + std::to_string(500000 - first) + " bytes used, " +
                  std::to_string(362496 - second) + " bytes left, 1 file\n" + "    0ig.bin    " +
                  pad(500000 - first, 6) + "  big.bin  piece 2 of 2\n");
    EXPECT_EQ(e.output, opening() + "    " + map_path("p") + "\r\n" +
                            summary(map_path("p"), 2, 500000 - first, 362496 - second) + "    " +
                            map_path("p") + ": " + std::to_string(total()) + "\r\n");
    // The density map file has the file on disk 1 over two disks.
    std::string density = map_before;
    for (const char* source : {"p.map", "p.vrf", "p.ins"})
        density = assigned(density, source, false, 1, 1);
    EXPECT_EQ(read("p/diskward/p.5ld"), assigned(density, "big.bin", false, 1, 2));
}

TEST_F(AssignTest, WithoutAProductNameEveryProductIsAssignedInTurn) {
    products(product_row(1, "p", "root", "p") + product_row(2, "q", "root", "q"));
    product("p", "", {{"p.dat", "pp"}});
    product("q", "p\n", {{"q.dat", "qqq"}});
    settle();
    EXPECT_EQ(run({"-a"}), RC_OK);
    ASSERT_EQ(e.context.layouts.size(), 2u);
    EXPECT_EQ(e.context.layouts[0].product, "p");
    EXPECT_EQ(e.context.layouts[1].product, "q");
    auto sum = [&](const std::string& n) {
        return std::to_string(size_of(n + "/" + n + ".map") + size_of(n + "/" + n + ".ins") +
                              size_of(n + "/" + n + ".vrf") + size_of(n + "/" + n + ".dat"));
    };
    auto line = [&](size_t i, const std::string& n) {
        const LayoutDisk& disk = e.context.layouts[i].disks.at(0);
        return summary(map_path(n), 1, disk.bytes_used, disk.bytes_left);
    };
    EXPECT_EQ(e.output, opening() + "    " + map_path("p") + "\r\n" + line(0, "p") + "    " +
                            map_path("p") + ": " + sum("p") + "\r\n" + "    " + map_path("q") +
                            "\r\n" + quiet_check("p", std::stoull(sum("p"))) + line(1, "q") +
                            "    " + map_path("q") + ": " + sum("q") + "\r\n");
    EXPECT_TRUE(host_exists(kit.at("p/diskward/p.3hd")));
    EXPECT_TRUE(host_exists(kit.at("q/diskward/q.3hd")));
}

namespace {

// Products a and b, a depending on b; b has a file that is compressed.
class InterruptedTest : public AssignTest {
protected:
    void SetUp() override {
        products(product_row(1, "a", "root", "a") + product_row(2, "b", "root", "b"));
        product("a", "b\n", {{"a.dat", "aaaa"}});
        product("b", "", {{"b.dll", std::string(1500, 'b') + std::string(1500, 'c')}});
        settle();
    }
    // Runs the engine with `words` in a child process that a stop at the
    // write `after` further writes to a file whose path holds `part` ends as
    // a kill would; true when it ended there.
    bool killed_run(const std::vector<std::string>& words, const char* part, unsigned after,
                    pid_t* child_pid) {
        pid_t child = fork();
        if (child == 0) {
            file_services_stop_on(HOST_OP_WRITE, part, after);
            run(words);
            _exit(0);
        }
        *child_pid = child;
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == STOPPED_EXIT_STATUS;
    }
    uint64_t sum(const std::string& name, const std::string& data) {
        return size_of(name + "/" + name + ".map") + size_of(name + "/" + name + ".ins") +
               size_of(name + "/" + name + ".vrf") + size_of(name + "/" + data);
    }
    std::string density(const std::string& suffix) { return root + "\\b\\diskward\\b." + suffix; }
    // The report of a's assignment when b's density map file is not usable:
    // b's check with `notice`, then a's failure.
    std::string refused(const std::string& notice) {
        return opening() + "    " + map_path("a") + "\r\n" + "    " + map_path("b") + "\r\n" +
               notice + "    " + map_path("b") + ": " + std::to_string(sum("b", "b.dll")) + "\r\n" +
               "    " + map_path("a") + ": " + std::to_string(sum("a", "a.dat")) + "\r\n" +
               report("a", "Dependent Product Error");
    }
    // The names in b's working folder, the count that ends the name of a
    // temporary file of process `pid` left out (it numbers every temporary
    // file that process made).
    std::vector<std::string> work_names(pid_t pid) {
        std::vector<std::string> names = names_in(kit.at("b/diskward"));
        std::string mark = ".~" + std::to_string(pid) + "-";
        for (std::string& name : names)
            if (name.find(mark) != std::string::npos) name.erase(name.find(mark) + mark.size());
        return names;
    }
    long long modified_ns(const std::string& path) {
        struct stat info;
        if (stat(kit.at(path).c_str(), &info) != 0) return -1;
        return info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
    }
    const std::vector<std::string> assign_b{"-n", "b", "-a", "-c", "-z", "5.25LD"};
    const std::vector<std::string> assign_a{"-n", "a", "-a", "-z", "5.25LD"};
};

}  // namespace

TEST_F(InterruptedTest, AFirstAssignmentKilledAfterTheMapFileWasCopiedLeavesItOutOfDate) {
    // Killed while compressing, after the lookup copied b.map to b.5ld. The
    // compressed copy under way has no name yet: it is gone with the run
    // (where the file system makes no files without a name, it is left
    // under a temporary name, which the next run removes).
    pid_t child = 0;
    ASSERT_TRUE(killed_run(assign_b, "b.dll", 0, &child));
    std::vector<std::string> names = work_names(child);
    std::erase(names, "._b.dll.~" + std::to_string(child) + "-");
    EXPECT_EQ(names, (std::vector<std::string>{"b.5ld", "b.cdr"}));
    EXPECT_EQ(read("b/diskward/b.5ld"), read("b/b.map"));
    EXPECT_EQ(modified_ns("b/diskward/b.5ld"), modified_ns("b/b.map"));

    // The copy holds no disk numbers: a product that depends on b is refused.
    size_t under = 4 + density("5ld").size() + 2;
    EXPECT_EQ(run(assign_a), RC_DEPENDENT_PRODUCT_ERROR);
    EXPECT_EQ(
        e.output,
        refused("    " + density("5ld") + ": The map file for this media size is out of date.\r\n" +
                std::string(under, ' ') + "Please run Diskward on this product first.\r\n"));
    EXPECT_FALSE(host_exists(kit.at("a/diskward/a.5ld")));

    // Assigned again, b gets its density map file, and what the killed run
    // left in the working folder is gone; then a is assigned.
    EXPECT_EQ(run(assign_b), RC_OK) << e.output;
    EXPECT_EQ(names_in(kit.at("b/diskward")),
              (std::vector<std::string>{"_b.dll", "b.5ld", "b.cdr"}));
    EXPECT_GT(modified_ns("b/diskward/b.5ld"), modified_ns("b/b.map"));
    EXPECT_EQ(run(assign_a), RC_OK) << e.output;
}

TEST_F(InterruptedTest, AnAssignmentKilledWhileItWritesItsDensityMapFileLeavesNone) {
    std::filesystem::remove_all(kit.at("b/diskward"));
    // The first write to a b.5ld file is the lookup's copy, the second the
    // assignment's own text.
    pid_t child = 0;
    ASSERT_TRUE(killed_run(assign_b, "b.5ld", 1, &child));
    std::string left = ".b.5ld.~" + std::to_string(child) + "-";
    EXPECT_EQ(work_names(child), (std::vector<std::string>{left, "_b.dll", "win95.ptp"}));

    size_t under = 4 + density("5ld").size() + 2;
    EXPECT_EQ(run(assign_a), RC_DEPENDENT_PRODUCT_ERROR);
    EXPECT_EQ(
        e.output,
        refused("    " + density("5ld") + ": The map file for this density does not exist.\r\n" +
                std::string(under, ' ') + "Trying map file for other density.\r\n" + "    " +
                density("5hd") + ": The map file for this density does not exist.\r\n" +
                std::string(under, ' ') + "Please run Diskward on this product first.\r\n"));

    // The next assignment of b finds its copy current and writes the rest.
    std::string compressed = read("b/diskward/_b.dll");
    EXPECT_EQ(run(assign_b), RC_OK) << e.output;
    EXPECT_EQ(e.output.find("Compressing..."), std::string::npos) << e.output;
    EXPECT_EQ(read("b/diskward/_b.dll"), compressed);
    EXPECT_EQ(names_in(kit.at("b/diskward")),
              (std::vector<std::string>{"_b.dll", "b.5ld", "b.cdr"}));
    EXPECT_EQ(run(assign_a), RC_OK) << e.output;
}

TEST_F(AssignTest, ACompressedCopyIsMadeAgainForAnyOtherFileButNeverForTheSameOne) {
    products(product_row(1, "core", "root", "core"));
    std::string first = std::string(2000, 'a') + std::string(1000, 'b');
    product("core", "", {{"a.dll", first}});
    settle();
    EXPECT_EQ(run({"-n", "core", "-a", "-c"}), RC_OK);
    std::string compressing = "      a.dll Compressing...\r\n";
    std::string with_compressing = e.output;
    ASSERT_NE(with_compressing.find(compressing), std::string::npos) << e.output;
    std::string without = with_compressing;
    without.erase(without.find(compressing), compressing.size());
    auto changed_ns = [&](const std::string& path) {
        struct stat info;
        if (stat(kit.at(path).c_str(), &info) != 0) return -1LL;
        return info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec;
    };
    auto expanded = [&] {
        std::string out = engine_path(kit.at("expanded"));
        CopyOptions expand;
        expand.decompress = true;
        EXPECT_EQ(copy_file(engine_path(kit.at("core/diskward/a.dll")), out, expand), RC_OK);
        std::string bytes = read("expanded");
        std::remove(kit.at("expanded").c_str());
        return bytes;
    };
    EXPECT_EQ(expanded(), first);

    // On an untouched kit nothing is compressed again: the copy stays as it was.
    long long made = changed_ns("core/diskward/_a.dll");
    EXPECT_EQ(run({"-n", "core", "-a", "-c"}), RC_OK);
    EXPECT_EQ(e.output, without);
    EXPECT_EQ(changed_ns("core/diskward/_a.dll"), made);

    // Other bytes of the same size put in place with the former file's
    // times, as a restore or a copy that keeps times does. The file times'
    // clock moves on in ticks: the replacement comes a tick after the copy.
    usleep(50000);
    std::string second = std::string(1000, 'x') + std::string(2000, 'y');
    ASSERT_EQ(second.size(), first.size());
    write_host_file(kit.at("restored"), second);
    struct stat former;
    ASSERT_EQ(stat(kit.at("core/a.dll").c_str(), &former), 0);
    struct timespec times[2] = {former.st_atim, former.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, kit.at("restored").c_str(), times, 0), 0);
    ASSERT_EQ(rename(kit.at("restored").c_str(), kit.at("core/a.dll").c_str()), 0);
    EXPECT_EQ(run({"-n", "core", "-a", "-c"}), RC_OK);
    EXPECT_EQ(e.output, with_compressing);
    EXPECT_EQ(expanded(), second);
    // And once made again, it is kept.
    EXPECT_EQ(run({"-n", "core", "-a", "-c"}), RC_OK);
    EXPECT_EQ(e.output, without);
}
