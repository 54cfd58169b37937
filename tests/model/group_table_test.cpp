#include "model/group_table.h"

#include <vector>

#include "media/volume_map.h"
#include "model/fields.h"
#include "model_fixture.h"
#include "runtime/bidirectional_lists.h"

namespace {

const std::string kWindowsMap =
    "#Name Subgroup Source Destination Size Instantiate? Append? Compress? StartDisk "
    "TotalDisks Icon Group Item Command\n\n"
    "Program \"\" \"core.dll\" \"C:\\Windows\\core.dll\" 81920 false false true 1 2 0 \"\" \"\" "
    "\"\"\n"
    "        \"\" \"readme.txt\" \"%TARGET%\\readme.txt\" 5 true false never 00 00 01 \"Core\" "
    "\"Read Me\" \"notepad\"\n"
    "Help \"x\" \"help/a.hlp  \" \"D:\\help\\a.hlp\" 300 false true false 0 0 0 \"\" \"\" \"\"\n";

class GroupTableTest : public ModelTest {
protected:
    BiList* groups = nullptr;
    ~GroupTableTest() override { group_list_destroy(rt, groups); }

    BiList* read_map(const std::string& text, int32_t os_code) {
        group_list_destroy(rt, groups);
        read_text(text, "map" + std::to_string(os_code) + ".map");
        groups = group_list_read(rt, reader, 0, os_code);
        return groups;
    }
    std::string write(int32_t os_code) {
        return written([&](TextFile* out) { return group_table_write(rt, out, groups, os_code); });
    }
};

}  // namespace

TEST_F(GroupTableTest, WindowsMapReadsAndWritesAlignedWithTwoDigitNumbers) {
    ASSERT_NE(read_map(kWindowsMap, 615), nullptr);
    ASSERT_EQ(bilist_count(rt, groups), 2u);
    Value help = groups->last->value;
    Value hlp = group_record(help)->components->first->value;
    EXPECT_EQ(field_text(rt, component_source(hlp)), "help\\a.hlp");
    EXPECT_EQ(component_record(hlp)->append, 1u);
    // The volume maps count sizes per destination volume.
    Value program = groups->first->value;
    EXPECT_EQ(volume_map_amount(rt, group_record(program)->volume_map, "C:\\"), 81920u);
    EXPECT_EQ(volume_map_amount(rt, group_record(program)->volume_map, "%TARGET%\\readme.txt"), 5u);

    std::string expected = crlf(
        "#Name   Subgroup Source       Destination           Size  Instantiate? Append? "
        "Compress? StartDisk TotalDisks Icon Group  Item      Command  \n"
        "\n"
        "Program \"\"       \"core.dll\"   \"C:\\Windows\\core.dll\" 81920 false        false   "
        "true             01         02   00 \"\"     \"\"        \"\"       \n"
        "        \"\"       \"readme.txt\" \"%TARGET%\\readme.txt\"    05 true         false   "
        "false            00         00   01 \"Core\" \"Read Me\" \"notepad\"\n"
        "\n"
        "Help    \"x\"      \"help\\a.hlp\" \"D:\\help\\a.hlp\"         300 false        true    "
        "false            00         00   00 \"\"     \"\"        \"\"       \n"
        "\n");
    std::string text = write(615);
    EXPECT_EQ(text, expected);

    // Read back, the written table writes the same bytes again.
    ASSERT_NE(read_map(text, 615), nullptr);
    EXPECT_EQ(write(615), text);
}

TEST_F(GroupTableTest, SystemColumnsFollowTheOperatingSystemCode) {
    const std::string dos = "#Name\nG \"\" \"a\" \"C:\\a\" 5 false false false 0 0\n";
    ASSERT_NE(read_map(dos, 22), nullptr);
    // Every row of a system without further columns ends with the space
    // after TotalDisks.
    EXPECT_EQ(write(22), crlf("#Name Subgroup Source Destination Size Instantiate? Append? "
                              "Compress? StartDisk TotalDisks \n\n"
                              "G     \"\"       \"a\"    \"C:\\a\"        05 false        false  "
                              " false            00         00 \n\n"));
    // The same file read for a Windows system runs out of columns; a
    // Windows file read for dos meets a string where a group name belongs.
    EXPECT_EQ(read_map(dos, 912), nullptr);
    EXPECT_EQ(read_map(kWindowsMap, 22), nullptr);

    const std::string netware =
        "G \"\" \"a\" \"SYS:a\" 5 false false false 0 0 \"admin\" \"[RO]\"\n";
    ASSERT_NE(read_map(netware, 21), nullptr);
    std::string text = write(21);
    EXPECT_NE(text.find("Owner   Attributes\r\n"), std::string::npos) << text;
    EXPECT_NE(write(21).find("\"admin\" \"[RO]\"    \r\n"), std::string::npos);
    EXPECT_EQ(read_map("G \"\" \"a\" \"SYS:a\" 5 false false false 0 0 \"admin\"\n", 21), nullptr);
}

