// Writing a product's disks with -w into a folder of disk images: every
// image judged by fsck.fat and listed by mdir, every file read back with
// mtype and compared with the bytes it must hold, the labels, and what a
// refusal or a failure leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/disk_prompts.h"
#include "engine/disk_verify.h"
#include "kit_fixture.h"
#include "media/fat_test_tools.h"
#include "media/floppy_drives.h"
#include "sys/files.h"

namespace {

using Files = std::map<std::string, std::string>;

const std::string kVersionRow =
    "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false false false \"\" \"\"\n";

std::string row(const std::string& group, const std::string& source, uint32_t size) {
    return group + " \"\" \"" + source + "\" \"%TARGET%\\" + source + "\" " +
           std::to_string(size) + " false false false 0 0 0 \"\" \"\" \"\"\n";
}

// What the prompt was asked, and when it cancels.
struct Prompts {
    std::vector<std::string> asked;  // "<label text> <n>"
    uint32_t cancel_at = 0;          // the disk number that cancels, 0 for none
};

// The folder prompt, recording each question first.
void recording_prompt(void* user, std::string* root, std::string_view label_text, uint32_t disk,
                      std::string_view system, bool* cancelled, bool wrong) {
    RunContext* rc = static_cast<RunContext*>(user);
    Prompts* prompts = static_cast<Prompts*>(rc->disk_prompt_user);
    prompts->asked.push_back(std::string(label_text) + " " + std::to_string(disk));
    if (prompts->cancel_at == disk) {
        *cancelled = true;
        return;
    }
    disk_prompt_folder(user, root, label_text, disk, system, cancelled, wrong);
}

// The names on an image as `mdir -b` lists them, one a line.
std::string listing(const std::string& image) {
    ToolRun run = run_tool("mdir -b -i '" + image + "' '::'");
    EXPECT_EQ(run.status, 0) << run.output;
    return run.output;
}

std::string label_of(const std::string& image) {
    return run_tool("mlabel -s -i '" + image + "' '::'").output;
}

class DiskWriteTest : public KitTest {
protected:
    TempDir disks;
    Prompts prompts;

    void SetUp() override {
        require_tool("mtype");
        require_tool("mdir");
        require_tool("mlabel");
        require_tool("fsck.fat");
        ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, disks.path()), RC_OK);
        e.rc.disk_prompt = recording_prompt;
        e.rc.disk_prompt_user = &prompts;
    }
    void TearDown() override {
        file_services_faults_clear();
        floppy_root_set("A:\\");
        floppy_drive_unbind("A:\\");
    }
    std::string map_path() { return root + "\\p\\p.map"; }
    // Product p (Volume "V1", Interface Label "p label") with its map file,
    // verification file, installer script, then `files` in its map, and
    // `rows` before them; settled by a first run.
    void single(const Files& files, const std::string& rows = "") {
        file("win95.prd", kVersionRow + product_row(1, "p", "root", "p"));
        file("p/p.vrf", "");
        file("p/p.ins", "script of p\n");
        if (!rows.empty()) file("p/sub/b.dat", "bbb");
        std::string map = kMapHeader + rows + row("G", "p.map", 0) + row("G", "p.vrf", 0) +
                          row("G", "p.ins", 0);
        for (const auto& [path, bytes] : files) {
            file("p/" + path, bytes);
            map += row("G", path, 0);
        }
        file("p/p.map", map);
        ASSERT_EQ(run({"-f"}), RC_OK) << e.output;
    }
    ResultCode write(std::vector<std::string> extra = {}) {
        std::vector<std::string> words{"-n", "p", "-w", "-z", "5.25LD", "-D", "A:\\"};
        words.insert(words.end(), extra.begin(), extra.end());
        return run(words);
    }
    std::string image(int disk) { return disks.at("V1_" + std::to_string(disk) + ".img"); }
    std::string summary() {
        const ProductLayout& layout = e.rc.layouts.at(0);
        const LayoutDisk& last = layout.disks.at(layout.disks.size() - 1);
        std::string d = std::to_string(layout.disks.size());
        return "    " + map_path() + ": " + d + " disks required.  " +
               std::to_string(last.bytes_used) + " bytes used on disk " + d + ".  " +
               std::to_string(last.bytes_left) + " bytes remain on disk " + d + ".\r\n";
    }
    uint64_t total() {
        uint64_t sum = 0;
        namespace fs = std::filesystem;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kit.at("p")))
            if (entry.is_regular_file() &&
                entry.path().string().substr(kit.path().size()).find("diskward") ==
                    std::string::npos)
                sum += entry.file_size();
        return sum;
    }
    std::string ok_lines(const std::string& middle = "") {
        return opening() + "    " + map_path() + "\r\n" + summary() + middle + "    " +
               map_path() + ": " + std::to_string(total()) + "\r\n";
    }
    void image_is_sound(int disk) {
        ToolRun judged = fsck(image(disk));
        EXPECT_EQ(judged.status, 0) << judged.output;
        // The label field holds 11 characters, padded with blanks.
        std::string label = "V1 " + std::to_string(disk);
        EXPECT_EQ(label_of(image(disk)),
                  " Volume label is " + label + std::string(11 - label.size(), ' ') + "\n");
    }
};

}  // namespace

