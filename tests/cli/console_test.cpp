// Runs the console command as a user would and checks what it prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "engine/options.h"
#include "engine/run_context.h"
#include "media/fat_test_tools.h"
#include "support/test_support.h"

namespace {

struct Outcome {
    std::string output;
    int status = -1;
};

// Runs a shell command: its standard output and exit status.
Outcome run_command(const std::string& command) {
    Outcome out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.output.append(buffer, n);
    int raw = pclose(pipe);
    out.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

Outcome run_console(const std::string& arguments) {
    return run_command(std::string(DISKWARD_BIN_DIR) + "/diskward " + arguments);
}

}  // namespace

TEST(Console, HelpAndBannerAreWrittenExactly) {
    std::string usage;
    OutputLog log;
    log.publish = [&](const std::string& l) { usage += l; };
    engine_write_usage(&log);
    Outcome out = run_console("-h -b");
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.output, std::string("\r\n") + BANNER_VERSION_TEXT + "\n" + MAKER_NOTICE_TEXT +
                              "\r\n\r\nDiskward Utility\r\n\r\n" + usage);
}

TEST(Console, HostPathsAreShownInTheEnginesForm) {
    TempDir dir;
    write_host_file(dir.at("Kit/readme.txt"), "x");
    Outcome out = run_console(dir.at("Kit") + " -o win95");
    std::string shown = engine_path(dir.at("Kit"));
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.output, shown + "\r\n" + shown + ": No products found\r\n");
}

TEST(Console, TakesTheProductFileAndFailsOnAMissingDirectory) {
    TempDir dir;
    write_host_file(dir.at("WIN95.PRD"), "");
    write_host_file(dir.at("nt.prd"), "");
    Outcome out = run_console(dir.path() + " -o win95");
    std::string shown = engine_path(dir.path());
    EXPECT_EQ(out.status, 1);  // an empty product file
    EXPECT_EQ(out.output, shown + "\r\n  " + shown + "\\WIN95.PRD\r\n  " + shown +
                              "\\WIN95.PRD: Empty on line 1\r\n");

    out = run_console(dir.at("missing") + " -o win95");
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.output.find(": Unable To Read\r\n"), std::string::npos);
}

namespace {

// A kit of one product p (Volume "V1", Interface Label "p label") with one
// small file, settled by a first run.
std::string disk_kit(const TempDir& dir) {
    write_host_file(dir.at("kit/win95.prd"),
                    "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false "
                    "false false \"\" \"\"\n1 p root \"p\" \"1.0\" \"p label\" \"p\" 0 true false "
                    "false \"\" \"V1\"\n");
    write_host_file(dir.at("kit/p/p.vrf"), "");
    write_host_file(dir.at("kit/p/p.ins"), "script\n");
    write_host_file(dir.at("kit/p/notes.txt"), "some notes\n");
    std::string row = " false false false 0 0 0 \"\" \"\" \"\"\n";
    write_host_file(dir.at("kit/p/p.map"),
                    "#Name Subgroup Source Destination Size Instantiate? Append? Compress? "
                    "StartDisk TotalDisks Icon Group Item Command\n\n"
                    "G \"\" \"p.map\" \"%TARGET%\\p.map\" 0" +
                        row + "G \"\" \"p.vrf\" \"%TARGET%\\p.vrf\" 0" + row +
                        "G \"\" \"p.ins\" \"%TARGET%\\p.ins\" 0" + row +
                        "G \"\" \"notes.txt\" \"%TARGET%\\notes.txt\" 0" + row);
    Outcome settled = run_console(dir.at("kit") + " -o win95 -f");
    EXPECT_EQ(settled.status, 0) << settled.output;
    return dir.at("kit");
}

}  // namespace

