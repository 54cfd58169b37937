// Damaged images: every kind of damage gives a result code when the volume
// is opened, and opening writes nothing.
#include <gtest/gtest.h>

#include <functional>

#include "media/fat_directory.h"
#include "media/fat_format.h"
#include "media/fat_names.h"
#include "media/fat_paths.h"
#include "media/fat_test_tools.h"
#include "support/test_support.h"

namespace {

// A 3.5LD disk (1024-byte clusters): A.BIN in clusters 2-4, B.BIN in 5-6,
// directory SUB in 7 holding C.BIN in 8.
std::string sample_image(const TempDir& dir) {
    std::string image = dir.at("sample.img");
    FatVolume volume;
    EXPECT_EQ(fat_format_image(image, "3.5LD", "SAMPLE", 1), RC_OK);
    EXPECT_EQ(fat_volume_open(image, &volume), RC_OK);
    EXPECT_EQ(put_file(&volume, "A.BIN", pattern_bytes(3000, 1)), RC_OK);
    EXPECT_EQ(put_file(&volume, "B.BIN", pattern_bytes(2000, 2)), RC_OK);
    EXPECT_EQ(fat_path_make_directory(&volume, "SUB"), RC_OK);
    EXPECT_EQ(put_file(&volume, "SUB\\C.BIN", pattern_bytes(100, 3)), RC_OK);
    fat_volume_close(&volume);
    return read_host_file(image);
}

// Damage done through a mounted copy of the sample: its FAT or a root entry.
using VolumeDamage = std::function<void(FatVolume*)>;

void damage_volume(const std::string& image, const VolumeDamage& damage) {
    FatVolume volume;
    ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
    damage(&volume);
    ASSERT_EQ(fat_volume_flush_table(&volume), RC_OK);
    fat_volume_close(&volume);
}

VolumeDamage fat_entry(uint32_t cluster, uint32_t value) {
    return [=](FatVolume* v) { fat_table_set(&v->table, cluster, value); };
}

VolumeDamage root_entry(const char* name, const std::function<void(uint8_t*)>& change) {
    return [=](FatVolume* v) {
        FatDir root;
        FatEntry entry;
        ASSERT_EQ(fat_dir_load(*v, 0, &root), RC_OK);
        ASSERT_TRUE(fat_dir_find(root, name, &entry));
        change(fat_dir_slot(&root, entry.slot));
        ASSERT_EQ(fat_dir_store(v, root), RC_OK);
    };
}

void put16(std::string* bytes, size_t at, uint32_t value) {
    (*bytes)[at] = char(value);
    (*bytes)[at + 1] = char(value >> 8);
}

// Opens `image` expecting `expected` and checks that no byte changed.
void expect_refused(const std::string& image, ResultCode expected) {
    std::string before = read_host_file(image);
    FatVolume volume;
    EXPECT_EQ(fat_volume_open(image, &volume), expected);
    EXPECT_EQ(volume.fd, -1);
    EXPECT_TRUE(read_host_file(image) == before) << "the image changed";
}

}  // namespace

