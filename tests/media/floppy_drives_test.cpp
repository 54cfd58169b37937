// Floppy drives seen through the engine's file services: a folder of disk
// images, one image, a device node, the folder -D names, and the host's drive
// kinds; the images judged by the Debian disk tools.
#include "media/floppy_drives.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "media/fat_format.h"
#include "media/fat_test_tools.h"
#include "media/floppy_operations.h"
#include "media/floppy_probe.h"
#include "support/test_support.h"
#include "sys/binary_file.h"
#include "sys/directory.h"
#include "sys/files.h"
#include "sys/host_paths.h"
#include "sys/text_file.h"
#include "sys/volumes.h"

namespace {

// Every test leaves the drives as it found them, not followed.
class FloppyDrives : public ::testing::Test {
protected:
    void TearDown() override {
        floppy_drives_stop_following();
        floppy_drive_unbind("A:\\");
    }
    TempDir dir;
};

ResultCode write_engine_file(std::string_view path, const std::string& bytes) {
    BinaryFile* file = nullptr;
    ResultCode rc = binary_file_open(&file, path, BINARY_WRITE);
    if (rc != RC_OK) return rc;
    for (size_t at = 0; at < bytes.size() && rc == RC_OK; at += 49152)
        rc = binary_file_write(file, bytes.data() + at, std::min<size_t>(49152, bytes.size() - at));
    ResultCode closed = binary_file_close(file);
    return rc != RC_OK ? rc : closed;
}

std::string read_engine_file(std::string_view path) {
    BinaryFile* file = nullptr;
    if (binary_file_open(&file, path, BINARY_READ) != RC_OK) return "<cannot open>";
    std::string bytes;
    char buffer[4096];
    size_t got = 0;
    while (binary_file_read(file, buffer, sizeof buffer, &got) == RC_OK && got > 0)
        bytes.append(buffer, got);
    binary_file_close(file);
    return bytes;
}

// "NAME size|" for every entry of the engine directory `path`.
std::string listing_of(std::string_view path) {
    DirectoryListing* listing = directory_open(path);
    if (!listing) return "<cannot list>";
    std::string out;
    while (directory_next(listing) == RC_OK)
        out += directory_entry_name(listing) + (directory_entry_is_directory(listing) ? "/" : "") +
               " " + std::to_string(directory_entry_size(listing)) + "|";
    directory_close(listing);
    return out;
}

}  // namespace

