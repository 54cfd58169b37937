// Files and directories written through the volume module, judged by the
// Debian disk tools and read back through the module.
#include "media/fat_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "media/fat_directory.h"
#include "media/fat_format.h"
#include "media/fat_paths.h"
#include "media/fat_root.h"
#include "media/fat_test_tools.h"
#include "support/test_support.h"

namespace {

const char* all_media[] = {"3.5HD", "3.5LD", "3.5JHD", "3.5UD", "5.25HD", "5.25LD", "5.25JHD"};

const char long_name[] = "Installer Release Notes for Windows 95.txt";

// Formats `medium` into `image` and opens it.
void blank_volume(const std::string& image, const char* medium, FatVolume* volume) {
    ASSERT_EQ(fat_format_image(image, medium, "PRODUCT 1", 42), RC_OK);
    ASSERT_EQ(fat_volume_open(image, volume), RC_OK);
}

uint32_t rounded(uint32_t size, uint32_t cluster) {
    return (size + cluster - 1) / cluster * cluster;
}

std::string names_of(const std::vector<FatInfo>& list) {
    std::string names;
    for (const FatInfo& info : list) names += info.name + "|";
    return names;
}

}  // namespace

TEST(FatFiles, WhatWeWriteOnEveryMediumIsWhatTheToolsRead) {
    require_tool("mdir");
    require_tool("mtype");
    require_tool("fsck.fat");
    TempDir dir;
    std::string big = pattern_bytes(150000, 1);
    std::string small = pattern_bytes(700, 2);
    for (const char* medium : all_media) {
        SCOPED_TRACE(medium);
        std::string image = dir.at("disk.img");
        FatVolume volume;
        blank_volume(image, medium, &volume);
        uint32_t capacity = fat_volume_free_bytes(volume);
        uint32_t cluster = fat_volume_cluster_bytes(volume);

        ASSERT_EQ(put_file(&volume, "SETUP.EXE", big), RC_OK);
        ASSERT_EQ(put_file(&volume, "readme.txt", small), RC_OK);
        ASSERT_EQ(put_file(&volume, long_name, small), RC_OK);
        ASSERT_EQ(put_file(&volume, "EMPTY.DAT", ""), RC_OK);
        ASSERT_EQ(fat_path_make_directory(&volume, "Shared Files"), RC_OK);
        ASSERT_EQ(fat_path_make_directory(&volume, "shared files/LANG"), RC_OK);
        ASSERT_EQ(put_file(&volume, "SHARED FILES\\lang\\english.dll", big.substr(0, 3000)), RC_OK);
        uint32_t used = rounded(150000, cluster) + 2 * rounded(700, cluster) + 2 * cluster +
                        rounded(3000, cluster);
        EXPECT_EQ(fat_volume_free_bytes(volume), capacity - used);
        fat_volume_close(&volume);

        ToolRun check = fsck(image);
        EXPECT_EQ(check.status, 0) << check.output;
        ToolRun root = mdir(image);
        EXPECT_NE(root.output.find("Volume in drive : is PRODUCT 1"), std::string::npos)
            << root.output;
        EXPECT_NE(root.output.find("150000"), std::string::npos) << root.output;
        EXPECT_NE(root.output.find(long_name), std::string::npos) << root.output;
        EXPECT_NE(root.output.find("readme   txt"), std::string::npos) << root.output;
        EXPECT_NE(root.output.find("Shared Files"), std::string::npos) << root.output;
        EXPECT_EQ(mtype(image, "SETUP.EXE"), big);
        EXPECT_EQ(mtype(image, long_name), small);
        EXPECT_EQ(mtype(image, "Shared Files/LANG/english.dll"), big.substr(0, 3000));

        // And our own reading, opened afresh, agrees.
        ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
        EXPECT_EQ(get_file(&volume, "setup.exe"), big);
        EXPECT_EQ(get_file(&volume, "INSTALLER RELEASE NOTES FOR WINDOWS 95.TXT"), small);
        EXPECT_EQ(get_file(&volume, "/shared files/./lang/../LANG/ENGLISH.DLL"),
                  big.substr(0, 3000));
        EXPECT_EQ(get_file(&volume, "empty.dat"), "");
        fat_volume_close(&volume);
    }
}

