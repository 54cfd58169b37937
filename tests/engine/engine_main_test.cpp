#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "engine/options.h"
#include "engine_fixture.h"
#include "support/test_support.h"
#include "sys/host_io.h"

namespace {

// The usage that -H writes, line by line as the user sees it: each line
// ends in CR LF, and the lines of one option's entry are joined by a bare LF.
const std::string USAGE =
    "\r\n"
    "Usage: diskward -H [-B]\r\n"
    "       diskward [path] [-B] [-O os] [-F] [-R]\r\n"
    "                       [-N product\r\n"
    "                           [{-A | -W [-D drv]}\n"
    "                              [-Z 3.5UD | 3.5HD | 3.5LD | 5.25HD | 5.25LD]\n"
    "                              [-S slp] [-Q] [-X spc] [-C [comp]]]]\r\n"
    "       diskward [-B] [-O os] [-F] [-R] [-I source] -J target [-N [prodi]* prodn]\r\n"
    "\r\n"
    "       Diskward processes a directory, searching for product files. If\r\n"
    "       one is found, its contents are compared against the contents of its\r\n"
    "       directory. Any differences found are corrected and reported.\r\n"
    "\r\n"
    "       Diskward can also be used to make floppy disks for a product when\r\n"
    "       any of the disk options are specified.  Depending on the flags, \r\n"
    "       Diskward will compute how many disks are required for the product,\r\n"
    "       write the results to the map file, and then actually\r\n"
    "       make the disks if the user wants.\r\n"
    "\r\n"
    "       Diskward can also be used to create a copy of a staging area in a\r\n"
    "       different location from the original.  This is especially useful\r\n"
    "       if you do not have write permission to the original copy of the\r\n"
    "       staging area.\r\n"
    "\r\n"
    "       -B   Writes the banner.\r\n"
    "       -H   Writes this synopsis.\r\n"
    "       -O   Specifies the target operating system.\r\n"
    "       -F   Turns off saving of former map and product files.\r\n"
    "       -R   Turns off creation of subdirectories for CD-ROMs.\r\n"
    "       -N   Specifies the name of the product.\n"
    "            Can be followed by more than one name during replication.\r\n"
    "       -A   Assigns files to floppies, but does not create disks.\r\n"
    "       -W   Assignes files to floppies and creates disks.\r\n"
    "       -D   Specifies where to find floppies. 'drv' must be a full path name.\r\n"
    "       -Z   Specifies the media size. Default media size is 3.5HD.\r\n"
    "       -S   Specifies slop size (in Kb). Default slop size is 0.\r\n"
    "       -Q   Turns off splitting of uncompressed files.\r\n"
    "       -X   Specifies the minimum space available on disk for splitting.\r\n"
    "       -C   Compresses files larger than optional value (in Kb).\n"
    "            Default value is 512 bytes for high and 1 Kb for low density.\r\n"
    "       -I   Specifies the directory containing the source PRD file for\n"
    "            replication.\r\n"
    "       -J   Specifies the top-level target directory for replication.\r\n"
    "\r\n"
    "       Media sizes: 3.5UD, 3.5HD, 3.5LD, 3.5JHD, 5.25HD, 5.25LD, 5.25JHD\r\n"
    "\r\n"
    "       If path is specified, Diskward processes the directory specified by\r\n"
    "       'path'. If path is not specified, Diskward processes the current\r\n"
    "       working directory.\r\n"
    "\r\n";

}  // namespace

TEST(EngineMain, BannerAndUsageAreWrittenAndNothingIsProcessed) {
    EngineRun e;
    EXPECT_EQ(e.run({"-h", "-b", "Z:\\nonexistent-diskward-dir"}), RC_OK);
    std::string banner = std::string("\r\n") + BANNER_VERSION_TEXT + "\n" + MAKER_NOTICE_TEXT +
                         "\r\n\r\nDiskward Utility\r\n\r\n";
    EXPECT_EQ(e.output, banner + USAGE);

    e.run({"/H"});
    EXPECT_EQ(e.output, USAGE);
}

