// Replication end to end: a staging area copied into another tree, the
// products chosen with -N and their dependencies, the product table of the
// copy with numbered back-ups, and the check of the copy that follows.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/messages.h"
#include "kit_fixture.h"
#include "sys/file_lock.h"

namespace {

class ReplicationTest : public KitTest {
protected:
    TempDir target_dir;
    std::string target = engine_path(target_dir.path());
    std::string source = root + "\\win95";

    void product_file(const std::string& rows) {
        file("win95/win95.prd",
             "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false false "
             "false \"\" \"\"\n" +
                 rows);
    }
    // A product whose directory `location` (below win95/) holds one file.
    void product(int number, const std::string& name, const std::string& location,
                 const std::string& vrf = "") {
        std::string dir = "win95/" + location + "/";
        file(dir + name + ".map", kMapHeader + map_row("G", name + ".txt", 1));
        file(dir + name + ".txt", "x");
        if (!vrf.empty()) file(dir + name + ".vrf", vrf);
        rows += product_row(number, name, "root", location_text(location));
    }
    static std::string location_text(const std::string& location) {
        std::string out = location;
        for (char& c : out)
            if (c == '/') c = '\\';
        return out;
    }
    // Every file of the target tree with its bytes.
    std::map<std::string, std::string> copied() {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(target_dir.path()))
            if (entry.is_regular_file())
                files[entry.path().string().substr(target_dir.path().size() + 1)] =
                    read_host_file(entry.path());
        return files;
    }
    // Every path below host folder `folder`, links not followed, with what
    // it is: a file's bytes, "<dir>", "-> " and where a link points, or
    // "<other>" for a FIFO, a socket or a device. Taken before and after a
    // run, it tells that the run changed nothing there.
    static std::map<std::string, std::string> tree(const std::string& folder) {
        namespace fs = std::filesystem;
        std::map<std::string, std::string> paths;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
            std::string path = entry.path().string().substr(folder.size() + 1);
            if (entry.is_symlink())
                paths[path] = "-> " + fs::read_symlink(entry.path()).string();
            else if (entry.is_directory())
                paths[path] = "<dir>";
            else if (entry.is_regular_file())
                paths[path] = read_host_file(entry.path());
            else
                paths[path] = "<other>";
        }
        return paths;
    }
    // The report of a run refused before anything was copied.
    std::string refused(const std::string& message) {
        std::string prd = source + "\\win95.prd";
        return source + "\r\n" + "  " + prd + "\r\n" + "  " + prd + ": " + message + "\r\n";
    }
    // Replicates into each of `places` with `extra` words: each is refused
    // with `code` and its message, and neither the kit nor the folder of
    // targets changes.
    void expect_refused(const std::vector<std::string>& places,
                        const std::vector<std::string>& extra, ResultCode code) {
        std::map<std::string, std::string> source_before = tree(kit.path());
        std::map<std::string, std::string> target_before = tree(target_dir.path());
        for (const std::string& place : places) {
            SCOPED_TRACE(place);
            std::vector<std::string> words{source, "-o", "win95", "-j", place};
            words.insert(words.end(), extra.begin(), extra.end());
            EXPECT_EQ(e.run(words), code);
            EXPECT_EQ(e.output, refused(std::string(engine_message(code))));
            EXPECT_EQ(tree(kit.path()), source_before);
            EXPECT_EQ(tree(target_dir.path()), target_before);
        }
    }
    // The report of a replication into the target, up to the product table.
    std::string opening_lines() { return source + "\r\n" + "  " + source + "\\win95.prd\r\n"; }
    // The lines of a product table of the target kept as a back-up.
    std::string backup_lines(const std::string& number) {
        std::string table = target + "\\win95.prd";
        return "  " + table + ": Already exists.\r\n" + std::string(2 + table.size() + 2, ' ') +
               "Writing back-up copy to win95." + number + "\r\n";
    }
    // The product table a replication writes for products pa in "a" and,
    // with `pb`, pb in "b" (made by product()), before the copy is checked.
    static std::string written_table(bool pb) {
        std::string text = crlf_lines(
            {"#### Product      Parent Filename Version     Interface Label     Location Size "
             "Visible? Selected? Open? Description Volume",
             R"(   0 win95instver root   ""       "3.2.1.0.0" "Installer Version" ""          0 false    false     false ""          ""    )",
             R"(   1 pa           root   "pa"     "1.0"       "pa label"          "a"         0 true     false     false ""          "V1"  )"});
        if (pb)
            text += crlf_lines(
                {R"(   2 pb           root   "pb"     "1.0"       "pb label"          "b"         0 true     false     false ""          "V1"  )"});
        return text;
    }
    ResultCode replicate(std::vector<std::string> extra = {}) {
        std::vector<std::string> words{source, "-o", "win95", "-j", target};
        words.insert(words.end(), extra.begin(), extra.end());
        return e.run(words);
    }
    std::string rows;
};

