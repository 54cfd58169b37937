// Copies onto numbered disks and back, in a drive bound to a folder of disk
// images, with a prompt that puts in blank disks; the images judged by the
// Debian disk tools.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "media/copy.h"
#include "media/fat_test_tools.h"
#include "media/floppy_drives.h"
#include "media/floppy_operations.h"
#include "support/test_support.h"
#include "sys/files.h"
#include "sys/text.h"

namespace {

// The user at the drive: notes every prompt, cancels on call `cancel_at`,
// puts in a blank disk from call `insert_from` on, and may rewrite the root.
struct FakeUser {
    std::string medium = "3.5HD";
    int calls = 0;
    int cancel_at = -1;
    int insert_from = 1;
    std::string root_typed;
    std::vector<std::string> prompts;
    std::vector<uint32_t> chunks;  // told to the progress callback
};

void fake_prompt(void* user, std::string* root, std::string_view text, uint32_t number,
                 std::string_view system, bool* cancelled, bool wrong_disk) {
    auto* fake = static_cast<FakeUser*>(user);
    ++fake->calls;
    fake->prompts.push_back(std::string(text) + " " + std::to_string(number) +
                            (wrong_disk ? " wrong" : "") + " (" + std::string(system) + ")");
    if (fake->calls == fake->cancel_at) {
        *cancelled = true;
        return;
    }
    if (fake->calls >= fake->insert_from) {
        EXPECT_EQ(floppy_drive_insert_blank(*root, fake->medium), RC_OK);
    }
    if (!fake->root_typed.empty()) *root = fake->root_typed;
}

class CopyDisks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, dir.path()), RC_OK);
    }
    void TearDown() override { floppy_drive_unbind("A:\\"); }
    CopyOptions disks(uint32_t start, uint32_t count) {
        CopyOptions options;
        options.floppy_root = &root;
        options.start_disk = start;
        options.disk_count = count;
        options.label_base = "KIT";
        options.label_text = "Veltra Kit Disk";
        options.prompt = fake_prompt;
        options.user = &user;
        return options;
    }
    TempDir dir;
    TempDir host;
    FakeUser user;
    std::string root = "A:\\";  // the floppy root the copies share
};

}  // namespace

TEST_F(CopyDisks, PiecesGoOntoLabelledDisksAndAreReadBackByTheirLabels) {
    require_tool("mdir");
    require_tool("mtype");
    require_tool("fsck.fat");
    const std::string data = pattern_bytes(2000000, 9);
    write_host_file(host.at("data.cab"), data);
    CopyOptions write = disks(4, 3);
    write.piece_sizes = {700000, 700000, 700000};
    ASSERT_EQ(copy_file(engine_path(host.at("data.cab")), "data.cab", write), RC_OK);
    EXPECT_EQ(user.prompts, (std::vector<std::string>{"Veltra Kit Disk 4 (Windows 32)",
                                                      "Veltra Kit Disk 5 (Windows 32)",
                                                      "Veltra Kit Disk 6 (Windows 32)"}));
    EXPECT_NE(mdir(dir.at("KIT_4.img")).output.find("KIT 4"), std::string::npos);
    EXPECT_SAME_BYTES(mtype(dir.at("KIT_4.img"), "1ATA.CAB"), data.substr(0, 700000));
    EXPECT_SAME_BYTES(mtype(dir.at("KIT_5.img"), "2ATA.CAB"), data.substr(700000, 700000));
    EXPECT_SAME_BYTES(mtype(dir.at("KIT_6.img"), "0ATA.CAB"), data.substr(1400000));
    EXPECT_EQ(fsck(dir.at("KIT_5.img")).status, 0);

    // A file in two pieces on disks that already carry their labels: no
    // prompt, and reading finds piece 2 missing on disk 5 and takes "0".
    write_host_file(host.at("info.txt"), "first half|second half");
    struct timespec times[2] = {{978350400, 0}, {978350400, 0}};  // 2001-01-01 12:00 UTC
    utimensat(AT_FDCWD, host.at("info.txt").c_str(), times, 0);
    CopyOptions two = disks(4, 2);
    two.piece_sizes = {11, 100};
    ASSERT_EQ(copy_file(engine_path(host.at("info.txt")), "info.txt", two), RC_OK);
    EXPECT_EQ(user.calls, 3);
    EXPECT_EQ(mtype(dir.at("KIT_4.img"), "1NFO.TXT"), "first half|");
    EXPECT_EQ(mtype(dir.at("KIT_5.img"), "0NFO.TXT"), "second half");
    EXPECT_NE(mdir(dir.at("KIT_5.img")).output.find("2001-01-01"), std::string::npos)
        << mdir(dir.at("KIT_5.img")).output;  // the pieces keep the source's time

    // Reading back in a later run: the disks are found by their labels.
    floppy_drive_unbind("A:\\");
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, dir.path()), RC_OK);
    CopyOptions read = disks(4, 1);
    read.progress = [](void* u, uint32_t bytes) {
        static_cast<FakeUser*>(u)->chunks.push_back(bytes);
    };
    ASSERT_EQ(copy_from_disks("data.cab", engine_path(host.at("back.cab")), read), RC_OK);
    EXPECT_SAME_BYTES(read_host_file(host.at("back.cab")), data);
    uint64_t total = 0;
    for (uint32_t c : user.chunks) total += c;
    EXPECT_EQ(total, data.size());
    ASSERT_EQ(copy_from_disks("info.txt", engine_path(host.at("info.txt")), read), RC_OK);
    EXPECT_EQ(read_host_file(host.at("info.txt")), "first half|second half");
    EXPECT_EQ(user.calls, 3);

    // A file on none of the disks.
    EXPECT_EQ(copy_from_disks("none.cab", engine_path(host.at("none.cab")), read),
              RC_FILE_NOT_FOUND);
}