TEST_F(DiskWriteTest, AFileSplitOverThreeDisksIsWrittenInNamedPiecesAfterTheDiskOneFiles) {
    std::string big = pattern_bytes(800000, 1);
    single({{"big.bin", big}, {"notes.txt", "some notes\n"}}, row("G", "sub\\b.dat", 0));
    file("win95.ptp", "a table the user keeps\n");  // never the run's
    // Kept for the test: its removal fails after the disks are written, so
    // that the product table on disk 1 can be compared with it.
    file_services_fail_on(HOST_OP_UNLINK, "win95.ptp", EACCES);
    EXPECT_EQ(write(), RC_PERMISSION_DENIED);
    file_services_faults_clear();
    EXPECT_EQ(prompts.asked, (std::vector<std::string>{"p label 1", "p label 2", "p label 3"}));
    EXPECT_EQ(names_in(disks.path()),
              (std::vector<std::string>{"V1_1.img", "V1_2.img", "V1_3.img"}));
    for (int disk = 1; disk <= 3; ++disk) image_is_sound(disk);
    EXPECT_EQ(listing(image(1)),
              "::/win95.prd\n::/p.map\n::/p.vrf\n::/p.ins\n::/1ig.bin\n");
    EXPECT_EQ(listing(image(2)), "::/2ig.bin\n");
    EXPECT_EQ(listing(image(3)), "::/0ig.bin\n::/notes.txt\n");
    EXPECT_SAME_BYTES(mtype(image(1), "WIN95.PRD"), read("p/diskward/win95.ptp"));
    EXPECT_EQ(read("win95.ptp"), "a table the user keeps\n");
    EXPECT_SAME_BYTES(mtype(image(1), "P.MAP"), read("p/diskward/p.5ld"));
    EXPECT_SAME_BYTES(mtype(image(1), "P.VRF"), read("p/p.vrf"));
    EXPECT_SAME_BYTES(mtype(image(1), "P.INS"), read("p/p.ins"));
    EXPECT_SAME_BYTES(mtype(image(3), "NOTES.TXT"), read("p/notes.txt"));
    std::string joined =
        mtype(image(1), "1IG.BIN") + mtype(image(2), "2IG.BIN") + mtype(image(3), "0IG.BIN");
    EXPECT_SAME_BYTES(joined, big);
    // The component with a directory part is placed but not written.
    std::string kept = e.output;
    EXPECT_EQ(kept, ok_lines("    sub\\b.dat Not written to disk: the name has a directory part\r\n") +
                        "    " + map_path() + ": Permission Denied\r\n");
}