// The check of a copied product whose map lists one file of one byte.
std::string checked(const std::string& map) {
    return "    " + map + "\r\n" + "      " + map.substr(map.rfind('\\') + 1) + " Superfluous\r\n" +
           "    " + map + ": 1\r\n";
}

}  // namespace

TEST_F(ReplicationTest, TheSourceRootEndsAtAComponentAndEveryProductIsCopied) {
    // Products inside the source directory and beside it: the common root
    // is the kit folder, so the copy keeps the same shape below the target.
    product(1, "pa", "A");
    product(2, "pb", "../common/B");
    file("win95/A/sub/s.dat", "ss");
    file("win95/A/pa.map", kMapHeader + map_row("G", "pa.txt", 1) + map_row("G", "sub\\s.dat", 2));
    file("win95/user.stp", "user script");
    file("win95/lang.usr", "user file");
    file("win95/other.txt", "not copied");
    product_file(rows);
    std::string table = read("win95/win95.prd");

    EXPECT_EQ(replicate(), RC_OK);
    std::string replica = target + "\\win95";
    EXPECT_EQ(e.output, source + "\r\n" + "  " + source + "\\win95.prd\r\n" + replica + "\r\n" +
                            "  " + replica + "\\win95.prd\r\n" + "    " + replica +
                            "\\A\\pa.map\r\n" + "      pa.map Superfluous\r\n" + "    " + replica +
                            "\\A\\pa.map: 3\r\n" + checked(replica + "\\..\\common\\B\\pb.map"));
    EXPECT_EQ(run_copy_directory(&e.context), replica);
    std::map<std::string, std::string> files = copied();
    // The check of the copy corrects the sizes; it keeps no .old copies and
    // makes no working subdirectories.
    std::string written = files["win95/win95.prd"];
    files.erase("win95/win95.prd");
    EXPECT_EQ(files,
              (std::map<std::string, std::string>{{"win95/A/pa.map", read("win95/A/pa.map")},
                                                  {"win95/A/pa.txt", "x"},
                                                  {"win95/A/sub/s.dat", "ss"},
                                                  {"common/B/pb.map", read("common/B/pb.map")},
                                                  {"common/B/pb.txt", "x"},
                                                  {"win95/user.stp", "user script"},
                                                  {"win95/lang.usr", "user file"}}));
    EXPECT_EQ(
        written,
        crlf_lines(
            {"#### Product      Parent Filename Version     Interface Label     "
             "Location      Size Visible? Selected? Open? Description Volume",
             R"(   0 win95instver root   ""       "3.2.1.0.0" "Installer Version" ""               0 false    false     true  ""          ""    )",
             R"(   1 pa           root   "pa"     "1.0"       "pa label"          "A"              3 true     false     false ""          "V1"  )",
             R"(   2 pb           root   "pb"     "1.0"       "pb label"          "..\common\B"    1 true     false     false ""          "V1"  )"}));
    EXPECT_EQ(read("win95/win95.prd"), table);  // the source is left alone
    EXPECT_FALSE(host_exists(kit.at("win95/win95.old")));
}

