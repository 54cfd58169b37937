#include "sys/binary_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/test_support.h"
#include "sys/host_io.h"
#include "sys/volumes.h"

TEST(BinaryFile, WritesAndReadsBytesUntranslated) {
    TempDir dir;
    std::string path = engine_path(dir.at("Data.BIN"));
    std::string bytes("a\nb\r\n\0z", 7);
    BinaryFile* out = nullptr;
    ASSERT_EQ(binary_file_open(&out, path, BINARY_WRITE), RC_OK);
    EXPECT_EQ(binary_file_write(out, bytes.data(), bytes.size()), RC_OK);
    EXPECT_EQ(binary_file_close(out), RC_OK);
    EXPECT_EQ(read_host_file(dir.at("Data.BIN")), bytes);

    // Read back through another letter case, in small chunks.
    BinaryFile* in = nullptr;
    ASSERT_EQ(binary_file_open(&in, engine_path(dir.at("data.bin")), BINARY_READ), RC_OK);
    std::string back;
    char chunk[3];
    size_t got = 0;
    while (binary_file_read(in, chunk, sizeof chunk, &got) == RC_OK && got > 0)
        back.append(chunk, got);
    EXPECT_EQ(binary_file_close(in), RC_OK);
    EXPECT_EQ(back, bytes);
}

TEST(BinaryFile, ReportsMissingFilesAndFullDisks) {
    TempDir dir;
    BinaryFile* file = nullptr;
    EXPECT_EQ(binary_file_open(&file, engine_path(dir.at("none")), BINARY_READ), RC_FILE_NOT_FOUND);
    EXPECT_EQ(file, nullptr);

    ASSERT_EQ(binary_file_open(&file, engine_path(dir.at("full")), BINARY_WRITE), RC_OK);
    file_services_fail_writes_after(4, ENOSPC);
    EXPECT_EQ(binary_file_write(file, "0123456789", 10), RC_UNABLE_TO_WRITE);
    file_services_faults_clear();
    binary_file_close(file);
    EXPECT_EQ(read_host_file(dir.at("full")), "0123");
}

TEST(BinaryFile, AFifoOrADeviceIsNotAFileToReadAndNeverBlocks) {
    TempDir dir;
    // No writer ever opens the FIFO: an open that waited would hang here.
    ASSERT_EQ(mkfifo(dir.at("pipe").c_str(), 0644), 0);
    BinaryFile* file = nullptr;
    EXPECT_EQ(binary_file_open(&file, engine_path(dir.at("pipe")), BINARY_READ), RC_UNABLE_TO_READ);
    EXPECT_EQ(file, nullptr);
    // Found through another letter case as well.
    EXPECT_EQ(binary_file_open(&file, engine_path(dir.at("PIPE")), BINARY_READ), RC_UNABLE_TO_READ);
    EXPECT_EQ(binary_file_open(&file, "Z:\\dev\\null", BINARY_READ), RC_UNABLE_TO_READ);
    EXPECT_EQ(file, nullptr);
}