TEST_F(DiskWriteTest, ASecondRunFindsTheDisksByTheirLabelsAndWritesThemAgain) {
    std::string big = pattern_bytes(800000, 2);
    single({{"big.bin", big}});
    ASSERT_EQ(write(), RC_OK) << e.output;
    std::string first_report = e.output;
    EXPECT_EQ(first_report, ok_lines());
    EXPECT_EQ(prompts.asked, (std::vector<std::string>{"p label 1", "p label 2", "p label 3"}));
    // The same product again: no disk is asked for, none is added, and each
    // holds what it held.
    prompts.asked.clear();
    std::map<std::string, std::string> before;
    for (int disk = 1; disk <= 3; ++disk) before[listing(image(disk))] = std::to_string(disk);
    ASSERT_EQ(write(), RC_OK) << e.output;
    EXPECT_EQ(e.output, first_report);
    EXPECT_EQ(prompts.asked, std::vector<std::string>{});
    EXPECT_EQ(names_in(disks.path()),
              (std::vector<std::string>{"V1_1.img", "V1_2.img", "V1_3.img"}));
    for (int disk = 1; disk <= 3; ++disk) image_is_sound(disk);
    EXPECT_EQ(listing(image(1)), "::/win95.prd\n::/p.map\n::/p.vrf\n::/p.ins\n::/1ig.bin\n");
    EXPECT_EQ(listing(image(2)), "::/2ig.bin\n");
    EXPECT_EQ(listing(image(3)), "::/0ig.bin\n");
    EXPECT_SAME_BYTES(mtype(image(1), "1ig.bin") + mtype(image(2), "2ig.bin") +
                          mtype(image(3), "0ig.bin"),
                      big);
    EXPECT_SAME_BYTES(mtype(image(1), "p.map"), read("p/diskward/p.5ld"));
}

TEST_F(DiskWriteTest, ACancelledPromptEndsTheWritingWithTheDisksWrittenSoFarIntact) {
    std::string big = pattern_bytes(800000, 3);
    single({{"big.bin", big}});
    prompts.cancel_at = 2;
    EXPECT_EQ(write(), RC_USER_CANCELLED);
    EXPECT_EQ(e.output, ok_lines() + "    " + map_path() + ": User Cancelled\r\n");
    EXPECT_EQ(prompts.asked, (std::vector<std::string>{"p label 1", "p label 2"}));
    EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{"V1_1.img"});
    image_is_sound(1);
    EXPECT_EQ(listing(image(1)), "::/win95.prd\n::/p.map\n::/p.vrf\n::/p.ins\n::/1ig.bin\n");
    std::string piece = mtype(image(1), "1ig.bin");
    ASSERT_LT(piece.size(), big.size());
    EXPECT_SAME_BYTES(piece, big.substr(0, piece.size()));
    EXPECT_SAME_BYTES(mtype(image(1), "p.vrf"), read("p/p.vrf"));
    EXPECT_SAME_BYTES(mtype(image(1), "p.ins"), read("p/p.ins"));
    EXPECT_FALSE(host_exists(kit.at("win95.ptp")));
}

TEST_F(DiskWriteTest, AFileOfMorePiecesThanPieceNamesIsRefusedBeforeAnythingIsWritten) {
    // Eleven disks of 5.25LD: piece names run out after "9".
    single({{"huge.bin", std::string(3800000, 'h')}, {"small.txt", "s"}});
    EXPECT_EQ(write(), RC_TOO_MANY_SEGMENTS);
    // The refusal comes before the check's closing line.
    std::string closing = "    " + map_path() + ": " + std::to_string(total()) + "\r\n";
    std::string lines = ok_lines();
    EXPECT_EQ(e.output, lines.substr(0, lines.size() - closing.size()) +
                            "    huge.bin: File has too many split file segments\r\n" + closing);
    EXPECT_EQ(prompts.asked, std::vector<std::string>{});
    EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
    EXPECT_FALSE(host_exists(kit.at("win95.ptp")));
}

