#include "model/product_table.h"

#include <string>
#include <vector>

#include "model/fields.h"
#include "model/product_tree.h"
#include "model_fixture.h"
#include "runtime/bidirectional_lists.h"

namespace {

const std::string kTable =
    "#### Product Parent Filename Version Interface Label Location Size Visible? Selected? "
    "Open? Description Volume\n"
    "   7 core root \"core\" \"1.0\" \"Core Files\" \"apps/core  \" 5 true \"TRUE\" false\n"
    "     \"Needs 100%% of the disk\" \"KIT1\"\n"
    "  12 tools core \"tools\" \"1.2\" \"Tools\" \"apps\\tools\" 20 true false \"false\" "
    "\"Utilities\" \"KIT2\"\n"
    "  13 help core \"help\" \"1.0\" \"Help\" \"help\" 10 false false false \"\" \"\"\n";

class ProductTableTest : public ModelTest {
protected:
    BiList* list = nullptr;
    ~ProductTableTest() override { product_list_destroy(rt, list); }

    std::string write(bool blank_locations) {
        return written([&](TextFile* out) {
            return product_table_write(rt, out, list, blank_locations);
        });
    }
    Value product_at(int index) {
        BiNode* n = list->first;
        while (index-- > 0) n = n->next;
        return n->value;
    }
};

}  // namespace

TEST_F(ProductTableTest, ReadsRowsOverLinesNormalisesAndWritesAlignedColumns) {
    ASSERT_NE(read_text(kTable), nullptr);
    list = product_list_read(rt, reader);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(bilist_count(rt, list), 3u);
    Value core = product_at(0);
    EXPECT_EQ(field_text(rt, product_location(core)), "apps\\core");
    EXPECT_EQ(field_text(rt, product_description(core)), "Needs 100% of the disk");
    EXPECT_TRUE(product_visible(core));
    EXPECT_TRUE(product_selected(core));  // the string "TRUE"
    EXPECT_FALSE(product_open(product_at(1)));

    std::string expected = crlf(
        "#### Product Parent Filename Version Interface Label Location     Size Visible? "
        "Selected? Open? Description              Volume\n"
        "   7 core    root   \"core\"   \"1.0\"   \"Core Files\"    \"apps\\core\"     5 true     "
        "true      false \"Needs 100% of the disk\" \"KIT1\"\n"
        "  12 tools   core   \"tools\"  \"1.2\"   \"Tools\"         \"apps\\tools\"   20 true     "
        "false     false \"Utilities\"              \"KIT2\"\n"
        "  13 help    core   \"help\"   \"1.0\"   \"Help\"          \"help\"         10 false    "
        "false     false \"\"                       \"\"    \n");
    std::string first = write(false);
    EXPECT_EQ(first, expected);

    // What the writer wrote reads back to the same table, byte for byte
    // (the description now ends in a single "%" and is kept as read).
    product_list_destroy(rt, list);
    ASSERT_NE(read_text(first, "again.txt"), nullptr);
    list = product_list_read(rt, reader);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(write(false), first);
    EXPECT_EQ(field_text(rt, product_description(product_at(0))), "Needs 100% of the disk");
}

TEST_F(ProductTableTest, BlankLocationsKeepTheHeaderWidth) {
    read_text(kTable);
    list = product_list_read(rt, reader);
    ASSERT_NE(list, nullptr);
    std::string text = write(true);
    // Location is 8 wide (its header), Size 4: the row shows "" and 10 spaces.
    EXPECT_NE(text.find("\"Core Files\"    \"\"          5 true"), std::string::npos) << text;
}

TEST_F(ProductTableTest, AnyMalformedRowFailsTheWholeFile) {
    const char* bad[] = {
        "1 core root \"c\" \"1\" \"L\" \"l\" 5 yes false false \"d\" \"v\"\n",     // yes
        "1 core root \"c\" \"1\" \"L\" \"l\" 5 true \"maybe\" false \"d\" \"v\"\n",  // maybe
        "1 'core root \"c\" \"1\" \"L\" \"l\" 5 true false false \"d\" \"v\"\n",    // atom
        "1 core root \"c\" \"1\" \"L\" \"l\" 5 true false false \"d\"\n",            // short
        "1 core root \"c\" \"1\" \"L\" \"l\" 5 true false false \"d\" \"v\" 2\n",    // extra
    };
    for (const char* text : bad) {
        read_text(std::string("#### header\n") + text);
        EXPECT_EQ(product_list_read(rt, reader), nullptr) << text;
    }
    read_text("#### only a header\n");
    list = product_list_read(rt, reader);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(bilist_count(rt, list), 0u);
}

TEST_F(ProductTableTest, TreeOrdersByLabelAndRollsSizesUp) {
    read_text(kTable);
    list = product_list_read(rt, reader);
    ASSERT_NE(list, nullptr);
    for (BiNode* n = list->first; n; n = n->next) product_record(n->value)->size_computed = true;
    DisplayNode* root = product_tree_build(rt, list, "", false);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->label_text, "Core Files");
    ASSERT_NE(root->first_child, nullptr);
    EXPECT_EQ(root->first_child->label_text, "Help");  // before "Tools"
    EXPECT_EQ(root->first_child->next_sibling->label_text, "Tools");
    EXPECT_EQ(product_sizes_roll_up(rt, root, true), RC_OK);
    EXPECT_EQ(field_number_value(rt, product_size(product_at(0))), 35u);
    EXPECT_TRUE(product_open(product_at(0)));

    // A size not computed in this run is already a total: it is not
    // descended into again.
    product_record(product_at(0))->size_computed = false;
    Value overflowed = 1;
    EXPECT_EQ(product_sizes_roll_up(rt, product_tree_build(rt, list, "core", false), true,
                                    &overflowed),
              RC_OK);
    EXPECT_EQ(overflowed, 0u);
    EXPECT_EQ(field_number_value(rt, product_size(product_at(0))), 35u);
    EXPECT_EQ(product_tree_build(rt, list, "tools", false), nullptr);  // not a root
}