TEST_F(FloppyDrives, AFolderOfImagesTakesFilesAndFindsDisksByLabelInALaterRun) {
    require_tool("mdir");
    require_tool("mtype");
    require_tool("fsck.fat");
    const std::string setup = pattern_bytes(100000, 7);
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, dir.path()), RC_OK);

    // No disk yet: nothing to read, nothing to write.
    std::string label_base = "PRODUCT";
    uint32_t number = 1;
    EXPECT_EQ(disk_check_label("A:\\", &label_base, &number), RC_OS_ERROR);
    EXPECT_EQ(write_engine_file("A:\\SETUP.EXE", setup), RC_DEVICE_NOT_READY);

    // A blank 3.5LD disk has the medium's figures and an empty root.
    ASSERT_EQ(floppy_drive_insert_blank("a:/", "3.5LD"), RC_OK);
    uint32_t free_bytes = 0, cluster = 0;
    ASSERT_EQ(volume_space("A:\\", &free_bytes, &cluster), RC_OK);
    EXPECT_EQ(free_bytes, 730112u);
    EXPECT_EQ(cluster, 1024u);
    bool empty = false;
    ASSERT_EQ(disk_root_is_empty("A:\\", &empty), RC_OK);
    EXPECT_TRUE(empty);
    EXPECT_EQ(disk_check_label("A:\\", &label_base, &number), RC_FILE_NOT_FOUND);

    // Labelled, the image takes the label's name; then files go onto it.
    ASSERT_EQ(disk_set_label("A:\\", "Product", 1), RC_OK);
    EXPECT_EQ(folder_names(dir.path()), "PRODUCT_1.img|");
    EXPECT_EQ(disk_check_label("A:\\", &label_base, &number), RC_OK);
    ASSERT_EQ(write_engine_file("A:\\SETUP.EXE", setup), RC_OK);
    ASSERT_EQ(directory_make("A:\\Release Notes"), RC_OK);
    TextFile* notes = nullptr;
    ASSERT_EQ(text_file_open_write(&notes, "A:\\Release Notes", "", "Read me first", "txt"), RC_OK);
    text_file_write_text(notes, "line one\n");
    ASSERT_EQ(text_file_close(notes), RC_OK);
    ASSERT_EQ(text_file_open_append(&notes, "A:\\RELEASE NOTES", "", "read me first", "TXT"),
              RC_OK);
    text_file_write_text(notes, "line two\n");
    ASSERT_EQ(text_file_close(notes), RC_OK);

    EXPECT_EQ(listing_of("A:\\"), "Release Notes/ 0|SETUP.EXE 100000|");
    EXPECT_EQ(read_engine_file("a:\\setup.exe"), setup);
    bool empty_now = true;
    ASSERT_EQ(disk_root_is_empty("A:\\", &empty_now), RC_OK);
    EXPECT_FALSE(empty_now);
    ASSERT_EQ(volume_space("A:\\", &free_bytes, &cluster), RC_OK);
    EXPECT_EQ(free_bytes,
              730112u - 98u * 1024 - 2u * 1024);  // 98 clusters of data, a directory, the notes

    // The tools read the image as we wrote it.
    const std::string image = dir.at("PRODUCT_1.img");
    ToolRun listing = mdir(image);
    EXPECT_NE(listing.output.find("PRODUCT 1"), std::string::npos) << listing.output;
    EXPECT_NE(listing.output.find("100000"), std::string::npos) << listing.output;
    EXPECT_EQ(mtype(image, "SETUP.EXE"), setup);
    EXPECT_EQ(mtype(image, "Release Notes/Read me first.txt"), "line one\r\nline two\r\n");
    EXPECT_EQ(fsck(image).status, 0) << fsck(image).output;

    // A later run: the drive is bound afresh, a blank disk is in it, and
    // asking for "PRODUCT 1" brings that disk back.
    floppy_drive_unbind("A:\\");
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, dir.path()), RC_OK);
    ASSERT_EQ(floppy_drive_insert_blank("A:\\", "3.5HD"), RC_OK);
    EXPECT_EQ(folder_names(dir.path()), "BLANK.img|PRODUCT_1.img|");
    number = 2;
    EXPECT_EQ(disk_check_label("A:\\", &label_base, &number), RC_FILE_NOT_FOUND);
    number = 1;
    EXPECT_EQ(disk_check_label("A:\\", &label_base, &number), RC_OK);
    EXPECT_EQ(read_engine_file("A:\\SETUP.EXE"), setup);
    std::string parsed_base;
    uint32_t parsed_number = 0;
    ASSERT_EQ(disk_check_label("A:\\", &parsed_base, &parsed_number), RC_OK);
    EXPECT_EQ(parsed_base, "PRODUCT");
    EXPECT_EQ(parsed_number, 1u);
}

