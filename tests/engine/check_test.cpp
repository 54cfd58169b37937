// End-to-end checks of small staging areas made in a temporary folder: the
// report, and the product, map and resource files written, byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "kit_fixture.h"

namespace {

using CheckTest = KitTest;

}  // namespace

TEST_F(CheckTest, AKitThatMatchesItsTablesOnlyGetsItsCdRomMapsAndSizes) {
    two_products();
    std::string prd = read("win95.prd");
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output, root + "\r\n" +
                            "  " + root + "\\win95.prd\r\n" +
                            "    " + root + "\\core\\core.map\r\n" +
                            "      core.map Superfluous\r\n" +
                            "    " + root + "\\core\\core.map: 13\r\n" +
                            "    " + root + "\\docs\\docs.map\r\n" +
                            "      docs.map Superfluous\r\n" +
                            "    " + root + "\\docs\\docs.map: 5\r\n");
    // The Size columns changed from 0, so the product file was written back.
    EXPECT_EQ(read("win95.old"), prd);
    EXPECT_NE(read("win95.prd").find("\"core\"     13 true"), std::string::npos) << read("win95.prd");
    EXPECT_TRUE(host_exists(kit.at("core/diskward/core.cdr")));
    EXPECT_FALSE(host_exists(kit.at("core/core.old")));  // the map did not change

    // A second run finds nothing to change and writes nothing.
    remove(kit.at("win95.old").c_str());
    EXPECT_EQ(run(), RC_OK);
    EXPECT_FALSE(host_exists(kit.at("win95.old")));
}

TEST_F(CheckTest, SizeChangesMissingAndSuperfluousFilesAreReported) {
    two_products();
    file("core/a.txt", std::string(1000, 'a'));
    file("core/extra.bin", "x");
    file("core/keep.old", "old");
    file("docs/docs.map", kMapHeader + map_row("Docs", "guide.txt", 5) + map_row("Docs", "gone.txt", 7));
    std::string core_map = read("core/core.map");
    EXPECT_EQ(run(), RC_FILE_NOT_FOUND);
    EXPECT_NE(e.output.find("      a.txt 10 --> 1000\r\n"), std::string::npos) << e.output;
    EXPECT_NE(e.output.find("      extra.bin Superfluous\r\n"), std::string::npos);
    EXPECT_EQ(e.output.find("keep.old"), std::string::npos);
    EXPECT_NE(e.output.find("      gone.txt Missing\r\n"), std::string::npos);
    EXPECT_NE(e.output.find("    " + root + "\\docs\\docs.map: File Not Found\r\n"),
              std::string::npos);
    // The product's failure is reported under its map file only.
    EXPECT_EQ(e.output.find("win95.prd: File Not Found"), std::string::npos);
    // The core map was rewritten with the new size, the former one kept.
    EXPECT_EQ(read("core/core.old"), core_map);
    EXPECT_NE(read("core/core.map").find("1000"), std::string::npos);
}

TEST_F(CheckTest, NoBackupsAndNoCdRomSubdirectories) {
    two_products();
    file("core/a.txt", std::string(12, 'a'));
    EXPECT_EQ(run({"-F", "-R"}), RC_OK);
    EXPECT_FALSE(host_exists(kit.at("core/core.old")));
    EXPECT_FALSE(host_exists(kit.at("win95.old")));
    EXPECT_FALSE(host_exists(kit.at("core/diskward")));
    EXPECT_NE(read("core/core.map").find(" 12 "), std::string::npos);
}

TEST_F(CheckTest, OneProductByNameAndUnknownNames) {
    two_products();
    EXPECT_EQ(run({"-N", "DOCS"}), RC_OK);
    EXPECT_EQ(e.output.find("core.map"), std::string::npos);
    EXPECT_NE(e.output.find("docs.map: 5"), std::string::npos);

    EXPECT_EQ(run({"-N", "nothing"}), RC_UNKNOWN_PRODUCT_NAME);
    EXPECT_NE(e.output.find("win95.prd: Unknown Product Name\r\n"), std::string::npos);
}