TEST_F(ReplicationTest, NamedProductsBringTheirDependenciesAndAFormerTableIsNumbered) {
    product(1, "pa", "a", "pc win95instver nosuchname\n");
    product(2, "pb", "b", "pa\n");
    product(3, "pc", "c", "pd\n");
    product(4, "pd", "d", "\n");
    product_file(rows);
    write_host_file(target_dir.at("win95.prd"), "former table\r\n");
    write_host_file(target_dir.at("win95.001"), "one");
    write_host_file(target_dir.at("win95.002"), "two");

    // -O before -N: the installer's own product is asked for too, and this
    // kit has none.
    EXPECT_EQ(replicate({"-N", "pa", "nosuch"}), RC_OK);
    std::string prd = source + "\\win95.prd";
    std::string copy_table = target + "\\win95.prd";
    // The report after the selection: the former table kept under `number`,
    // then the check of the three products copied.
    auto copied_report = [&](const std::string& number) {
        return "  " + copy_table + ": Already exists.\r\n" +
               std::string(2 + copy_table.size() + 2, ' ') + "Writing back-up copy to win95." +
               number + "\r\n" + target + "\r\n" + "  " + copy_table + "\r\n" +
               checked(target + "\\a\\pa.map") + checked(target + "\\c\\pc.map") +
               checked(target + "\\d\\pd.map");
    };
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" + "  " + prd +
                            ": Unknown Product Name\r\n" + "  " + prd +
                            ": Unknown Product Name\r\n" + copied_report("003"));
    std::map<std::string, std::string> files = copied();
    EXPECT_EQ(files["win95.003"], "former table\r\n");
    EXPECT_EQ(files["win95.001"], "one");
    EXPECT_EQ(files["win95.002"], "two");
    EXPECT_EQ(files.count("b/pb.txt"), 0u);  // pb depends on pa, not the other way
    for (const char* name : {"a/pa.txt", "c/pc.txt", "d/pd.txt"}) EXPECT_EQ(files[name], "x");
    // The copy's table lists the selected products; its check then sets
    // their sizes and adds the version product it lacks (with the version
    // carried over from the source), shown open as the first product by label.
    const std::string description =
        "\"This product is written automatically to a Product Enumeration Script for the "
        "Installer to use for forward compatibility checking.\"";
    const std::string no_description = "\"\"" + std::string(description.size() - 2, ' ');
    const std::string& table = files["win95.prd"];
    EXPECT_EQ(
        table,
        crlf_lines(
            {"#### Product      Parent Filename Version     Interface Label     "
             "Location Size Visible? Selected? Open? Description" +
                 std::string(description.size() - 11, ' ') + " Volume",
             R"(   0 win95instver root   ""       "3.2.1.0.0" "Installer Version" ""          0 false    false     true  )" +
                 description + R"( ""    )",
             R"(   1 pa           root   "pa"     "1.0"       "pa label"          "a"         1 true     false     false )" +
                 no_description + R"( "V1"  )",
             R"(   3 pc           root   "pc"     "1.0"       "pc label"          "c"         1 true     false     false )" +
                 no_description + R"( "V1"  )",
             R"(   4 pd           root   "pd"     "1.0"       "pd label"          "d"         1 true     false     false )" +
                 no_description + R"( "V1"  )"}));

    // Again, with -N before -O: the installer's name is still empty when the
    // names are read, and an empty name is passed over without a word. The
    // former table goes to the next free number.
    EXPECT_EQ(e.run({source, "-j", target, "-n", "pa", "-o", "win95"}), RC_OK);
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" + copied_report("004"));
    EXPECT_EQ(copied()["win95.004"], table);
}

