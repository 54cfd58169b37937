#include "sys/directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "support/test_support.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"

namespace {

struct Entry {
    std::string name;
    uint32_t size;
    bool is_directory;
    bool operator==(const Entry&) const = default;
};

// Lists `directory` to its end; *end_code receives what ended it.
std::vector<Entry> list_all(const std::string& directory, ResultCode* end_code) {
    std::vector<Entry> entries;
    DirectoryListing* listing = directory_open(directory);
    EXPECT_NE(listing, nullptr) << directory;
    ResultCode rc;
    while ((rc = directory_next(listing)) == RC_OK)
        entries.push_back({directory_entry_name(listing), directory_entry_size(listing),
                           directory_entry_is_directory(listing)});
    *end_code = rc;
    directory_close(listing);
    return entries;
}

TEST(DirectoryListing, DeliversEntriesInFoldedNameOrderWithLinksAsTheirTargets) {
    TempDir dir;
    write_host_file(dir.at("kit/Zeta"), "12345");
    write_host_file(dir.at("kit/alpha"), "");
    write_host_file(dir.at("kit/_x"), "1");
    write_host_file(dir.at("kit/b.txt"), "22");
    write_host_file(dir.at("kit/B.TXT"), "333");
    write_host_file(dir.at("kit/Sub/inner"), "");
    ASSERT_EQ(symlink("Sub", dir.at("kit/link-dir").c_str()), 0);
    ASSERT_EQ(symlink("Zeta", dir.at("kit/link-file").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", dir.at("kit/link-dangling").c_str()), 0);

    ResultCode end;
    std::vector<Entry> entries = list_all(engine_path(dir.at("kit")), &end);
    std::vector<Entry> expected = {
        {"_x", 1, false},         {"alpha", 0, false},       {"B.TXT", 3, false},
        {"b.txt", 2, false},      {"link-dir", 0, true},     {"link-file", 5, false},
        {"Sub", 0, true},         {"Zeta", 5, false},
    };
    EXPECT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < entries.size() && i < expected.size(); ++i)
        EXPECT_EQ(entries[i], expected[i]) << "entry " << i << ": " << entries[i].name;
    EXPECT_EQ(end, RC_NO_MORE_ENTRIES);
}

TEST(DirectoryListing, EmptyMissingAndCurrentDirectories) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.at("empty").c_str(), 0755), 0);
    DirectoryListing* listing = directory_open(engine_path(dir.at("empty")));
    ASSERT_NE(listing, nullptr);
    EXPECT_EQ(directory_next(listing), RC_NO_MORE_ENTRIES);
    EXPECT_EQ(directory_entry_name(listing), "");
    directory_close(listing);

    EXPECT_EQ(directory_open(engine_path(dir.at("missing"))), nullptr);
    write_host_file(dir.at("file"), "");
    EXPECT_EQ(directory_open(engine_path(dir.at("file"))), nullptr);
    EXPECT_EQ(directory_next(nullptr), RC_NO_OBJECT);

    std::string before = host_current_directory();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ResultCode end;
    std::vector<Entry> entries = list_all("", &end);
    ASSERT_EQ(chdir(before.c_str()), 0);
    std::vector<Entry> expected = {{"empty", 0, true}, {"file", 0, false}};
    EXPECT_EQ(entries, expected);
}

TEST(DirectoryListing, AFileOfFourGigabytesOrAFailingEntryGives29) {
    TempDir dir;
    write_host_file(dir.at("big"), "");
    ASSERT_EQ(truncate(dir.at("big").c_str(), 4294967296LL), 0);
    write_host_file(dir.at("small"), "abc");
    ResultCode end;
    EXPECT_TRUE(list_all(engine_path(dir.path()), &end).empty());
    EXPECT_EQ(end, RC_OS_ERROR);

    DirectoryListing* listing = directory_open(engine_path(dir.path()));
    ASSERT_NE(listing, nullptr);
    file_services_fail_next(HOST_OP_STAT, EIO);
    EXPECT_EQ(directory_next(listing), RC_OS_ERROR);
    EXPECT_EQ(directory_next(listing), RC_OK);
    EXPECT_EQ(directory_entry_name(listing), "small");
    EXPECT_EQ(directory_entry_size(listing), 3u);
    directory_close(listing);
    file_services_faults_clear();
}

}  // namespace