TEST(Console, WritesTheDisksIntoAFolderOfImagesItMakes) {
    TempDir dir;
    std::string kit = disk_kit(dir);
    // The report is the assignment's, as -a gives it.
    Outcome assigned = run_console(kit + " -o win95 -n p -a -z 5.25LD");
    Outcome out = run_console(kit + " -o win95 -n p -w -z 5.25LD -D " + dir.at("disks") + " 2>" +
                              dir.at("stderr") + " </dev/null");
    EXPECT_EQ(out.status, 0) << out.output;
    EXPECT_EQ(out.output, assigned.output);
    EXPECT_EQ(read_host_file(dir.at("stderr")), "");
    // The images of a set are named after its product and their labels.
    EXPECT_EQ(run_tool("ls -A '" + dir.at("disks") + "'").output, "P.V1_1.img\n");
    std::string image = dir.at("disks/P.V1_1.img");
    EXPECT_EQ(run_tool("fsck.fat -n '" + image + "' >/dev/null").status, 0);
    EXPECT_EQ(run_tool("mdir -b -i '" + image + "' ::").output,
              "::/win95.prd\n::/p.map\n::/p.vrf\n::/p.ins\n::/notes.txt\n");
    EXPECT_EQ(run_tool("mtype -i '" + image + "' ::notes.txt").output, "some notes\n");
    EXPECT_EQ(run_tool("mtype -i '" + image + "' ::p.map").output,
              read_host_file(dir.at("kit/p/diskward/p.5ld")));
}

// The folder the console makes is the one the engine took from -D: the
// last -D, relative to the current directory, with its missing parents;
// none without -w.
TEST(Console, MakesTheDriveFolderTheEngineTookFromDashD) {
    TempDir dir;
    std::string kit = disk_kit(dir);
    Outcome assigned = run_console(kit + " -o win95 -n p -a -z 5.25LD");
    std::string in_dir = "cd '" + dir.path() + "' && " + DISKWARD_BIN_DIR + "/diskward " + kit;
    Outcome only_assigned = run_command(in_dir + " -o win95 -n p -a -z 5.25LD -D a/b");
    EXPECT_EQ(only_assigned.output, assigned.output);
    EXPECT_FALSE(host_exists(dir.at("a")));
    Outcome out = run_command(in_dir + " -o win95 -n p -w -z 5.25LD -D first -D sets/disks" +
                              " 2>/dev/null </dev/null");
    EXPECT_EQ(out.status, 0) << out.output;
    EXPECT_EQ(out.output, assigned.output);
    EXPECT_EQ(run_tool("ls -A '" + dir.at("sets/disks") + "'").output, "P.V1_1.img\n");
    EXPECT_FALSE(host_exists(dir.at("first")));
}

TEST(Console, WithoutATerminalNoDiskCanBeAskedForAndTheDriveIsNotReady) {
    TempDir dir;
    std::string kit = disk_kit(dir);
    std::string image = dir.at("one.img");
    ASSERT_EQ(run_tool("mformat -C -f 360 -i '" + image + "' ::").status, 0);
    Outcome out = run_console(kit + " -o win95 -n p -w -z 5.25LD -D " + image + " 2>" +
                              dir.at("stderr") + " </dev/null");
    EXPECT_EQ(out.status, 1);
    std::string shown = engine_path(kit);
    EXPECT_EQ(read_host_file(dir.at("stderr")),
              "Insert disk to be labeled 'p label 1' into drive '" + engine_path(image) + "'\n");
    // Nobody cancelled: the image, which holds no disk labelled "V1 1", is
    // named with the reason, before the product's closing line.
    Outcome assigned = run_console(kit + " -o win95 -n p -a -z 5.25LD");
    std::string closing = assigned.output.substr(assigned.output.rfind("    " + shown));
    EXPECT_EQ(out.output, assigned.output.substr(0, assigned.output.size() - closing.size()) +
                              "    " + engine_path(image) + ": Device Not Ready\r\n" + closing);
    EXPECT_EQ(run_tool("mdir -b -i '" + image + "' ::").output, "");
}

TEST(Console, VerifyReadsTheDisksBackAfterTheReport) {
    TempDir dir;
    std::string kit = disk_kit(dir);
    Outcome assigned = run_console(kit + " -o win95 -n p -a -z 5.25LD");
    Outcome out = run_console(kit + " -o win95 -n p -w -z 5.25LD -D " + dir.at("disks") +
                              " --verify </dev/null");
    EXPECT_EQ(out.status, 0);
    // p.map, p.vrf, p.ins and notes.txt; the product table file is gone.
    EXPECT_EQ(out.output, assigned.output + "4 files checked\n");
}