TEST_F(ReplicationTest, CopiesKeepTheSourceTimesAndATargetThatCannotBeMadeSaysWhy) {
    product(1, "pa", "a");
    product_file(rows);
    struct timespec times[2] = {{1200000000, 123456789}, {1200000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, kit.at("win95/a/pa.txt").c_str(), times, 0), 0);
    EXPECT_EQ(replicate({"-F", "-R"}), RC_OK);
    struct stat copy;
    ASSERT_EQ(stat(target_dir.at("a/pa.txt").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(copy.st_mtim.tv_nsec, 123456789);

    // A target folder where nothing may be made.
    std::string closed = target + "\\new";
    file_services_fail_on(HOST_OP_MKDIR, "/new", EACCES);
    EXPECT_EQ(e.run({source, "-o", "win95", "-j", closed}), RC_PERMISSION_DENIED);
    std::string prd = source + "\\win95.prd";
    EXPECT_EQ(e.output,
              source + "\r\n" + "  " + prd + "\r\n" + "  " + prd + ": Permission Denied\r\n");
    EXPECT_FALSE(host_exists(target_dir.at("new")));
}

TEST_F(ReplicationTest, TargetsAroundTheSourceAndMissingVerificationFilesCopyNothing) {
    product(1, "pa", "a");
    product_file(rows);
    std::string prd = source + "\\win95.prd";

    EXPECT_EQ(replicate({"-N", "pa"}), RC_FILE_NOT_FOUND);
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" + "  " + prd +
                            ": Unknown Product Name\r\n" + "    " + source +
                            "\\a\\pa.vrf: File Not Found\r\n" + "  " + prd +
                            ": File Not Found\r\n");
    EXPECT_TRUE(copied().empty());

    std::string inside = source + "\\a\\copy";
    EXPECT_EQ(e.run({source, "-o", "win95", "-j", inside}), RC_INVALID_TARGET_LOCATION);
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" + "  " + prd +
                            ": Invalid target location relative to source\r\n");
    EXPECT_FALSE(host_exists(kit.at("win95/a/copy/win95.prd")));
    EXPECT_FALSE(host_exists(kit.at("win95/a/copy/a")));
}

TEST_F(ReplicationTest, AProductThatCannotBeCopiedIsReportedAndTheOthersAreCopied) {
    product(1, "pa", "a");
    product(2, "pb", "b");
    // A directory that is not there takes no part in the source root, so
    // its place in the copy would be above the target.
    rows += product_row(3, "pc", "root", "..\\..\\nowhere");
    product_file(rows);
    file_services_fail_on(HOST_OP_READ, "pa.txt", EIO);
    EXPECT_EQ(replicate(), RC_UNABLE_TO_READ);
    std::string prd = source + "\\win95.prd";
    // The copy is not checked after a product failed.
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" + "    " + source +
                            "\\a\\pa.map: Unable To Read\r\n" + "    " + source +
                            "\\..\\..\\nowhere\\pc.map: Invalid target location "
                            "relative to source\r\n");
    // The failed copy leaves nothing behind; the table is still written.
    std::map<std::string, std::string> files = copied();
    EXPECT_EQ(files.erase("win95.prd"), 1u);
    EXPECT_EQ(files, (std::map<std::string, std::string>{{"b/pb.map", read("win95/b/pb.map")},
                                                         {"b/pb.txt", "x"}}));
}

// Each refused product is told with the line of its own map file: a product
// refused before its map is read names no line, whatever the product before
// it found.
TEST_F(ReplicationTest, AFailureNamesTheLineOfItsOwnMapFileOnly) {
    product(1, "pa", "a");
    file("win95/a/pa.map", kMapHeader + "G \"\" \"pa.txt\" \"x\" 1 false\nfalse oops 0 0\n");
    rows += product_row(2, "pz", "root", "Z:\\nowhere-at-all");
    product_file(rows);
    EXPECT_EQ(replicate(), RC_UNABLE_TO_PARSE);
    EXPECT_EQ(e.output, opening_lines() + "    " + source +
                            "\\a\\pa.map: Unable to Parse on line 4\r\n" + "    " + source +
                            "\\Z:\\nowhere-at-all\\pz.map: Invalid target "
                            "location relative to source\r\n");
}