TEST_F(GroupTableTest, EmptyFilesGroupsWithoutRowsAndBadRows) {
    ASSERT_NE(read_map("#Name Subgroup\n\n", 0), nullptr);
    EXPECT_EQ(bilist_count(rt, groups), 0u);

    // A group without rows writes only its empty line.
    ASSERT_NE(read_map("Empty\nLonger_Name \"\" \"a\" \"b\" 1 false false false 0 0\n", 0),
              nullptr);
    std::string text = write(0);
    EXPECT_EQ(text.find("Empty"), std::string::npos);
    EXPECT_NE(text.find("\r\n\r\n\r\nLonger_Name \"\""), std::string::npos) << text;

    const char* bad[] = {
        "G \"\" \"a\" \"b\" 1 false false false 0\n",        // ends early
        "G \"\" \"a\" \"b\" 1 false false sometimes 0 0\n",  // not a boolean
        "G \"\" \"a\" \"b\" \"1\" false false false 0 0\n",  // size as a string
        "\"\" \"a\" \"b\" 1 false false false 0 0\n",        // no group name
        "G \"\" \"a\" \"b\" 1 \"true\" false false 0 0\n",   // only literals here
    };
    for (const char* row : bad) EXPECT_EQ(read_map(row, 0), nullptr) << row;
}

TEST_F(GroupTableTest, CopiesAndEqualityCoverComponentsAndColumns) {
    ASSERT_NE(read_map(kWindowsMap, 615), nullptr);
    Value program = groups->first->value;
    Value copy = group_copy(rt, ns, program);
    ASSERT_NE(copy, 0u);
    EXPECT_TRUE(group_equal(rt, program, copy));
    EXPECT_FALSE(group_equal(rt, program, groups->last->value));
    Value readme = group_record(copy)->components->last->value;
    system_component_set_start_disk(rt, component_system(readme), 3);
    EXPECT_FALSE(group_equal(rt, program, copy));
    group_destroy(rt, copy);
}

// With every allocation failing in turn, a copy is whole or nothing: equal
// to the original, segments and system columns included.
TEST_F(GroupTableTest, ACopyIsWholeOrNothing) {
    ASSERT_NE(read_map(kWindowsMap, 615), nullptr);
    Value program = groups->first->value;
    Value readme = group_record(program)->components->last->value;
    ASSERT_EQ(component_add_segment(rt, readme, field_number(rt, 3)), RC_OK);
    ASSERT_EQ(component_add_segment(rt, readme, field_number(rt, 2)), RC_OK);
    auto segments = [&](Value component) {
        std::vector<uint32_t> out;
        for (BiNode* n = component_segments(component)->first; n; n = n->next)
            out.push_back(field_number_value(rt, n->value));
        return out;
    };
    Value copy = 0;
    uint32_t allowed = 0;
    for (; !copy && allowed < 200; ++allowed) {
        rt->limit_allocations = true;
        rt->allocations_left = allowed;
        copy = group_copy(rt, ns, program);
        rt->limit_allocations = false;
    }
    ASSERT_NE(copy, 0u);
    EXPECT_GT(allowed, 20u);
    EXPECT_TRUE(group_equal(rt, program, copy));
    EXPECT_EQ(volume_map_total(rt, group_record(copy)->volume_map), 81925u);
    Value readme_copy = group_record(copy)->components->last->value;
    EXPECT_EQ(segments(readme_copy), (std::vector<uint32_t>{3, 2}));
    group_destroy(rt, copy);

    // The same for one component alone.
    Value component = 0;
    for (allowed = 0; !component && allowed < 100; ++allowed) {
        rt->limit_allocations = true;
        rt->allocations_left = allowed;
        component = component_copy(rt, readme);
        rt->limit_allocations = false;
    }
    ASSERT_NE(component, 0u);
    EXPECT_TRUE(component_equal(rt, readme, component));
    EXPECT_EQ(segments(component), (std::vector<uint32_t>{3, 2}));
    component_destroy(rt, component);
}

// The walk over every group's components meets each component once, in
// file order, with its own group; groups without rows (first, between and
// last) add nothing, and an empty or absent list gives no step at all.
TEST_F(GroupTableTest, TheComponentWalkMeetsEveryComponentOnceWithItsGroup) {
    const std::string row = " \"\" \"%s\" \"d\" 1 false false false 0 0\n";
    auto line = [&](const std::string& group, const std::string& source) {
        std::string text = group + row;
        return text.replace(text.find("%s"), 2, source);
    };
    ASSERT_NE(read_map("Before\n" + line("Program", "a.dll") + line("       ", "b.dll") +
                           "Between\n" + line("Help", "c.hlp") + "After\n",
                       0),
              nullptr);
    ASSERT_EQ(bilist_count(rt, groups), 5u);
    std::vector<std::string> met;
    for (GroupComponent gc : group_components(groups))
        met.push_back(std::string(field_text(rt, group_name(gc.group))) + ":" +
                      std::string(field_text(rt, component_source(gc.component))));
    EXPECT_EQ(met, (std::vector<std::string>{"Program:a.dll", "Program:b.dll", "Help:c.hlp"}));

    int steps = 0;
    for (GroupComponent gc : group_components(nullptr)) {
        (void)gc;
        ++steps;
    }
    ASSERT_NE(read_map("#Name Subgroup\n\nOnly_Empty\n", 0), nullptr);
    ASSERT_EQ(bilist_count(rt, groups), 1u);
    for (GroupComponent gc : group_components(groups)) {
        (void)gc;
        ++steps;
    }
    EXPECT_EQ(steps, 0);
}