namespace {

// Every entry of a folder with its kind, bytes, modification and access
// times. Access times are set older than modification times first, so that
// the host's relatime rule stamps any file or folder that is read; taking
// the entries reads them too, so their times are put back afterwards.
using Entries = std::map<std::string, std::string>;

void age_times(const std::string& folder) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        struct timespec times[2] = {{1000000000, 1}, {1100000000, 2}};
        ASSERT_EQ(utimensat(AT_FDCWD, entry.path().c_str(), times, 0), 0);
    }
}

Entries entries(const std::string& folder) {
    auto stamp = [](const timespec& t) {
        return std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec);
    };
    // An entry is met before its folder is listed: its times are taken
    // before this listing stamps them.
    std::map<std::string, struct stat> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        EXPECT_EQ(lstat(entry.path().c_str(), &found[entry.path().string()]), 0);
    Entries described;
    for (const auto& [path, info] : found) {
        std::string kind = S_ISDIR(info.st_mode) ? "folder" : "file " + read_host_file(path);
        described[std::filesystem::path(path).lexically_relative(folder).string()] =
            kind + " modified " + stamp(info.st_mtim) + " accessed " + stamp(info.st_atim);
    }
    for (const auto& [path, info] : found) {
        struct timespec times[2] = {info.st_atim, info.st_mtim};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    return described;
}

struct ConsoleRun {
    int status = -1;
    std::string output;
    std::string errors;
};

// Runs the console in `folder` as its current directory.
ConsoleRun run_in(const TempDir& dir, const std::string& folder, const std::string& arguments) {
    std::string errors = dir.at("errors");
    Outcome out = run_command("cd '" + folder + "' && " + std::string(DISKWARD_BIN_DIR) +
                              "/diskward " + arguments + " 2>'" + errors + "'");
    ConsoleRun run{out.status, out.output, read_host_file(errors)};
    std::remove(errors.c_str());
    return run;
}

std::string engine_usage() {
    std::string usage;
    OutputLog log;
    log.publish = [&](const std::string& l) { usage += l; };
    engine_write_usage(&log);
    return usage;
}

}  // namespace