TEST_F(FloppyDrives, AFullDiskAnswersUnableToWriteAndStaysSound) {
    require_tool("mtype");
    require_tool("fsck.fat");
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, dir.path()), RC_OK);
    ASSERT_EQ(floppy_drive_insert_blank("A:\\", "3.5LD"), RC_OK);
    ASSERT_EQ(disk_set_label("A:\\", "FULL", 1), RC_OK);

    // A text file of one cluster, then exactly the rest of the capacity fits;
    // then not a byte more.
    TextFile* notes = nullptr;
    ASSERT_EQ(text_file_open_write(&notes, "A:\\", "", "NOTES", "TXT"), RC_OK);
    text_file_write_text(notes, "old\n");
    ASSERT_EQ(text_file_close(notes), RC_OK);
    const std::string filler = pattern_bytes(730112 - 1024, 3);
    ASSERT_EQ(write_engine_file("A:\\FILLER.BIN", filler), RC_OK);
    uint32_t free_bytes = 1, cluster = 0;
    ASSERT_EQ(volume_space("A:\\", &free_bytes, &cluster), RC_OK);
    EXPECT_EQ(free_bytes, 0u);
    EXPECT_EQ(write_engine_file("A:\\MORE.BIN", "x"), RC_UNABLE_TO_WRITE);

    // A longer text does not fit in place of the former one, which stays.
    ASSERT_EQ(text_file_open_write(&notes, "A:\\", "", "NOTES", "TXT"), RC_OK);
    text_file_write_text(notes, std::string(2000, 'n'));
    EXPECT_EQ(text_file_close(notes), RC_UNABLE_TO_WRITE);
    std::string bytes;
    ASSERT_EQ(file_read_all("A:\\NOTES.TXT", &bytes), RC_OK);
    EXPECT_EQ(bytes, "old\r\n");

    // Making room and writing too much stops at the disk's end.
    ASSERT_EQ(file_delete("A:\\FILLER.BIN"), RC_OK);
    EXPECT_EQ(write_engine_file("A:\\BIG.BIN", pattern_bytes(800000, 4)), RC_UNABLE_TO_WRITE);
    uint32_t size = 0;
    ASSERT_EQ(file_size("A:\\BIG.BIN", &size), RC_OK);
    EXPECT_EQ(size, 730112u - 1024);

    const std::string image = dir.at("FULL_1.img");
    EXPECT_EQ(fsck(image).status, 0) << fsck(image).output;
    EXPECT_EQ(mtype(image, "BIG.BIN"), pattern_bytes(800000, 4).substr(0, 730112 - 1024));
}

TEST_F(FloppyDrives, FileServicesOnAFloppyPathAnswerLikeTheHostOnes) {
    require_tool("mattrib");
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, dir.path()), RC_OK);
    ASSERT_EQ(floppy_drive_insert_blank("A:\\", "3.5HD"), RC_OK);

    bool exists = true;
    ASSERT_EQ(file_exists("A:\\NOTHERE.TXT", &exists), RC_OK);
    EXPECT_FALSE(exists);
    EXPECT_EQ(file_delete("A:\\NOTHERE.TXT"), RC_OK);
    uint32_t size = 0;
    EXPECT_EQ(file_size("A:\\NOTHERE.TXT", &size), RC_FILE_NOT_FOUND);
    EXPECT_EQ(file_size("A:\\", &size), RC_OS_ERROR);
    std::string full;
    ASSERT_EQ(directory_make("A:\\KIT"), RC_OK);
    ASSERT_EQ(directory_make("A:\\KIT"), RC_OK);  // one already there is fine
    ASSERT_EQ(directory_full_path("a:/kit", &full), RC_OK);
    EXPECT_EQ(full, "a:\\kit");

    // Times go from a host file to the disk and back, to FAT's two seconds.
    const std::string host_file = dir.at("source.bin");
    write_host_file(host_file, "abc");
    const struct timespec old_times[2] = {{946728000, 0}, {946728000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, host_file.c_str(), old_times, 0), 0);
    ASSERT_EQ(write_engine_file("A:\\KIT\\SOURCE.BIN", "abc"), RC_OK);
    bool not_older = true;
    ASSERT_EQ(file_not_older("A:\\KIT\\SOURCE.BIN", engine_path(host_file), &not_older), RC_OK);
    EXPECT_FALSE(not_older);  // the disk's copy was just written
    ASSERT_EQ(file_copy_times(engine_path(host_file), "A:\\KIT\\SOURCE.BIN"), RC_OK);
    ASSERT_EQ(file_not_older("A:\\KIT\\SOURCE.BIN", engine_path(host_file), &not_older), RC_OK);
    EXPECT_TRUE(not_older);
    ASSERT_EQ(file_not_older(engine_path(host_file), "A:\\KIT\\SOURCE.BIN", &not_older), RC_OK);
    EXPECT_TRUE(not_older);

    // A read-only file is deleted all the same.
    ASSERT_EQ(run_tool("mattrib -i '" + dir.at("BLANK.img") + "' +r ::KIT/SOURCE.BIN").status, 0);
    ASSERT_EQ(file_delete("A:\\KIT\\SOURCE.BIN"), RC_OK);
    ASSERT_EQ(file_exists("A:\\KIT\\SOURCE.BIN", &exists), RC_OK);
    EXPECT_FALSE(exists);
    std::string bytes;
    EXPECT_EQ(file_read_all("A:\\KIT\\SOURCE.BIN", &bytes), RC_FILE_NOT_FOUND);
}