TEST(FatFiles, ListingsGiveNamesSizesAndKinds) {
    TempDir dir;
    FatVolume volume;
    blank_volume(dir.at("disk.img"), "3.5HD", &volume);
    ASSERT_EQ(put_file(&volume, "a.txt", "abc"), RC_OK);
    ASSERT_EQ(fat_path_make_directory(&volume, "Sub"), RC_OK);
    ASSERT_EQ(put_file(&volume, long_name, "xy"), RC_OK);
    std::vector<FatInfo> list;
    ASSERT_EQ(fat_path_list(volume, "\\", &list), RC_OK);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "a.txt");
    EXPECT_EQ(list[0].size, 3u);
    EXPECT_FALSE(list[0].is_directory);
    // A name that fits 8.3 takes a single entry, so mixed case is not kept.
    EXPECT_EQ(list[1].name, "SUB");
    EXPECT_TRUE(list[1].is_directory);
    EXPECT_EQ(list[2].name, long_name);
    EXPECT_EQ(list[2].short_name, "INSTAL~1.TXT");
    // The made-up short name finds the file too.
    EXPECT_EQ(get_file(&volume, "instal~1.txt"), "xy");

    ASSERT_EQ(fat_path_list(volume, "sub", &list), RC_OK);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(fat_path_list(volume, "a.txt", &list), RC_FILE_NOT_FOUND);
    EXPECT_EQ(fat_path_list(volume, "nowhere", &list), RC_FILE_NOT_FOUND);
    bool empty = true;
    ASSERT_EQ(fat_volume_root_is_empty(volume, &empty), RC_OK);
    EXPECT_FALSE(empty);
}

TEST(FatFiles, ShortNamesOfSimilarLongNamesStayUnique) {
    require_tool("fsck.fat");
    require_tool("mdir");
    TempDir dir;
    FatVolume volume;
    std::string image = dir.at("disk.img");
    blank_volume(image, "3.5HD", &volume);
    ASSERT_EQ(fat_path_make_directory(&volume, "many"), RC_OK);
    // 40 long names sharing their first letters also make the directory
    // grow beyond its first cluster.
    for (int i = 0; i < 40; i++) {
        std::string name = "many\\Component number " + std::to_string(i) + ".cab";
        ASSERT_EQ(put_file(&volume, name, std::to_string(i)), RC_OK) << name;
    }
    std::vector<FatInfo> list;
    ASSERT_EQ(fat_path_list(volume, "many", &list), RC_OK);
    ASSERT_EQ(list.size(), 40u);
    EXPECT_EQ(list[0].short_name, "COMPON~1.CAB");
    EXPECT_EQ(list[9].short_name, "COMPO~10.CAB");
    for (size_t i = 0; i < list.size(); i++) {
        for (size_t j = 0; j < i; j++) EXPECT_NE(list[i].short_name, list[j].short_name);
        EXPECT_EQ(get_file(&volume, "many/" + list[i].short_name), std::to_string(i));
    }
    fat_volume_close(&volume);
    ToolRun check = fsck(image);
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_NE(mdir(image, "many").output.find("Component number 39.cab"), std::string::npos);
}

