#include "sys/paths.h"

#include <gtest/gtest.h>

TEST(PathJoin, LeavesOutEmptyPartsAndNeverDoublesBackslashes) {
    EXPECT_EQ(path_join("C:", "", "x", ""), "C:\\x");
    EXPECT_EQ(path_join("C:\\STAGE\\", "", "x", "prd"), "C:\\STAGE\\x.prd");
    EXPECT_EQ(path_join("", ".", "", ""), "");
    EXPECT_EQ(path_join("", ".", "win95", "prd"), "win95.prd");
    EXPECT_EQ(path_join("", "stage", "nt", "prd"), "stage\\nt.prd");
    EXPECT_EQ(path_join("", "C:", "name", ""), "C:name");
    EXPECT_EQ(path_join("\\", "", "", ""), "\\");
    EXPECT_EQ(path_join("C:\\kit", "core", "", ""), "C:\\kit\\core");
}

TEST(PathSplit, GivesTheDesignedPartsAndJoinsBack) {
    struct Case {
        const char* path;
        PathParts parts;
        const char* joined;
    } cases[] = {
        {"C:\\STAGE\\WIN95", {"C:\\STAGE", "", "WIN95", ""}, "C:\\STAGE\\WIN95"},
        {"C:\\win95.prd", {"C:\\", "", "win95", "prd"}, "C:\\win95.prd"},
        {"stage\\nt.prd", {"", "stage", "nt", "prd"}, "stage\\nt.prd"},
        {"a.b.c", {"", "", "a.b", "c"}, "a.b.c"},
        {"C:\\STAGE\\", {"C:\\STAGE\\", "", "", ""}, "C:\\STAGE\\"},
        {"name.", {"", "", "name", ""}, "name"},
        {"\\home", {"\\", "", "home", ""}, "\\home"},
        {"\\", {"\\", "", "", ""}, "\\"},
        {"C:name.txt", {"", "C:", "name", "txt"}, "C:name.txt"},
        {"C:dir\\x", {"", "C:dir", "x", ""}, "C:dir\\x"},
        {"Z:\\home\\ana\\kit", {"Z:\\home\\ana", "", "kit", ""}, "Z:\\home\\ana\\kit"},
        {"a..b", {"", "", "a.", "b"}, "a..b"},
    };
    for (const Case& c : cases) {
        PathParts p = path_split(c.path);
        EXPECT_EQ(p.absolute, c.parts.absolute) << c.path;
        EXPECT_EQ(p.relative, c.parts.relative) << c.path;
        EXPECT_EQ(p.base, c.parts.base) << c.path;
        EXPECT_EQ(p.extension, c.parts.extension) << c.path;
        EXPECT_EQ(path_join(p), c.joined) << c.path;
    }
}

TEST(PathTrim, KeepsRootsAndCompletesDrives) {
    EXPECT_EQ(path_trim("C:"), "C:\\");
    EXPECT_EQ(path_trim("C:\\"), "C:\\");
    EXPECT_EQ(path_trim("\\"), "\\");
    EXPECT_EQ(path_trim("C:\\kit\\"), "C:\\kit");
    EXPECT_EQ(path_trim("kit"), "kit");
}

TEST(PathWithin, ComparesWholeComponentsWithoutCase) {
    EXPECT_TRUE(path_within("C:\\kit\\copy", "c:\\KIT"));
    EXPECT_TRUE(path_within("C:\\kit", "C:\\kit"));
    EXPECT_FALSE(path_within("C:\\kit2\\copy", "C:\\kit"));
    EXPECT_FALSE(path_within("C:\\kit", "C:\\kit\\copy"));
    EXPECT_FALSE(path_within("D:\\other", "C:\\kit"));
}

TEST(ShortNameMark, PrefixesShortNamesAndReplacesTheFirstOfLongOnes) {
    EXPECT_EQ(short_name_mark("ABCDEFG"), "_ABCDEFG");
    EXPECT_EQ(short_name_mark("ABCDEFGH"), "_BCDEFGH");
    EXPECT_EQ(short_name_mark(""), "_");
}
