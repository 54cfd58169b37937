// A run is safe with the user's files: a failed read is never an end, a
// second run on the same product file touches nothing, a table written with
// the bytes it holds keeps its back-up, odd entries of a staging area are
// named and passed over, and every failure is reported once, in words that
// say what happened.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "kit_fixture.h"
#include "sys/file_lock.h"

namespace {

using FileSafetyTest = KitTest;

const std::string kVersionRow =
    "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false false false \"\" "
    "\"\"\n";

// A file of `bytes` bytes that takes no room on the disk.
void sparse_file(const std::string& host_path, long long bytes) {
    write_host_file(host_path, "");
    ASSERT_EQ(truncate(host_path.c_str(), bytes), 0);
}

long long modified_ns(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return -1;
    return info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
}

}  // namespace

TEST_F(FileSafetyTest, AMapFileThatFailsPartWayIsUnreadableAndNothingIsRewritten) {
    two_products();
    // 1500 components make the map file too large to be read in one piece.
    std::string map = kMapHeader;
    for (int i = 0; i < 1500; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%04d.txt", i);
        file(std::string("core/") + name, "x");
        map += map_row("G", name, i == 0 ? 2 : 1);  // the first size is wrong
    }
    file("core/core.map", map);
    std::map<std::string, std::string> before = snapshot();
    file_services_fail_on(HOST_OP_READ, "core.map", EIO, 1);

    EXPECT_EQ(run(), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output, opening() + "    " + root + "\\core\\core.map\r\n" + "    " + root +
                            "\\core\\core.map: Unable To Read\r\n" + docs_lines());
    std::map<std::string, std::string> after = snapshot();
    EXPECT_EQ(after.erase("docs/diskward/docs.cdr"), 1u);
    EXPECT_EQ(after, before);
}

TEST_F(FileSafetyTest, AProductFileThatFailsPartWayIsUnreadable) {
    two_products();
    // Rows first, then a comment long enough that the file is read in pieces.
    file("win95.prd", read("win95.prd") + "# " + std::string(70000, '-') + "\n");
    std::map<std::string, std::string> before = snapshot();
    file_services_fail_on(HOST_OP_READ, "win95.prd", EIO, 1);
    EXPECT_EQ(run(), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output, opening() + "  " + root + "\\win95.prd: Unable To Read\r\n");
    EXPECT_EQ(snapshot(), before);
}

TEST_F(FileSafetyTest, AProductDirectoryThatCannotBeListedFailsTheProductOnce) {
    two_products();
    file_services_fail_on(HOST_OP_READDIR, (kit.path() + "/core").c_str(), EIO);
    EXPECT_EQ(run(), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output, opening() + "    " + root + "\\core\\core.map\r\n" + "    " + root +
                            "\\core\\core.map: 13\r\n" + "    " + root +
                            "\\core\\core.map: Unable To Read\r\n" + docs_lines());
    EXPECT_FALSE(host_exists(kit.at("win95.old")));  // a failed product stops the write-back
}