// Typed in a staging area, the console's own options and words it does not
// know are answered by the console alone: the engine never sees them, so no
// table is read or rewritten, no .old is made and no folder of images is.
TEST(Console, ItsOwnOptionsAndUnknownOnesLeaveTheStagingAreaAlone) {
    TempDir dir;
    std::string kit = disk_kit(dir);
    age_times(kit);
    Entries before = entries(kit);
    ASSERT_TRUE(before.count("win95.prd") && before.count("p/p.map"));

    std::string help =
        engine_usage() +
        "       Options of the console command, never handed to the engine:\r\n"
        "\r\n"
        "       --layout          After the report, prints where every file and every piece of\r\n"
        "                         each assigned product lands, disk by disk.\r\n"
        "       --verify          With -W, reads every written disk back, compares each file "
        "with\r\n"
        "                         its staging file and prints the files that differ.\r\n"
        "       --jobs N          Compresses or copies N files at once (1 to 256; one per "
        "processor\r\n"
        "                         when not given); with more than one, walks the folder of a "
        "product\r\n"
        "                         with a large map while the map is read; on a file server slow "
        "to\r\n"
        "                         answer, copies and asks for the status of 8 x N files at "
        "once.\r\n"
        "                         The report and every file written are the same for any N.\r\n"
        "       --harvest         After the check, adds a row to a product's map, in the group\r\n"
        "                         Harvested, for every file of its folder that no row lists.\r\n"
        "       --iso FILE        After the check, writes the CD-ROM image FILE (ISO 9660): the\r\n"
        "                         product file, the files, CD-ROM map and resource files of the\r\n"
        "                         products (those of -N and the products they need, or all) and\r\n"
        "                         the user files. Not with -R or -J.\r\n"
        "       --iso-label TEXT  The image's volume identifier (at most 32 characters); the\r\n"
        "                         product file's name in capitals when not given.\r\n"
        "       --help            Writes this text and does nothing else.\r\n"
        "       --version         Writes the version and does nothing else.\r\n"
        "\r\n";
    std::string version = std::string("diskward ") + DISKWARD_VERSION + "\n";
    auto unknown = [](const std::string& word) {
        return "diskward: unknown option '" + word + "' (see diskward --help)\n";
    };
    struct Case {
        std::string arguments;
        int status;
        std::string output;
        std::string errors;
    } cases[] = {
        {"--help", 0, help, ""},
        {"-o win95 --help", 0, help, ""},
        {". -o win95 -n p -w -z 5.25LD -D disks --help", 0, help, ""},
        {"--version", 0, version, ""},
        {"-o win95 -f --version", 0, version, ""},
        {"--bogus", 2, "", unknown("--bogus")},
        {"-o win95 --layout=yes", 2, "", unknown("--layout=yes")},
        {". -o win95 -n p -w -z 5.25LD -D disks --verify --frobnicate", 2, "",
         unknown("--frobnicate")},
        {"-o win95 -- p", 2, "", unknown("--")},
        {"--bogus --help", 2, "", unknown("--bogus")},
        {"-o win95 --jobs 0", 2, "",
         "diskward: invalid value '0' for option '--jobs' (see diskward --help)\n"},
        {"-o win95 --jobs=x4", 2, "",
         "diskward: invalid value 'x4' for option '--jobs' (see diskward --help)\n"},
        {"-o win95 --jobs", 2, "",
         "diskward: option '--jobs' needs a value (see diskward --help)\n"},
        {"-o win95 --harvest=yes", 2, "", unknown("--harvest=yes")},
        // An image needs the check with CD-ROM subdirectories, and a label
        // an image can carry; none is written when they are refused.
        {". -o win95 --iso kit.iso -r", 2, "",
         "diskward: option '--iso' cannot be used with '-r' (see diskward --help)\n"},
        {". -o win95 -R --iso=kit.iso", 2, "",
         "diskward: option '--iso' cannot be used with '-R' (see diskward --help)\n"},
        {". -o win95 --iso kit.iso -j copy", 2, "",
         "diskward: option '--iso' cannot be used with '-j' (see diskward --help)\n"},
        {". -o win95 --iso kit.iso --iso-label " + std::string(33, 'L'), 2, "",
         "diskward: invalid value '" + std::string(33, 'L') +
             "' for option '--iso-label' (see diskward --help)\n"},
        {". -o win95 --iso-label KIT", 2, "",
         "diskward: option '--iso-label' needs '--iso' (see diskward --help)\n"},
        {". -o win95 --iso", 2, "",
         "diskward: option '--iso' needs a value (see diskward --help)\n"},
        // -h is the engine's: its usage exactly, and nothing else done.
        {"-o win95 -h", 0, engine_usage(), ""},
    };
    for (const Case& c : cases) {
        ConsoleRun run = run_in(dir, kit, c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_EQ(run.output, c.output) << c.arguments;
        EXPECT_EQ(run.errors, c.errors) << c.arguments;
        EXPECT_EQ(entries(kit), before) << c.arguments;
    }
}

// --harvest reaches the engine: the file no row listed gets its row (the
// next check, without the option, no longer calls it superfluous), the
// one whose name the installer could not take its reason.
TEST(Console, HarvestAddsTheFilesNoRowListsToTheMap) {
    TempDir dir;
    std::string kit = disk_kit(dir);
    write_host_file(kit + "/p/extra.dat", "extra\n");
    write_host_file(kit + "/p/a b.dat", "blank\n");
    // Every row of p.map is a group of its own: with the group Harvested
    // each of its 6 lines grows by 4 bytes, and one line more is added.
    std::string shown = engine_path(kit);
    std::string opening =
        shown + "\r\n  " + shown + "\\win95.prd\r\n    " + shown + "\\p\\p.map\r\n";
    ConsoleRun run = run_in(dir, kit, kit + " -o win95 --harvest");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, opening +
                              "      a b.dat Superfluous\r\n"
                              "      extra.dat Superfluous\r\n"
                              "      a b.dat Not harvested: name not of FAT characters\r\n"
                              "      extra.dat Harvested\r\n"
                              "      p.map 660 --> 816\r\n"
                              "    " +
                              shown + "\\p\\p.map: 840\r\n");
    EXPECT_EQ(run.errors, "");
    run = run_in(dir, kit, kit + " -o win95");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              opening + "      a b.dat Superfluous\r\n" + "    " + shown + "\\p\\p.map: 840\r\n");
}

