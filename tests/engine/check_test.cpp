// End-to-end checks of small staging areas made in a temporary folder: the
// whole report, and the product, map and resource files written, byte for
// byte, with every other file of the kit as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "kit_fixture.h"

namespace {

using CheckTest = KitTest;
using Files = std::map<std::string, std::string>;

// The column header of a map file as written when the widest Source is 11
// characters, quotes included, and the widest Destination 20: so for every
// product of two_products() and for a product of one script "win95.stp".
const std::string kMapColumns =
    "#Name Subgroup Source      Destination          Size Instantiate? Append? Compress? "
    "StartDisk TotalDisks Icon Group Item Command";
// The columns after Size of a row of map_row() as written under that header.
const std::string kPlainFlags =
    R"( false        false   false            00         00   00 ""    ""   ""     )";

// core.map of two_products() as written, with a.txt's Size column (four wide).
std::string core_map_written(const std::string& a_size) {
    return crlf_lines({kMapColumns, "",
                       R"(G     ""       "a.txt"     "%TARGET%\a.txt"     )" + a_size + kPlainFlags,
                       "", R"(G     ""       "sub\b.dat" "%TARGET%\sub\b.dat"   03)" + kPlainFlags,
                       ""});
}

// docs.map of two_products() as written: its CD-ROM map file.
const std::string kDocsCdr = crlf_lines(
    {kMapColumns, "", R"(Docs  ""       "guide.txt" "%TARGET%\guide.txt"   05)" + kPlainFlags, ""});

// w95install.map of a product of the one script win95.stp, as written, with
// the script's Size column (four wide).
std::string script_map_written(const std::string& size) {
    return crlf_lines({kMapColumns, "",
                       R"(S     ""       "win95.stp" "%TARGET%\win95.stp" )" + size + kPlainFlags,
                       ""});
}

// The header and version row of a product file as written when no value is
// wider than those of two_products().
const std::string kProductColumns =
    "#### Product      Parent Filename Version     Interface Label     Location Size Visible? "
    "Selected? Open? Description Volume";
const std::string kVersionWritten =
    R"(   0 win95instver root   ""       "3.2.1.0.0" "Installer Version" ""          0 false    false     false ""          ""    )";

}  // namespace

TEST_F(CheckTest, AKitThatMatchesItsTablesOnlyGetsItsCdRomMapsAndSizes) {
    two_products();
    Files files = snapshot();
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output, opening() + core_lines() + docs_lines());
    // The Size columns changed from 0, so the product file was written back
    // (core, the first product by label, shown open) and the former one kept.
    // The maps did not change: neither was rewritten nor got a .old copy.
    files["win95.old"] = files["win95.prd"];
    files["win95.prd"] = crlf_lines({
        kProductColumns,
        kVersionWritten,
        R"(   1 core         root   "core"   "1.0"       "core label"        "core"     13 true     false     true  ""          "V1"  )",
        R"(   2 docs         root   "docs"   "1.0"       "docs label"        "docs"      5 true     false     false ""          "V1"  )",
    });
    files["core/diskward/core.cdr"] = core_map_written("  10");
    files["docs/diskward/docs.cdr"] = kDocsCdr;
    EXPECT_EQ(snapshot(), files);

    // A second run finds nothing to change and writes nothing.
    remove(kit.at("win95.old").c_str());
    files.erase("win95.old");
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output, opening() + core_lines() + docs_lines());
    EXPECT_EQ(snapshot(), files);
}

TEST_F(CheckTest, SizeChangesMissingAndSuperfluousFilesAreReported) {
    two_products();
    file("core/a.txt", std::string(1000, 'a'));
    file("core/extra.bin", "x");
    file("core/keep.old", "old");  // a back-up copy is no kit file
    file("docs/docs.map",
         kMapHeader + map_row("Docs", "guide.txt", 5) + map_row("Docs", "gone.txt", 7));
    Files files = snapshot();
    EXPECT_EQ(run(), RC_FILE_NOT_FOUND);
    // The product's failure is reported under its map file only.
    const std::string core = root + "\\core\\core.map";
    const std::string docs = root + "\\docs\\docs.map";
    EXPECT_EQ(e.output, opening() + "    " + core + "\r\n" + "      a.txt 10 --> 1000\r\n" +
                            "      core.map Superfluous\r\n" + "      extra.bin Superfluous\r\n" +
                            "    " + core + ": 1003\r\n" + "    " + docs + "\r\n" +
                            "      docs.map Superfluous\r\n" + "      gone.txt Missing\r\n" +
                            "    " + docs + ": 12\r\n" + "    " + docs + ": File Not Found\r\n");
    // The core map was rewritten with the new size, the former one kept, and
    // core got its CD-ROM map. The failed docs and the product file were
    // left as they were.
    files["core/core.old"] = files["core/core.map"];
    files["core/core.map"] = core_map_written("1000");
    files["core/diskward/core.cdr"] = core_map_written("1000");
    EXPECT_EQ(snapshot(), files);
}