TEST_F(FileSafetyTest, ADiskThatFillsWhileAMapIsRewrittenKeepsTheFormerMapAndItsBackUp) {
    two_products();
    file("core/a.txt", std::string(12, 'a'));
    file("core/core.old", "an earlier back-up");
    std::string former = read("core/core.map");
    std::string prd = read("win95.prd");
    // Part of the new map fits, not all of it.
    file_services_fail_writes_after(former.size() / 2, ENOSPC);
    EXPECT_EQ(run(), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(e.output, opening() + "    " + root + "\\core\\core.map\r\n" +
                            "      a.txt 10 --> 12\r\n" + "      core.map Superfluous\r\n" +
                            "    " + root + "\\core\\core.map: 15\r\n" + "    " + root +
                            "\\core\\core.map: Unable to Write\r\n" + docs_lines() + "    " + root +
                            "\\docs\\docs.map: Unable to Write\r\n");
    EXPECT_EQ(read("core/core.map"), former);
    EXPECT_EQ(read("core/core.old"), "an earlier back-up");
    EXPECT_EQ(read("win95.prd"), prd);
}

TEST_F(FileSafetyTest, ASecondRunOnTheSameProductFileTouchesNothing) {
    two_products();
    file("core/a.txt", std::string(12, 'a'));
    std::map<std::string, std::string> before = snapshot();
    FileLock* first_run = nullptr;
    ASSERT_EQ(file_lock_take(engine_path(kit.at("win95.prd")), &first_run), RC_OK);
    EXPECT_EQ(run(), RC_SHARING_VIOLATION);
    file_lock_release(first_run);
    EXPECT_EQ(e.output, opening() + "  " + root + "\\win95.prd: Sharing Violation\r\n");
    EXPECT_EQ(snapshot(), before);
}

TEST_F(FileSafetyTest, OfTwoProductFilesDifferingInCaseOnlyTheFirstIsProcessed) {
    two_products();
    std::string lower = read("win95.prd");
    file("WIN95.PRD", kVersionRow + product_row(1, "core", "root", "core"));
    std::string upper = read("WIN95.PRD");
    EXPECT_EQ(run(), RC_INVALID_FILE_NAME);
    EXPECT_EQ(e.output, root + "\r\n" + "  " + root + "\\WIN95.PRD\r\n" + "    " + root +
                            "\\core\\core.map\r\n" + "      core.map Superfluous\r\n" + "    " +
                            root + "\\core\\core.map: 13\r\n" + "  " + root +
                            "\\win95.prd: Invalid File Name\r\n");
    EXPECT_EQ(read("WIN95.old"), upper);
    EXPECT_EQ(read("win95.prd"), lower);
    EXPECT_FALSE(host_exists(kit.at("win95.old")));
}

TEST_F(FileSafetyTest, ATableWrittenWithTheBytesItHoldsKeepsItsBackUpAndTimes) {
    // core is tools' parent, so every run computes the product file anew.
    file("win95.prd", kVersionRow + product_row(1, "core", "root", "core") +
                          product_row(2, "tools", "core", "tools"));
    file("core/a.txt", "aaaa");
    file("core/core.map", kMapHeader + map_row("G", "a.txt", 4));
    file("tools/t.exe", "tt");
    file("tools/tools.map", kMapHeader + map_row("G", "t.exe", 2));
    std::string original = read("win95.prd");
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(read("win95.old"), original);
    std::string written = read("win95.prd");
    EXPECT_NE(written, original);

    struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const char* name : {"win95.prd", "win95.old", "core/core.map", "tools/tools.map"})
        utimensat(AT_FDCWD, kit.at(name).c_str(), old_times, 0);
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(read("win95.old"), original);
    EXPECT_EQ(read("win95.prd"), written);
    for (const char* name : {"win95.prd", "win95.old", "core/core.map", "tools/tools.map"})
        EXPECT_EQ(modified_ns(kit.at(name)), 1000000000000000000LL) << name;
    EXPECT_FALSE(host_exists(kit.at("core/core.old")));
}

TEST_F(FileSafetyTest, AFifoAsATableIsUnreadableAtOnce) {
    two_products();
    ASSERT_EQ(unlink(kit.at("core/core.map").c_str()), 0);
    ASSERT_EQ(mkfifo(kit.at("core/core.map").c_str(), 0644), 0);
    alarm(20);  // a run that blocks fails the test instead of hanging it
    EXPECT_EQ(run(), RC_UNABLE_TO_READ);
    alarm(0);
    EXPECT_EQ(e.output, opening() + "    " + root + "\\core\\core.map\r\n" + "    " + root +
                            "\\core\\core.map: Unable To Read\r\n" + docs_lines());
}