TEST_F(DiskWriteTest, TwoFilesOfOneNameOnOneDiskAreRefusedBeforeAnythingIsWritten) {
    // The first piece of big.bin would be named 1ig.bin on disk 1, where the
    // file 1ig.bin already goes.
    single({{"1ig.bin", "one"}, {"big.bin", pattern_bytes(500000, 5)}});
    EXPECT_EQ(write(), RC_INVALID_FILE_NAME) << e.output;
    ASSERT_EQ(e.rc.layouts.size(), 1u) << e.output;
    std::string closing = "    " + map_path() + ": " + std::to_string(total()) + "\r\n";
    std::string lines = ok_lines();
    EXPECT_EQ(e.output, lines.substr(0, lines.size() - closing.size()) +
                            "    big.bin: Invalid File Name\r\n" + closing);
    EXPECT_EQ(prompts.asked, std::vector<std::string>{});
    EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
    EXPECT_FALSE(host_exists(kit.at("win95.ptp")));
}

TEST_F(DiskWriteTest, AProductWithoutAVolumeIsRefused) {
    single({{"notes.txt", "n"}});
    std::string products = read("win95.prd");
    products.replace(products.rfind("\"V1\""), 4, "\"\"");
    file("win95.prd", products);
    ASSERT_EQ(run({"-f"}), RC_OK) << e.output;
    EXPECT_EQ(write(), RC_NO_VOLUME_LABEL);
    EXPECT_EQ(e.output, ok_lines() + "    " + map_path() + ": No Volume Label Specified\r\n");
    EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
}

TEST_F(DiskWriteTest, AFullDiskEndsTheWritingWithAWriteFailure) {
    std::string big = pattern_bytes(800000, 4);
    single({{"big.bin", big}});
    // Room for the first disk's files and part of the second disk's piece.
    file_services_fail_writes_after(362496 + 550000, ENOSPC);
    EXPECT_EQ(write(), RC_UNABLE_TO_WRITE);
    file_services_faults_clear();
    EXPECT_EQ(e.output, ok_lines() + "    " + map_path() + ": Unable to Write\r\n");
    image_is_sound(1);
    std::string piece = mtype(image(1), "1ig.bin");
    EXPECT_SAME_BYTES(piece, big.substr(0, piece.size()));
}

TEST(DiskPrompt, TheQuestionAndEachCheckOfANewDiskHaveTheirTexts) {
    require_tool("mcopy");
    TempDir dir;
    write_host_file(dir.at("drive.img"), "");
    ASSERT_EQ(floppy_drive_bind("B:\\", FLOPPY_IMAGE, dir.at("drive.img")), RC_OK);
    RunContext rc;
    rc.media_capacity = 362496;  // 5.25LD
    rc.cluster_size = 1024;
    EXPECT_EQ(disk_prompt_medium(&rc), "5.25LD");
    EXPECT_EQ(disk_prompt_question("Kit label", 3, "B:\\"),
              "Insert disk to be labeled 'Kit label 3' into drive 'B:\\'");
    // Clusters of 512 bytes.
    ASSERT_EQ(floppy_drive_insert_blank("B:\\", "3.5HD"), RC_OK);
    EXPECT_EQ(disk_prompt_check(&rc, "B:\\"), "The disk in 'B:\\' has the wrong sector size.");
    // Clusters of 1024 bytes, but twice the room.
    ASSERT_EQ(floppy_drive_insert_blank("B:\\", "3.5LD"), RC_OK);
    EXPECT_EQ(disk_prompt_check(&rc, "B:\\"), "The disk in 'B:\\' is the wrong size.");
    ASSERT_EQ(floppy_drive_insert_blank("B:\\", "5.25LD"), RC_OK);
    EXPECT_EQ(disk_prompt_check(&rc, "B:\\"), "");
    write_host_file(dir.at("file.txt"), "x");
    ToolRun copied = run_tool("mcopy -i '" + dir.at("drive.img") + "' '" + dir.at("file.txt") + "' ::");
    ASSERT_EQ(copied.status, 0) << copied.output;
    EXPECT_EQ(disk_prompt_check(&rc, "B:\\"), "The disk in 'B:\\' is not empty.");
    // Not a FAT volume at all.
    write_host_file(dir.at("drive.img"), std::string(4096, 'z'));
    EXPECT_EQ(disk_prompt_check(&rc, "B:\\"), "There is a problem reading from the disk in 'B:\\'.");
    floppy_drive_unbind("B:\\");
}

