#include "sys/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>

#include "support/test_support.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"

namespace {

// Runs `operation` as an ordinary user and returns its result code: root
// passes every permission check, so a child process gives up root first.
int run_unprivileged(const std::function<int()>& operation) {
    if (geteuid() != 0) return operation();
    pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(255);
        _exit(operation());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Files, DeleteExistsSizeAndMakeDirectory) {
    TempDir dir;
    write_host_file(dir.at("Kit/old.map"), "12345");
    ASSERT_EQ(chmod(dir.at("Kit/old.map").c_str(), 0444), 0);
    std::string kit = engine_path(dir.at("kit"));
    bool exists = false;
    EXPECT_EQ(file_exists(kit + "\\OLD.MAP", &exists), RC_OK);
    EXPECT_TRUE(exists);
    uint32_t size = 0;
    EXPECT_EQ(file_size(kit + "\\OLD.MAP", &size), RC_OK);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(file_size(kit, &size), RC_OS_ERROR);
    EXPECT_EQ(file_delete(kit + "\\OLD.MAP"), RC_OK);
    EXPECT_EQ(file_exists(kit + "\\old.map", &exists), RC_OK);
    EXPECT_FALSE(exists);
    EXPECT_EQ(file_size(kit + "\\old.map", &size), RC_FILE_NOT_FOUND);
    EXPECT_EQ(file_delete(kit + "\\old.map"), RC_OK);
    EXPECT_EQ(file_delete(kit + "\\no\\old.map"), RC_OK);

    EXPECT_EQ(directory_make(kit + "\\New"), RC_OK);
    EXPECT_EQ(directory_make(kit + "\\NEW"), RC_OK);
    struct stat info;
    EXPECT_TRUE(stat(dir.at("Kit/New").c_str(), &info) == 0 && S_ISDIR(info.st_mode));
    write_host_file(dir.at("plain"), "");
    EXPECT_EQ(directory_make(engine_path(dir.at("plain"))), RC_OS_ERROR);
    EXPECT_EQ(directory_make(engine_path(dir.at("missing/new"))), RC_FILE_NOT_FOUND);

    ASSERT_EQ(truncate(dir.at("plain").c_str(), 4294967296LL), 0);
    EXPECT_EQ(file_size(engine_path(dir.at("plain")), &size), RC_OS_ERROR);
}

TEST(Files, TimesAreCopiedToTheNanosecondAndCompared) {
    TempDir dir;
    write_host_file(dir.at("a"), "");
    write_host_file(dir.at("b"), "");
    const struct timespec times[2] = {{1000000000, 123456789}, {1100000000, 987654321}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.at("a").c_str(), times, 0), 0);
    std::string a = engine_path(dir.at("a")), b = engine_path(dir.at("b"));
    bool not_older = true;
    EXPECT_EQ(file_not_older(b, a, &not_older), RC_OK);
    EXPECT_FALSE(not_older);
    EXPECT_EQ(file_copy_times(a, b), RC_OK);
    struct stat info;
    ASSERT_EQ(stat(dir.at("b").c_str(), &info), 0);
    EXPECT_EQ(info.st_atim.tv_nsec, 123456789);
    EXPECT_EQ(info.st_mtim.tv_sec, 1100000000);
    EXPECT_EQ(info.st_mtim.tv_nsec, 987654321);
    EXPECT_EQ(file_not_older(b, a, &not_older), RC_OK);
    EXPECT_TRUE(not_older);  // equal times
    EXPECT_EQ(file_not_older(a, engine_path(dir.at("gone")), &not_older), RC_FILE_NOT_FOUND);
}

TEST(Files, DirectoryFullPathResolvesWithoutChangingDirectory) {
    TempDir dir;
    write_host_file(dir.at("Kit/Core/x"), "");
    std::string before = host_current_directory(), full;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    EXPECT_EQ(directory_full_path("kit\\core\\..\\.\\CORE\\", &full), RC_OK);
    EXPECT_EQ(full, engine_path(dir.at("Kit/Core")));
    EXPECT_EQ(host_current_directory(), dir.path());
    EXPECT_EQ(directory_full_path("kit\\none", &full), RC_FILE_NOT_FOUND);
    EXPECT_EQ(directory_full_path("kit\\core\\x", &full), RC_FILE_NOT_FOUND);
    ASSERT_EQ(chdir(before.c_str()), 0);

    ASSERT_EQ(drive_bind('B', dir.at("Kit")), RC_OK);
    EXPECT_EQ(directory_full_path("b:\\CORE", &full), RC_OK);
    EXPECT_EQ(full, "B:\\Core");
    EXPECT_EQ(directory_full_path("B:", &full), RC_OK);
    EXPECT_EQ(full, "B:\\");
    drive_unbind('B');
    EXPECT_EQ(directory_full_path("B:\\", &full), RC_FILE_NOT_FOUND);
}

