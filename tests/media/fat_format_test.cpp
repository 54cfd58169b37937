// Blank volumes of every medium, judged by our own reading and by the
// Debian disk tools, and volumes made by mformat read by our module.
#include "media/fat_format.h"

#include <gtest/gtest.h>

#include "media/fat_geometry.h"
#include "media/fat_paths.h"
#include "media/fat_root.h"
#include "media/fat_test_tools.h"
#include "support/test_support.h"

namespace {

struct MediumFigures {
    const char* medium;
    uint32_t capacity;
    uint32_t cluster;
    size_t files_in_root;  // root entries left beside the label
};

const MediumFigures media_figures[] = {
    {"3.5HD", 1457664, 512, 223},    {"3.5LD", 730112, 1024, 111},  {"3.5JHD", 1250304, 1024, 191},
    {"3.5UD", 2915328, 512, 239},    {"5.25HD", 1213952, 512, 223}, {"5.25LD", 362496, 1024, 111},
    {"5.25JHD", 1250304, 1024, 191},
};

std::string without_blanks(std::string text) {
    std::erase(text, ' ');
    return text;
}

}  // namespace

TEST(FatFormat, BlankDiskOfEveryMediumReportsItsCapacityAndClusterSize) {
    TempDir dir;
    for (const MediumFigures& m : media_figures) {
        SCOPED_TRACE(m.medium);
        std::string image = dir.at(std::string(m.medium) + ".img");
        ASSERT_EQ(fat_format_image(image, m.medium, "Blank 1", 0x12345678), RC_OK);
        const FatGeometry* g = fat_geometry_find(m.medium);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(read_host_file(image).size(), size_t(g->total_sectors) * g->bytes_per_sector);

        FatVolume volume;
        ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
        EXPECT_EQ(fat_volume_free_bytes(volume), m.capacity);
        EXPECT_EQ(fat_volume_cluster_bytes(volume), m.cluster);
        EXPECT_EQ(volume.layout.fat16, std::string(m.medium) == "3.5UD");
        EXPECT_EQ(volume.layout.root_entries - 1, m.files_in_root);
        std::string label;
        ASSERT_EQ(fat_volume_label(volume, &label), RC_OK);
        EXPECT_EQ(label, "BLANK 1");
        bool empty = false;
        ASSERT_EQ(fat_volume_root_is_empty(volume, &empty), RC_OK);
        EXPECT_TRUE(empty);
        fat_volume_close(&volume);
    }
}

TEST(FatFormat, MediumNamesMatchWithoutCaseAndUnknownOnesAreRefused) {
    TempDir dir;
    EXPECT_NE(fat_geometry_find("5.25ld"), nullptr);
    EXPECT_EQ(fat_geometry_find("5.25XD"), nullptr);
    EXPECT_EQ(fat_format_image(dir.at("x.img"), "5.25XD", "X", 1), RC_INVALID_MEDIA_SIZE);
    EXPECT_EQ(fat_format_image(dir.at("y.img"), "3.5HD", "TWELVE CHARS", 1), RC_INVALID_FILE_NAME);
    EXPECT_EQ(fat_format_image(dir.at("z.img"), "3.5HD", "A*B", 1), RC_INVALID_FILE_NAME);
    EXPECT_FALSE(host_exists(dir.at("x.img")));
}

TEST(FatFormat, ToolsAcceptEveryBlankDiskWithItsLabelAndFreeBytes) {
    require_tool("mdir");
    require_tool("fsck.fat");
    TempDir dir;
    for (const MediumFigures& m : media_figures) {
        SCOPED_TRACE(m.medium);
        std::string image = dir.at("blank.img");
        ASSERT_EQ(fat_format_image(image, m.medium, "KIT 1", 7), RC_OK);
        ToolRun check = fsck(image);
        EXPECT_EQ(check.status, 0) << check.output;
        ToolRun listing = mdir(image);
        EXPECT_EQ(listing.status, 0) << listing.output;
        EXPECT_NE(listing.output.find("Volume in drive : is KIT 1"), std::string::npos)
            << listing.output;
        EXPECT_NE(without_blanks(listing.output).find(std::to_string(m.capacity) + "bytesfree"),
                  std::string::npos)
            << listing.output;
    }
}

TEST(FatFormat, VolumesMadeByMformatAreReadWithTheirLabelAndFreeBytes) {
    require_tool("mformat");
    require_tool("mcopy");
    TempDir dir;
    struct Case {
        const char* size_kb;
        uint32_t free_bytes;
        uint32_t cluster;
    } cases[] = {{"1440", 1457664, 512},
                 {"720", 730112, 1024},
                 {"1200", 1213952, 512},
                 {"360", 362496, 1024}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size_kb);
        std::string image = dir.at("made.img");
        std::remove(image.c_str());
        ToolRun made = run_tool("mformat -C -i '" + image + "' -f " + c.size_kb + " -v DISK_7 ::");
        ASSERT_EQ(made.status, 0) << made.output;
        FatVolume volume;
        ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
        std::string label;
        ASSERT_EQ(fat_volume_label(volume, &label), RC_OK);
        EXPECT_EQ(label, "DISK_7");
        EXPECT_EQ(fat_volume_free_bytes(volume), c.free_bytes);
        EXPECT_EQ(fat_volume_cluster_bytes(volume), c.cluster);
        fat_volume_close(&volume);

        // A file copied on by the tools reads back, and its clusters count.
        std::string bytes = pattern_bytes(5000, 3);
        write_host_file(dir.at("in.bin"), bytes);
        ToolRun copied = run_tool("mcopy -i '" + image + "' '" + dir.at("in.bin") + "' ::DATA.BIN");
        ASSERT_EQ(copied.status, 0) << copied.output;
        ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
        EXPECT_EQ(get_file(&volume, "data.bin"), bytes);
        uint32_t used = (5000 + c.cluster - 1) / c.cluster * c.cluster;
        EXPECT_EQ(fat_volume_free_bytes(volume), c.free_bytes - used);
        fat_volume_close(&volume);
    }
}