TEST_F(DiskWriteTest, ReadingTheDisksBackGivesEveryStagingFileAndTellsWhatDiffers) {
    std::string big = pattern_bytes(800000, 6);
    std::string text;
    for (int i = 0; text.size() < 20000; ++i) text += "line " + std::to_string(i) + " of text\n";
    single({{"big.bin", big}, {"text.dat", text}});
    ASSERT_EQ(write({"-c"}), RC_OK) << e.output;
    ASSERT_TRUE(host_exists(kit.at("p/diskward/_text.dat")));
    // The compressed copy is stored as it is, under its compressed name.
    int last = int(e.rc.layouts.at(0).disks.size());
    std::string where;
    for (int disk = 1; disk <= last; ++disk)
        if (listing(image(disk)).find("::/_text.dat\n") != std::string::npos)
            where = mtype(image(disk), "_text.dat");
    EXPECT_SAME_BYTES(where, read("p/diskward/_text.dat"));
    std::string scratch = engine_path(kit.at("scratch"));
    DiskVerification verification;
    ASSERT_EQ(disk_verify(&e.rc, scratch, &verification), RC_OK);
    // p.map (the density map file), p.vrf, p.ins, big.bin and text.dat; the
    // product table file is gone after the run.
    EXPECT_EQ(verification.checked, 5u);
    EXPECT_EQ(verification.mismatches, std::vector<std::string>{});
    file("p/text.dat", text + "more");
    file("p/big.bin", big.substr(1));
    verification = DiskVerification{};
    ASSERT_EQ(disk_verify(&e.rc, scratch, &verification), RC_OK);
    EXPECT_EQ(verification.checked, 5u);
    EXPECT_EQ(verification.mismatches,
              (std::vector<std::string>{"_big.bin from disk 1 differs from " + root + "\\p\\big.bin",
                                        "_text.dat from disk " + std::to_string(last) +
                                            " differs from " + root + "\\p\\text.dat"}));
    EXPECT_FALSE(host_exists(kit.at("scratch")));
}

TEST_F(DiskWriteTest, AMissingCompressedCopyEndsTheWritingWithFileNotFound) {
    std::string text;
    for (int i = 0; text.size() < 20000; ++i) text += "line " + std::to_string(i) + " of text\n";
    single({{"text.dat", text}});
    ASSERT_EQ(run({"-n", "p", "-a", "-c", "-z", "5.25LD"}), RC_OK) << e.output;
    // The copy is current, so the compression pass only looks at its time;
    // when the writer opens it, it is gone.
    file_services_fail_on(HOST_OP_OPEN, "_text.dat", ENOENT);
    EXPECT_EQ(write({"-c"}), RC_FILE_NOT_FOUND);
    file_services_faults_clear();
    EXPECT_EQ(e.output, ok_lines() + "    " + map_path() + ": File Not Found\r\n");
    image_is_sound(1);
    EXPECT_EQ(listing(image(1)), "::/win95.prd\n::/p.map\n::/p.vrf\n::/p.ins\n");
}