TEST_F(FileSafetyTest, OddEntriesGetALineOfTheirOwnAndTheScanGoesOn) {
    two_products();
    file("core/A.TXT", std::string(10, 'A'));  // another spelling of a.txt
    sparse_file(kit.at("core/backup.iso"), 5LL << 30);
    ASSERT_EQ(symlink("..", kit.at("core/sub/up").c_str()), 0);
    std::string x(100, 'x'), y(100, 'y'), z(100, 'z');
    file("core/d/" + x + "/" + y + "/" + z + ".txt", "deep");
    file("core/sub\\b.dat", "a name with a backslash");
    file("core/.core.map.~999999-1", "left by a killed run");
    EXPECT_EQ(run(), RC_OK);
    std::string core = root + "\\core\\core.map";
    std::string block = "    " + core + "\r\n" + "      a.txt Invalid File Name\r\n" +
                        "      backup.iso Too large for a 32-bit size\r\n" +
                        "      core.map Superfluous\r\n" + "      d\\" + x + "\\" + y + "\\" + z +
                        ".txt Path too long\r\n" + "      sub\\up Directory already visited\r\n" +
                        "      sub\\b.dat Invalid File Name\r\n";
    EXPECT_EQ(e.output, opening() + block + "    " + core + ": 13\r\n" + docs_lines());

    // A component that names such an entry fails the product after the scan.
    file("core/core.map", read("core/core.map") + map_row("G", "backup.iso", 0));
    EXPECT_EQ(run({"-N", "core"}), RC_SIZE_TOO_LARGE);
    EXPECT_EQ(e.output, opening() + block + "    " + core + ": 13\r\n" + "    " + core +
                            ": Size Does Not Fit 32 Bits\r\n");
}

TEST_F(FileSafetyTest, AFifoASocketOrADeviceIsNoFileOfTheKitAndIsNeverWaitedOn) {
    two_products();
    // guide.txt, named by docs' map, becomes a FIFO that no writer opens.
    ASSERT_EQ(unlink(kit.at("docs/guide.txt").c_str()), 0);
    ASSERT_EQ(mkfifo(kit.at("docs/guide.txt").c_str(), 0644), 0);
    int server = bound_socket(kit.at("core/sock"));
    ASSERT_GE(server, 0);
    ASSERT_EQ(symlink("/dev/null", kit.at("core/null").c_str()), 0);
    file("core/core.vrf", "");  // core depends on nothing
    std::map<std::string, std::string> before = snapshot();
    std::string core = root + "\\core\\core.map", docs = root + "\\docs\\docs.map";
    std::string core_block = "    " + core + "\r\n" + "      core.map Superfluous\r\n" +
                             "      core.vrf Superfluous\r\n" +
                             "      null Not a regular file\r\n" +
                             "      sock Not a regular file\r\n" + "    " + core + ": 13\r\n";
    alarm(20);  // a run that blocks fails the test instead of hanging it
    EXPECT_EQ(run(), RC_UNABLE_TO_READ);
    // Entries no component names are only named; the one docs names fails
    // docs, whose Size stays as the map has it.
    EXPECT_EQ(e.output, opening() + core_block + "    " + docs + "\r\n" +
                            "      docs.map Superfluous\r\n" +
                            "      guide.txt Not a regular file\r\n" + "    " + docs + ": 5\r\n" +
                            "    " + docs + ": Unable To Read\r\n");
    std::map<std::string, std::string> after = snapshot();
    EXPECT_EQ(after.erase("core/diskward/core.cdr"), 1u);
    EXPECT_EQ(after, before);

    // The same with an assignment and the disks: docs fails before either.
    EXPECT_EQ(run({"-n", "docs", "-w", "-z", "5.25LD", "-D", engine_path(kit.at("disks"))}),
              RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output, opening() + "    " + docs + "\r\n" + "      docs.map Superfluous\r\n" +
                            "      guide.txt Not a regular file\r\n" + "    " + docs + ": 5\r\n" +
                            "    " + docs + ": Unable To Read\r\n");
    EXPECT_FALSE(host_exists(kit.at("disks")));

    // A FIFO under a user file's name beside the product file is read as
    // one for disk 1, and is unreadable: it is named.
    ASSERT_EQ(mkfifo(kit.at("kit.usr").c_str(), 0644), 0);
    EXPECT_EQ(run({"-n", "core", "-a", "-z", "5.25LD"}), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output, opening() + core_block.substr(0, core_block.rfind("    " + core)) +
                            "      " + root + "\\kit.usr: Unable To Read\r\n" + "    " + core +
                            ": 13\r\n");
    alarm(0);
    close(server);
    EXPECT_FALSE(host_exists(kit.at("core/diskward/core.5ld")));
    EXPECT_EQ(names_in(kit.at("core/diskward")), std::vector<std::string>{"core.cdr"});
}

