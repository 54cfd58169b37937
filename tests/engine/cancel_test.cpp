// A run stopped by its cancel: between products, after a product's scan,
// in the middle of a compression, of a disk set and of a replication. The
// report says "User Cancelled" once, and the staging area's tables and
// files are as they were before the file being worked on.
#include "engine/disk_prompts.h"
#include "kit_fixture.h"
#include "media/floppy_drives.h"
#include "sys/files.h"

namespace {

// How often the cancel was asked, and from which question on it answers
// RC_USER_CANCELLED (0: never), or whether it answers so only while a file
// is being compressed or written onto disks.
struct Canceller {
    int asked = 0;
    int stop_at = 0;
    bool while_compressing = false;
    bool while_writing = false;
};
Canceller canceller;

ResultCode cancel_when_told(void* user) {
    const RunContext* run = static_cast<const RunContext*>(user);
    ++canceller.asked;
    bool stop = (canceller.stop_at != 0 && canceller.asked >= canceller.stop_at) ||
                (canceller.while_compressing && !run->compressing.empty()) ||
                (canceller.while_writing && !run->disk_writing.empty());
    return stop ? RC_USER_CANCELLED : RC_OK;
}

// Bytes that do not compress, several chunks of the copy long.
std::string noise(size_t n) {
    std::string bytes;
    for (unsigned x = 7; bytes.size() < n;) {
        x = (x * 75 + 74) % 65537;
        bytes += char(x % 256);
    }
    return bytes;
}

class CancelTest : public KitTest {
protected:
    void SetUp() override {
        canceller = Canceller{};
        e.context.front_end.cancel = cancel_when_told;
    }
    // The kit of two_products() with docs' map file out of date: guide.txt
    // is listed with 7 bytes, and has 5.
    void docs_out_of_date() {
        two_products();
        file("docs/docs.map", kMapHeader + map_row("Docs", "guide.txt", 7));
    }
};

}  // namespace

TEST_F(CancelTest, BetweenProductsAndAfterAScanNothingMoreIsWritten) {
    docs_out_of_date();
    // Asked before core, after core's scan, then before docs: docs is not
    // begun, its map file and the product file stay as they were, and the
    // cancel is told under the product file.
    canceller.stop_at = 3;
    std::map<std::string, std::string> before = snapshot();
    EXPECT_EQ(run(), RC_USER_CANCELLED);
    EXPECT_EQ(e.output, opening() + core_lines() + "  " + root + "\\win95.prd: User Cancelled\r\n");
    EXPECT_EQ(canceller.asked, 3);
    // core was checked whole, its CD-ROM map file with it.
    std::map<std::string, std::string> after = snapshot();
    EXPECT_EQ(after.erase("core/diskward/core.cdr"), 1u);
    EXPECT_EQ(after, before);

    // Asked after docs' scan: its sizes were corrected in memory, but its
    // map file keeps the old ones and the cancel is told under it.
    canceller = Canceller{};
    canceller.stop_at = 2;
    EXPECT_EQ(run({"-n", "docs"}), RC_USER_CANCELLED);
    EXPECT_EQ(e.output, opening() + "    " + root + "\\docs\\docs.map\r\n" +
                            "      docs.map Superfluous\r\n" + "      guide.txt 7 --> 5\r\n" +
                            "    " + root + "\\docs\\docs.map: 5\r\n" + "    " + root +
                            "\\docs\\docs.map: User Cancelled\r\n");
    after = snapshot();
    after.erase("core/diskward/core.cdr");
    EXPECT_EQ(after, before);

    // Without a cancel the same run corrects docs.
    e.context.front_end.cancel = nullptr;
    EXPECT_EQ(run({"-n", "docs"}), RC_OK) << e.output;
    EXPECT_NE(read("docs/docs.map"), before["docs/docs.map"]);
}