TEST_F(DiskWriteTest, TheDependentProductsTravelOnDiskOne) {
    // a needs b; b has a "lang" file and is assigned first.
    file("win95.prd", kVersionRow + product_row(1, "a", "root", "a") +
                          product_row(2, "b", "root", "b"));
    for (const std::string name : {"a", "b"}) {
        file(name + "/" + name + ".ins", "script of " + name + "\n");
        file(name + "/" + name + ".dat", name + " data\n");
    }
    file("a/a.vrf", "b\n");
    file("b/b.vrf", "");
    file("b/b.lng", "words of b\n");
    file("a/a.map", kMapHeader + row("G", "a.map", 0) + row("G", "a.vrf", 0) +
                        row("G", "a.ins", 0) + row("G", "a.dat", 0));
    file("b/b.map", kMapHeader + row("G", "b.map", 0) + row("G", "b.vrf", 0) +
                        row("G", "b.ins", 0) + row("lang", "b.lng", 0) + row("G", "b.dat", 0));
    ASSERT_EQ(run({"-f"}), RC_OK) << e.output;
    ASSERT_EQ(run({"-n", "b", "-a", "-z", "5.25LD"}), RC_OK) << e.output;
    std::string assigned_alone;
    ASSERT_EQ(run({"-n", "a", "-a", "-z", "5.25LD"}), RC_OK) << e.output;
    assigned_alone = e.output;
    file_services_fail_on(HOST_OP_UNLINK, "win95.ptp", EACCES);
    EXPECT_EQ(run({"-n", "a", "-w", "-z", "5.25LD", "-D", "A:\\"}), RC_PERMISSION_DENIED);
    file_services_faults_clear();
    EXPECT_EQ(e.output, assigned_alone + "    " + root + "\\a\\a.map: Permission Denied\r\n");
    EXPECT_EQ(prompts.asked, std::vector<std::string>{"a label 1"});
    image_is_sound(1);
    // In the order the disk-1 reservation found them (a dependent's "lang"
    // files come with its map file), then a's components; b's own data file
    // is not among them.
    EXPECT_EQ(listing(image(1)),
              "::/b.map\n::/b.lng\n::/b.ins\n::/b.vrf\n::/win95.prd\n::/a.map\n::/a.vrf\n"
              "::/a.ins\n::/a.dat\n");
    EXPECT_SAME_BYTES(mtype(image(1), "b.map"), read("b/diskward/b.5ld"));
    EXPECT_SAME_BYTES(mtype(image(1), "b.ins"), read("b/b.ins"));
    EXPECT_SAME_BYTES(mtype(image(1), "b.vrf"), read("b/b.vrf"));
    EXPECT_SAME_BYTES(mtype(image(1), "b.lng"), read("b/b.lng"));
    EXPECT_SAME_BYTES(mtype(image(1), "win95.prd"), read("a/diskward/win95.ptp"));
    EXPECT_SAME_BYTES(mtype(image(1), "a.map"), read("a/diskward/a.5ld"));
    EXPECT_SAME_BYTES(mtype(image(1), "a.vrf"), read("a/a.vrf"));
    EXPECT_SAME_BYTES(mtype(image(1), "a.ins"), read("a/a.ins"));
    EXPECT_SAME_BYTES(mtype(image(1), "a.dat"), read("a/a.dat"));
}

TEST_F(DiskWriteTest, ADriveFolderThatCannotBeWrittenEndsTheWritingWithItsReason) {
    single({{"notes.txt", "n"}});
    // No image can be made in the folder.
    file_services_fail_on(HOST_OP_OPEN, disks.path().c_str(), ENOSPC);
    EXPECT_EQ(write(), RC_UNABLE_TO_WRITE);
    file_services_faults_clear();
    EXPECT_EQ(e.output, ok_lines() + "    " + map_path() + ": Unable to Write\r\n");
    EXPECT_EQ(prompts.asked, std::vector<std::string>{"p label 1"});
    EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
    EXPECT_FALSE(host_exists(kit.at("win95.ptp")));
}
