#include "sys/host_paths.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <thread>
#include <vector>

#include "support/test_support.h"
#include "sys/binary_file.h"
#include "sys/files.h"
#include "sys/host_io.h"

namespace {

// A staging folder bound to drive A: for the time of one test.
class DriveA : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(drive_bind('a', dir.path()), RC_OK); }
    void TearDown() override { drive_unbind('A'); }
    std::string resolve(const std::string& engine) {
        std::string host;
        EXPECT_EQ(host_path_resolve(engine, &host), RC_OK) << engine;
        return host;
    }
    TempDir dir;
};

TEST_F(DriveA, LooksUpEachComponentWithoutCaseWhenNotFoundAsWritten) {
    write_host_file(dir.at("Setup.EXE"), "x");
    write_host_file(dir.at("Disk1/readme.TXT"), "x");
    EXPECT_EQ(resolve("A:\\SETUP.EXE"), dir.at("Setup.EXE"));
    EXPECT_EQ(resolve("a:/disk1\\\\.\\README.txt"), dir.at("Disk1/readme.TXT"));
    // Missing components keep their spelling, and so does all after them.
    EXPECT_EQ(resolve("A:\\DISK1\\NewFile.Txt"), dir.at("Disk1/NewFile.Txt"));
    EXPECT_EQ(resolve("A:\\NoDir\\SETUP.EXE"), dir.at("NoDir/SETUP.EXE"));
    EXPECT_EQ(resolve("A:\\setup.exe\\x"), dir.at("Setup.EXE/x"));
    // The same when the folders are written as they are spelled.
    EXPECT_EQ(resolve("A:\\Disk1\\readme.TXT"), dir.at("Disk1/readme.TXT"));
    EXPECT_EQ(resolve("A:\\Disk1\\README.txt"), dir.at("Disk1/readme.TXT"));
    EXPECT_EQ(resolve("A:\\Disk1\\New.txt"), dir.at("Disk1/New.txt"));
    EXPECT_EQ(resolve("A:\\Setup.EXE\\x"), dir.at("Setup.EXE/x"));
    EXPECT_EQ(resolve("A:\\Disk1\\New\\readme.txt"), dir.at("Disk1/New/readme.txt"));
    // ".." never leaves the drive's directory.
    EXPECT_EQ(resolve("A:\\..\\..\\Disk1\\..\\setup.exe"), dir.at("Setup.EXE"));
}

TEST_F(DriveA, SeveralMatchesTakeTheFirstInListingOrderAndAnExactNameWins) {
    for (const char* name : {"data/x", "Data/x", "DATA/x"}) write_host_file(dir.at(name), "");
    EXPECT_EQ(resolve("A:\\dATa\\X"), dir.at("DATA/x"));
    EXPECT_EQ(resolve("A:\\Data\\x"), dir.at("Data/x"));
}

TEST_F(DriveA, LinksInsideAPathAreFollowedAndDotDotStaysLexical) {
    TempDir elsewhere;
    write_host_file(elsewhere.at("Deep/Inner.TXT"), "x");
    write_host_file(elsewhere.at("Only.TXT"), "x");
    write_host_file(dir.at("Setup.EXE"), "x");
    ASSERT_EQ(::symlink(elsewhere.at("Deep").c_str(), dir.at("Sub").c_str()), 0);
    EXPECT_EQ(resolve("A:\\Sub\\Inner.TXT"), dir.at("Sub/Inner.TXT"));
    EXPECT_EQ(resolve("A:\\Sub\\inner.txt"), dir.at("Sub/Inner.TXT"));
    EXPECT_EQ(resolve("A:\\sub\\INNER.txt"), dir.at("Sub/Inner.TXT"));
    EXPECT_EQ(resolve("A:\\Sub\\New\\X.TXT"), dir.at("Sub/New/X.TXT"));
    // ".." leaves "Sub" within the drive, not the directory it points to.
    EXPECT_EQ(resolve("A:\\Sub\\..\\Only.TXT"), dir.at("Only.TXT"));
    EXPECT_EQ(resolve("A:\\Sub\\..\\SETUP.exe"), dir.at("Setup.EXE"));
    // A link that leads nowhere is kept as it is, and what follows it too.
    ASSERT_EQ(::symlink(dir.at("missing").c_str(), dir.at("Dangling").c_str()), 0);
    EXPECT_EQ(resolve("A:\\dangling\\X"), dir.at("Dangling/X"));
    EXPECT_EQ(resolve("A:\\Dangling"), dir.at("Dangling"));
    // A file in the middle of a path.
    EXPECT_EQ(resolve("A:\\Setup.EXE\\x\\Y"), dir.at("Setup.EXE/x/Y"));
    EXPECT_EQ(resolve("A:\\.\\\\setup.exe\\.\\"), dir.at("Setup.EXE"));
}

