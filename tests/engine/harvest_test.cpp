// Harvesting: a folder of files with a map of one row, checked with the
// run's harvest on. The whole report and every file of the kit are
// compared: the rows added, the former map kept, the product's size, the
// names the installer could not take, and a failed write.
#include "engine/harvest.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "kit_fixture.h"
#include "sys/text_file.h"

namespace {

using HarvestTest = KitTest;
using Files = std::map<std::string, std::string>;

// The columns after Size of a harvested row, or of a row of map_row(), as
// written for win95.
const std::string kFlags =
    R"( false        false   false            00         00   00 ""    ""   ""     )";
// The header of the harvested map, its columns as wide as its rows make them.
const std::string kHarvestedHeader =
    "#Name     Subgroup Source            Destination                Size Instantiate? "
    "Append? Compress? StartDisk TotalDisks Icon Group Item Command";
const std::string kProductColumns =
    "#### Product      Parent Filename Version     Interface Label     Location Size Visible? "
    "Selected? Open? Description Volume";
const std::string kVersionRow =
    "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 "
    "false false false \"\" \"\"\n";
const std::string kVersionWritten =
    R"(   0 win95instver root   ""       "3.2.1.0.0" "Installer Version" ""          0 false    false     false ""          ""    )";

// The map's own row, with the size it records.
std::string own_row(uint32_t size) {
    return "G \"\" \"app.map\" \"%TARGET%\\app.map\" " + std::to_string(size) +
           " false false false 0 0 0 \"\" \"\" \"\"\n";
}

}  // namespace

// A product app whose map lists only itself gets a row for every other file
// of its folder; a second check finds nothing to say or write; a file that
// comes later joins the group made the first time.
TEST_F(HarvestTest, EverySuperfluousFileGetsItsRowAndASecondCheckIsSilent) {
    file("win95.prd", kVersionRow + product_row(1, "app", "root", "app"));
    const std::string former_map = kMapHeader + own_row(100);
    file("app/app.map", former_map);
    file("app/setup.exe", std::string(10, 's'));
    file("app/data/readme.txt", "read!");
    file("app/keep.old", "an earlier back-up");     // no kit file
    file("app/diskward/_setup.exe", "compressed");  // the tool's own folder
    Files files = snapshot();
    e.context.front_end.harvest = true;
    EXPECT_EQ(run(), RC_OK);
    const std::string map = root + "\\app\\app.map";
    // The scan corrects the map's own row first, the rewrite again.
    const std::string former_size = std::to_string(former_map.size());
    EXPECT_EQ(e.output,
              opening() + "    " + map + "\r\n" + "      app.map 100 --> " + former_size + "\r\n" +
                  "      data\\readme.txt Superfluous\r\n" + "      setup.exe Superfluous\r\n" +
                  "      data\\readme.txt Harvested\r\n" + "      setup.exe Harvested\r\n" +
                  "      app.map " + former_size + " --> 590\r\n" + "    " + map + ": 605\r\n");
    const std::string harvested = crlf_lines({
        kHarvestedHeader,
        "",
        R"(G         ""       "app.map"         "%TARGET%\app.map"          590)" + kFlags,
        "",
        R"(Harvested ""       "data\readme.txt" "%TARGET%\data\readme.txt"   05)" + kFlags,
        R"(          ""       "setup.exe"       "%TARGET%\setup.exe"         10)" + kFlags,
        "",
    });
    ASSERT_EQ(harvested.size(), 590u);  // the map's own row is right
    files["app/app.map"] = harvested;
    files["app/app.old"] = former_map;
    files["app/diskward/app.cdr"] = harvested;
    files["win95.old"] = files["win95.prd"];
    files["win95.prd"] = crlf_lines({
        kProductColumns,
        kVersionWritten,
        R"(   1 app          root   "app"    "1.0"       "app label"         "app"     605 true     false     true  ""          "V1"  )",
    });
    EXPECT_EQ(snapshot(), files);

    // The harvested kit checks clean: no line but the map's, nothing written.
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output, opening() + "    " + map + "\r\n" + "    " + map + ": 605\r\n");
    EXPECT_EQ(snapshot(), files);

    // A new file goes at the end of the group made before, whatever its
    // letter case now; the former map is kept again.
    const std::string renamed = crlf_lines({
        kHarvestedHeader,
        "",
        R"(G         ""       "app.map"         "%TARGET%\app.map"          590)" + kFlags,
        "",
        R"(HARVESTED ""       "data\readme.txt" "%TARGET%\data\readme.txt"   05)" + kFlags,
        R"(          ""       "setup.exe"       "%TARGET%\setup.exe"         10)" + kFlags,
        "",
    });
    file("app/app.map", renamed);
    file("app/new.dat", "new");
    files = snapshot();
    EXPECT_EQ(run(), RC_OK);
    EXPECT_EQ(e.output, opening() + "    " + map + "\r\n" + "      new.dat Superfluous\r\n" +
                            "      new.dat Harvested\r\n" + "      app.map 590 --> 736\r\n" +
                            "    " + map + ": 754\r\n");
    const std::string grown = crlf_lines({
        kHarvestedHeader,
        "",
        R"(G         ""       "app.map"         "%TARGET%\app.map"          736)" + kFlags,
        "",
        R"(HARVESTED ""       "data\readme.txt" "%TARGET%\data\readme.txt"   05)" + kFlags,
        R"(          ""       "setup.exe"       "%TARGET%\setup.exe"         10)" + kFlags,
        R"(          ""       "new.dat"         "%TARGET%\new.dat"           03)" + kFlags,
        "",
    });
    ASSERT_EQ(grown.size(), 736u);
    files["app/app.old"] = renamed;
    files["app/app.map"] = grown;
    files["app/diskward/app.cdr"] = grown;
    files["win95.old"] = files["win95.prd"];
    files["win95.prd"] = crlf_lines({
        kProductColumns,
        kVersionWritten,
        R"(   1 app          root   "app"    "1.0"       "app label"         "app"     754 true     false     true  ""          "V1"  )",
    });
    EXPECT_EQ(snapshot(), files);
}