// Whether directory `inner` lies within directory `outer` (or is it), by
// where the host puts them; -1 when either cannot be placed or compared.
int within(const std::string& inner, const std::string& outer) {
    DirectoryPlace inner_place, outer_place;
    bool is_within = false;
    if (directory_place(engine_path(inner), &inner_place) != RC_OK ||
        directory_place(engine_path(outer), &outer_place) != RC_OK ||
        directory_place_within(inner_place, outer_place, &is_within) != RC_OK)
        return -1;
    return is_within ? 1 : 0;
}

TEST(Files, DirectoriesArePlacedAndComparedAsTheHostResolvesThem) {
    TempDir dir, elsewhere;
    write_host_file(dir.at("Kit/Sub/x"), "");
    write_host_file(dir.at("plain"), "a file");
    ASSERT_EQ(symlink(dir.at("Kit").c_str(), elsewhere.at("link").c_str()), 0);
    ASSERT_EQ(symlink("..", dir.at("Kit/Sub/up").c_str()), 0);
    ASSERT_EQ(symlink(dir.at("missing").c_str(), dir.at("dangling").c_str()), 0);

    // A directory that exists stands for itself; one yet to be made, for the
    // nearest directory above it, reached through the link.
    DirectoryPlace kit, deeper;
    ASSERT_EQ(directory_place(engine_path(dir.at("KIT")), &kit), RC_OK);
    EXPECT_TRUE(kit.exists && !kit.blocked && kit.identity.known());
    EXPECT_EQ(kit.host, dir.at("Kit"));
    ASSERT_EQ(directory_place(engine_path(elsewhere.at("link/new/deeper")), &deeper), RC_OK);
    EXPECT_FALSE(deeper.exists || deeper.blocked);
    EXPECT_EQ(deeper.host, elsewhere.at("link"));
    EXPECT_EQ(deeper.identity.device, kit.identity.device);
    EXPECT_EQ(deeper.identity.inode, kit.identity.inode);

    EXPECT_EQ(within(elsewhere.at("link"), dir.at("Kit")), 1);
    EXPECT_EQ(within(elsewhere.at("link/new/deeper"), dir.at("Kit")), 1);
    EXPECT_EQ(within(dir.at("Kit/Sub/up"), dir.at("Kit")), 1);
    EXPECT_EQ(within(dir.at("Kit/Sub/up/Sub/up"), dir.at("Kit/Sub")), 0);
    EXPECT_EQ(within(dir.at("Kit"), elsewhere.at("link/Sub")), 0);
    EXPECT_EQ(within(dir.at("Kit"), dir.path()), 1);
    EXPECT_EQ(within(dir.at("Kit/Sub"), elsewhere.at("link")), 1);
    EXPECT_EQ(within(elsewhere.path(), dir.at("Kit")), 0);
    EXPECT_EQ(within(dir.at("Kit"), elsewhere.path()), 0);
    // A directory that does not exist holds nothing, not even itself.
    EXPECT_EQ(within(dir.at("Kit/new"), dir.at("Kit/new")), 0);

    // A file, or a link that points nowhere, is in the way of a directory.
    for (const char* blocked : {"plain", "plain/sub", "dangling"}) {
        DirectoryPlace place;
        EXPECT_EQ(directory_place(engine_path(dir.at(blocked)), &place), RC_OK);
        EXPECT_TRUE(place.blocked && !place.exists && !place.identity.known()) << blocked;
        EXPECT_EQ(within(dir.at(blocked), dir.path()), 0) << blocked;
    }

    // A parent that cannot be examined is a failure, not an answer.
    DirectoryPlace sub;
    ASSERT_EQ(directory_place(engine_path(dir.at("Kit/Sub")), &sub), RC_OK);
    bool is_within = true;
    file_services_fail_next(HOST_OP_STAT, EACCES);
    EXPECT_EQ(directory_place_within(sub, kit, &is_within), RC_PERMISSION_DENIED);
    EXPECT_FALSE(is_within);
}