TEST_F(ReplicationTest, ProductsBesideTheSourceKeepTheirPlaceUnderTheTarget) {
    // "win95" and "W1" share a "w": the root still ends at the kit folder.
    product(1, "pa", "../W1");
    product(2, "pb", "../W2");
    product_file(rows);
    EXPECT_EQ(replicate({"-F", "-R"}), RC_OK);
    std::map<std::string, std::string> files = copied();
    EXPECT_EQ(run_copy_directory(&e.context), target + "\\win95");
    EXPECT_EQ(files["W1/pa.txt"], "x");
    EXPECT_EQ(files["W2/pb.txt"], "x");
    EXPECT_EQ(files.count("win95/win95.prd"), 1u);
}

TEST_F(ReplicationTest, AbsoluteLocationsAreRefusedAndAFailedBackUpKeepsTheFormerTable) {
    product(1, "pa", "a");
    rows += product_row(2, "pz", "root", "Z:\\nowhere-at-all");
    product_file(rows);
    write_host_file(target_dir.at("win95.prd"), "former table\r\n");
    // The back-up of the former table cannot be written: the table stays.
    // The run's result is its first failure, the refused product's.
    file_services_fail_on(HOST_OP_OPEN, ".win95.001.~", ENOSPC);
    EXPECT_EQ(replicate(), RC_INVALID_TARGET_LOCATION);
    std::string prd = source + "\\win95.prd";
    std::string copy_table = target + "\\win95.prd";
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" + "    " + source +
                            "\\Z:\\nowhere-at-all\\pz.map: Invalid target "
                            "location relative to source\r\n" +
                            "  " + copy_table + ": Already exists.\r\n" +
                            std::string(2 + copy_table.size() + 2, ' ') +
                            "Writing back-up copy to win95.001\r\n" + "  " + target +
                            "\\win95.001: Unable to Write\r\n");
    EXPECT_EQ(copied(), (std::map<std::string, std::string>{{"win95.prd", "former table\r\n"},
                                                            {"a/pa.map", read("win95/a/pa.map")},
                                                            {"a/pa.txt", "x"}}));
}

TEST_F(ReplicationTest, TargetsThatAreTheSourceThroughLinksAreRefusedBeforeAnythingIsMade) {
    product(1, "pa", "a");
    product_file(rows);
    // Links beside the kit: to the source directory, to the folder that
    // holds it, and to a product's directory inside it.
    ASSERT_EQ(symlink(kit.at("win95").c_str(), target_dir.at("link").c_str()), 0);
    ASSERT_EQ(symlink(kit.path().c_str(), target_dir.at("above").c_str()), 0);
    ASSERT_EQ(symlink(kit.at("win95/a").c_str(), target_dir.at("product").c_str()), 0);
    expect_refused({target + "\\link", target + "\\link\\copy", target + "\\LINK\\new\\deeper",
                    target + "\\above", target + "\\product\\copy", source, source + "\\sub",
                    source + "\\a\\new\\deeper", root},
                   {"-F"}, RC_INVALID_TARGET_LOCATION);
}