TEST_F(FileSafetyTest, SizesPastThirtyTwoBitsFailTheProductAndTheRollUp) {
    file("win95.prd", kVersionRow + product_row(1, "core", "root", "core"));
    sparse_file(kit.at("core/one.bin"), 3LL << 30);
    sparse_file(kit.at("core/two.bin"), 3LL << 30);
    file("core/core.map", kMapHeader + map_row("G", "one.bin", 0) + map_row("G", "two.bin", 0));
    std::string prd = read("win95.prd");
    EXPECT_EQ(run({"-F", "-R"}), RC_SIZE_TOO_LARGE);
    std::string core = root + "\\core\\core.map";
    EXPECT_EQ(e.output, opening() + "    " + core + "\r\n" + "      core.map Superfluous\r\n" +
                            "      one.bin 0 --> 3221225472\r\n" +
                            "      two.bin 0 --> 3221225472\r\n" + "    " + core + ": %NMVD%\r\n" +
                            "    " + core + ": Size Does Not Fit 32 Bits\r\n");
    EXPECT_EQ(read("win95.prd"), prd);

    // Each product fits; the parent with its child does not.
    file("win95.prd", kVersionRow + product_row(1, "core", "root", "core") +
                          product_row(2, "tools", "core", "tools"));
    ASSERT_EQ(unlink(kit.at("core/two.bin").c_str()), 0);
    sparse_file(kit.at("tools/two.bin"), 3LL << 30);
    file("core/core.map", kMapHeader + map_row("G", "one.bin", 3221225472u));
    file("tools/tools.map", kMapHeader + map_row("G", "two.bin", 3221225472u));
    prd = read("win95.prd");
    EXPECT_EQ(run({"-F", "-R"}), RC_SIZE_TOO_LARGE);
    EXPECT_EQ(e.output, opening() + "    " + core + "\r\n" + "      core.map Superfluous\r\n" +
                            "    " + core + ": 3221225472\r\n" + "    " + root +
                            "\\tools\\tools.map\r\n" + "      tools.map Superfluous\r\n" + "    " +
                            root + "\\tools\\tools.map: 3221225472\r\n" + "    " + core +
                            ": Size Does Not Fit 32 Bits\r\n");
    EXPECT_EQ(read("win95.prd"), prd);
}

TEST_F(FileSafetyTest, FailuresOfScriptsAndTemporaryFilesAreReportedOnceInPlainWords) {
    file("win95.prd", kVersionRow + product_row(1, "w95install", "root", "inst", "3.2.1.0.0"));
    std::string script = "nls(\"K\", \"" + std::string(1500, '\\') + "\")\n";
    file("inst/win95.stp", script);
    file("inst/w95install.map", kMapHeader + map_row("S", "win95.stp", uint32_t(script.size())));
    std::string map = root + "\\inst\\w95install.map";
    EXPECT_EQ(run(), RC_TEXT_TOO_LONG);
    EXPECT_EQ(e.output, opening() + "    " + map + "\r\n" + "      w95install.map Superfluous\r\n" +
                            "    " + map + ": " + std::to_string(script.size()) + "\r\n" + "    " +
                            root + "\\inst\\win95.stp: Text Too Long\r\n");

    // A product directory where no file may be made.
    file("inst/win95.stp", std::string(8, 's'));
    file("inst/w95install.map", kMapHeader + map_row("S", "win95.stp", 0));
    file_services_fail_on(HOST_OP_OPEN, ".w95install.map.~", EACCES);
    EXPECT_EQ(run({"-R"}), RC_PERMISSION_DENIED);
    EXPECT_EQ(e.output, opening() + "    " + map + "\r\n" + "      w95install.map Superfluous\r\n" +
                            "      win95.stp 0 --> 8\r\n" + "    " + map + ": 8\r\n" + "    " +
                            map + ": Permission Denied\r\n");

    // A script that is there but cannot be read says so, not that it is missing.
    file_services_fail_on(HOST_OP_READ, "win95.stp", EIO);
    EXPECT_EQ(run(), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output, opening() + "    " + map + "\r\n" + "      w95install.map Superfluous\r\n" +
                            "      win95.stp 0 --> 8\r\n" + "    " + map + ": 8\r\n" + "    " +
                            root + "\\inst\\win95.stp: Unable To Read\r\n");
}