TEST(Files, ReadAllGivesTheBytesAsTheyAre) {
    TempDir dir;
    std::string bytes("line\r\nnul\0end\n", 14), read;
    write_host_file(dir.at("win95.prd"), bytes);
    EXPECT_EQ(file_read_all(engine_path(dir.at("WIN95.PRD")), &read), RC_OK);
    EXPECT_EQ(read, bytes);
    file_services_fail_next(HOST_OP_READ, EIO);
    EXPECT_EQ(file_read_all(engine_path(dir.at("win95.prd")), &read), RC_UNABLE_TO_READ);
}

TEST(Files, ReadOnlyAndClosedDirectoriesGivePermissionDenied) {
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    write_host_file(dir.at("ro/file"), "x");
    write_host_file(dir.at("closed/file"), "x");
    ASSERT_EQ(chmod(dir.at("ro").c_str(), 0555), 0);
    ASSERT_EQ(chmod(dir.at("closed").c_str(), 0600), 0);
    std::string ro = engine_path(dir.at("ro")), closed = engine_path(dir.at("closed"));
    bool exists = false;
    std::string full;
    EXPECT_EQ(run_unprivileged([&] { return int(file_delete(ro + "\\file")); }), 27);
    EXPECT_EQ(run_unprivileged([&] { return int(directory_make(ro + "\\new")); }), 27);
    EXPECT_EQ(run_unprivileged([&] { return int(file_exists(closed + "\\file", &exists)); }), 27);
    EXPECT_EQ(run_unprivileged([&] { return int(directory_full_path(closed, &full)); }), 27);
    EXPECT_TRUE(host_exists(dir.at("ro/file")));
}

TEST(Files, FloppyRootKeepsItsCaseButForTheDriveLetter) {
    std::string root = "A:\\";
    floppy_root_parse("b:\\Disks\\a", &root);
    EXPECT_EQ(root, "B:\\Disks\\a");
    floppy_root_parse("", &root);
    EXPECT_EQ(root, "B:\\Disks\\a");
    floppy_root_parse(std::string(261, 'x'), &root);
    EXPECT_EQ(root, "B:\\Disks\\a");
    floppy_root_parse(".", &root);
    EXPECT_EQ(root, host_path_to_engine(host_current_directory()));
}

}  // namespace

namespace {

TEST(Files, AFifoASocketOrADeviceIsUnreadableAtOnce) {
    TempDir dir;
    // No writer ever opens the FIFO: a read that waited would hang the test
    // until the alarm ends it.
    ASSERT_EQ(mkfifo(dir.at("pipe").c_str(), 0644), 0);
    std::string socket_path = dir.at("socket");
    int server = bound_socket(socket_path);
    ASSERT_GE(server, 0);
    alarm(20);
    for (std::string path : {engine_path(dir.at("pipe")), engine_path(dir.at("PIPE")),
                             engine_path(socket_path), std::string("Z:\\dev\\null")}) {
        uint32_t size = 7;
        EXPECT_EQ(file_size(path, &size), RC_UNABLE_TO_READ) << path;
        EXPECT_EQ(size, 7u) << path;
        std::string bytes = "kept";
        EXPECT_EQ(file_read_all(path, &bytes), RC_UNABLE_TO_READ) << path;
        EXPECT_EQ(bytes, "kept") << path;
        bool same = true;
        EXPECT_EQ(file_holds(path, "", &same), RC_UNABLE_TO_READ) << path;
        EXPECT_FALSE(same) << path;
        EXPECT_EQ(file_copy_contents(path, engine_path(dir.at("copy"))), RC_UNABLE_TO_READ) << path;
        // It is there, all the same.
        FileStatus status;
        EXPECT_EQ(file_status(path, &status), RC_OK) << path;
        EXPECT_TRUE(status.exists && !status.is_directory) << path;
    }
    alarm(0);
    close(server);
    EXPECT_FALSE(host_exists(dir.at("copy")));
}

}  // namespace
