// Writing a product's disks with -w into a folder of disk images: every
// image judged by fsck.fat and listed by mdir, every file read back with
// mtype and compared with the bytes it must hold, the labels, and what a
// refusal or a failure leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/disk_prompts.h"
#include "engine/disk_verify.h"
#include "engine/messages.h"
#include "kit_fixture.h"
#include "media/fat_format.h"
#include "media/fat_test_tools.h"
#include "media/floppy_drives.h"
#include "sys/file_lock.h"
#include "sys/files.h"

namespace {

using Files = std::map<std::string, std::string>;

const std::string kVersionRow =
    "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false false false \"\" "
    "\"\"\n";

std::string row(const std::string& group, const std::string& source, uint32_t size) {
    return group + " \"\" \"" + source + "\" \"%TARGET%\\" + source + "\" " + std::to_string(size) +
           " false false false 0 0 0 \"\" \"\" \"\"\n";
}

// What the prompt was asked, and when it cancels.
struct Prompts {
    std::vector<std::string> asked;  // "<label text> <n>"
    uint32_t cancel_at = 0;          // the disk number that cancels, 0 for none
};

// The folder prompt, recording each question first.
void recording_prompt(void* user, std::string* root, std::string_view label_text, uint32_t disk,
                      std::string_view system, bool* cancelled, bool wrong) {
    RunContext* run = static_cast<RunContext*>(user);
    Prompts* prompts = static_cast<Prompts*>(run->front_end.disk_prompt_user);
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
        e.context.front_end.disk_prompt = recording_prompt;
        e.context.front_end.disk_prompt_user = &prompts;
    }
    void TearDown() override {
        file_services_faults_clear();
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
        std::string map =
            kMapHeader + rows + row("G", "p.map", 0) + row("G", "p.vrf", 0) + row("G", "p.ins", 0);
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
    // The image of disk `disk` of `product`'s set.
    std::string image(int disk, const std::string& product = "P") {
        return disks.at(product + ".V1_" + std::to_string(disk) + ".img");
    }
    std::vector<std::string> set_names(int disks, const std::string& product = "P") {
        std::vector<std::string> names;
        for (int disk = 1; disk <= disks; ++disk)
            names.push_back(product + ".V1_" + std::to_string(disk) + ".img");
        return names;
    }
    std::string summary() {
        const ProductLayout& layout = e.context.layouts.at(0);
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
        return opening() + "    " + map_path() + "\r\n" + summary() + middle + "    " + map_path() +
               ": " + std::to_string(total()) + "\r\n";
    }
    // The report of a writing that failed: the failure comes before the
    // product's closing line.
    std::string failed_lines(const std::string& place, const std::string& message) {
        return ok_lines("    " + place + ": " + message + "\r\n");
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
    EXPECT_EQ(names_in(disks.path()), set_names(3));
    for (int disk = 1; disk <= 3; ++disk) image_is_sound(disk);
    EXPECT_EQ(listing(image(1)), "::/win95.prd\n::/p.map\n::/p.vrf\n::/p.ins\n::/1ig.bin\n");
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
    EXPECT_EQ(kept,
              ok_lines("    sub\\b.dat Not written to disk: the name has a directory part\r\n") +
                  "    " + map_path() + ": Permission Denied\r\n");
}

TEST_F(DiskWriteTest, WritingASetAgainReplacesItWholeAndALongerLayoutLeavesNothingBehind) {
    std::string big = pattern_bytes(800000, 2);
    single({{"big.bin", big}});
    // 200 KB kept free on every disk: six disks, big.bin in six pieces.
    ASSERT_EQ(write({"-s", "200"}), RC_OK) << e.output;
    ASSERT_EQ(names_in(disks.path()), set_names(6));
    EXPECT_EQ(listing(image(3)), "::/3ig.bin\n");

    // The same product again without -s: three new blank disks are asked
    // for, and the six images give way to the three, none of the former
    // pieces left on any of them.
    prompts.asked.clear();
    ASSERT_EQ(write(), RC_OK) << e.output;
    EXPECT_EQ(e.output, ok_lines());
    EXPECT_EQ(prompts.asked, (std::vector<std::string>{"p label 1", "p label 2", "p label 3"}));
    EXPECT_EQ(names_in(disks.path()), set_names(3));
    for (int disk = 1; disk <= 3; ++disk) image_is_sound(disk);
    EXPECT_EQ(listing(image(1)), "::/win95.prd\n::/p.map\n::/p.vrf\n::/p.ins\n::/1ig.bin\n");
    EXPECT_EQ(listing(image(2)), "::/2ig.bin\n");
    EXPECT_EQ(listing(image(3)), "::/0ig.bin\n");
    EXPECT_SAME_BYTES(
        mtype(image(1), "1ig.bin") + mtype(image(2), "2ig.bin") + mtype(image(3), "0ig.bin"), big);
    EXPECT_SAME_BYTES(mtype(image(1), "p.map"), read("p/diskward/p.5ld"));
}

TEST_F(DiskWriteTest, ProductsSharingAVolumeKeepTheirOwnSetsAndForeignImagesAreNeverWritten) {
    require_tool("mformat");
    require_tool("mcopy");
    // p and q both label their disks "V1 n".
    file("win95.prd",
         kVersionRow + product_row(1, "p", "root", "p") + product_row(2, "q", "root", "q"));
    for (const std::string name : {"p", "q"}) {
        file(name + "/" + name + ".vrf", "");
        file(name + "/" + name + ".dat", pattern_bytes(5000, name[0]));
        file(name + "/" + name + ".map",
             kMapHeader + row("G", name + ".map", 0) + row("G", name + ".dat", 0));
    }
    ASSERT_EQ(run({"-f"}), RC_OK) << e.output;
    // A 1.44 MB disk of the user's, labelled like disk 1 of both, and named
    // as images were named before sets had names of their own.
    std::string foreign = disks.at("V1_1.img");
    ASSERT_EQ(run_tool("mformat -C -i '" + foreign + "' -f 1440 -v 'V1 1' ::").status, 0);
    file("mine.txt", "the user's file");
    ASSERT_EQ(run_tool("mcopy -i '" + foreign + "' '" + kit.at("mine.txt") + "' ::").status, 0);
    std::string foreign_bytes = read_host_file(foreign);
    // An image of the user's under the name p's disk 1 takes, labelled otherwise.
    ASSERT_EQ(run_tool("mformat -C -i '" + image(1, "P") + "' -f 720 -v MINE ::").status, 0);
    std::string mine = read_host_file(image(1, "P"));

    ASSERT_EQ(run({"-n", "p", "-w", "-z", "5.25LD", "-D", "A:\\"}), RC_OK) << e.output;
    std::string p_disk = read_host_file(image(1, "P"));
    ASSERT_EQ(run({"-n", "q", "-w", "-z", "5.25LD", "-D", "A:\\"}), RC_OK) << e.output;
    EXPECT_EQ(prompts.asked, (std::vector<std::string>{"p label 1", "q label 1"}));
    EXPECT_EQ(names_in(disks.path()),
              (std::vector<std::string>{"P.V1_1.img", "P.V1_1~2.img", "Q.V1_1.img", "V1_1.img"}));
    EXPECT_SAME_BYTES(read_host_file(image(1, "P")), p_disk);
    EXPECT_SAME_BYTES(read_host_file(foreign), foreign_bytes);
    EXPECT_SAME_BYTES(read_host_file(disks.at("P.V1_1~2.img")), mine);
    for (const std::string name : {"p", "q"}) {
        std::string img = image(1, std::string(1, char(name[0] - 32)));
        EXPECT_EQ(fsck(img).status, 0) << fsck(img).output;
        EXPECT_EQ(listing(img), "::/win95.prd\n::/" + name + ".map\n::/" + name + ".dat\n");
        EXPECT_SAME_BYTES(mtype(img, name + ".dat"), read(name + "/" + name + ".dat"));
    }
}

TEST_F(DiskWriteTest, ACancelledOrFailedWritingLeavesTheFormerSetAndNoNewImage) {
    std::string big = pattern_bytes(800000, 3);
    single({{"big.bin", big}});
    ASSERT_EQ(write(), RC_OK) << e.output;
    std::vector<std::string> former;
    for (int disk = 1; disk <= 3; ++disk) former.push_back(read_host_file(image(disk)));
    auto former_set_stands = [&] {
        EXPECT_EQ(names_in(disks.path()), set_names(3));
        for (int disk = 1; disk <= 3; ++disk)
            EXPECT_SAME_BYTES(read_host_file(image(disk)), former[disk - 1]);
    };
    file("p/big.bin", pattern_bytes(800000, 4));

    // Cancelled at disk 2: disk 1 was written anew, but under a name of its
    // own until the set is whole, and it is gone again.
    prompts.asked.clear();
    prompts.cancel_at = 2;
    EXPECT_EQ(write(), RC_USER_CANCELLED);
    EXPECT_EQ(e.output, ok_lines() + "    " + map_path() + ": User Cancelled\r\n");
    EXPECT_EQ(prompts.asked, (std::vector<std::string>{"p label 1", "p label 2"}));
    former_set_stands();

    // The host's disk fills up once disks 1 and 2 are written (a blank
    // image takes no room until it is written): the report names the image
    // that was being written.
    prompts.cancel_at = 0;
    file_services_fail_writes_after(362496 + 550000, ENOSPC);
    EXPECT_EQ(write(), RC_UNABLE_TO_WRITE);
    file_services_faults_clear();
    EXPECT_EQ(e.output, failed_lines(engine_path(image(3)), "Unable to Write"));
    former_set_stands();

    // A run killed while it wrote leaves its new images behind; the next
    // run removes them before it writes.
    write_host_file(disks.at(".P.NEW.img.~999999999-1"), std::string(1024, 'k'));
    write_host_file(disks.at(".P.NEW.img.~" + std::to_string(getpid()) + "-77"), "ours");
    ASSERT_EQ(write(), RC_OK) << e.output;
    std::vector<std::string> names = set_names(3);
    names.insert(names.begin(), ".P.NEW.img.~" + std::to_string(getpid()) + "-77");
    EXPECT_EQ(names_in(disks.path()), names);
    EXPECT_SAME_BYTES(
        mtype(image(1), "1ig.bin") + mtype(image(2), "2ig.bin") + mtype(image(3), "0ig.bin"),
        read("p/big.bin"));
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
    EXPECT_FALSE(host_exists(kit.at("p/diskward/win95.ptp")));
    // The layout names pieces 1 to 9 and the last, and says for piece 10
    // why it has no name.
    std::string layout = layout_text(e.context.layouts.at(0));
    std::vector<std::string> pieces;
    for (size_t at = layout.find("huge.bin  piece"); at != std::string::npos;
         at = layout.find("huge.bin  piece", at + 1)) {
        size_t start = layout.rfind('\n', at) + 1;
        pieces.push_back(layout.substr(start, layout.find('\n', at) - start));
    }
    ASSERT_EQ(pieces.size(), 11u) << layout;
    EXPECT_EQ(pieces[8].substr(0, 12), "    9uge.bin");
    EXPECT_EQ(pieces[9].substr(0, 12), "    -       ");
    EXPECT_EQ(pieces[9].substr(pieces[9].find("  piece")),
              "  piece 10 of 11: File has too many split file segments");
    EXPECT_EQ(pieces[10].substr(0, 12), "    0uge.bin");
}

TEST_F(DiskWriteTest, AFileWhoseNameHasNoCharacterForThePieceNumberIsRefusedWithItsOwnMessage) {
    // "_" leaves no character a piece number could replace.
    single({{"_.dat", pattern_bytes(800000, 9)}});
    EXPECT_EQ(write(), RC_INVALID_FILE_NAME);
    EXPECT_EQ(e.output, failed_lines("_.dat", "No name for piece 1"));
    EXPECT_EQ(prompts.asked, std::vector<std::string>{});
    EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
    std::string layout = layout_text(e.context.layouts.at(0));
    EXPECT_NE(layout.find("    -       "), std::string::npos) << layout;
    size_t first = layout.find("_.dat  piece 1 of 3");
    ASSERT_NE(first, std::string::npos) << layout;
    EXPECT_EQ(layout.substr(first, layout.find('\n', first) - first),
              "_.dat  piece 1 of 3: No name for piece 1");
}

TEST_F(DiskWriteTest, TwoFilesOfOneNameOnOneDiskAreRefusedBeforeAnythingIsWritten) {
    // The first piece of big.bin would be named 1ig.bin on disk 1, where the
    // file 1ig.bin already goes.
    single({{"1ig.bin", "one"}, {"big.bin", pattern_bytes(500000, 5)}});
    EXPECT_EQ(write(), RC_INVALID_FILE_NAME) << e.output;
    ASSERT_EQ(e.context.layouts.size(), 1u) << e.output;
    std::string closing = "    " + map_path() + ": " + std::to_string(total()) + "\r\n";
    std::string lines = ok_lines();
    EXPECT_EQ(e.output, lines.substr(0, lines.size() - closing.size()) +
                            "    big.bin: Invalid File Name\r\n" + closing);
    EXPECT_EQ(prompts.asked, std::vector<std::string>{});
    EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
    EXPECT_FALSE(host_exists(kit.at("p/diskward/win95.ptp")));
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

TEST(DiskPrompt, TheQuestionAndEachCheckOfANewDiskHaveTheirTexts) {
    require_tool("mcopy");
    TempDir dir;
    write_host_file(dir.at("drive.img"), "");
    ASSERT_EQ(floppy_drive_bind("B:\\", FLOPPY_IMAGE, dir.at("drive.img")), RC_OK);
    RunContext run;
    run.options.media_capacity = 362496;  // 5.25LD
    run.options.cluster_size = 1024;
    EXPECT_EQ(disk_prompt_medium(&run), "5.25LD");
    EXPECT_EQ(disk_prompt_question("Kit label", 3, "B:\\"),
              "Insert disk to be labeled 'Kit label 3' into drive 'B:\\'");
    // Clusters of 512 bytes.
    ASSERT_EQ(floppy_drive_insert_blank("B:\\", "3.5HD"), RC_OK);
    EXPECT_EQ(disk_prompt_check(&run, "B:\\"), "The disk in 'B:\\' has the wrong sector size.");
    // Clusters of 1024 bytes, but twice the room.
    ASSERT_EQ(floppy_drive_insert_blank("B:\\", "3.5LD"), RC_OK);
    EXPECT_EQ(disk_prompt_check(&run, "B:\\"), "The disk in 'B:\\' is the wrong size.");
    ASSERT_EQ(floppy_drive_insert_blank("B:\\", "5.25LD"), RC_OK);
    EXPECT_EQ(disk_prompt_check(&run, "B:\\"), "");
    write_host_file(dir.at("file.txt"), "x");
    ToolRun copied =
        run_tool("mcopy -i '" + dir.at("drive.img") + "' '" + dir.at("file.txt") + "' ::");
    ASSERT_EQ(copied.status, 0) << copied.output;
    EXPECT_EQ(disk_prompt_check(&run, "B:\\"), "The disk in 'B:\\' is not empty.");
    // Not a FAT volume at all.
    write_host_file(dir.at("drive.img"), std::string(4096, 'z'));
    EXPECT_EQ(disk_prompt_check(&run, "B:\\"),
              "There is a problem reading from the disk in 'B:\\'.");
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
    int last = int(e.context.layouts.at(0).disks.size());
    std::string where;
    for (int disk = 1; disk <= last; ++disk)
        if (listing(image(disk)).find("::/_text.dat\n") != std::string::npos)
            where = mtype(image(disk), "_text.dat");
    EXPECT_SAME_BYTES(where, read("p/diskward/_text.dat"));
    std::string scratch = engine_path(kit.at("scratch"));
    DiskVerification verification;
    ASSERT_EQ(disk_verify(&e.context, scratch, &verification), RC_OK);
    // p.map (the density map file), p.vrf, p.ins, big.bin and text.dat; the
    // product table file is gone after the run.
    EXPECT_EQ(verification.checked, 5u);
    EXPECT_EQ(verification.mismatches, std::vector<std::string>{});
    file("p/text.dat", text + "more");
    file("p/big.bin", big.substr(1));
    verification = DiskVerification{};
    ASSERT_EQ(disk_verify(&e.context, scratch, &verification), RC_OK);
    EXPECT_EQ(verification.checked, 5u);
    EXPECT_EQ(
        verification.mismatches,
        (std::vector<std::string>{"_big.bin from disk 1 differs from " + root + "\\p\\big.bin",
                                  "_text.dat from disk " + std::to_string(last) + " differs from " +
                                      root + "\\p\\text.dat"}));
    EXPECT_FALSE(host_exists(kit.at("scratch")));

    // A piece gone from its disk, and a compressed file cut short after its
    // header (a stream has no length, so only a stream without a single code
    // is known to be short): each is told in words.
    file("p/text.dat", text);
    file("p/big.bin", big);
    ASSERT_EQ(run_tool("mdel -i '" + image(2) + "' ::_2ig.bin").status, 0);
    file("short", read("p/diskward/_text.dat").substr(0, 1));
    ASSERT_EQ(
        run_tool("mcopy -o -i '" + image(last) + "' '" + kit.at("short") + "' ::_text.dat").status,
        0);
    verification = DiskVerification{};
    ASSERT_EQ(disk_verify(&e.context, scratch, &verification), RC_OK);
    EXPECT_EQ(verification.mismatches,
              (std::vector<std::string>{
                  "_big.bin from disk 1: piece _2ig.bin missing from disk 2",
                  "_text.dat from disk " + std::to_string(last) + ": stream ends early"}));

    // The last disk gone, the prompt asks for it and is cancelled: the
    // reading ends there, and the files read before are compared all the same.
    ASSERT_EQ(rename(image(last).c_str(), disks.at("away.img").c_str()), 0);
    prompts.cancel_at = uint32_t(last);
    verification = DiskVerification{};
    EXPECT_EQ(disk_verify(&e.context, scratch, &verification), RC_USER_CANCELLED);
    EXPECT_EQ(verification.checked, 4u);
    EXPECT_EQ(verification.mismatches,
              std::vector<std::string>{"_big.bin from disk 1: piece _2ig.bin missing from disk 2"});
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
    // The file that could not be read is named, and the set is given up.
    EXPECT_EQ(e.output, failed_lines(root + "\\p\\diskward\\_text.dat", "File Not Found"));
    EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
}

TEST_F(DiskWriteTest, TheDependentProductsTravelOnDiskOne) {
    // a needs b; b has a "lang" file and is assigned first.
    file("win95.prd",
         kVersionRow + product_row(1, "a", "root", "a") + product_row(2, "b", "root", "b"));
    for (const std::string name : {"a", "b"}) {
        file(name + "/" + name + ".ins", "script of " + name + "\n");
        file(name + "/" + name + ".dat", name + " data\n");
    }
    file("a/a.vrf", "b\n");
    file("b/b.vrf", "");
    file("b/b.lng", "words of b\n");
    // User files: a script, and the one that goes with b's "lang" file.
    file("user.stp", "user script\n");
    file("user.lng", "user words\n");
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
    EXPECT_EQ(fsck(image(1, "A")).status, 0);
    // The user files first (the one of b's "lang" file too), then b's
    // density map file, installer script, verification file and "lang"
    // files, the product table, and a's components; b's own data file is not
    // among them.
    EXPECT_EQ(listing(image(1, "A")),
              "::/user.stp\n::/user.lng\n::/b.map\n::/b.ins\n::/b.vrf\n::/b.lng\n::/win95.prd\n"
              "::/a.map\n::/a.vrf\n::/a.ins\n::/a.dat\n");
    EXPECT_SAME_BYTES(mtype(image(1, "A"), "user.lng"), read("user.lng"));
    EXPECT_SAME_BYTES(mtype(image(1, "A"), "b.map"), read("b/diskward/b.5ld"));
    EXPECT_SAME_BYTES(mtype(image(1, "A"), "b.ins"), read("b/b.ins"));
    EXPECT_SAME_BYTES(mtype(image(1, "A"), "b.vrf"), read("b/b.vrf"));
    EXPECT_SAME_BYTES(mtype(image(1, "A"), "b.lng"), read("b/b.lng"));
    EXPECT_SAME_BYTES(mtype(image(1, "A"), "win95.prd"), read("a/diskward/win95.ptp"));
    EXPECT_SAME_BYTES(mtype(image(1, "A"), "a.map"), read("a/diskward/a.5ld"));
    EXPECT_SAME_BYTES(mtype(image(1, "A"), "a.vrf"), read("a/a.vrf"));
    EXPECT_SAME_BYTES(mtype(image(1, "A"), "a.ins"), read("a/a.ins"));
    EXPECT_SAME_BYTES(mtype(image(1, "A"), "a.dat"), read("a/a.dat"));
}

TEST_F(DiskWriteTest, ADriveFolderThatCannotBeWrittenEndsTheWritingWithItsReason) {
    single({{"notes.txt", "n"}});
    // No image can be made in the folder: its disk is full, or it may not
    // be written. Each is told as it is, naming the image.
    for (auto [error, code] :
         {std::pair{ENOSPC, RC_UNABLE_TO_WRITE}, {EACCES, RC_PERMISSION_DENIED}}) {
        prompts.asked.clear();
        file_services_fail_on(HOST_OP_OPEN, ".P.NEW.img", error);
        EXPECT_EQ(write(), code);
        file_services_faults_clear();
        EXPECT_EQ(e.output, failed_lines(engine_path(image(1)), std::string(engine_message(code))));
        EXPECT_EQ(prompts.asked, std::vector<std::string>{"p label 1"});
        EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
        EXPECT_FALSE(host_exists(kit.at("p/diskward/win95.ptp")));
    }
    // Another run is writing into the folder: nothing is asked for or made.
    prompts.asked.clear();
    FileLock* other = nullptr;
    ASSERT_EQ(file_lock_take_host(disks.path(), &other), RC_OK);
    EXPECT_EQ(write(), RC_SHARING_VIOLATION);
    file_lock_release(other);
    EXPECT_EQ(e.output, failed_lines(engine_path(image(1)), "Sharing Violation"));
    EXPECT_EQ(prompts.asked, std::vector<std::string>{});
    EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
}

TEST_F(DiskWriteTest, AVolumeThatCannotLabelTheDisksIsRefusedBeforeAnyDiskIsAskedFor) {
    single({{"notes.txt", "n"}});
    std::string products = read("win95.prd");
    // A character labels cannot hold, a path, and eleven characters that
    // leave no room for " 1".
    for (const std::string volume : {"a*b", "../../VI", "ABCDEFGHIJK"}) {
        std::string changed = products;
        changed.replace(changed.rfind("\"V1\""), 4, "\"" + volume + "\"");
        file("win95.prd", changed);
        EXPECT_EQ(write(), RC_INVALID_VOLUME_LABEL) << volume;
        EXPECT_EQ(e.output, ok_lines() + "    " + map_path() + ": Invalid Volume Label\r\n");
        EXPECT_EQ(prompts.asked, std::vector<std::string>{});
        EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
    }
}

// A prompt that records the problem it is shown and gives up.
void giving_up_prompt(void* user, std::string*, std::string_view label_text, uint32_t disk,
                      std::string_view, bool* cancelled, bool) {
    RunContext* run = static_cast<RunContext*>(user);
    Prompts* prompts = static_cast<Prompts*>(run->front_end.disk_prompt_user);
    prompts->asked.push_back(std::string(label_text) + " " + std::to_string(disk) + ": " +
                             run->disk_problem);
    *cancelled = true;
}

TEST_F(DiskWriteTest, ADiskFoundByItsLabelIsEmptiedFirstAndOneOfAnotherMediumOrProductIsRefused) {
    require_tool("mcopy");
    single({{"notes.txt", "some notes\n"}});
    // One image file is the drive: the disk in it is labelled "V1 1" and
    // holds a file of an earlier set.
    std::string drive = disks.at("drive.img");
    ASSERT_EQ(fat_format_image(drive, "5.25LD", "V1 1", 7), RC_OK);
    file("old.txt", "from before");
    ASSERT_EQ(run_tool("mcopy -i '" + drive + "' '" + kit.at("old.txt") + "' ::").status, 0);
    ASSERT_EQ(floppy_drive_bind("B:\\", FLOPPY_IMAGE, drive), RC_OK);
    e.context.front_end.disk_prompt = giving_up_prompt;
    EXPECT_EQ(run({"-n", "p", "-w", "-z", "5.25LD", "-D", "B:\\"}), RC_OK) << e.output;
    EXPECT_EQ(prompts.asked, std::vector<std::string>{});
    EXPECT_EQ(fsck(drive).status, 0) << fsck(drive).output;
    EXPECT_EQ(label_of(drive), " Volume label is V1 1       \n");
    EXPECT_EQ(listing(drive), "::/win95.prd\n::/p.map\n::/p.vrf\n::/p.ins\n::/notes.txt\n");
    EXPECT_SAME_BYTES(mtype(drive, "notes.txt"), "some notes\n");

    // A 1.44 MB disk labelled "V1 1" is not written on: the prompt is told
    // why and asked again.
    ASSERT_EQ(fat_format_image(drive, "3.5HD", "V1 1", 8), RC_OK);
    ASSERT_EQ(run_tool("mcopy -i '" + drive + "' '" + kit.at("old.txt") + "' ::").status, 0);
    std::string before = read_host_file(drive);
    EXPECT_EQ(run({"-n", "p", "-w", "-z", "5.25LD", "-D", "B:\\"}), RC_USER_CANCELLED);
    EXPECT_EQ(prompts.asked,
              std::vector<std::string>{"p label 1: The disk in 'B:\\' is the wrong size."});
    EXPECT_SAME_BYTES(read_host_file(drive), before);

    // Disk 1 of q, whose disks are labelled as p's: its product table names
    // q, so p does not write over it.
    file("win95.prd", read("win95.prd") + product_row(2, "q", "root", "q"));
    file("q/q.dat", "q data");
    file("q/q.vrf", "");
    file("q/q.map", kMapHeader + row("G", "q.map", 0) + row("G", "q.dat", 0));
    ASSERT_EQ(run({"-f"}), RC_OK) << e.output;
    e.context.front_end.disk_prompt = recording_prompt;  // a blank disk goes in
    ASSERT_EQ(run({"-n", "q", "-w", "-z", "5.25LD", "-D", "B:\\"}), RC_OK) << e.output;
    EXPECT_EQ(listing(drive), "::/win95.prd\n::/q.map\n::/q.dat\n");
    before = read_host_file(drive);
    prompts.asked.clear();
    e.context.front_end.disk_prompt = giving_up_prompt;
    EXPECT_EQ(run({"-n", "p", "-w", "-z", "5.25LD", "-D", "B:\\"}), RC_USER_CANCELLED);
    EXPECT_EQ(prompts.asked, std::vector<std::string>{
                                 "p label 1: The disk in 'B:\\' is disk 1 of the product 'q'."});
    EXPECT_SAME_BYTES(read_host_file(drive), before);
    floppy_drive_unbind("B:\\");
}

TEST_F(DiskWriteTest, AJapaneseDiskIsNeverPromisedMoreFilesThanItsRootHolds) {
    // 200 small files: the root of a 3.5JHD disk holds 191 besides its label.
    Files files;
    for (int i = 0; i < 200; ++i) files["f" + std::to_string(1000 + i) + ".txt"] = "x";
    single(files);
    ASSERT_EQ(run({"-n", "p", "-w", "-z", "3.5JHD", "-D", "A:\\"}), RC_OK) << e.output;
    ASSERT_EQ(e.context.layouts.at(0).disks.size(), 2u);
    EXPECT_EQ(names_in(disks.path()), set_names(2));
    // Disk 1: the product table, p.map, p.vrf, p.ins, then 187 of the files.
    std::string one, two;
    for (int i = 0; i < 200; ++i)
        (i < 187 ? one : two) += "::/f" + std::to_string(1000 + i) + ".txt\n";
    EXPECT_EQ(listing(image(1)), "::/win95.prd\n::/p.map\n::/p.vrf\n::/p.ins\n" + one);
    EXPECT_EQ(listing(image(2)), two);
    for (int disk = 1; disk <= 2; ++disk) image_is_sound(disk);
}

TEST_F(DiskWriteTest, ADependentProductWithoutAnInstallerScriptIsNamedWhenDiskOneIsCounted) {
    // a needs b, and b has no b.ins.
    file("win95.prd",
         kVersionRow + product_row(1, "a", "root", "a") + product_row(2, "b", "root", "b"));
    file("a/a.ins", "script of a\n");
    file("a/a.vrf", "b\n");
    file("b/b.vrf", "");
    file("a/a.map",
         kMapHeader + row("G", "a.map", 0) + row("G", "a.vrf", 0) + row("G", "a.ins", 0));
    file("b/b.map", kMapHeader + row("G", "b.map", 0) + row("G", "b.vrf", 0));
    ASSERT_EQ(run({"-f"}), RC_OK) << e.output;
    ASSERT_EQ(run({"-n", "b", "-a", "-z", "5.25LD"}), RC_OK) << e.output;
    EXPECT_EQ(run({"-n", "a", "-a", "-z", "5.25LD"}), RC_FILE_NOT_FOUND);
    std::string a = root + "\\a\\a.map", b = root + "\\b\\b.map";
    EXPECT_EQ(e.output, opening() + "    " + a + "\r\n" + "    " + b + "\r\n" + "    " + b + ": " +
                            std::to_string(read("b/b.map").size()) + "\r\n" + "      " + root +
                            "\\b\\b.ins: File Not Found\r\n" + "    " + a + ": " +
                            std::to_string(read("a/a.map").size() + read("a/a.ins").size() +
                                           read("a/a.vrf").size()) +
                            "\r\n");
}

// Records what the progress names, each time it names something new.
void naming_progress(void* user, uint32_t) {
    RunContext* run = static_cast<RunContext*>(user);
    auto* named = static_cast<std::vector<std::string>*>(run->front_end.disk_prompt_user);
    if (named->empty() || named->back() != run->disk_writing) named->push_back(run->disk_writing);
}

TEST_F(DiskWriteTest, TheProgressNamesEachPieceAndTheDiskItGoesOn) {
    single({{"big.bin", pattern_bytes(800000, 11)}, {"notes.txt", "n"}});
    std::vector<std::string> named;
    e.context.front_end.disk_prompt = disk_prompt_folder;
    e.context.front_end.disk_prompt_user = &named;
    e.context.front_end.disk_progress = naming_progress;
    ASSERT_EQ(write(), RC_OK) << e.output;
    e.context.front_end.disk_progress = nullptr;
    // p.vrf is empty: no bytes, no progress.
    EXPECT_EQ(named,
              (std::vector<std::string>{"win95.prd on disk 1", "p.map on disk 1", "p.ins on disk 1",
                                        "1ig.bin on disk 1", "2ig.bin on disk 2",
                                        "0ig.bin on disk 3", "notes.txt on disk 3"}));
}
