#include "sys/host_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/test_support.h"

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
    // ".." never leaves the drive's directory.
    EXPECT_EQ(resolve("A:\\..\\..\\Disk1\\..\\setup.exe"), dir.at("Setup.EXE"));
}

TEST_F(DriveA, SeveralMatchesTakeTheFirstInListingOrderAndAnExactNameWins) {
    for (const char* name : {"data/x", "Data/x", "DATA/x"}) write_host_file(dir.at(name), "");
    EXPECT_EQ(resolve("A:\\dATa\\X"), dir.at("DATA/x"));
    EXPECT_EQ(resolve("A:\\Data\\x"), dir.at("Data/x"));
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

TEST(HostPaths, ConsoleArgumentsTurnHostPathsIntoEnginePaths) {
    EXPECT_EQ(host_path_to_engine("/home/ana"), "Z:\\home\\ana");
    EXPECT_EQ(console_convert_argument("/home/ana/kit"), "Z:\\home\\ana\\kit");
    EXPECT_EQ(console_convert_argument("-a"), "-a");
    EXPECT_EQ(console_convert_argument("/A"), "/A");
    EXPECT_EQ(console_convert_argument("kit/core"), "kit\\core");
    EXPECT_EQ(console_convert_argument("/"), "\\");
}

}  // namespace
