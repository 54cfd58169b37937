#include "sys/directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "support/test_support.h"
#include "sys/host_io.h"

namespace {

// Lists `directory` to its end as "name size d|f" lines, then what ended
// it: "end" at the end of the listing, else "failed" and the code.
std::string list_all(const std::string& directory, unsigned status_ahead = 0) {
    DirectoryListing* listing = directory_open(directory, status_ahead);
    if (!listing) return "cannot start";
    std::string out;
    ResultCode rc;
    while ((rc = directory_next(listing)) == RC_OK)
        out += directory_entry_name(listing) + " " + std::to_string(directory_entry_size(listing)) +
               (directory_entry_is_directory(listing) ? " d\n" : " f\n");
    directory_close(listing);
    return out + (rc == DIRECTORY_END ? "end" : "failed " + std::to_string(rc));
}

TEST(DirectoryListing, DeliversEntriesInFoldedNameOrderWithLinksAsTheirTargets) {
    TempDir dir;
    for (const char* name : {"Zeta", "alpha", "_x", "b.txt", "B.TXT"})
        write_host_file(dir.at(std::string("kit/") + name), name);
    write_host_file(dir.at("kit/Sub/inner"), "");
    ASSERT_EQ(symlink("Sub", dir.at("kit/link-dir").c_str()), 0);
    ASSERT_EQ(symlink("Zeta", dir.at("kit/link-file").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", dir.at("kit/link-dangling").c_str()), 0);
    EXPECT_EQ(list_all(engine_path(dir.at("kit"))),
              "_x 2 f\nalpha 5 f\nB.TXT 5 f\nb.txt 5 f\nlink-dir 0 d\nlink-file 4 f\n"
              "Sub 0 d\nZeta 4 f\nend");
}

TEST(DirectoryListing, EmptyMissingAndCurrentDirectories) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.at("empty").c_str(), 0755), 0);
    EXPECT_EQ(list_all(engine_path(dir.at("empty"))), "end");
    EXPECT_EQ(list_all(engine_path(dir.at("missing"))), "cannot start");
    write_host_file(dir.at("file"), "");
    EXPECT_EQ(list_all(engine_path(dir.at("file"))), "cannot start");
    EXPECT_EQ(directory_next(nullptr), RC_NO_OBJECT);

    std::string before = std::filesystem::current_path();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    EXPECT_EQ(list_all(""), "empty 0 d\nfile 0 f\nend");
    ASSERT_EQ(chdir(before.c_str()), 0);
}

TEST(DirectoryListing, OddEntriesAreDeliveredMarkedAndFailedReadsAreNoListing) {
    TempDir dir;
    write_host_file(dir.at("big"), "");
    ASSERT_EQ(truncate(dir.at("big").c_str(), 4294967296LL), 0);
    write_host_file(dir.at("small"), "abc");
    ASSERT_EQ(symlink(".", dir.at("up").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.at("pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/null", dir.at("null").c_str()), 0);
    DirectoryListing* listing = directory_open(engine_path(dir.path()));
    ASSERT_NE(listing, nullptr);
    std::string seen;
    while (directory_next(listing) == RC_OK) {
        seen += directory_entry_name(listing) + " " +
                std::to_string(directory_entry_size(listing)) +
                (directory_entry_too_large(listing) ? " large" : "") +
                (directory_entry_not_regular(listing) ? " not-regular" : "") + ";";
        // A link back to the listed directory is the same directory.
        if (directory_entry_name(listing) == "up") {
            EXPECT_FALSE(directory_identity(listing) < directory_entry_identity(listing) ||
                         directory_entry_identity(listing) < directory_identity(listing));
        }
    }
    EXPECT_TRUE(directory_identity(listing).known());
    directory_close(listing);
    EXPECT_EQ(seen, "big 0 large;null 0 not-regular;pipe 0 not-regular;small 3;up 0;");

    // Names that cannot all be read give no listing rather than a short one.
    file_services_fail_next(HOST_OP_READDIR, EIO, 1);
    EXPECT_EQ(list_all(engine_path(dir.path())), "cannot start");
    file_services_faults_clear();
    // An entry that cannot be examined ends the listing with the read's code.
    file_services_fail_next(HOST_OP_FSTAT, EIO, 1);
    EXPECT_EQ(list_all(engine_path(dir.path())), "big 0 f\nfailed 20");
    file_services_faults_clear();
}

// The host refuses a name as invalid or too long with the code of an
// invalid file name (RC_INVALID_FILE_NAME): that is a failure of the entry, like any other,
// and never an entry passed over nor the end of the listing.
TEST(DirectoryListing, AnEntryRefusedAsAnInvalidNameEndsTheListingWithItsCode) {
    TempDir dir;
    for (const char* name : {"a", "b", "c"})
        write_host_file(dir.at(std::string("kit/") + name), name);
    std::string kit = engine_path(dir.at("kit"));
    for (int error : {EINVAL, ENAMETOOLONG}) {
        file_services_fail_on(HOST_OP_FSTAT, "/b", error);
        EXPECT_EQ(list_all(kit), "a 1 f\nfailed 23") << error;
        file_services_faults_clear();
    }
    // An entry gone since the listing started is passed over, as before.
    file_services_fail_on(HOST_OP_FSTAT, "/b", ENOENT);
    EXPECT_EQ(list_all(kit), "a 1 f\nc 1 f\nend");
    file_services_faults_clear();
}

// On a host slow to answer status queries the listing asks ahead on its
// threads, and delivers exactly what one thread delivers: the same entries
// in the same order, an entry gone meanwhile passed over, and a failed
// query ending the listing at that entry.
TEST(DirectoryListing, ASlowHostIsAskedAheadAndTheListingIsThatOfOneThread) {
    TempDir dir;
    std::string expected;  // without f050, which is gone meanwhile
    std::string whole;
    for (int i = 0; i < 120; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%03d", i);
        write_host_file(dir.at(std::string("kit/") + name), std::string(size_t(i), 'x'));
        std::string line = std::string(name) + " " + std::to_string(i) + " f\n";
        whole += line;
        if (i != 50) expected += line;
    }
    ASSERT_EQ(mkdir(dir.at("kit/sub").c_str(), 0755), 0);
    expected += "sub 0 d\n";
    std::string kit = engine_path(dir.at("kit"));

    // 2 ms a query: one at a time, the 121 queries take 242 ms or more.
    file_services_delay(HOST_OP_FSTAT, 2000);
    file_services_fail_on(HOST_OP_FSTAT, "/f050", ENOENT);
    auto started = std::chrono::steady_clock::now();
    std::string ahead = list_all(kit, 16);
    auto took = std::chrono::steady_clock::now() - started;
    file_services_faults_clear();
    EXPECT_EQ(ahead, expected + "end");
    if (!kSanitizedBuild) {
        EXPECT_LT(took, std::chrono::milliseconds(150));
    }

    file_services_delay(HOST_OP_FSTAT, 2000);
    file_services_fail_on(HOST_OP_FSTAT, "/f090", EIO);
    std::string failed = list_all(kit, 16);
    file_services_faults_clear();
    EXPECT_EQ(failed, whole.substr(0, whole.find("f090")) + "failed 20");

    // A quick host is asked on the reader's thread alone: a failure aimed
    // by count strikes the same entry as without threads.
    file_services_fail_next(HOST_OP_FSTAT, EIO, 30);
    std::string quick = list_all(kit, 16);
    file_services_faults_clear();
    EXPECT_EQ(quick, whole.substr(0, whole.find("f030")) + "failed 20");
}

}  // namespace