TEST_F(CancelTest, InTheMiddleOfACompressionNoCopyOrDensityMapIsLeft) {
    file("win95.prd",
         "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 "
         "false false false \"\" \"\"\n" +
             product_row(1, "core", "root", "core"));
    file("core/big.dat", noise(200000));
    file("core/core.vrf", "");
    file("core/core.map", kMapHeader + map_row("G", "big.dat", 200000));
    std::map<std::string, std::string> before = snapshot();
    canceller.while_compressing = true;
    EXPECT_EQ(run({"-n", "core", "-a", "-c", "-z", "5.25LD"}), RC_USER_CANCELLED);
    EXPECT_EQ(e.output, opening() + "    " + root + "\\core\\core.map\r\n" +
                            "      core.map Superfluous\r\n" + "      core.vrf Superfluous\r\n" +
                            "      big.dat Compressing...\r\n" + "    " + root +
                            "\\core\\core.map: 200000\r\n" + "    " + root +
                            "\\core\\core.map: User Cancelled\r\n");
    // Before the product, after its scan, before its assignment, before the
    // file, then after the first chunk of its compression.
    EXPECT_EQ(canceller.asked, 5);
    // No compressed copy, temporary or density map file; the tables as they were.
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(names_in(kit.at("core/diskward")), std::vector<std::string>{});

    // The run that is not cancelled makes the copy and the density map file.
    e.context.front_end.cancel = nullptr;
    ASSERT_EQ(run({"-n", "core", "-a", "-c", "-z", "5.25LD"}), RC_OK) << e.output;
    EXPECT_EQ(names_in(kit.at("core/diskward")),
              (std::vector<std::string>{"_big.dat", "core.5ld", "core.cdr"}));
}

TEST_F(CancelTest, WhileDisksAreWrittenTheSetIsDiscarded) {
    TempDir disks;
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, disks.path()), RC_OK);
    e.context.front_end.disk_prompt = disk_prompt_folder;
    file("win95.prd",
         "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 "
         "false false false \"\" \"\"\n" +
             product_row(1, "core", "root", "core"));
    file("core/big.dat", noise(600000));
    file("core/core.vrf", "");
    file("core/core.map", kMapHeader + map_row("G", "big.dat", 600000));
    ASSERT_EQ(run({"-n", "core", "-a", "-z", "5.25LD"}), RC_OK) << e.output;
    canceller.while_writing = true;
    std::map<std::string, std::string> before = snapshot();
    EXPECT_EQ(run({"-n", "core", "-w", "-z", "5.25LD", "-D", "A:\\"}), RC_USER_CANCELLED)
        << e.output;
    EXPECT_EQ(e.output.substr(e.output.size() - root.size() - 36),
              "    " + root + "\\core\\core.map: User Cancelled\r\n");
    EXPECT_EQ(names_in(disks.path()), std::vector<std::string>{});
    EXPECT_EQ(snapshot(), before);
    floppy_drive_unbind("A:\\");
}

TEST_F(CancelTest, ReplicationStopsAndLeavesTheCopysTable) {
    two_products();
    TempDir copy;
    std::string target = engine_path(copy.path());
    // Asked before each product and after each chunk of a file copied:
    // before docs, core is copied whole, docs not begun, no table is
    // written and the copy is not checked.
    canceller.stop_at = 5;
    EXPECT_EQ(run({"-j", target}), RC_USER_CANCELLED);
    EXPECT_EQ(e.output, root + "\r\n" + "  " + root + "\\win95.prd\r\n" + "  " + root +
                            "\\win95.prd: User Cancelled\r\n");
    EXPECT_EQ(names_in(copy.path()), std::vector<std::string>{"core"});
    EXPECT_EQ(names_in(copy.at("core")), (std::vector<std::string>{"a.txt", "core.map", "sub"}));

    // In the middle of core: the file being copied is not left, and the
    // cancel is told under core's map file.
    TempDir second;
    canceller = Canceller{};
    canceller.stop_at = 4;
    EXPECT_EQ(run({"-j", engine_path(second.path())}), RC_USER_CANCELLED);
    EXPECT_EQ(e.output, root + "\r\n" + "  " + root + "\\win95.prd\r\n" + "    " + root +
                            "\\core\\core.map: User Cancelled\r\n");
    EXPECT_EQ(names_in(second.at("core")), (std::vector<std::string>{"a.txt", "sub"}));
}
