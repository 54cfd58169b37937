#include "sys/file_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "support/test_support.h"
#include "sys/host_io.h"

namespace {

TEST(FileLock, OneHolderAtATimeAcrossProcessesUntilTheHolderEnds) {
    TempDir dir;
    write_host_file(dir.at("win95.prd"), "table");
    std::string path = engine_path(dir.at("WIN95.PRD"));  // any letter case names it

    FileLock* first = nullptr;
    ASSERT_EQ(file_lock_take(path, &first), RC_OK);
    FileLock* second = nullptr;
    EXPECT_EQ(file_lock_take(path, &second), RC_SHARING_VIOLATION);
    EXPECT_EQ(second, nullptr);
    file_lock_release(first);

    // A process that holds the lock and is then killed gives it up.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
        FileLock* lock = nullptr;
        char answer = file_lock_take(path, &lock) == RC_OK ? 'y' : 'n';
        if (write(ready[1], &answer, 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    EXPECT_EQ(file_lock_take(path, &second), RC_SHARING_VIOLATION);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(file_lock_take(path, &second), RC_OK);
    file_lock_release(second);
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(read_host_file(dir.at("win95.prd")), "table");  // a lock changes nothing
}

TEST(FileLock, MissingFilesAndFailuresAreCodes) {
    TempDir dir;
    FileLock* lock = nullptr;
    EXPECT_EQ(file_lock_take(engine_path(dir.at("none.prd")), &lock), RC_FILE_NOT_FOUND);
    write_host_file(dir.at("win95.prd"), "table");
    file_services_fail_next(HOST_OP_LOCK, ENOLCK);
    EXPECT_EQ(file_lock_take(engine_path(dir.at("win95.prd")), &lock), RC_LOCK_VIOLATION);
    EXPECT_EQ(lock, nullptr);
    file_services_faults_clear();
    file_lock_release(nullptr);
}

// A failure of the host with the code of an invalid name (RC_INVALID_FILE_NAME), on the open
// or on the look at the file locked, is that failure: not a file replaced
// meanwhile, for which the lock would be taken again.
TEST(FileLock, AFailureWithTheCodeOfAnInvalidNameIsNoReplacedFile) {
    TempDir dir;
    write_host_file(dir.at("win95.prd"), "table");
    std::string host = dir.at("win95.prd");
    struct Fault {
        HostOp op;
        int error;
    };
    for (Fault fault : {Fault{HOST_OP_OPEN, EINVAL}, Fault{HOST_OP_OPEN, ENAMETOOLONG},
                        Fault{HOST_OP_FSTAT, EINVAL}, Fault{HOST_OP_STAT, ENAMETOOLONG}}) {
        file_services_fail_on(fault.op, "win95.prd", fault.error);
        FileLock* lock = nullptr;
        EXPECT_EQ(file_lock_take_host(host, &lock), RC_INVALID_FILE_NAME)
            << fault.op << " " << fault.error;
        EXPECT_EQ(lock, nullptr);
        file_lock_release(lock);
        file_services_faults_clear();
        // The failed attempt left no lock behind.
        ASSERT_EQ(file_lock_take_host(host, &lock), RC_OK);
        file_lock_release(lock);
    }
}

}  // namespace
