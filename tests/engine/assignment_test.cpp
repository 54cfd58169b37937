// End-to-end floppy assignments of small staging areas made in a temporary
// folder: the whole report, the density and CD-ROM map files, the
// compressed copies and the disk layout, and what a failure leaves behind.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "engine/disk_layout.h"
#include "kit_fixture.h"
#include "media/copy.h"

namespace {

using Files = std::map<std::string, std::string>;

const std::string kVersionRow =
    "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false false false \"\" \"\"\n";

// A map row with every column given.
std::string row(const std::string& group, const std::string& source, uint32_t size,
                bool instantiate = false, bool compress = false) {
    return group + " \"\" \"" + source + "\" \"%TARGET%\\" + source + "\" " +
           std::to_string(size) + (instantiate ? " true" : " false") + " false" +
           (compress ? " true" : " false") + " 0 0 0 \"\" \"\" \"\"\n";
}

std::string summary(const std::string& map, uint32_t disks, uint64_t used, uint64_t left) {
    std::string d = std::to_string(disks);
    return "    " + map + ": " + d + " disks required.  " + std::to_string(used) + " bytes used on disk " +
           d + ".  " + std::to_string(left) + " bytes remain on disk " + d + ".\r\n";
}

// `map` (as the engine writes it, no component assigned) with the row of
// `source` given Compress? and its disks.
std::string assigned(std::string map, const std::string& source, bool compress, int start,
                     int total) {
    auto two = [](int n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    size_t at = map.find("\"" + source + "\"");
    size_t end = map.find('\n', at);
    std::string plain = "false            00         00";
    size_t column = map.rfind(plain, end);
    EXPECT_TRUE(at != std::string::npos && column != std::string::npos && column > at) << source;
    if (column == std::string::npos || column < at) return map;
    std::string disks = std::string(compress ? "true " : "false") + "            " + two(start) +
                        "         " + two(total);
    return map.replace(column, plain.size(), disks);
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
    void settle() { ASSERT_EQ(run({"-f", "-r"}), RC_OK) << e.output; }
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
    std::vector<uint32_t> disk1 = {0, size_of("core/core.map"), 0, size_of("core/core.ins"),
                                   compressed, 700};
    ASSERT_EQ(e.rc.layouts.size(), 1u);
    ASSERT_EQ(e.rc.layouts[0].disks.size(), 1u);
    disk1[0] = e.rc.layouts[0].disks[0].files[0].bytes;
    uint64_t used = 0, taken = 0;
    for (uint32_t s : disk1) used += s, taken += rounded(s);
    EXPECT_EQ(e.output, opening() + "    " + map_path("core") + "\r\n" +
                            "      a.dll Compressing...\r\n" +
                            summary(map_path("core"), 1, used, 1457664 - taken) + "    " +
                            map_path("core") + ": " + std::to_string(3700 + disk1[1] + disk1[3]) +
                            "\r\n");
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