TEST_F(ReplicationTest, ALinkInsideAnEarlierCopyThatLeadsBackIntoTheKitIsNeverWrittenThrough) {
    product(1, "pa", "a");
    product(2, "pb", "b");
    file("win95/b/sub/s.dat", "ss");
    file("win95/b/pb.map", kMapHeader + map_row("G", "pb.txt", 1) + map_row("G", "sub\\s.dat", 2));
    product_file(rows);
    ASSERT_EQ(replicate(), RC_OK) << e.output;
    // In the copy, a's folder and b's subfolder are replaced by links into
    // the kit: a to the kit's own a, b's sub to the kit folder itself.
    std::filesystem::remove_all(target_dir.at("a"));
    ASSERT_EQ(symlink(kit.at("win95/a").c_str(), target_dir.at("a").c_str()), 0);
    std::filesystem::remove_all(target_dir.at("b/sub"));
    ASSERT_EQ(symlink(kit.at("win95").c_str(), target_dir.at("b/sub").c_str()), 0);
    file("win95/a/pa.txt", "new bytes");
    file("win95/b/sub/s.dat", "new ss");
    std::map<std::string, std::string> source_before = tree(kit.path());
    EXPECT_EQ(replicate(), RC_INVALID_TARGET_LOCATION);
    EXPECT_EQ(tree(kit.path()), source_before);
    EXPECT_EQ(e.output, source + "\r\n" + "  " + source + "\\win95.prd\r\n" + "    " + source +
                            "\\a\\pa.map: Invalid target location relative to source\r\n" + "    " +
                            source + "\\b\\pb.map: Invalid target location relative to source\r\n" +
                            "  " + target + "\\win95.prd: Already exists.\r\n" +
                            std::string(target.size() + 14, ' ') +
                            "Writing back-up copy to win95.001\r\n");
}

TEST_F(ReplicationTest, TemporariesThatAKilledRunLeftInTheCopyAreRemovedByTheNext) {
    product(1, "pa", "a");
    file("win95/a/sub/s.dat", "ss");
    file("win95/a/pa.map", kMapHeader + map_row("G", "pa.txt", 1) + map_row("G", "sub\\s.dat", 2));
    product_file(rows);
    // The kit checked first, so that its table is the one the check of the
    // copy leaves: each replication then writes the table that is there.
    ASSERT_EQ(e.run({source, "-o", "win95", "-F"}), RC_OK) << e.output;
    ASSERT_EQ(replicate(), RC_OK) << e.output;
    std::map<std::string, std::string> copy = copied();
    // A run that no longer runs left a half-written copy of two files; one
    // of this process's (a run still going) stays.
    write_host_file(target_dir.at("a/.pa.txt.~999999999-1"), "half");
    write_host_file(target_dir.at("a/sub/.s.dat.~999999999-2"), "h");
    std::string ours = "a/.pa.txt.~" + std::to_string(getpid()) + "-9";
    write_host_file(target_dir.at(ours), "going");
    ASSERT_EQ(replicate(), RC_OK) << e.output;
    copy[ours] = "going";
    EXPECT_EQ(copied(), copy);
}

TEST_F(ReplicationTest, ATargetThatIsNoDirectorySaysSoAndMakesNothing) {
    product(1, "pa", "a");
    product_file(rows);
    write_host_file(target_dir.at("plain"), "a file");
    ASSERT_EQ(symlink(target_dir.at("missing").c_str(), target_dir.at("dangling").c_str()), 0);
    expect_refused({target + "\\plain", target + "\\plain\\copy", target + "\\dangling"}, {},
                   RC_TARGET_NOT_A_DIRECTORY);
}