TEST(BinaryFile, ReplacingMakesANewFileInsteadOfWritingThroughWhatIsThere) {
    TempDir dir;
    auto replace = [&](const std::string& name, const std::string& bytes) {
        BinaryFile* file = nullptr;
        ASSERT_EQ(binary_file_open(&file, engine_path(dir.at(name)), BINARY_REPLACE), RC_OK);
        ASSERT_EQ(binary_file_write(file, bytes.data(), bytes.size()), RC_OK);
        ASSERT_EQ(binary_file_close(file), RC_OK);
    };
    // A read-only file is replaced.
    write_host_file(dir.at("ro.txt"), "old");
    ASSERT_EQ(chmod(dir.at("ro.txt").c_str(), 0444), 0);
    replace("ro.txt", "new");
    EXPECT_EQ(read_host_file(dir.at("ro.txt")), "new");
    // A link is replaced by a file; what it pointed to is left as it was.
    write_host_file(dir.at("target.txt"), "target");
    ASSERT_EQ(symlink(dir.at("target.txt").c_str(), dir.at("link.txt").c_str()), 0);
    replace("link.txt", "own");
    struct stat info;
    ASSERT_EQ(lstat(dir.at("link.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(read_host_file(dir.at("link.txt")), "own");
    EXPECT_EQ(read_host_file(dir.at("target.txt")), "target");
    // Another name of the same file keeps the former bytes.
    ASSERT_EQ(link(dir.at("target.txt").c_str(), dir.at("second.txt").c_str()), 0);
    replace("target.txt", "replaced");
    EXPECT_EQ(read_host_file(dir.at("target.txt")), "replaced");
    EXPECT_EQ(read_host_file(dir.at("second.txt")), "target");
    // A new file is made.
    replace("fresh.txt", "fresh");
    EXPECT_EQ(read_host_file(dir.at("fresh.txt")), "fresh");
}

TEST(BinaryFile, AFileMadeWithoutANameShowsOnlyOnceItIsPlaced) {
    TempDir dir;
    write_host_file(dir.at("Old.txt"), "old");
    auto make = [&](const std::string& name, const std::string& bytes) {
        BinaryFile* file = nullptr;
        EXPECT_EQ(binary_file_make_unnamed(&file, engine_path(dir.at(name))), RC_OK);
        if (file) {
            EXPECT_EQ(binary_file_write(file, bytes.data(), bytes.size()), RC_OK);
        }
        return file;
    };
    // Places `file` where the folder holds `before`; the folder then holds
    // "Old.txt" and "new.txt", and nothing else.
    using Names = std::vector<std::string>;
    const Names both{"Old.txt", "new.txt"};
    auto place = [&](BinaryFile* file, const Names& before) {
        EXPECT_EQ(names_in(dir.path()), before);
        EXPECT_EQ(binary_file_place(file), RC_OK);
        EXPECT_EQ(binary_file_close(file), RC_OK);
        EXPECT_EQ(names_in(dir.path()), both);
    };
    // A new name appears with the whole file, not before.
    BinaryFile* file = make("new.txt", "fresh");
    if (!file) GTEST_SKIP() << "this file system makes no file without a name";
    place(file, Names{"Old.txt"});
    EXPECT_EQ(read_host_file(dir.at("new.txt")), "fresh");

    // A file of that name (in another letter case) keeps its bytes until
    // the new one replaces it, with no temporary name left.
    file = make("old.TXT", "second");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(read_host_file(dir.at("Old.txt")), "old");
    place(file, both);
    EXPECT_EQ(read_host_file(dir.at("Old.txt")), "second");

    // One never placed, or whose placing fails, leaves nothing and changes nothing.
    file = make("gone.txt", "never");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(binary_file_close(file), RC_OK);
    file = make("Old.txt", "third");
    ASSERT_NE(file, nullptr);
    file_services_fail_on(HOST_OP_RENAME, "Old.txt", EIO);
    EXPECT_EQ(binary_file_place(file), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(binary_file_close(file), RC_OK);
    EXPECT_EQ(names_in(dir.path()), both);
    EXPECT_EQ(read_host_file(dir.at("Old.txt")), "second");

    // Where the file system makes no file without a name, none is given,
    // and nothing fails; another failure is the open's.
    file_services_fail_on(HOST_OP_OPEN, "other.txt", EOPNOTSUPP);
    EXPECT_EQ(make("other.txt", ""), nullptr);
    BinaryFile* refused = nullptr;
    file_services_fail_on(HOST_OP_OPEN, "other.txt", EACCES);
    EXPECT_EQ(binary_file_make_unnamed(&refused, engine_path(dir.at("other.txt"))),
              RC_PERMISSION_DENIED);
    file_services_faults_clear();
    EXPECT_EQ(names_in(dir.path()), both);
}

TEST(Volumes, HostDirectoriesHaveSpaceButNoLabel) {
    TempDir dir;
    uint32_t free = 0, cluster = 0;
    EXPECT_EQ(volume_space(engine_path(dir.path()), &free, &cluster), RC_OK);
    EXPECT_GT(free, 0u);
    EXPECT_GT(cluster, 0u);
    std::string label = "x";
    EXPECT_EQ(volume_label(engine_path(dir.path()), &label), RC_OK);
    EXPECT_EQ(label, "");
    EXPECT_EQ(volume_set_label(engine_path(dir.path()), "DISK1"), RC_UNABLE_TO_WRITE);
}