TEST_F(ProductTableTest, VersionProductAndComparisons) {
    Value v = version_product_create(rt, atoms, "3.2.1.0.0", "ntinstver");
    ASSERT_NE(v, 0u);
    EXPECT_EQ(field_text(rt, product_name(v)), "ntinstver");
    EXPECT_EQ(field_text(rt, product_interface_label(v)), "Installer Version");
    EXPECT_EQ(field_number_value(rt, product_number(v)), 0u);
    Value w = product_copy(rt, ns, v);
    EXPECT_TRUE(value_equal(rt, v, w));
    EXPECT_FALSE(product_visible(w));  // a copy has no display node
    product_destroy(rt, w);
    product_destroy(rt, v);
}

// 3 GiB and 3 GiB do not fit 32 bits; exactly 4294967295 does.
TEST_F(ProductTableTest, RollUpNamesTheFirstTotalPastThirtyTwoBitsAndGoesOn) {
    auto row = [](const char* number, const char* name, const char* parent, const char* label,
                  const char* size) {
        return std::string(number) + " " + name + " " + parent + " \"f\" \"1\" \"" + label +
               "\" \"l\" " + size + " true false false \"d\" \"v\"\n";
    };
    read_text(row("1", "big", "root", "A Big", "3221225472") +
              row("2", "bigkid", "big", "Kid", "3221225472") +
              row("3", "small", "root", "B Small", "5") + row("4", "leaf", "small", "Leaf", "7") +
              row("5", "huge", "root", "C Huge", "4294967295") +
              row("6", "hugekid", "huge", "Kid", "1") +
              row("7", "edge", "root", "D Edge", "4294967290") +
              row("8", "edgekid", "edge", "Kid", "5"));
    list = product_list_read(rt, reader);
    ASSERT_NE(list, nullptr);
    for (BiNode* n = list->first; n; n = n->next) product_record(n->value)->size_computed = true;
    auto sizes = [&] {
        std::vector<uint32_t> out;
        for (BiNode* n = list->first; n; n = n->next)
            out.push_back(field_number_value(rt, product_size(n->value)));
        return out;
    };
    const std::vector<uint32_t> before = sizes();

    // Alone, the big root fails and keeps its size; no out-parameter is needed.
    EXPECT_EQ(product_sizes_roll_up(rt, product_tree_build(rt, list, "big", false), false),
              RC_SIZE_TOO_LARGE);
    EXPECT_EQ(sizes(), before);

    DisplayNode* root = product_tree_build(rt, list, "", false);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->owner, product_at(0));  // "A Big" heads the chain
    Value overflowed = 0;
    EXPECT_EQ(product_sizes_roll_up(rt, root, true, &overflowed), RC_SIZE_TOO_LARGE);
    EXPECT_EQ(overflowed, product_at(0));  // the first, not "huge" after it
    EXPECT_EQ(sizes(), (std::vector<uint32_t>{3221225472u, 3221225472u, 12u, 7u, 4294967295u, 1u,
                                              4294967295u, 5u}));

    // Memory running out is told apart from a total that does not fit.
    rt->limit_allocations = true;
    rt->allocations_left = 0;
    overflowed = 1;
    EXPECT_EQ(product_sizes_roll_up(rt, product_tree_build(rt, list, "small", false), true,
                                    &overflowed),
              RC_NO_OBJECT);
    rt->limit_allocations = false;
    EXPECT_EQ(overflowed, 0u);
    EXPECT_EQ(field_number_value(rt, product_size(product_at(2))), 12u);
}

// With every allocation failing in turn, a copy is whole or nothing.
TEST_F(ProductTableTest, ACopyIsWholeOrNothing) {
    read_text(kTable);
    list = product_list_read(rt, reader);
    ASSERT_NE(list, nullptr);
    Value original = product_at(0);
    auto record = [&](Value p) {
        Product* r = product_record(p);
        std::vector<std::string> out;
        for (Value v : {r->name, r->parent, r->filename, r->version, r->interface_label,
                        r->location, r->description, system_product_volume(r->volume)})
            out.emplace_back(v ? field_text(rt, v) : "<none>");
        out.push_back(std::to_string(field_number_value(rt, r->number)));
        out.push_back(std::to_string(field_number_value(rt, r->size)));
        return out;
    };
    Value copy = 0;
    uint32_t allowed = 0;
    for (; !copy && allowed < 40; ++allowed) {
        rt->limit_allocations = true;
        rt->allocations_left = allowed;
        copy = product_copy(rt, ns, original);
        rt->limit_allocations = false;
    }
    ASSERT_NE(copy, 0u);
    EXPECT_GT(allowed, 8u);  // the block and seven copied fields at least
    EXPECT_EQ(record(copy), record(original));
    EXPECT_NE(product_description(copy), product_description(original));
    product_destroy(rt, copy);
}