TEST_F(FloppyDrives, RelabellingKeepsTheOlderImageOfTheSameName) {
    require_tool("mtype");
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, dir.path()), RC_OK);
    ASSERT_EQ(floppy_drive_insert_blank("A:\\", "3.5HD"), RC_OK);
    ASSERT_EQ(disk_set_label("A:\\", "Kit", 1), RC_OK);
    ASSERT_EQ(write_engine_file("A:\\OLD.TXT", "old"), RC_OK);
    ASSERT_EQ(floppy_drive_insert_blank("A:\\", "3.5HD"), RC_OK);
    ASSERT_EQ(disk_set_label("A:\\", "KIT", 1), RC_OK);
    EXPECT_EQ(folder_names(dir.path()), "KIT_1.img|KIT_1~2.img|");
    EXPECT_EQ(mtype(dir.at("KIT_1~2.img"), "OLD.TXT"), "old");
    EXPECT_EQ(listing_of("A:\\"), "");

    // A label the FAT cannot hold is refused and names nothing.
    EXPECT_EQ(disk_set_label("A:\\", "MUCH TOO LONG", 1), RC_FILE_NOT_FOUND);
    EXPECT_EQ(folder_names(dir.path()), "KIT_1.img|KIT_1~2.img|");
    EXPECT_EQ(floppy_image_name("a/b..c 2"), "A_B__C_2.img");
    EXPECT_EQ(floppy_drive_insert_blank("A:\\", "8inch"), RC_INVALID_MEDIA_SIZE);
}

TEST_F(FloppyDrives, AnImageFromMformatAndACorruptImageInTheFolder) {
    require_tool("mformat");
    const std::string image = dir.at("tool.img");
    ASSERT_EQ(run_tool("mformat -C -i '" + image + "' -f 1440 -v TOOLDISK ::").status, 0);
    write_host_file(dir.at("JUNK.img"), std::string(1474560, '\xF6'));

    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_IMAGE, image), RC_OK);
    std::string label;
    ASSERT_EQ(volume_label("A:\\", &label), RC_OK);
    EXPECT_EQ(label, "TOOLDISK");
    uint32_t free_bytes = 0, cluster = 0;
    ASSERT_EQ(volume_space("A:\\", &free_bytes, &cluster), RC_OK);
    EXPECT_EQ(free_bytes, 1457664u);
    EXPECT_EQ(cluster, 512u);

    // A folder whose only other image is garbage: asking for JUNK finds
    // nothing readable, and a corrupt image in the drive reads as no disk.
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, dir.path()), RC_OK);
    std::string base = "TOOLDISK";
    uint32_t number = 0;
    EXPECT_EQ(disk_check_label("A:\\", &base, &number),
              RC_OS_ERROR);  // "TOOLDISK 0" is not on any disk
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_IMAGE, dir.at("JUNK.img")), RC_OK);
    EXPECT_EQ(volume_label("A:\\", &label), RC_FILE_CORRUPT);
    EXPECT_EQ(disk_check_label("A:\\", &base, &number), RC_OS_ERROR);
    EXPECT_EQ(listing_of("A:\\"), "<cannot list>");
    EXPECT_EQ(read_host_file(dir.at("JUNK.img")), std::string(1474560, '\xF6'));
}