TEST_F(CheckTest, VersionProductIsAddedUpdatedOrWarnedAbout) {
    file("win95.prd", product_row(0, "w95install", "root", "inst", "3.1.9") +
                          product_row(1, "core", "root", "core"));
    file("core/core.map", kMapHeader);
    file("inst/w95install.map", kMapHeader);
    run();
    EXPECT_NE(e.output.find("  " + root + "\\win95.prd: WARNING: Version of Installer appears "
                                          "to be out of date with respect to Diskward\r\n"),
              std::string::npos)
        << e.output;
    // Both maps are empty: reported, and the version product is still added.
    EXPECT_NE(e.output.find("core.map: Empty on line 3\r\n"), std::string::npos) << e.output;

    file("win95.prd", "0 WIN95INSTVER root \"\" \"4.0\" \"Installer Version\" \"\" 0 false false "
                      "false \"\" \"\"\n");
    EXPECT_EQ(run(), RC_OK);
    EXPECT_NE(e.output.find("WARNING: Version of Diskward appears to be out of date with "
                            "respect to PRD\r\n"),
              std::string::npos);
    EXPECT_NE(read("win95.prd").find("\"4.0\""), std::string::npos);

    file("win95.prd", "0 win95instver root \"\" \"3.2.0\" \"Installer Version\" \"\" 0 false false "
                      "false \"\" \"\"\n");
    EXPECT_EQ(run(), RC_OK);
    EXPECT_NE(read("win95.prd").find("\"3.2.1.0.0\""), std::string::npos);
    EXPECT_EQ(e.output.find("WARNING"), std::string::npos);
}

TEST_F(CheckTest, BrokenAndMissingMapFilesDoNotStopTheOtherProducts) {
    two_products();
    remove(kit.at("core/core.map").c_str());
    file("docs/docs.map", kMapHeader + "Docs \"\" \"guide.txt\" \"x\" 5 false\nfalse oops 0 0\n");
    EXPECT_EQ(run(), RC_UNABLE_TO_READ);
    EXPECT_NE(e.output.find("    " + root + "\\core\\core.map: Unable To Read\r\n"),
              std::string::npos) << e.output;
    EXPECT_NE(e.output.find("    " + root + "\\docs\\docs.map: Unable to Parse on line 4\r\n"),
              std::string::npos) << e.output;
    file("win95.prd", "1 core root \"core\"\n");
    EXPECT_EQ(run(), RC_UNABLE_TO_PARSE);
    EXPECT_NE(e.output.find("win95.prd: Unable to Parse on line 2\r\n"), std::string::npos);
}

TEST_F(CheckTest, NamesMatchInAnyLetterCaseWithSpacesAndHighBytes) {
    two_products();
    file("core/Sub/My File \xE9.TXT", "12345");
    file("core/core.map", kMapHeader + map_row("G", "A.TXT", 10) + map_row("G", "sub\\b.dat", 3) +
                              map_row("G", "SUB\\my file \xE9.txt", 5));
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output.find("Superfluous\r\n      "), std::string::npos) << e.output;
    EXPECT_EQ(e.output.find("Missing"), std::string::npos) << e.output;
}

TEST_F(CheckTest, AReadOnlyMapFileIsReportedAndKept) {
    two_products();
    file("core/a.txt", std::string(11, 'a'));
    std::string before = read("core/core.map");
    chmod(kit.at("core/core.map").c_str(), 0444);
    EXPECT_EQ(run(), RC_PERMISSION_DENIED);
    EXPECT_NE(e.output.find("core.map: Permission Denied\r\n"), std::string::npos) << e.output;
    EXPECT_EQ(read("core/core.map"), before);
}

TEST_F(CheckTest, InstallerScriptsGiveTheResourceFile) {
    file("win95.prd", product_row(1, "w95install", "root", "inst", "3.2.1.0.0"));
    file("inst/w95install.map", kMapHeader + map_row("S", "win95.stp", 0));
    file("inst/win95.stp", "nls(\"HELLO\", \"Hello\\\\there\\n\") nls(\"HELLO\", \"again\")\n"
                           "nls(\"K2\", \"x\") nls \"not a call\"\n");
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(read("inst/diskward/win95.prn"),
              "/*\r\nVeltra Diskward Utility\r\n */\r\n"
              "Summary \"NLS Strings for win95 Installer Scripts\"\r\n\r\n"
              "/*---------------------------------------*/\r\n"
              "Resource    \"Installer Text\"\r\nType        \"installertext\"\r\nContent\r\n\r\n"
              "table\r\n{\r\n"
              "  \"HELLO\"  string 1  13 \"Hello\\\\\\\\there\\\\n\"\r\n"
              "  \"K2\"     string 1   1 \"x\"\r\n"
              "}\r\n");
    // Untouched scripts leave the resource file alone; a newer script renews it.
    struct stat before;
    stat(kit.at("inst/diskward/win95.prn").c_str(), &before);
    struct utimbuf old_times{before.st_mtime - 100, before.st_mtime - 100};
    utime(kit.at("inst/diskward/win95.prn").c_str(), &old_times);
    file("inst/win95.stp", "nls(\"NEW\", \"text\")\n");
    run();
    EXPECT_NE(read("inst/diskward/win95.prn").find("\"NEW\""), std::string::npos);
}
