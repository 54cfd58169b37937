#include "sys/text_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "support/test_support.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"

namespace {

class TextFileTest : public ::testing::Test {
protected:
    void TearDown() override { file_services_faults_clear(); }
    // Opens dir/<name>.map for writing (or appending).
    TextFile* open(const std::string& name, bool append = false) {
        TextFile* file = nullptr;
        std::string absolute = engine_path(dir.path());
        ResultCode rc = append ? text_file_open_append(&file, absolute, "", name, "map")
                               : text_file_open_write(&file, absolute, "", name, "map");
        EXPECT_EQ(rc, RC_OK);
        return file;
    }
    // The names in the folder, so that a left-over temporary file shows.
    std::string names() {
        std::vector<std::string> found;
        EXPECT_EQ(host_directory_read(dir.path(), &found), 0);
        std::string out;
        for (const std::string& name : found) out += name + ";";
        return out;
    }
    TempDir dir;
};

TEST_F(TextFileTest, WritesTextModeBytesAndKeepsItsParts) {
    TextFile* file = open("core");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(text_file_parts(file).base, "core");
    EXPECT_EQ(text_file_path(file), engine_path(dir.at("core.map")));
    text_file_write_text(file, "#Name\nx");
    text_file_write_line_end(file);
    text_file_write_char(file, '\n');
    text_file_write_u16(file, 65535);
    text_file_write_space(file);
    text_file_write_u32(file, 4294967295u);
    text_file_write_u32(file, 0);
    text_file_write_padded(file, "ab", 5);
    EXPECT_EQ(text_file_write_padded(file, "long", 2), RC_OK);
    EXPECT_FALSE(host_exists(dir.at("core.map")));  // nothing is in place before the close
    EXPECT_EQ(text_file_close(file), RC_OK);
    EXPECT_EQ(read_host_file(dir.at("core.map")), "#Name\r\nx\r\n\r\n65535 42949672950ab   long");
    EXPECT_EQ(names(), "core.map;");
    EXPECT_EQ(text_file_write_char(nullptr, 'x'), RC_OS_ERROR);
}

TEST_F(TextFileTest, ARewriteReplacesTheFormerFileKeepingPermissionsAndLinks) {
    write_host_file(dir.at("core.map"), "former contents that are longer");
    ASSERT_EQ(chmod(dir.at("core.map").c_str(), 0640), 0);
    TextFile* file = open("CORE");  // found without regard to case
    text_file_write_text(file, "new\n");
    EXPECT_EQ(text_file_close(file), RC_OK);
    file = open("core", true);
    text_file_write_text(file, "more\n");
    EXPECT_EQ(text_file_close(file), RC_OK);
    EXPECT_EQ(read_host_file(dir.at("core.map")), "new\r\nmore\r\n");
    struct stat info;
    ASSERT_EQ(stat(dir.at("core.map").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    ASSERT_EQ(symlink("core.map", dir.at("link.map").c_str()), 0);
    file = open("link");
    text_file_write_text(file, "linked");
    EXPECT_EQ(text_file_close(file), RC_OK);
    EXPECT_EQ(read_host_file(dir.at("core.map")), "linked");
    ASSERT_EQ(lstat(dir.at("link.map").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST_F(TextFileTest, AFailedWriteOrRenameLeavesTheFormerFileWhole) {
    const std::string former = "former\r\ncontents\r\n";
    write_host_file(dir.at("core.map"), former);
    struct Case {
        void (*arrange)();
        bool append;
        ResultCode expected;
    } cases[] = {
        {[] { file_services_fail_writes_after(5000, ENOSPC); }, false, RC_UNABLE_TO_WRITE},
        {[] { file_services_fail_writes_after(5, EFBIG); }, true, RC_UNABLE_TO_WRITE},
        {[] { file_services_fail_next(HOST_OP_WRITE, EBADF); }, false, RC_OS_ERROR},
        {[] { file_services_fail_next(HOST_OP_RENAME, EXDEV); }, false, RC_OS_ERROR},
    };
    for (const Case& c : cases) {
        c.arrange();
        TextFile* file = open("core", c.append);
        ASSERT_NE(file, nullptr);
        for (int i = 0; i < 100; ++i) text_file_write_text(file, std::string(1000, 'x'));
        EXPECT_EQ(text_file_close(file), c.expected);
        EXPECT_EQ(read_host_file(dir.at("core.map")), former);
        EXPECT_EQ(names(), "core.map;");
        file_services_faults_clear();
    }
}

TEST_F(TextFileTest, OpenFailuresAndDeleteOnClose) {
    TextFile* file = nullptr;
    // A folder that is not there says so.
    EXPECT_EQ(text_file_open_write(&file, engine_path(dir.at("missing")), "", "x", "map"),
              RC_FILE_NOT_FOUND);
    EXPECT_EQ(text_file_open_write(&file, "Z:\\" + std::string(300, 'd'), "", "x", "map"),
              RC_INVALID_FILE_NAME);
    EXPECT_EQ(file, nullptr);
    // A name near the host's limit still leaves room for the temporary file's.
    ASSERT_EQ(drive_bind('A', dir.path()), RC_OK);
    std::string name(250, 'n');
    ASSERT_EQ(text_file_open_write(&file, "A:\\", "", name, ""), RC_OK);
    EXPECT_EQ(text_file_close(file), RC_OK);
    EXPECT_TRUE(host_exists(dir.at(name)));
    ASSERT_EQ(unlink(dir.at(name).c_str()), 0);
    drive_unbind('A');
    write_host_file(dir.at("core.map"), "former");
    file = open("core");
    text_file_write_text(file, "discarded");
    text_file_set_delete_on_close(file, true);
    EXPECT_EQ(text_file_close(file), RC_OK);
    EXPECT_EQ(names(), "");
}

TEST_F(TextFileTest, AnEmptyPathWritesToStandardOutputAndLeavesItOpen) {
    fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    int fd = ::open(dir.at("out").c_str(), O_WRONLY | O_CREAT, 0644);
    dup2(fd, STDOUT_FILENO);
    TextFile* file = nullptr;
    ResultCode opened = text_file_open_write(&file, "", ".", "", "");
    text_file_write_text(file, "line\n");
    ResultCode closed = text_file_close(file);
    bool still_open = write(STDOUT_FILENO, "!", 1) == 1;
    dup2(saved, STDOUT_FILENO);
    close(saved);
    close(fd);
    EXPECT_EQ(opened, RC_OK);
    EXPECT_EQ(closed, RC_OK);
    EXPECT_TRUE(still_open);
    EXPECT_EQ(read_host_file(dir.at("out")), "line\r\n!");
}

// The modification time of a host file, to the nanosecond.
long long modified_ns(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return -1;
    return info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
}

void age(const std::string& path) {
    struct timespec old_times[2] = {{1000000000, 5}, {1000000000, 5}};
    utimensat(AT_FDCWD, path.c_str(), old_times, 0);
}

TEST_F(TextFileTest, ReplaceTouchesNothingForTheSameBytesAndKeepsTheFormerFileOtherwise) {
    PathParts parts{engine_path(dir.path()), "", "core", "map"};
    write_host_file(dir.at("core.map"), "same\r\n");
    write_host_file(dir.at("core.old"), "the real former table");
    age(dir.at("core.map"));
    age(dir.at("core.old"));
    bool rewritten = true;
    EXPECT_EQ(text_file_replace(parts, "same\r\n", true, &rewritten), RC_OK);
    EXPECT_FALSE(rewritten);
    EXPECT_EQ(read_host_file(dir.at("core.old")), "the real former table");
    EXPECT_EQ(modified_ns(dir.at("core.map")), 1000000000000000005LL);
    EXPECT_EQ(modified_ns(dir.at("core.old")), 1000000000000000005LL);

    EXPECT_EQ(text_file_replace(parts, "new\r\n", true, &rewritten), RC_OK);
    EXPECT_TRUE(rewritten);
    EXPECT_EQ(read_host_file(dir.at("core.map")), "new\r\n");
    EXPECT_EQ(read_host_file(dir.at("core.old")), "same\r\n");
    EXPECT_EQ(modified_ns(dir.at("core.old")), 1000000000000000005LL);  // the former file's time
    EXPECT_EQ(names(), "core.map;core.old;");

    // A former file that cannot be read whole is neither kept nor replaced.
    file_services_fail_next(HOST_OP_READ, EIO);
    EXPECT_EQ(text_file_replace(parts, "other\r\n", true, &rewritten), RC_UNABLE_TO_READ);
    EXPECT_FALSE(rewritten);
    // A disk that fills while the new text is written leaves both as they
    // were: the back-up is made only once the new text is out.
    file_services_fail_writes_after(2, ENOSPC);
    EXPECT_EQ(text_file_replace(parts, "other\r\n", true, &rewritten), RC_UNABLE_TO_WRITE);
    file_services_faults_clear();
    EXPECT_EQ(read_host_file(dir.at("core.map")), "new\r\n");
    EXPECT_EQ(read_host_file(dir.at("core.old")), "same\r\n");
    EXPECT_EQ(names(), "core.map;core.old;");
}

TEST_F(TextFileTest, AFailedTemporaryFileSaysWhy) {
    for (auto [error, code] : {std::pair{EACCES, RC_PERMISSION_DENIED},
                               {EROFS, RC_UNABLE_TO_WRITE},
                               {ENOSPC, RC_UNABLE_TO_WRITE},
                               {EMFILE, RC_TOO_MANY_OPEN_FILES}}) {
        file_services_fail_next(HOST_OP_OPEN, error);
        TextFile* file = nullptr;
        EXPECT_EQ(text_file_open_write(&file, engine_path(dir.path()), "", "core", "map"), code)
            << error;
        EXPECT_EQ(file, nullptr);
    }
    EXPECT_EQ(names(), "");
}

TEST_F(TextFileTest, TemporaryFilesOfEndedRunsAreRemovedBeforeTheSameTargetIsWritten) {
    EXPECT_TRUE(text_file_is_temporary_name(".core.map.~4821-3", nullptr));
    long pid = 0;
    EXPECT_TRUE(text_file_is_temporary_name("..x.~12-1", &pid));
    EXPECT_EQ(pid, 12);
    for (const char* name : {"core.map.~4821-3", ".core.map.~4821", ".core.map.~-3",
                             ".core.map.~48a1-3", ".~1-2", ".core.map.~4821-"})
        EXPECT_FALSE(text_file_is_temporary_name(name, nullptr)) << name;

    // A process number that is known to have ended: a child that has been waited for.
    pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_GT(ended, 0);
    waitpid(ended, nullptr, 0);
    std::string dead = std::to_string(ended), alive = std::to_string(getppid());
    write_host_file(dir.at(".core.map.~" + dead + "-1"), "left by a killed run");
    write_host_file(dir.at(".core.map.~" + alive + "-2"), "a run still writing");
    write_host_file(dir.at(".docs.map.~" + dead + "-1"), "another target's");
    TextFile* file = open("core");
    text_file_write_text(file, "x");
    EXPECT_EQ(text_file_close(file), RC_OK);
    EXPECT_EQ(names(), ".core.map.~" + alive + "-2;.docs.map.~" + dead + "-1;core.map;");
}

TEST_F(TextFileTest, EveryTemporaryFileOfAnEndedRunInAFolderCanBeRemoved) {
    pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_GT(ended, 0);
    waitpid(ended, nullptr, 0);
    std::string dead = std::to_string(ended), alive = std::to_string(getppid()),
                own = std::to_string(getpid());
    write_host_file(dir.at("._tools.exe.~" + dead + "-4"), "half a compressed copy");
    write_host_file(dir.at(".tools.5ld.~" + dead + "-2"), "half a density map file");
    write_host_file(dir.at("._other.dll.~" + alive + "-1"), "a run still writing");
    write_host_file(dir.at("._mine.dll.~" + own + "-1"), "this run's own");
    write_host_file(dir.at("_tools.exe"), "a compressed copy");
    write_host_file(dir.at("tools.~" + dead + "-1"), "not one of ours: no leading dot");
    text_file_remove_stale_temporaries(engine_path(dir.path()));
    EXPECT_EQ(names(), "._mine.dll.~" + own + "-1;._other.dll.~" + alive + "-1;_tools.exe;tools.~" +
                           dead + "-1;");
    // A folder that is not there is passed over.
    text_file_remove_stale_temporaries(engine_path(dir.at("missing")));
}

}  // namespace