TEST_F(CheckTest, NoBackupsAndNoCdRomSubdirectories) {
    two_products();
    file("core/a.txt", std::string(12, 'a'));
    Files files = snapshot();
    EXPECT_EQ(run({"-F", "-R"}), RC_OK);
    EXPECT_EQ(e.output, opening() + "    " + root + "\\core\\core.map\r\n" +
                            "      a.txt 10 --> 12\r\n" + "      core.map Superfluous\r\n" +
                            "    " + root + "\\core\\core.map: 15\r\n" + docs_lines());
    // The map and the product file are rewritten in place: no .old copy and
    // no diskward subdirectory anywhere.
    files["core/core.map"] = core_map_written("  12");
    files["win95.prd"] = crlf_lines({
        kProductColumns,
        kVersionWritten,
        R"(   1 core         root   "core"   "1.0"       "core label"        "core"     15 true     false     true  ""          "V1"  )",
        R"(   2 docs         root   "docs"   "1.0"       "docs label"        "docs"      5 true     false     false ""          "V1"  )",
    });
    EXPECT_EQ(snapshot(), files);
}

TEST_F(CheckTest, OneProductByNameAndUnknownNames) {
    two_products();
    Files files = snapshot();
    EXPECT_EQ(run({"-N", "DOCS"}), RC_OK);
    EXPECT_EQ(e.output, opening() + docs_lines());
    // Only docs is checked: its size and CD-ROM map are written, core keeps
    // its Size and gets no CD-ROM map; docs is the product shown open.
    files["win95.old"] = files["win95.prd"];
    files["win95.prd"] = crlf_lines({
        kProductColumns,
        kVersionWritten,
        R"(   1 core         root   "core"   "1.0"       "core label"        "core"      0 true     false     false ""          "V1"  )",
        R"(   2 docs         root   "docs"   "1.0"       "docs label"        "docs"      5 true     false     true  ""          "V1"  )",
    });
    files["docs/diskward/docs.cdr"] = kDocsCdr;
    EXPECT_EQ(snapshot(), files);

    EXPECT_EQ(run({"-N", "nothing"}), RC_UNKNOWN_PRODUCT_NAME);
    EXPECT_EQ(e.output, opening() + "  " + root + "\\win95.prd: Unknown Product Name\r\n");
    EXPECT_EQ(snapshot(), files);
}

TEST_F(CheckTest, VersionProductIsAddedUpdatedOrWarnedAbout) {
    file("win95.prd", product_row(0, "w95install", "root", "inst", "3.1.9") +
                          product_row(1, "core", "root", "core"));
    file("core/core.map", kMapHeader);
    file("inst/w95install.map", kMapHeader);
    Files files = snapshot();
    const std::string prd = root + "\\win95.prd";
    EXPECT_EQ(run(), RC_EMPTY);
    // Both maps are empty: each is reported, and a failed product keeps the
    // product file as it was, without the version product.
    EXPECT_EQ(e.output, opening() + "  " + prd +
                            ": WARNING: Version of Installer appears to be out of "
                            "date with respect to Diskward\r\n" +
                            "    " + root + "\\inst\\w95install.map\r\n" + "    " + root +
                            "\\inst\\w95install.map: Empty on line 3\r\n" + "    " + root +
                            "\\core\\core.map\r\n" + "    " + root +
                            "\\core\\core.map: Empty on line 3\r\n");
    EXPECT_EQ(snapshot(), files);

    // A version product newer than ours is kept as it is, name and version.
    file("win95.prd",
         "0 WIN95INSTVER root \"\" \"4.0\" \"Installer Version\" \"\" 0 false false "
         "false \"\" \"\"\n");
    files = snapshot();
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output, opening() + "  " + prd +
                            ": WARNING: Version of Diskward appears to be out of date "
                            "with respect to PRD\r\n");
    EXPECT_EQ(snapshot(), files);

    // An older one is updated without a warning.
    file("win95.prd",
         "0 win95instver root \"\" \"3.2.0\" \"Installer Version\" \"\" 0 false false "
         "false \"\" \"\"\n");
    files = snapshot();
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output, opening());
    files["win95.old"] = files["win95.prd"];
    files["win95.prd"] = crlf_lines({
        kProductColumns,
        R"(   0 win95instver root   ""       "3.2.1.0.0" "Installer Version" ""          0 false    false     true  ""          ""    )",
    });
    EXPECT_EQ(snapshot(), files);
}