namespace {

// Runs the console on a terminal (through script(1)) with `input` typed,
// standard output into `out_file`; what the terminal showed (standard
// error, each "\n" shown as "\r\n").
std::string on_terminal(const std::string& arguments, const std::string& input,
                        const std::string& out_file) {
    // The input comes a second late, once echoing is off, so that the
    // terminal shows only what the console wrote.
    std::string command = "(sleep 1; printf '" + input + "') | script -qec \"stty -echo; " +
                          std::string(DISKWARD_BIN_DIR) + "/diskward " + arguments + " >" +
                          out_file + "\" /dev/null";
    ToolRun run = run_tool(command);
    return run.output;
}

}  // namespace

TEST(Console, OnATerminalAProblemDiskIsRefusedAndAskedForAgain) {
    require_tool("script");
    TempDir dir;
    std::string kit = disk_kit(dir);
    std::string image = dir.at("one.img");
    ASSERT_EQ(run_tool("mformat -C -f 360 -i '" + image + "' ::").status, 0);
    write_host_file(dir.at("x.txt"), "x");
    ASSERT_EQ(run_tool("mcopy -i '" + image + "' '" + dir.at("x.txt") + "' ::").status, 0);
    // Enter with a disk that is not empty, then "c".
    std::string shown =
        on_terminal(kit + " -o win95 -n p -w -z 5.25LD -D " + image, "\\nc\\n", dir.at("out"));
    std::string question =
        "Insert disk to be labeled 'p label 1' into drive '" + engine_path(image) + "'\r\n";
    EXPECT_EQ(shown,
              question + "The disk in '" + engine_path(image) + "' is not empty.\r\n" + question);
    Outcome assigned = run_console(kit + " -o win95 -n p -a -z 5.25LD");
    EXPECT_EQ(read_host_file(dir.at("out")),
              assigned.output + "    " + engine_path(kit) + "\\p\\p.map: User Cancelled\r\n");
}

TEST(Console, OnATerminalAGoodDiskIsWrittenWithProgress) {
    require_tool("script");
    TempDir dir;
    std::string kit = disk_kit(dir);
    std::string image = dir.at("one.img");
    ASSERT_EQ(run_tool("mformat -C -f 360 -i '" + image + "' ::").status, 0);
    std::string shown =
        on_terminal(kit + " -o win95 -n p -w -z 5.25LD -D " + image, "\\n", dir.at("out"));
    Outcome assigned = run_console(kit + " -o win95 -n p -a -z 5.25LD");
    EXPECT_EQ(read_host_file(dir.at("out")), assigned.output);
    EXPECT_EQ(run_tool("mdir -b -i '" + image + "' ::").output,
              "::/win95.prd\n::/p.map\n::/p.vrf\n::/p.ins\n::/notes.txt\n");
    EXPECT_EQ(run_tool("mtype -i '" + image + "' ::notes.txt").output, "some notes\n");
    // The question, then one progress line per file rewritten in place with
    // the bytes of the file as the disk holds them, then the line cleared.
    std::string expected =
        "Insert disk to be labeled 'p label 1' into drive '" + engine_path(image) + "'\r\n";
    for (const char* name : {"win95.prd", "p.map", "p.vrf", "p.ins", "notes.txt"}) {
        std::string bytes = run_tool("mtype -i '" + image + "' ::" + name).output;
        if (bytes.empty()) continue;
        expected += "\r\033[KWriting " + std::string(name) +
                    " on disk 1: " + std::to_string(bytes.size()) + " bytes";
    }
    EXPECT_EQ(shown, expected + "\r\033[K");
}