TEST(FatFiles, AFullDiskAnswersUnableToWriteAndStaysSound) {
    require_tool("fsck.fat");
    require_tool("mtype");
    TempDir dir;
    for (const char* medium : all_media) {
        SCOPED_TRACE(medium);
        std::string image = dir.at("disk.img");
        FatVolume volume;
        blank_volume(image, medium, &volume);
        uint32_t capacity = fat_volume_free_bytes(volume);

        // Filled to the last cluster: it fits exactly.
        std::string whole = pattern_bytes(capacity, 5);
        ASSERT_EQ(put_file(&volume, "WHOLE.BIN", whole), RC_OK);
        EXPECT_EQ(fat_volume_free_bytes(volume), 0u);
        // Nothing more fits; the new file stays, empty.
        FatFile file;
        ASSERT_EQ(fat_file_open(&volume, "MORE.BIN", FAT_OPEN_WRITE, &file), RC_OK);
        size_t written = 99;
        EXPECT_EQ(fat_file_write(&file, "x", 1, &written), RC_UNABLE_TO_WRITE);
        EXPECT_EQ(written, 0u);
        EXPECT_EQ(fat_file_close(&file), RC_OK);
        // A new directory finds no cluster either.
        EXPECT_EQ(fat_path_make_directory(&volume, "NODIR"), RC_UNABLE_TO_WRITE);
        fat_volume_close(&volume);
        ToolRun check = fsck(image);
        EXPECT_EQ(check.status, 0) << check.output;
        EXPECT_EQ(mtype(image, "WHOLE.BIN"), whole);

        // Deleting gives the room back; a file larger than the disk is
        // written as far as it fits and then refused.
        ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
        ASSERT_EQ(fat_path_delete(&volume, "whole.bin"), RC_OK);
        EXPECT_EQ(fat_volume_free_bytes(volume), capacity);
        std::string too_big = pattern_bytes(capacity + 5000, 6);
        EXPECT_EQ(put_file(&volume, "TOOBIG.BIN", too_big), RC_UNABLE_TO_WRITE);
        EXPECT_EQ(fat_volume_free_bytes(volume), 0u);
        FatInfo info;
        ASSERT_EQ(fat_path_stat(volume, "TOOBIG.BIN", &info), RC_OK);
        EXPECT_EQ(info.size, capacity);
        fat_volume_close(&volume);
        check = fsck(image);
        EXPECT_EQ(check.status, 0) << check.output;
        EXPECT_EQ(mtype(image, "TOOBIG.BIN"), too_big.substr(0, capacity));
    }
}

TEST(FatFiles, AFullRootAnswersUnableToWrite) {
    require_tool("fsck.fat");
    TempDir dir;
    for (const char* medium : all_media) {
        SCOPED_TRACE(medium);
        std::string image = dir.at("disk.img");
        FatVolume volume;
        blank_volume(image, medium, &volume);
        // One root entry holds the label. Fill all but one of the others,
        // then try a long name that needs three entries.
        size_t files = volume.layout.root_entries - 1;
        for (size_t i = 0; i + 1 < files; i++)
            ASSERT_EQ(put_file(&volume, "F" + std::to_string(i), "data"), RC_OK) << i;
        FatFile file;
        EXPECT_EQ(fat_file_open(&volume, long_name, FAT_OPEN_WRITE, &file), RC_UNABLE_TO_WRITE);
        uint32_t free_before = fat_volume_free_bytes(volume);
        ASSERT_EQ(put_file(&volume, "LAST.TXT", "last"), RC_OK);
        EXPECT_EQ(put_file(&volume, "ONEMORE.TXT", "x"), RC_UNABLE_TO_WRITE);
        // A directory that finds no entry gives its cluster back.
        EXPECT_EQ(fat_path_make_directory(&volume, "SUBDIR"), RC_UNABLE_TO_WRITE);
        EXPECT_EQ(fat_volume_free_bytes(volume), free_before - fat_volume_cluster_bytes(volume));
        std::vector<FatInfo> list;
        ASSERT_EQ(fat_path_list(volume, "", &list), RC_OK);
        EXPECT_EQ(list.size(), files);
        fat_volume_close(&volume);
        ToolRun check = fsck(image);
        EXPECT_EQ(check.status, 0) << check.output;
    }
}