TEST_F(ReplicationTest, AFailedCopyLeavesTheFormerCopyAsItWas) {
    product(1, "pa", "a");
    product(2, "pb", "b");
    file("win95/a/pa.txt", std::string(200000, 'p'));
    product_file(rows);
    ASSERT_EQ(replicate(), RC_OK);
    struct timespec times[2] = {{1200000000, 5}, {1200000000, 5}};
    ASSERT_EQ(utimensat(AT_FDCWD, target_dir.at("a/pa.txt").c_str(), times, 0), 0);

    // The disk fills up during the second write of the new pa.txt, and the
    // new pb.txt cannot be moved into place.
    file("win95/a/pa.txt", std::string(200000, 'q'));
    file("win95/b/pb.txt", "y");
    std::map<std::string, std::string> source_before = tree(kit.path());
    std::map<std::string, std::string> expected = tree(target_dir.path());
    file_services_fail_on(HOST_OP_WRITE, "pa.txt", ENOSPC, 1);
    file_services_fail_on(HOST_OP_RENAME, "pb.txt", EIO);
    EXPECT_EQ(replicate(), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(e.output, opening_lines() + "    " + source + "\\a\\pa.map: Unable to Write\r\n" +
                            "    " + source + "\\b\\pb.map: Unable to Write\r\n" +
                            backup_lines("001"));
    // The former copies stand as they were, pa.txt with its times; no
    // temporary file is left. Only the product table changed, its former
    // text kept under 001.
    std::map<std::string, std::string> after = tree(target_dir.path());
    expected["win95.001"] = expected["win95.prd"];
    expected["win95.prd"] = written_table(true);
    EXPECT_EQ(after, expected);
    struct stat copy;
    ASSERT_EQ(stat(target_dir.at("a/pa.txt").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(copy.st_mtim.tv_nsec, 5);
    EXPECT_EQ(tree(kit.path()), source_before);

    // Once the disk has room, each new file takes its place.
    file_services_faults_clear();
    EXPECT_EQ(replicate(), RC_OK);
    EXPECT_EQ(read_host_file(target_dir.at("a/pa.txt")), std::string(200000, 'q'));
    EXPECT_EQ(read_host_file(target_dir.at("b/pb.txt")), "y");
    EXPECT_EQ(tree(kit.path()), source_before);
}

TEST_F(ReplicationTest, AUserFileThatCannotBeCopiedIsNamedAndFailsTheRun) {
    product(1, "pa", "a");
    file("win95/user.stp", "user script 1");
    file("win95/kit.usr", "kit 1");
    product_file(rows);
    ASSERT_EQ(replicate(), RC_OK);
    file("win95/user.stp", "user script 2");
    file("win95/kit.usr", "kit 2");
    std::map<std::string, std::string> source_before = tree(kit.path());
    std::map<std::string, std::string> expected = tree(target_dir.path());

    // The copy's user.stp cannot be written: the former one stays, and
    // kit.usr is still copied.
    file_services_fail_on(HOST_OP_WRITE, "user.stp", ENOSPC);
    EXPECT_EQ(replicate(), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(e.output, opening_lines() + backup_lines("001") + "    " + target +
                            "\\user.stp: Unable to Write\r\n");
    std::map<std::string, std::string> after = tree(target_dir.path());
    expected["win95.001"] = expected["win95.prd"];
    expected["win95.prd"] = written_table(false);
    expected["kit.usr"] = "kit 2";
    EXPECT_EQ(after, expected);
    EXPECT_EQ(tree(kit.path()), source_before);

    // The source's kit.usr cannot be read: the new copy has none.
    TempDir fresh;
    file_services_faults_clear();
    file_services_fail_on(HOST_OP_READ, "kit.usr", EIO);
    EXPECT_EQ(e.run({source, "-o", "win95", "-j", engine_path(fresh.path())}), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output, opening_lines() + "    " + source + "\\kit.usr: Unable To Read\r\n");
    EXPECT_EQ(tree(fresh.path()),
              (std::map<std::string, std::string>{{"a", "<dir>"},
                                                  {"a/pa.map", read("win95/a/pa.map")},
                                                  {"a/pa.txt", "x"},
                                                  {"user.stp", "user script 2"},
                                                  {"win95.prd", written_table(false)}}));
    EXPECT_EQ(tree(kit.path()), source_before);
}

TEST_F(ReplicationTest, FifosAreReportedAndNeverOpened) {
    product(1, "pa", "a");
    product(2, "pb", "b");
    product_file(rows);
    ASSERT_EQ(unlink(kit.at("win95/a/pa.txt").c_str()), 0);
    for (const char* name : {"win95/a/pa.txt", "win95/user.pin", "win95/fifo.usr"})
        ASSERT_EQ(mkfifo(kit.at(name).c_str(), 0644), 0) << name;
    std::map<std::string, std::string> source_before = tree(kit.path());

    // Opened for reading, any of them would wait for a writer for ever.
    EXPECT_EQ(replicate(), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output, opening_lines() + "    " + source + "\\a\\pa.txt Not a regular file\r\n" +
                            "    " + source + "\\a\\pa.map: Unable To Read\r\n" + "    " + source +
                            "\\fifo.usr Not a regular file\r\n" + "    " + source +
                            "\\user.pin Not a regular file\r\n");
    EXPECT_EQ(tree(target_dir.path()),
              (std::map<std::string, std::string>{{"a", "<dir>"},
                                                  {"a/pa.map", read("win95/a/pa.map")},
                                                  {"b", "<dir>"},
                                                  {"b/pb.map", read("win95/b/pb.map")},
                                                  {"b/pb.txt", "x"},
                                                  {"win95.prd", written_table(true)}}));
    EXPECT_EQ(tree(kit.path()), source_before);
}

TEST_F(ReplicationTest, AnIdenticalTableIsLeftAloneWithoutABackUp) {
    product(1, "pa", "a");
    product_file(rows);
    // A kit already checked: a copy of it checks without a change.
    ASSERT_EQ(e.run({source, "-o", "win95", "-F"}), RC_OK);
    ASSERT_EQ(replicate(), RC_OK);
    struct timespec times[2] = {{1200000000, 7}, {1200000000, 7}};
    ASSERT_EQ(utimensat(AT_FDCWD, target_dir.at("win95.prd").c_str(), times, 0), 0);
    std::map<std::string, std::string> source_before = tree(kit.path());
    std::map<std::string, std::string> target_before = tree(target_dir.path());

    EXPECT_EQ(replicate(), RC_OK);
    EXPECT_EQ(e.output, opening_lines() + target + "\r\n" + "  " + target + "\\win95.prd\r\n" +
                            checked(target + "\\a\\pa.map"));
    EXPECT_EQ(tree(target_dir.path()), target_before);
    struct stat table;
    ASSERT_EQ(stat(target_dir.at("win95.prd").c_str(), &table), 0);
    EXPECT_EQ(table.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(table.st_mtim.tv_nsec, 7);
    EXPECT_EQ(tree(kit.path()), source_before);
}

TEST_F(ReplicationTest, TheCopysTableIsLockedFirstAndItsFailuresNameIt) {
    product(1, "pa", "a");
    product_file(rows);
    ASSERT_EQ(replicate(), RC_OK);
    file("win95/a/pa.txt", "changed");
    std::map<std::string, std::string> source_before = tree(kit.path());
    std::map<std::string, std::string> target_before = tree(target_dir.path());

    // Another run is at work on the copy: this one copies nothing and
    // announces no back-up.
    FileLock* other_run = nullptr;
    ASSERT_EQ(file_lock_take(target + "\\win95.prd", &other_run), RC_OK);
    EXPECT_EQ(replicate(), RC_SHARING_VIOLATION);
    file_lock_release(other_run);
    EXPECT_EQ(e.output, opening_lines() + "  " + target + "\\win95.prd: Sharing Violation\r\n");
    EXPECT_EQ(tree(target_dir.path()), target_before);
    EXPECT_EQ(tree(kit.path()), source_before);

    // The copy's table cannot be written: the line names the copy's table.
    TempDir fresh;
    std::string copy = engine_path(fresh.path());
    file_services_fail_on(HOST_OP_OPEN, ".win95.prd.~", ENOSPC);
    EXPECT_EQ(e.run({source, "-o", "win95", "-j", copy}), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(e.output, opening_lines() + "  " + copy + "\\win95.prd: Unable to Write\r\n");
    EXPECT_EQ(tree(fresh.path()),
              (std::map<std::string, std::string>{
                  {"a", "<dir>"}, {"a/pa.map", read("win95/a/pa.map")}, {"a/pa.txt", "changed"}}));
    EXPECT_EQ(tree(kit.path()), source_before);
}