TEST_F(CheckTest, BrokenAndMissingMapFilesDoNotStopTheOtherProducts) {
    two_products();
    remove(kit.at("core/core.map").c_str());
    file("docs/docs.map", kMapHeader + "Docs \"\" \"guide.txt\" \"x\" 5 false\nfalse oops 0 0\n");
    Files files = snapshot();
    EXPECT_EQ(run(), RC_UNABLE_TO_READ);
    EXPECT_EQ(e.output, opening() + "    " + root + "\\core\\core.map\r\n" + "    " + root +
                            "\\core\\core.map: Unable To Read\r\n" + "    " + root +
                            "\\docs\\docs.map\r\n" + "    " + root +
                            "\\docs\\docs.map: Unable to Parse on line 4\r\n");
    EXPECT_EQ(snapshot(), files);

    file("win95.prd", "1 core root \"core\"\n");
    files = snapshot();
    EXPECT_EQ(run(), RC_UNABLE_TO_PARSE);
    EXPECT_EQ(e.output, opening() + "  " + root + "\\win95.prd: Unable to Parse on line 2\r\n");
    EXPECT_EQ(snapshot(), files);
}

TEST_F(CheckTest, NamesMatchInAnyLetterCaseWithSpacesAndHighBytes) {
    two_products();
    file("core/Sub/My File \xE9.TXT", "12345");
    file("core/core.map", kMapHeader + map_row("G", "A.TXT", 10) + map_row("G", "sub\\b.dat", 3) +
                              map_row("G", "SUB\\my file \xE9.txt", 5));
    Files files = snapshot();
    EXPECT_EQ(run(), RC_OK);
    // Every file matches its component: nothing superfluous but the maps
    // themselves, nothing missing, and the map keeps its own spellings.
    EXPECT_EQ(e.output, opening() + "    " + root + "\\core\\core.map\r\n" +
                            "      core.map Superfluous\r\n" + "    " + root +
                            "\\core\\core.map: 18\r\n" + docs_lines());
    files["win95.old"] = files["win95.prd"];
    files["win95.prd"] = crlf_lines({
        kProductColumns,
        kVersionWritten,
        R"(   1 core         root   "core"   "1.0"       "core label"        "core"     18 true     false     true  ""          "V1"  )",
        R"(   2 docs         root   "docs"   "1.0"       "docs label"        "docs"      5 true     false     false ""          "V1"  )",
    });
    files["core/diskward/core.cdr"] = crlf_lines({
        "#Name Subgroup Source              Destination                  Size Instantiate? Append? "
        "Compress? StartDisk TotalDisks Icon Group Item Command",
        "",
        R"(G     ""       "A.TXT"             "%TARGET%\A.TXT"               10)" + kPlainFlags,
        "",
        R"(G     ""       "sub\b.dat"         "%TARGET%\sub\b.dat"           03)" + kPlainFlags,
        "",
        "G     \"\"       \"SUB\\my file \xE9.txt\" \"%TARGET%\\SUB\\my file \xE9.txt\"   05" +
            kPlainFlags,
        "",
    });
    files["docs/diskward/docs.cdr"] = kDocsCdr;
    EXPECT_EQ(snapshot(), files);
}

TEST_F(CheckTest, AReadOnlyMapFileIsReportedAndKept) {
    two_products();
    file("core/a.txt", std::string(11, 'a'));
    file("core/core.old", "an earlier back-up");
    Files files = snapshot();
    chmod(kit.at("core/core.map").c_str(), 0444);
    EXPECT_EQ(run(), RC_PERMISSION_DENIED);
    EXPECT_EQ(e.output, opening() + "    " + root + "\\core\\core.map\r\n" +
                            "      a.txt 10 --> 11\r\n" + "      core.map Superfluous\r\n" +
                            "    " + root + "\\core\\core.map: 14\r\n" + "    " + root +
                            "\\core\\core.map: Permission Denied\r\n" + docs_lines());
    // The map and its earlier back-up keep their text. Neither core's CD-ROM
    // map nor the product file is written for a failed product.
    files["docs/diskward/docs.cdr"] = kDocsCdr;
    EXPECT_EQ(snapshot(), files);
}