TEST(FatCorrupt, BrokenChainsAndEntriesAreRefusedAsTheToolsFindThem) {
    require_tool("fsck.fat");
    TempDir dir;
    std::string sample = sample_image(dir);
    struct Case {
        const char* what;
        VolumeDamage damage;
    } cases[] = {
        {"chain loops back to its start", fat_entry(4, 2)},
        {"chain points outside the volume", fat_entry(3, 900)},
        {"chain runs into a free cluster", fat_entry(3, 600)},
        {"chain runs into a bad cluster", fat_entry(3, FAT_BAD)},
        {"two files share clusters", fat_entry(6, 3)},
        {"chain shorter than the file", fat_entry(3, FAT_END)},
        {"directory chain loops on itself", fat_entry(7, 7)},
        {"entry starts outside the volume", root_entry("A.BIN",
                                                       [](uint8_t* e) {
                                                           e[26] = 0xF0;
                                                           e[27] = 0x0F;
                                                       })},
        {"directory without a cluster", root_entry("SUB", [](uint8_t* e) { e[26] = e[27] = 0; })},
        {"file without a cluster but with a size",
         root_entry("B.BIN", [](uint8_t* e) { e[26] = e[27] = 0; })},
        {"two entries start in one cluster", root_entry("B.BIN", [](uint8_t* e) { e[26] = 3; })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string image = dir.at("damaged.img");
        write_host_file(image, sample);
        damage_volume(image, c.damage);
        expect_refused(image, RC_FILE_CORRUPT);
        ToolRun check = fsck(image);
        EXPECT_NE(check.status, 0) << "fsck.fat found nothing wrong:\n" << check.output;
    }
}

TEST(FatCorrupt, TruncatedImagesAndAbsurdBootSectorsAreRefused) {
    TempDir dir;
    std::string sample = sample_image(dir);
    struct Case {
        const char* what;
        std::function<void(std::string*)> damage;
    } cases[] = {
        {"cut in half", [](std::string* b) { b->resize(b->size() / 2); }},
        {"cut inside the boot sector", [](std::string* b) { b->resize(300); }},
        {"empty", [](std::string* b) { b->clear(); }},
        {"all zeros", [](std::string* b) { b->assign(b->size(), '\0'); }},
        {"zero bytes per sector", [](std::string* b) { put16(b, 11, 0); }},
        {"bytes per sector not a power of two", [](std::string* b) { put16(b, 11, 768); }},
        {"bytes per sector too large", [](std::string* b) { put16(b, 11, 8192); }},
        {"zero sectors per cluster", [](std::string* b) { (*b)[13] = 0; }},
        {"three sectors per cluster", [](std::string* b) { (*b)[13] = 3; }},
        {"clusters of 128 sectors", [](std::string* b) { (*b)[13] = char(128); }},
        {"no reserved sector", [](std::string* b) { put16(b, 14, 0); }},
        {"no FAT", [](std::string* b) { (*b)[16] = 0; }},
        {"seventeen FATs", [](std::string* b) { (*b)[16] = 17; }},
        {"no root entries", [](std::string* b) { put16(b, 17, 0); }},
        {"no sectors", [](std::string* b) { put16(b, 19, 0); }},
        {"more sectors than the image", [](std::string* b) { put16(b, 19, 65535); }},
        {"zero-sized FAT", [](std::string* b) { put16(b, 22, 0); }},
        {"FAT too small for the clusters", [](std::string* b) { put16(b, 22, 1); }},
        {"system areas larger than the disk", [](std::string* b) { put16(b, 14, 1440); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string image = dir.at("damaged.img");
        std::string bytes = sample;
        c.damage(&bytes);
        write_host_file(image, bytes);
        expect_refused(image, RC_FILE_CORRUPT);
    }
    expect_refused(dir.at("no such image"), RC_FILE_NOT_FOUND);
}

TEST(FatCorrupt, HarmlessOddsAreAcceptedAndStaySound) {
    TempDir dir;
    std::string image = dir.at("odd.img");
    write_host_file(image, sample_image(dir));
    // A lost cluster and an orphan long-name entry hurt nothing: the volume
    // opens, and writing to it neither loses nor joins them.
    damage_volume(image, [](FatVolume* v) {
        fat_table_set(&v->table, 700, FAT_END);
        FatDir root;
        ASSERT_EQ(fat_dir_load(*v, 0, &root), RC_OK);
        uint8_t* e = fat_dir_slot(&root, 10);
        uint8_t raw[11] = {'Z', 'Z', 'Z', ' ', ' ', ' ', ' ', ' ', 'T', 'X', 'T'};
        fat_name_long_entry("orphan name.txt", 1, fat_name_checksum(raw), e);
        e[0] |= 0x40;
        ASSERT_EQ(fat_dir_store(v, root), RC_OK);
    });
    FatVolume volume;
    ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
    uint32_t free_bytes = fat_volume_free_bytes(volume);
    ASSERT_EQ(put_file(&volume, "NEW.TXT", "new"), RC_OK);
    EXPECT_EQ(fat_volume_free_bytes(volume), free_bytes - 1024);
    std::vector<FatInfo> list;
    ASSERT_EQ(fat_path_list(volume, "", &list), RC_OK);
    EXPECT_EQ(list.size(), 4u);
    EXPECT_EQ(list.back().name, "NEW.TXT");
    EXPECT_EQ(get_file(&volume, "SUB/C.BIN"), pattern_bytes(100, 3));
    fat_volume_close(&volume);
    ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
    EXPECT_EQ(fat_volume_free_bytes(volume), free_bytes - 1024);
    fat_volume_close(&volume);
}