TEST_F(DriveA, UnboundDrivesAndLongPathsFail) {
    std::string host;
    drive_unbind('A');
    EXPECT_EQ(host_path_resolve("A:\\x", &host), RC_FILE_NOT_FOUND);
    EXPECT_EQ(drive_bind('Z', dir.path()), RC_INVALID_FILE_NAME);
    std::string long_path = "Z:\\" + std::string(257, 'a');
    EXPECT_EQ(host_path_resolve(long_path, &host), RC_OK);  // 260 characters
    EXPECT_EQ(host_path_resolve(long_path + "a", &host), RC_INVALID_FILE_NAME);
    EXPECT_EQ(host_path_resolve(std::string("Z:\\a\0b", 6), &host), RC_INVALID_FILE_NAME);
}

TEST_F(DriveA, RootedPathsAreOnZAndRelativePathsOnTheCurrentDirectory) {
    write_host_file(dir.at("Kit/Core/setup.inf"), "");
    std::string rooted = engine_path(dir.path()).substr(2);  // "\tmp\..."
    EXPECT_EQ(resolve(rooted + "\\kit\\CORE"), dir.at("Kit/Core"));
    std::string before = host_current_directory();
    ASSERT_EQ(chdir(dir.at("Kit").c_str()), 0);
    EXPECT_EQ(resolve(""), dir.at("Kit"));
    EXPECT_EQ(resolve("core/SETUP.INF"), dir.at("Kit/Core/setup.inf"));
    EXPECT_EQ(resolve("Z:..\\kit\\core"), dir.at("Kit/Core"));
    ASSERT_EQ(chdir(before.c_str()), 0);
}

