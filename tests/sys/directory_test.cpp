#include "sys/directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_support.h"
#include "sys/host_io.h"

namespace {

// Lists `directory` to its end as "name size d|f" lines, then what ended it.
std::string list_all(const std::string& directory) {
    DirectoryListing* listing = directory_open(directory);
    if (!listing) return "cannot start";
    std::string out;
    ResultCode rc;
    while ((rc = directory_next(listing)) == RC_OK)
        out += directory_entry_name(listing) + " " +
               std::to_string(directory_entry_size(listing)) +
               (directory_entry_is_directory(listing) ? " d\n" : " f\n");
    directory_close(listing);
    return out + "end " + std::to_string(rc);
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
              "Sub 0 d\nZeta 4 f\nend 23");
}

TEST(DirectoryListing, EmptyMissingAndCurrentDirectories) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.at("empty").c_str(), 0755), 0);
    EXPECT_EQ(list_all(engine_path(dir.at("empty"))), "end 23");
    EXPECT_EQ(list_all(engine_path(dir.at("missing"))), "cannot start");
    write_host_file(dir.at("file"), "");
    EXPECT_EQ(list_all(engine_path(dir.at("file"))), "cannot start");
    EXPECT_EQ(directory_next(nullptr), RC_NO_OBJECT);

    std::string before = std::filesystem::current_path();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    EXPECT_EQ(list_all(""), "empty 0 d\nfile 0 f\nend 23");
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
        seen += directory_entry_name(listing) + " " + std::to_string(directory_entry_size(listing)) +
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
    EXPECT_EQ(list_all(engine_path(dir.path())), "big 0 f\nend 20");
    file_services_faults_clear();
}

}  // namespace
