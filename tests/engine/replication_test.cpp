// Replication end to end: a staging area copied into another tree, the
// products chosen with -N and their dependencies, the product table of the
// copy with numbered back-ups, and the check of the copy that follows.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "kit_fixture.h"

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
    ResultCode replicate(std::vector<std::string> extra = {}) {
        std::vector<std::string> words{source, "-o", "win95", "-j", target};
        words.insert(words.end(), extra.begin(), extra.end());
        return e.run(words);
    }
    std::string rows;
};

// The check of a copied product whose map lists one file of one byte.
std::string checked(const std::string& map) {
    return "    " + map + "\r\n" + "      " + map.substr(map.rfind('\\') + 1) +
           " Superfluous\r\n" + "    " + map + ": 1\r\n";
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
    EXPECT_EQ(e.output, source + "\r\n" + "  " + source + "\\win95.prd\r\n" +
                            replica + "\r\n" + "  " + replica + "\\win95.prd\r\n" +
                            "    " + replica + "\\A\\pa.map\r\n" +
                            "      pa.map Superfluous\r\n" +
                            "    " + replica + "\\A\\pa.map: 3\r\n" +
                            checked(replica + "\\..\\common\\B\\pb.map"));
    EXPECT_EQ(e.rc.target, replica);
    std::map<std::string, std::string> files = copied();
    // The check of the copy corrects the sizes; it keeps no .old copies and
    // makes no working subdirectories.
    std::string written = files["win95/win95.prd"];
    files.erase("win95/win95.prd");
    EXPECT_EQ(files, (std::map<std::string, std::string>{
                         {"win95/A/pa.map", read("win95/A/pa.map")},
                         {"win95/A/pa.txt", "x"},
                         {"win95/A/sub/s.dat", "ss"},
                         {"common/B/pb.map", read("common/B/pb.map")},
                         {"common/B/pb.txt", "x"},
                         {"win95/user.stp", "user script"},
                         {"win95/lang.usr", "user file"}}));
    EXPECT_EQ(written,
              crlf_lines({"#### Product      Parent Filename Version     Interface Label     "
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
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" +
                            "  " + prd + ": Unknown Product Name\r\n" +
                            "  " + prd + ": Unknown Product Name\r\n" + copied_report("003"));
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
    EXPECT_EQ(table,
              crlf_lines({"#### Product      Parent Filename Version     Interface Label     "
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
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" + "  " + prd +
                            ": Permission Denied\r\n");
    EXPECT_FALSE(host_exists(target_dir.at("new")));
}

TEST_F(ReplicationTest, TargetsAroundTheSourceAndMissingVerificationFilesCopyNothing) {
    product(1, "pa", "a");
    product_file(rows);
    std::string prd = source + "\\win95.prd";

    EXPECT_EQ(replicate({"-N", "pa"}), RC_FILE_NOT_FOUND);
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" +
                            "  " + prd + ": Unknown Product Name\r\n" +
                            "    " + source + "\\a\\pa.vrf: File Not Found\r\n" +
                            "  " + prd + ": File Not Found\r\n");
    EXPECT_TRUE(copied().empty());

    std::string inside = source + "\\a\\copy";
    EXPECT_EQ(e.run({source, "-o", "win95", "-j", inside}), RC_INVALID_TARGET_LOCATION);
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" +
                            "  " + prd + ": Invalid target location relative to source\r\n");
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
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" +
                            "    " + source + "\\a\\pa.map: Unable To Read\r\n" +
                            "    " + source + "\\..\\..\\nowhere\\pc.map: Invalid target location "
                                              "relative to source\r\n");
    // The failed copy leaves nothing behind; the table is still written.
    std::map<std::string, std::string> files = copied();
    EXPECT_EQ(files.erase("win95.prd"), 1u);
    EXPECT_EQ(files, (std::map<std::string, std::string>{{"b/pb.map", read("win95/b/pb.map")},
                                                         {"b/pb.txt", "x"}}));
}

TEST_F(ReplicationTest, ProductsBesideTheSourceKeepTheirPlaceUnderTheTarget) {
    // "win95" and "W1" share a "w": the root still ends at the kit folder.
    product(1, "pa", "../W1");
    product(2, "pb", "../W2");
    product_file(rows);
    EXPECT_EQ(replicate({"-F", "-R"}), RC_OK);
    std::map<std::string, std::string> files = copied();
    EXPECT_EQ(e.rc.target, target + "\\win95");
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
    EXPECT_EQ(e.output, source + "\r\n" + "  " + prd + "\r\n" +
                            "    " + source + "\\Z:\\nowhere-at-all\\pz.map: Invalid target "
                                              "location relative to source\r\n" +
                            "  " + copy_table + ": Already exists.\r\n" +
                            std::string(2 + copy_table.size() + 2, ' ') +
                            "Writing back-up copy to win95.001\r\n" +
                            "  " + prd + ": Unable to Write\r\n");
    EXPECT_EQ(copied(), (std::map<std::string, std::string>{{"win95.prd", "former table\r\n"},
                                                            {"a/pa.map", read("win95/a/pa.map")},
                                                            {"a/pa.txt", "x"}}));
}