// "No products found" stands for a directory read whole. An entry the host
// refuses as an invalid or too long name ends the walk with that failure:
// it is neither passed over nor taken for the end of the directory.
TEST(EngineMain, WalkReportsNoProductsFoundOnlyForADirectoryReadWhole) {
    TempDir dir;
    write_host_file(dir.at("nt.prd"), "");
    write_host_file(dir.at("readme.txt"), "x");
    EngineRun e;
    std::string path = engine_path(dir.path());
    EXPECT_EQ(e.run({path, "-o", "win95"}), RC_OK);
    EXPECT_EQ(e.output, path + "\r\n" + path + ": No products found\r\n");

    for (int error : {EINVAL, ENAMETOOLONG}) {
        file_services_fail_on(HOST_OP_FSTAT, "/nt.prd", error);
        EXPECT_EQ(e.run({path, "-o", "win95"}), RC_INVALID_FILE_NAME) << error;
        file_services_faults_clear();
        EXPECT_EQ(e.output, path + "\r\n" + path + ": Invalid File Name\r\n") << error;
    }
}

TEST(EngineMain, WalkTakesTheProductFileOfTheWordInAnyCase) {
    TempDir dir;
    write_host_file(dir.at("WIN95.PRD"), "");
    write_host_file(dir.at("nt.prd"), "");
    mkdir(dir.at("sub").c_str(), 0755);
    EngineRun e;
    std::string path = engine_path(dir.path());
    // Both files are empty: the one taken is reported as such, with its line.
    EXPECT_EQ(e.run({path, "-o", "win95"}), RC_EMPTY);
    EXPECT_EQ(e.output, path + "\r\n  " + path + "\\WIN95.PRD\r\n  " + path +
                            "\\WIN95.PRD: Empty on line 1\r\n");

    e.run({path, "-o", "NT"});
    EXPECT_EQ(e.output,
              path + "\r\n  " + path + "\\nt.prd\r\n  " + path + "\\nt.prd: Empty on line 1\r\n");
}

TEST(EngineMain, LastDirectoryArgumentWins) {
    TempDir a, b;
    EngineRun e;
    e.run({engine_path(a.path()), engine_path(b.path()), "-o", "win95"});
    EXPECT_EQ(e.output.find(engine_path(a.path())), std::string::npos);
    EXPECT_NE(e.output.find(engine_path(b.path()) + ": No products found"), std::string::npos);
}

TEST(EngineMain, UnreadableDirectoryIsReportedOnceAndFailsTheRun) {
    EngineRun e;
    EXPECT_EQ(e.run({"Z:\\nonexistent-diskward-dir", "-o", "win95"}), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output,
              "Z:\\nonexistent-diskward-dir\r\nZ:\\nonexistent-diskward-dir: Unable To Read\r\n");
}

TEST(EngineMain, FailedReplicationDoesNotCheckTheTarget) {
    TempDir target;
    EngineRun e;
    std::string t = engine_path(target.path());
    EXPECT_EQ(e.run({"Z:\\nonexistent-diskward-dir", "-o", "nt", "-J", t}), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output.find(t), std::string::npos);
}

TEST(EngineMain, ReplicationChecksTheTargetAfterTheSource) {
    TempDir source, target;
    EngineRun e;
    std::string s = engine_path(source.path()), t = engine_path(target.path());
    EXPECT_EQ(e.run({s, "-o", "nt", "-J", t}), RC_OK);
    EXPECT_EQ(e.output, s + "\r\n" + s + ": No products found\r\n" + t + "\r\n" + t +
                            ": No products found\r\n");
    // The options stay as given; the check of the copy keeps no back-ups,
    // makes no CD-ROM subdirectories and replicates nothing.
    EXPECT_TRUE(e.context.options.replicate);
    EXPECT_FALSE(e.context.options.no_backups || e.context.options.no_cd_subdirs);
    EXPECT_TRUE(e.context.checking_copy);
    EXPECT_FALSE(run_keeps_backups(&e.context) || run_makes_cd_subdirs(&e.context) ||
                 run_replicates(&e.context));
}