TEST(FatFiles, HandlesAndAttributesRefuseWhatWindowsRefuses) {
    TempDir dir;
    FatVolume volume;
    blank_volume(dir.at("disk.img"), "3.5HD", &volume);
    ASSERT_EQ(put_file(&volume, "KEEP.TXT", "keep"), RC_OK);
    ASSERT_EQ(fat_path_make_directory(&volume, "DIR"), RC_OK);
    FatFile file, other;

    EXPECT_EQ(fat_file_open(&volume, "nowhere\\x.txt", FAT_OPEN_WRITE, &file), RC_FILE_NOT_FOUND);
    EXPECT_EQ(fat_file_open(&volume, "KEEP.TXT\\x.txt", FAT_OPEN_WRITE, &file), RC_FILE_NOT_FOUND);
    EXPECT_EQ(fat_file_open(&volume, "missing.txt", FAT_OPEN_READ, &file), RC_FILE_NOT_FOUND);
    EXPECT_EQ(fat_file_open(&volume, "a:b.txt", FAT_OPEN_WRITE, &file), RC_INVALID_FILE_NAME);
    EXPECT_EQ(fat_file_open(&volume, "trailing.", FAT_OPEN_WRITE, &file), RC_INVALID_FILE_NAME);
    EXPECT_EQ(fat_file_open(&volume, "DIR", FAT_OPEN_READ, &file), RC_PERMISSION_DENIED);
    EXPECT_EQ(fat_file_open(&volume, "\\", FAT_OPEN_WRITE, &file), RC_PERMISSION_DENIED);
    EXPECT_EQ(fat_path_delete(&volume, "DIR"), RC_PERMISSION_DENIED);
    EXPECT_EQ(fat_path_make_directory(&volume, "keep.txt"), RC_OS_ERROR);

    // A file open for writing can be neither opened again nor deleted.
    ASSERT_EQ(fat_file_open(&volume, "KEEP.TXT", FAT_OPEN_APPEND, &file), RC_OK);
    EXPECT_EQ(fat_file_open(&volume, "keep.txt", FAT_OPEN_READ, &other), RC_SHARING_VIOLATION);
    EXPECT_EQ(fat_path_delete(&volume, "keep.txt"), RC_SHARING_VIOLATION);
    size_t written = 0;
    ASSERT_EQ(fat_file_write(&file, " more", 5, &written), RC_OK);
    ASSERT_EQ(fat_file_close(&file), RC_OK);
    EXPECT_EQ(get_file(&volume, "keep.txt"), "keep more");
    // Two readers share; a writer is then refused.
    ASSERT_EQ(fat_file_open(&volume, "keep.txt", FAT_OPEN_READ, &file), RC_OK);
    ASSERT_EQ(fat_file_open(&volume, "KEEP.TXT", FAT_OPEN_READ, &other), RC_OK);
    FatFile writer;
    EXPECT_EQ(fat_file_open(&volume, "KEEP.TXT", FAT_OPEN_WRITE, &writer), RC_SHARING_VIOLATION);
    EXPECT_EQ(fat_file_write(&file, "x", 1, &written), RC_UNABLE_TO_WRITE);
    fat_file_close(&file);
    fat_file_close(&other);

    // Read-only files refuse writing and deletion until made writable.
    ASSERT_EQ(fat_path_set_times(&volume, "KEEP.TXT", 0, 0), RC_OK);
    FatDir root;
    ASSERT_EQ(fat_dir_load(volume, 0, &root), RC_OK);
    FatEntry entry;
    ASSERT_TRUE(fat_dir_find(root, "KEEP.TXT", &entry));
    fat_dir_slot(&root, entry.slot)[11] |= FAT_ATTR_READ_ONLY;
    ASSERT_EQ(fat_dir_store(&volume, root), RC_OK);
    EXPECT_EQ(fat_file_open(&volume, "KEEP.TXT", FAT_OPEN_WRITE, &file), RC_PERMISSION_DENIED);
    EXPECT_EQ(fat_path_delete(&volume, "KEEP.TXT"), RC_PERMISSION_DENIED);
    ASSERT_EQ(fat_path_make_writable(&volume, "keep.txt"), RC_OK);
    EXPECT_EQ(fat_path_delete(&volume, "KEEP.TXT"), RC_OK);
    EXPECT_EQ(fat_path_delete(&volume, "KEEP.TXT"), RC_FILE_NOT_FOUND);
}