// A product in the kit's own folder, checked with -F: the names the
// installer could not take get their reason and no row, and neither the
// map file nor the product file is harvested; no .old copy is made.
TEST_F(HarvestTest, NamesTheInstallerCannotTakeAreRefusedWithTheirReasons) {
    file("win95.prd", kVersionRow + product_row(1, "app", "root", ""));
    file("app.map", kMapHeader + map_row("G", "listed.txt", 6));
    file("listed.txt", "listed");
    file("new.dat", "new");
    file("longname1.txt", "base over 8");
    file("readme.text", "extension over 3");
    file("toolongdir/a.txt", "folder over 8");
    file("a b.txt", "a blank");
    file("bad+name.txt", "a plus");
    file("two.dots.txt", "a second dot");
    Files files = snapshot();
    e.context.front_end.harvest = true;
    EXPECT_EQ(run({"-F"}), RC_OK);
    const std::string map = root + "\\app.map";
    EXPECT_EQ(e.output,
              opening() + "    " + map + "\r\n" + "      a b.txt Superfluous\r\n" +
                  "      app.map Superfluous\r\n" + "      bad+name.txt Superfluous\r\n" +
                  "      longname1.txt Superfluous\r\n" + "      new.dat Superfluous\r\n" +
                  "      readme.text Superfluous\r\n" + "      toolongdir\\a.txt Superfluous\r\n" +
                  "      two.dots.txt Superfluous\r\n" + "      win95.prd Superfluous\r\n" +
                  "      a b.txt Not harvested: name not of FAT characters\r\n" +
                  "      bad+name.txt Not harvested: name not of FAT characters\r\n" +
                  "      longname1.txt Not harvested: name longer than 8.3\r\n" +
                  "      new.dat Harvested\r\n" +
                  "      readme.text Not harvested: name longer than 8.3\r\n" +
                  "      toolongdir\\a.txt Not harvested: name longer than 8.3\r\n" +
                  "      two.dots.txt Not harvested: name not of FAT characters\r\n" + "    " +
                  map + ": 9\r\n");
    const std::string harvested = crlf_lines({
        "#Name     Subgroup Source       Destination           Size Instantiate? Append? "
        "Compress? StartDisk TotalDisks Icon Group Item Command",
        "",
        R"(G         ""       "listed.txt" "%TARGET%\listed.txt"   06)" + kFlags,
        "",
        R"(Harvested ""       "new.dat"    "%TARGET%\new.dat"      03)" + kFlags,
        "",
    });
    files["app.map"] = harvested;
    files["diskward/app.cdr"] = harvested;
    files["win95.prd"] = crlf_lines({
        kProductColumns,
        kVersionWritten,
        R"(   1 app          root   "app"    "1.0"       "app label"         ""          9 true     false     true  ""          "V1"  )",
    });
    EXPECT_EQ(snapshot(), files);
}

// Without harvest a superfluous file is only reported; with it, a map file
// that cannot be written keeps its former text, leaves no temporary file
// and fails its product, whose size and CD-ROM map are not written.
TEST_F(HarvestTest, OffByDefaultAndAFailedWriteLeavesTheFormerMap) {
    file("win95.prd", kVersionRow + product_row(1, "app", "root", "app"));
    const std::string former_map = kMapHeader + own_row(100);
    const std::string former_size = std::to_string(former_map.size());
    file("app/app.map", former_map);
    file("app/setup.exe", std::string(10, 's'));
    // The map's own row is wrong, so the plain check rewrites the map too,
    // but adds no row.
    EXPECT_EQ(run({"-F"}), RC_OK);
    const std::string map = root + "\\app\\app.map";
    EXPECT_EQ(e.output, opening() + "    " + map + "\r\n" + "      app.map 100 --> " + former_size +
                            "\r\n" + "      setup.exe Superfluous\r\n" + "      app.map " +
                            former_size + " --> 256\r\n" + "    " + map + ": 256\r\n");
    EXPECT_EQ(read("app/app.map"),
              crlf_lines({"#Name Subgroup Source    Destination        Size Instantiate? Append? "
                          "Compress? StartDisk TotalDisks Icon Group Item Command",
                          "", R"(G     ""       "app.map" "%TARGET%\app.map"  256)" + kFlags, ""}));

    Files files = snapshot();
    e.context.front_end.harvest = true;
    file_services_fail_on(HOST_OP_WRITE, "app.map", ENOSPC);
    EXPECT_EQ(run(), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(e.output, opening() + "    " + map + "\r\n" + "      setup.exe Superfluous\r\n" +
                            "      setup.exe Harvested\r\n" + "      app.map 256 --> 408\r\n" +
                            "    " + map + ": 418\r\n" + "    " + map + ": Unable to Write\r\n");
    EXPECT_EQ(snapshot(), files);
    for (const std::string& name : names_in(kit.at("app")))
        EXPECT_FALSE(text_file_is_temporary_name(name, nullptr)) << name;
}