TEST_F(CopyDisks, CompressedPiecesFillEachDiskLessTheSlopAndExpandBack) {
    require_tool("mdir");
    require_tool("mtype");
    user.medium = "3.5LD";  // 730112 free bytes
    std::string data = pattern_bytes(500000, 4);
    data += std::string(300000, 'x') + pattern_bytes(100000, 5);
    write_host_file(host.at("setup.dll"), data);
    CopyOptions write = disks(1, 2);
    write.compress = true;
    write.slop_size = 10000;
    ASSERT_EQ(copy_file(engine_path(host.at("setup.dll")), "setup.dll", write), RC_OK);
    const std::string one = mtype(dir.at("KIT_1.img"), "_1ETUP.DLL");
    const std::string last = mtype(dir.at("KIT_2.img"), "_0ETUP.DLL");
    EXPECT_LE(one.size(), 730112u - 10000u);
    EXPECT_GE(one.size(), 730112u - 10000u - 2u);
    EXPECT_GT(last.size(), 0u);

    CopyOptions read = disks(1, 1);
    read.decompress = true;
    ASSERT_EQ(copy_file("setup.dll", engine_path(host.at("back.dll")), read), RC_OK);
    EXPECT_SAME_BYTES(read_host_file(host.at("back.dll")), data);

    // A slop above the free space leaves no room: nothing fits the pieces.
    CopyOptions no_room = disks(3, 2);
    no_room.compress = true;
    no_room.slop_size = 800000;
    EXPECT_EQ(copy_file(engine_path(host.at("setup.dll")), "setup.dll", no_room),
              RC_UNABLE_TO_WRITE);
    EXPECT_NE(text_fold(mdir(dir.at("KIT_3.img")).output).find("_1etup"), std::string::npos);
    const std::string disk4 = text_fold(mdir(dir.at("KIT_4.img")).output);
    EXPECT_NE(disk4.find("kit 4"), std::string::npos);
    EXPECT_EQ(disk4.find("_0etup"), std::string::npos) << disk4;  // deleted
}

TEST_F(CopyDisks, PromptsRepeatUntilTheRightDiskAndStopOnCancelOrABadLabel) {
    require_tool("mdir");
    require_tool("mtype");
    // Reading from disk 1 while a disk of another set is in the drive: the
    // first prompt does nothing, the second is told the disk is wrong.
    ASSERT_EQ(floppy_drive_insert_blank("A:\\", "3.5HD"), RC_OK);
    ASSERT_EQ(disk_set_label("A:\\", "OTHER", 1), RC_OK);
    FakeUser reader;
    reader.insert_from = 99;
    reader.cancel_at = 2;
    CopyOptions read = disks(1, 1);
    read.user = &reader;
    EXPECT_EQ(copy_from_disks("a.txt", engine_path(host.at("a.txt")), read), RC_USER_CANCELLED);
    EXPECT_EQ(reader.prompts, (std::vector<std::string>{"Veltra Kit Disk 1 (Windows 32)",
                                                        "Veltra Kit Disk 1 wrong (Windows 32)"}));

    // Writing: the prompt puts in a blank disk and types the root its own way.
    write_host_file(host.at("a.txt"), "alpha");
    user.root_typed = "a:/ \r\n";
    ASSERT_EQ(copy_file(engine_path(host.at("a.txt")), "a.txt", disks(1, 1)), RC_OK);
    EXPECT_EQ(user.calls, 1);
    EXPECT_EQ(root, "A:\\");
    EXPECT_EQ(mtype(dir.at("KIT_1.img"), "A.TXT"), "alpha");
    EXPECT_NE(mdir(dir.at("OTHER_1.img")).output.find("OTHER 1"), std::string::npos);
    EXPECT_EQ(drive_root_normalise("z:/tmp/floppies\t \n"), "Z:\\TMP\\FLOPPIES");

    // Cancelled at the second disk: the first piece stays, nothing more.
    FakeUser cancel;
    cancel.cancel_at = 2;
    CopyOptions two = disks(7, 2);
    two.user = &cancel;
    two.piece_sizes = {2, 10};
    EXPECT_EQ(copy_file(engine_path(host.at("a.txt")), "a.txt", two), RC_USER_CANCELLED);
    EXPECT_EQ(mtype(dir.at("KIT_7.img"), "1.TXT"), "al");
    EXPECT_FALSE(host_exists(dir.at("KIT_8.img")));

    // A label the disk cannot hold (over 11 characters) ends the copy at
    // once instead of prompting for ever.
    FakeUser once;
    CopyOptions long_label = disks(1, 1);
    long_label.label_base = "A LONG LABEL";
    long_label.user = &once;
    EXPECT_EQ(copy_file(engine_path(host.at("a.txt")), "a.txt", long_label), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(once.calls, 1);

    // No prompt to ask: the missing disk counts as cancelled.
    CopyOptions silent = disks(9, 1);
    silent.prompt = nullptr;
    EXPECT_EQ(copy_file(engine_path(host.at("a.txt")), "a.txt", silent), RC_USER_CANCELLED);
}