TEST(FatFiles, RewritingAFileReplacesItsContentsAndFreesItsClusters) {
    TempDir dir;
    FatVolume volume;
    blank_volume(dir.at("disk.img"), "3.5HD", &volume);
    uint32_t capacity = fat_volume_free_bytes(volume);
    ASSERT_EQ(put_file(&volume, long_name, pattern_bytes(20000, 1)), RC_OK);
    ASSERT_EQ(put_file(&volume, "installer release notes for windows 95.TXT", "short now"), RC_OK);
    EXPECT_EQ(get_file(&volume, long_name), "short now");
    EXPECT_EQ(fat_volume_free_bytes(volume), capacity - 512);
    std::vector<FatInfo> list;
    ASSERT_EQ(fat_path_list(volume, "", &list), RC_OK);
    EXPECT_EQ(names_of(list), std::string(long_name) + "|");
}

TEST(FatFiles, TimesAndLabelsAreWhatOtherToolsShow) {
    require_tool("mdir");
    TempDir dir;
    std::string image = dir.at("disk.img");
    FatVolume volume;
    blank_volume(image, "3.5LD", &volume);
    ASSERT_EQ(put_file(&volume, "DATED.TXT", "d"), RC_OK);
    struct tm when {};
    when.tm_year = 97;
    when.tm_mon = 5;
    when.tm_mday = 14;
    when.tm_hour = 13;
    when.tm_min = 45;
    when.tm_sec = 31;
    when.tm_isdst = -1;
    time_t stamp = mktime(&when);
    ASSERT_EQ(fat_path_set_times(&volume, "dated.txt", stamp, stamp), RC_OK);
    FatInfo info;
    ASSERT_EQ(fat_path_stat(volume, "DATED.TXT", &info), RC_OK);
    EXPECT_EQ(info.write_time, stamp - 1);  // two-second steps
    EXPECT_EQ(fat_path_set_times(&volume, "none.txt", stamp, stamp), RC_FILE_NOT_FOUND);

    EXPECT_EQ(fat_volume_set_label(&volume, "new label 2"), RC_OK);
    EXPECT_EQ(fat_volume_set_label(&volume, "much too long"), RC_INVALID_FILE_NAME);
    EXPECT_EQ(fat_volume_set_label(&volume, "a.b"), RC_INVALID_FILE_NAME);
    std::string label;
    ASSERT_EQ(fat_volume_label(volume, &label), RC_OK);
    EXPECT_EQ(label, "NEW LABEL 2");
    fat_volume_close(&volume);
    ToolRun listing = mdir(image);
    EXPECT_NE(listing.output.find("is NEW LABEL 2"), std::string::npos) << listing.output;
    EXPECT_NE(listing.output.find("1997-06-14  13:45"), std::string::npos) << listing.output;
    // The boot sector carries the label too.
    EXPECT_EQ(read_host_file(image).substr(43, 11), "NEW LABEL 2");

    ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
    ASSERT_EQ(fat_volume_set_label(&volume, ""), RC_OK);
    ASSERT_EQ(fat_volume_label(volume, &label), RC_OK);
    EXPECT_EQ(label, "");
    EXPECT_EQ(read_host_file(image).substr(43, 11), "NO NAME    ");
}

TEST(FatFiles, AReadOnlyVolumeIsReadButNeverWritten) {
    TempDir dir;
    std::string image = dir.at("disk.img");
    FatVolume volume;
    blank_volume(image, "3.5HD", &volume);
    ASSERT_EQ(put_file(&volume, "A.TXT", "a"), RC_OK);
    fat_volume_close(&volume);
    std::string before = read_host_file(image);
    int fd = open(image.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fat_volume_open_fd(fd, true, &volume), RC_OK);
    EXPECT_EQ(get_file(&volume, "a.txt"), "a");
    EXPECT_EQ(put_file(&volume, "B.TXT", "b"), RC_WRITE_PROTECTED);
    EXPECT_EQ(fat_path_delete(&volume, "A.TXT"), RC_WRITE_PROTECTED);
    EXPECT_EQ(fat_volume_set_label(&volume, "X"), RC_WRITE_PROTECTED);
    EXPECT_EQ(fat_path_make_directory(&volume, "D"), RC_WRITE_PROTECTED);
    fat_volume_close(&volume);
    close(fd);
    EXPECT_EQ(read_host_file(image), before);
}