TEST_F(FloppyDrives, ADashDFolderBecomesTheDriveAndFdZeroBecomesA) {
    require_tool("mtype");
    TempDir dev;
    ASSERT_EQ(fat_format_image(dev.at("fd0"), "3.5HD", "DEVDISK", 1), RC_OK);
    floppy_drives_start(dev.path());
    std::string label;
    ASSERT_EQ(volume_label("A:\\", &label), RC_OK);
    EXPECT_EQ(label, "DEVDISK");
    EXPECT_EQ(floppy_drive_insert_blank("A:\\", "3.5HD"), RC_DEVICE_NOT_READY);

    // -D with a host folder: paths under it go to the disk in that drive.
    const std::string root = engine_path(dir.path());
    floppy_drives_follow(root);
    ASSERT_EQ(floppy_drive_insert_blank(root, "3.5HD"), RC_OK);
    ASSERT_EQ(disk_set_label(root, "DEE", 1), RC_OK);
    ASSERT_EQ(write_engine_file(root + "\\DATA.CAB", "cab"), RC_OK);
    EXPECT_EQ(folder_names(dir.path()), "DEE_1.img|");
    EXPECT_EQ(mtype(dir.at("DEE_1.img"), "DATA.CAB"), "cab");
    EXPECT_EQ(floppy_drive_kind(root, "/nonexistent"), FLOPPY_KIND_35_HIGH);

    // Back to A:, the folder is a host folder again.
    floppy_drives_follow("A:\\");
    bool exists = false;
    ASSERT_EQ(file_exists(root + "\\DEE_1.img", &exists), RC_OK);
    EXPECT_TRUE(exists);
    ASSERT_EQ(volume_label("A:\\", &label), RC_OK);
    EXPECT_EQ(label, "DEVDISK");

    // -D with an image file makes that image the drive; with a folder of
    // other files (a staging area, say) the files stay the host's.
    floppy_drives_follow(root + "\\DEE_1.img");
    ASSERT_EQ(volume_label(root + "\\DEE_1.img", &label), RC_OK);
    EXPECT_EQ(label, "DEE 1");
    EXPECT_EQ(read_engine_file(root + "\\dee_1.img\\data.cab"), "cab");
    write_host_file(dir.at("kit/setup.inf"), "inf");
    floppy_drives_follow(root);
    EXPECT_EQ(read_engine_file(root + "\\kit\\setup.inf"), "inf");
    EXPECT_EQ(floppy_drive_kind(root, "/nonexistent"), FLOPPY_KIND_NONE);
}

TEST_F(FloppyDrives, DriveKindsComeFromTheBlockDevicesOfTheHost) {
    TempDir sys, dev;
    auto device = [&](const std::string& name, const char* removable, const char* sectors,
                      bool node) {
        write_host_file(sys.at("block/" + name + "/removable"), std::string(removable) + "\n");
        write_host_file(sys.at("block/" + name + "/size"), std::string(sectors) + "\n");
        if (node) write_host_file(dev.at(name), "");
    };
    device("fd0", "0", "2880", true);      // an fd device counts whatever "removable" says
    device("fd1", "1", "2400", false);     // no device node
    device("sda", "0", "2880", true);      // a fixed disk
    device("sdb", "1", "1440", true);      // a USB drive with a 720 KB disk
    device("sdc", "1", "31116288", true);  // a memory stick
    device("sdd", "1", "720", true);
    write_host_file(dev.at("fd"), "");  // /dev/fd is no drive

    std::vector<FloppyDevice> found = floppy_devices_probe(sys.path(), dev.path());
    std::string seen;
    for (const FloppyDevice& d : found)
        seen += d.device.substr(dev.path().size()) + "=" + std::to_string(d.kind) + " ";
    EXPECT_EQ(seen, "/fd0=4 /sdb=3 /sdd=1 ");
    EXPECT_EQ(floppy_kind_of_sectors(2400), FLOPPY_KIND_525_HIGH);
    EXPECT_EQ(floppy_kind_of_sectors(5760), FLOPPY_KIND_35_HIGH);
    EXPECT_EQ(floppy_kind_of_sectors(2464), FLOPPY_KIND_NONE);

    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_DEVICE, dev.at("sdb")), RC_OK);
    EXPECT_EQ(floppy_drive_kind("A:\\", sys.path()), FLOPPY_KIND_35_LOW);
    EXPECT_EQ(floppy_drive_kind("B:\\", sys.path()), FLOPPY_KIND_NONE);
}