TEST_F(CheckTest, InstallerScriptsGiveTheResourceFile) {
    file("win95.prd", product_row(1, "w95install", "root", "inst", "3.2.1.0.0"));
    file("inst/w95install.map", kMapHeader + map_row("S", "win95.stp", 0));
    file("inst/win95.stp",
         "nls(\"HELLO\", \"Hello\\\\there\\n\") nls(\"HELLO\", \"again\")\n"
         "nls(\"K2\", \"x\") nls \"not a call\"\n");
    Files files = snapshot();
    const std::string map = root + "\\inst\\w95install.map";
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output, opening() + "    " + map + "\r\n" + "      w95install.map Superfluous\r\n" +
                            "      win95.stp 0 --> 85\r\n" + "    " + map + ": 85\r\n");
    const std::string resources =
        "/*\r\nVeltra Diskward Utility\r\n */\r\n"
        "Summary \"NLS Strings for win95 Installer Scripts\"\r\n\r\n"
        "/*---------------------------------------*/\r\n"
        "Resource    \"Installer Text\"\r\nType        \"installertext\"\r\nContent\r\n\r\n"
        "table\r\n{\r\n";
    files["inst/diskward/win95.prn"] = resources +
                                       "  \"HELLO\"  string 1  13 \"Hello\\\\\\\\there\\\\n\"\r\n"
                                       "  \"K2\"     string 1   1 \"x\"\r\n"
                                       "}\r\n";
    files["inst/w95install.old"] = files["inst/w95install.map"];
    files["inst/w95install.map"] = script_map_written("  85");
    files["inst/diskward/w95install.cdr"] = script_map_written("  85");
    // The version product is added, with its description, as the product
    // shown open.
    const std::string added =
        "\"This product is written automatically to a Product Enumeration Script for the "
        "Installer to use for forward compatibility checking.\"";
    const std::string no_description = "\"\"" + std::string(added.size() - 2, ' ');
    // The product file as written, with w95install's Size column (four wide).
    auto product_file = [&](const std::string& size) {
        return crlf_lines({
            "#### Product      Parent Filename     Version     Interface Label     Location Size "
            "Visible? Selected? Open? Description" +
                std::string(added.size() - 11, ' ') + " Volume",
            R"(   0 win95instver root   ""           "3.2.1.0.0" "Installer Version" ""          0 false    false     true  )" +
                added + R"( ""    )",
            R"(   1 w95install   root   "w95install" "3.2.1.0.0" "w95install label"  "inst"   )" +
                size + " true     false     false " + no_description + R"( "V1"  )",
        });
    };
    files["win95.old"] = files["win95.prd"];
    files["win95.prd"] = product_file("  85");
    EXPECT_EQ(snapshot(), files);

    // A resource file newer than its scripts is taken as current: it is not
    // collected again, whatever it holds.
    write_host_file(kit.at("inst/diskward/win95.prn"), "kept");
    struct stat script;
    stat(kit.at("inst/win95.stp").c_str(), &script);
    struct utimbuf newer {
        script.st_mtime + 100, script.st_mtime + 100
    };
    utime(kit.at("inst/diskward/win95.prn").c_str(), &newer);
    files["inst/diskward/win95.prn"] = "kept";
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output, opening() + "    " + map + "\r\n" + "      w95install.map Superfluous\r\n" +
                            "    " + map + ": 85\r\n");
    EXPECT_EQ(snapshot(), files);

    // A newer script renews the resource file.
    struct stat before;
    stat(kit.at("inst/diskward/win95.prn").c_str(), &before);
    struct utimbuf old_times {
        before.st_mtime - 200, before.st_mtime - 200
    };
    utime(kit.at("inst/diskward/win95.prn").c_str(), &old_times);
    file("inst/win95.stp", "nls(\"NEW\", \"text\")\n");
    files["inst/win95.stp"] = "nls(\"NEW\", \"text\")\n";
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output, opening() + "    " + map + "\r\n" + "      w95install.map Superfluous\r\n" +
                            "      win95.stp 85 --> 19\r\n" + "    " + map + ": 19\r\n");
    files["inst/diskward/win95.prn"] = resources + "  \"NEW\"  string 1   4 \"text\"\r\n}\r\n";
    files["inst/w95install.old"] = files["inst/w95install.map"];
    files["inst/w95install.map"] = script_map_written("  19");
    files["inst/diskward/w95install.cdr"] = script_map_written("  19");
    files["win95.old"] = files["win95.prd"];
    files["win95.prd"] = product_file("  19");
    EXPECT_EQ(snapshot(), files);
}