int64_t nanoseconds_of(const struct timespec& t) {
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Waits until host directory `path` (or the link itself, for a link) has
// been left alone for longer than the granularity of its time stamps (a
// tenth of a second for stamps with a fraction of a second, three seconds
// for whole seconds), so that a listing read from now on is trusted while
// the directory's times stay the same.
void wait_until_settled(const std::string& path) {
    struct stat info;
    ASSERT_EQ(::lstat(path.c_str(), &info), 0) << path;
    int64_t margin = info.st_ctim.tv_nsec == 0 ? 3100000000 : 150000000;
    int64_t ready = nanoseconds_of(info.st_ctim) + margin;
    for (;;) {
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        if (nanoseconds_of(now) >= ready) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Changes the directory's times from outside the file services, as another
// process would: its modification time goes back to 2001.
void touch_from_outside(const std::string& path) {
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

void create_from_outside(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0) << path;
    ::close(fd);
}

// Creates an empty file through the file services.
void create_through_services(const std::string& engine) {
    BinaryFile* file = nullptr;
    ASSERT_EQ(binary_file_open(&file, engine, BINARY_WRITE), RC_OK) << engine;
    ASSERT_EQ(binary_file_close(file), RC_OK) << engine;
}

// A failure set up for the next read of a directory shows whether a lookup
// answered from the kept listing: a read that fails counts as not found, so
// the name keeps the spelling it was given.
class KeptListing : public DriveA {
protected:
    void TearDown() override {
        file_services_faults_clear();
        DriveA::TearDown();
    }
    void forbid_reading(const std::string& directory) {
        file_services_fail_on(HOST_OP_OPENDIR, directory.c_str(), EIO);
    }
};

TEST_F(KeptListing, ANameMadeByAnotherRouteAfterTheListingWasKeptIsFound) {
    write_host_file(dir.at("Setup.EXE"), "x");
    wait_until_settled(dir.path());
    EXPECT_EQ(resolve("A:\\SETUP.EXE"), dir.at("Setup.EXE"));
    forbid_reading(dir.path());
    EXPECT_EQ(resolve("A:\\setup.exe"), dir.at("Setup.EXE"));  // from the kept listing
    file_services_faults_clear();

    create_from_outside(dir.at("ReadMe.txt"));
    EXPECT_EQ(resolve("A:\\README.TXT"), dir.at("ReadMe.txt"));
    EXPECT_EQ(resolve("A:\\SETUP.EXE"), dir.at("Setup.EXE"));

    wait_until_settled(dir.path());
    EXPECT_EQ(resolve("A:\\DISK1\\SETUP.INF"), dir.at("DISK1/SETUP.INF"));
    forbid_reading(dir.path());
    EXPECT_EQ(resolve("A:\\readme.TXT"), dir.at("ReadMe.txt"));
    file_services_faults_clear();
    ASSERT_EQ(::mkdir(dir.at("Disk1").c_str(), 0777), 0);
    EXPECT_EQ(resolve("A:\\DISK1\\SETUP.INF"), dir.at("Disk1/SETUP.INF"));
}

TEST_F(KeptListing, AChangeInADirectoryReachedThroughALinkIsSeen) {
    TempDir elsewhere;
    write_host_file(elsewhere.at("Deep/Inner.TXT"), "x");
    ASSERT_EQ(::symlink(elsewhere.at("Deep").c_str(), dir.at("Sub").c_str()), 0);
    wait_until_settled(elsewhere.at("Deep"));
    wait_until_settled(dir.at("Sub"));
    EXPECT_EQ(resolve("A:\\Sub\\INNER.txt"), dir.at("Sub/Inner.TXT"));
    forbid_reading(dir.path());
    EXPECT_EQ(resolve("A:\\Sub\\inner.TXT"), dir.at("Sub/Inner.TXT"));  // kept
    file_services_faults_clear();
    // The link stays as it was; the directory it leads to changes.
    create_from_outside(elsewhere.at("Deep/New.TXT"));
    EXPECT_EQ(resolve("A:\\Sub\\NEW.txt"), dir.at("Sub/New.TXT"));
}

TEST_F(KeptListing, ANameRemovedOrRenamedByAnotherRouteIsNoLongerFoundByItsOldSpelling) {
    write_host_file(dir.at("Old.TXT"), "x");
    write_host_file(dir.at("Keep.TXT"), "x");
    wait_until_settled(dir.path());
    EXPECT_EQ(resolve("A:\\OLD.txt"), dir.at("Old.TXT"));
    forbid_reading(dir.path());
    EXPECT_EQ(resolve("A:\\old.TXT"), dir.at("Old.TXT"));  // from the kept listing
    file_services_faults_clear();

    ASSERT_EQ(::rename(dir.at("Old.TXT").c_str(), dir.at("New.TXT").c_str()), 0);
    EXPECT_EQ(resolve("A:\\OLD.txt"), dir.at("OLD.txt"));
    EXPECT_EQ(resolve("A:\\NEW.txt"), dir.at("New.TXT"));

    wait_until_settled(dir.path());
    EXPECT_EQ(resolve("A:\\KEEP.txt"), dir.at("Keep.TXT"));
    forbid_reading(dir.path());
    EXPECT_EQ(resolve("A:\\keep.txt"), dir.at("Keep.TXT"));
    file_services_faults_clear();
    ASSERT_EQ(::unlink(dir.at("Keep.TXT").c_str()), 0);
    EXPECT_EQ(resolve("A:\\KEEP.txt"), dir.at("KEEP.txt"));
    EXPECT_EQ(resolve("A:\\new.txt"), dir.at("New.TXT"));
}

TEST_F(KeptListing, OurOwnCreationsRemovalsAndRenamesKeepTheListingCurrentWithoutReadingIt) {
    write_host_file(dir.at("Readme.TXT"), "x");
    EXPECT_EQ(resolve("A:\\README.txt"), dir.at("Readme.TXT"));
    create_through_services("A:\\Notes.Txt");
    forbid_reading(dir.path());

    EXPECT_EQ(resolve("A:\\NOTES.TXT"), dir.at("Notes.Txt"));
    EXPECT_EQ(file_delete("A:\\README.TXT"), RC_OK);
    EXPECT_FALSE(host_exists(dir.at("Readme.TXT")));
    EXPECT_EQ(resolve("A:\\readme.txt"), dir.at("readme.txt"));
    ASSERT_EQ(host_rename(dir.at("Notes.Txt").c_str(), dir.at("Letter.Txt").c_str()), 0);
    EXPECT_EQ(resolve("A:\\NOTES.TXT"), dir.at("NOTES.TXT"));
    EXPECT_EQ(resolve("A:\\LETTER.TXT"), dir.at("Letter.Txt"));
    EXPECT_EQ(directory_make("A:\\Disk1"), RC_OK);
    EXPECT_EQ(resolve("A:\\DISK1"), dir.at("Disk1"));  // (a lookup inside it would read it)

    // None of that read the directory: the failure is still waiting for
    // the read that a change from outside forces.
    touch_from_outside(dir.path());
    EXPECT_EQ(resolve("A:\\LETTER.TXT"), dir.at("LETTER.TXT"));
    file_services_faults_clear();
    EXPECT_EQ(resolve("A:\\LETTER.TXT"), dir.at("Letter.Txt"));
}

TEST_F(KeptListing, ManyCreationsInOneDirectoryDoNotReadItsListingAgain) {
    write_host_file(dir.at("Readme.TXT"), "x");
    EXPECT_EQ(resolve("A:\\README.txt"), dir.at("Readme.TXT"));
    create_through_services("A:\\File0.dat");
    forbid_reading(dir.path());
    for (int i = 1; i <= 100; ++i) {
        std::string name = "File" + std::to_string(i) + ".dat";
        create_through_services("A:\\" + name);
        EXPECT_EQ(resolve("A:\\FILE" + std::to_string(i) + ".DAT"), dir.at(name));
        EXPECT_EQ(resolve("A:\\README.TXT"), dir.at("Readme.TXT"));
    }
    touch_from_outside(dir.path());
    EXPECT_EQ(resolve("A:\\README.TXT"), dir.at("README.TXT"));  // the read that fails
    file_services_faults_clear();
    EXPECT_EQ(resolve("A:\\README.TXT"), dir.at("Readme.TXT"));
    EXPECT_EQ(resolve("A:\\file100.DAT"), dir.at("File100.dat"));
}

// Another thread renaming in a directory (as the workers of a parallel pass
// do) keeps its listing current: a lookup that finds the directory changed
// by a rename whose note is still under way answers from the listing
// rather than reading it again. Each status query waits 2 ms here, so the
// other thread's note (a status query of the directory) is under way most
// of the time.
TEST_F(KeptListing, ALookupWhileAnotherThreadRenamesDoesNotReadTheListingAgain) {
    write_host_file(dir.at("Readme.TXT"), "x");
    write_host_file(dir.at("x.dat"), "x");
    wait_until_settled(dir.path());
    EXPECT_EQ(resolve("A:\\README.txt"), dir.at("Readme.TXT"));
    // Two reads again are let through, for a thread held up so long
    // between its rename and its note (a loaded machine) that the listing
    // is dropped; one at every lookup is not.
    file_services_fail_on(HOST_OP_OPENDIR, dir.path().c_str(), EIO, 2);
    file_services_delay(HOST_OP_STAT, 2000);
    std::atomic<bool> done{false};
    std::thread renamer([&] {
        std::string x = dir.at("x.dat"), y = dir.at("y.dat");
        for (bool there = true; !done; there = !there)
            EXPECT_EQ(host_rename(there ? x.c_str() : y.c_str(), there ? y.c_str() : x.c_str()), 0);
    });
    std::vector<std::string> answers;
    for (int i = 0; i < 40; ++i) answers.push_back(resolve("A:\\README.TXT"));
    done = true;
    renamer.join();
    file_services_faults_clear();
    EXPECT_EQ(answers, std::vector<std::string>(40, dir.at("Readme.TXT")));
}

TEST_F(KeptListing, CaseTwinsGiveTheLowestSpellingFromTheKeptListingAsFromAFreshRead) {
    for (const char* name : {"data", "Data", "DATA"}) write_host_file(dir.at(name), "");
    wait_until_settled(dir.path());
    EXPECT_EQ(resolve("A:\\dATa"), dir.at("DATA"));

    ASSERT_EQ(host_unlink(dir.at("DATA").c_str()), 0);
    forbid_reading(dir.path());
    EXPECT_EQ(resolve("A:\\dATa"), dir.at("Data"));  // the next twin, from the kept listing
    int fd = host_open(dir.at("DAta").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    host_close(fd);
    EXPECT_EQ(resolve("A:\\dATa"), dir.at("DAta"));
    file_services_faults_clear();

    touch_from_outside(dir.path());  // a fresh read gives the same
    EXPECT_EQ(resolve("A:\\dATa"), dir.at("DAta"));
    ASSERT_EQ(::unlink(dir.at("DAta").c_str()), 0);
    ASSERT_EQ(::unlink(dir.at("Data").c_str()), 0);
    EXPECT_EQ(resolve("A:\\dATa"), dir.at("data"));
    // An exact name still wins over a lower twin.
    EXPECT_EQ(resolve("A:\\data"), dir.at("data"));
}

int64_t clock_now() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds_of(now);
}

int64_t change_time(const std::string& path) {
    struct stat info;
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return nanoseconds_of(info.st_ctim);
}

TEST_F(KeptListing, AListingReadJustAfterAChangeIsReadAgainAtTheNextLookup) {
    write_host_file(dir.at("Setup.EXE"), "x");
    touch_from_outside(dir.path());
    EXPECT_EQ(resolve("A:\\SETUP.EXE"), dir.at("Setup.EXE"));
    // Another change within the same clock tick would not show in the
    // directory's times, so this listing does not answer by itself.
    bool fresh = clock_now() - change_time(dir.path()) < 100000000;
    forbid_reading(dir.path());
    std::string again = resolve("A:\\SETUP.EXE");
    file_services_faults_clear();
    if (!fresh) GTEST_SKIP() << "the lookup came too late after the change to test this";
    EXPECT_EQ(again, dir.at("SETUP.EXE"));  // read again, and the read failed
    EXPECT_EQ(resolve("A:\\SETUP.EXE"), dir.at("Setup.EXE"));
}

TEST_F(KeptListing, TheRecordOfOurOwnChangesIsReadAgainOnceItIsTwoSecondsOld) {
    write_host_file(dir.at("Readme.TXT"), "x");
    EXPECT_EQ(resolve("A:\\README.txt"), dir.at("Readme.TXT"));
    create_through_services("A:\\Notes.Txt");
    int64_t ready = change_time(dir.path()) + 2100000000;
    while (clock_now() < ready) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    forbid_reading(dir.path());
    EXPECT_EQ(resolve("A:\\NOTES.TXT"), dir.at("NOTES.TXT"));  // read again, and it failed
    file_services_faults_clear();
    EXPECT_EQ(resolve("A:\\NOTES.TXT"), dir.at("Notes.Txt"));
    forbid_reading(dir.path());  // that read was settled: it answers now
    EXPECT_EQ(resolve("A:\\README.TXT"), dir.at("Readme.TXT"));
}

// A copy the run is making answers its lookups from the listing our own
// changes keep current, without asking the host: a failure armed for the
// first status query of anything in it and for the first read of it is
// still waiting after files are looked up, made and renamed there. Once the
// filling ends, the host is asked again and a name made from outside shows.
TEST_F(KeptListing, ATreeTheRunFillsIsLookedUpInItsListingWithoutAskingTheHost) {
    write_host_file(dir.at("Copy/Readme.TXT"), "x");
    write_host_file(dir.at("Copy/Sub/Inner.TXT"), "x");
    DirectoryFilling filling;
    ASSERT_EQ(directory_filling_begin("A:\\COPY", &filling), RC_OK);
    EXPECT_EQ(filling.host, dir.at("Copy"));
    EXPECT_EQ(resolve("A:\\COPY\\README.txt"), dir.at("Copy/Readme.TXT"));
    EXPECT_EQ(resolve("A:\\COPY\\SUB\\INNER.txt"), dir.at("Copy/Sub/Inner.TXT"));
    file_services_fail_on(HOST_OP_STAT, "/Copy", EIO);
    forbid_reading(dir.at("Copy"));

    create_through_services("A:\\COPY\\New.Dat");
    EXPECT_EQ(file_rename("A:\\COPY\\NEW.DAT", "A:\\COPY\\README.TXT"), RC_OK);
    create_through_services("A:\\COPY\\SUB\\Made.Dat");
    EXPECT_EQ(resolve("A:\\COPY\\new.dat"), dir.at("Copy/new.dat"));
    EXPECT_EQ(resolve("A:\\COPY\\readme.txt"), dir.at("Copy/Readme.TXT"));
    EXPECT_EQ(resolve("A:\\COPY\\SUB\\MADE.DAT"), dir.at("Copy/Sub/Made.Dat"));
    EXPECT_EQ(resolve("A:\\COPY\\SUB\\inner.txt"), dir.at("Copy/Sub/Inner.TXT"));
    EXPECT_EQ(read_host_file(dir.at("Copy/Readme.TXT")), "");
    EXPECT_FALSE(host_exists(dir.at("Copy/New.Dat")));
    struct stat info;
    EXPECT_NE(host_lstat(dir.at("Copy/Readme.TXT").c_str(), &info), 0);  // still armed
    file_services_faults_clear();

    create_from_outside(dir.at("Copy/Other.TXT"));
    directory_filling_end(&filling);
    EXPECT_TRUE(filling.host.empty());
    EXPECT_EQ(resolve("A:\\COPY\\OTHER.txt"), dir.at("Copy/Other.TXT"));
    EXPECT_EQ(resolve("A:\\COPY\\SUB\\made.dat"), dir.at("Copy/Sub/Made.Dat"));
}

TEST_F(KeptListing, AListingThatCannotBeReadWholeIsNotKept) {
    for (const char* name : {"Setup.EXE", "a.txt", "b.txt", "c.txt"})
        write_host_file(dir.at(name), "");
    wait_until_settled(dir.path());
    file_services_fail_on(HOST_OP_READDIR, dir.path().c_str(), EIO);
    EXPECT_EQ(resolve("A:\\SETUP.EXE"), dir.at("SETUP.EXE"));
    file_services_faults_clear();
    EXPECT_EQ(resolve("A:\\SETUP.EXE"), dir.at("Setup.EXE"));

    // Also when the kept listing is out of date and reading it again fails
    // after a few names.
    create_from_outside(dir.at("New.TXT"));
    file_services_fail_on(HOST_OP_READDIR, dir.path().c_str(), EIO, 2);
    EXPECT_EQ(resolve("A:\\NEW.txt"), dir.at("NEW.txt"));
    file_services_faults_clear();
    EXPECT_EQ(resolve("A:\\NEW.txt"), dir.at("New.TXT"));

    file_services_fail_on(HOST_OP_OPENDIR, dir.path().c_str(), EACCES);
    touch_from_outside(dir.path());
    EXPECT_EQ(resolve("A:\\setup.exe"), dir.at("setup.exe"));
    file_services_faults_clear();
    EXPECT_EQ(resolve("A:\\setup.exe"), dir.at("Setup.EXE"));
}

TEST_F(KeptListing, LookupsAcrossMoreDirectoriesThanAreKeptStayRight) {
    for (int i = 0; i < 20; ++i) {
        std::string n = std::to_string(i);
        write_host_file(dir.at("Dir" + n + "/Name" + n + ".Txt"), "");
    }
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 20; ++i) {
            std::string n = std::to_string(i);
            EXPECT_EQ(resolve("A:\\DIR" + n + "\\NAME" + n + ".TXT"),
                      dir.at("Dir" + n + "/Name" + n + ".Txt"));
        }
        create_from_outside(dir.at("Dir0/NAME0.TXT" + std::to_string(round)));
        EXPECT_EQ(resolve("A:\\dir0\\name0.txt" + std::to_string(round)),
                  dir.at("Dir0/NAME0.TXT" + std::to_string(round)));
    }
}

TEST(HostPaths, ConsoleArgumentsTurnHostPathsIntoEnginePaths) {
    EXPECT_EQ(host_path_to_engine("/home/ana"), "Z:\\home\\ana");
    EXPECT_EQ(console_convert_argument("/home/ana/kit"), "Z:\\home\\ana\\kit");
    EXPECT_EQ(console_convert_argument("-a"), "-a");
    EXPECT_EQ(console_convert_argument("/A"), "/A");
    EXPECT_EQ(console_convert_argument("kit/core"), "kit\\core");
    EXPECT_EQ(console_convert_argument("/"), "\\");
}

}  // namespace
