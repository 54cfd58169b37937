#include "model/product_table.h"

#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/fields.h"
#include "model/product_tree.h"
#include "model_fixture.h"
#include "runtime/bidirectional_lists.h"
#include "sys/text.h"

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
        return written(
            [&](TextFile* out) { return product_table_write(rt, out, list, blank_locations); });
    }
    Value product_at(int index) {
        BiNode* n = list->first;
        while (index-- > 0) n = n->next;
        return n->value;
    }
    // Appends a product of size 1 whose size counts as computed in this run.
    void add_product(const std::string& name, const std::string& parent, const std::string& label) {
        if (!list) list = bilist_new(rt, 0);
        Value p = product_create(rt, atom_intern(rt, atoms, name), field_number(rt, 1),
                                 atom_intern(rt, atoms, parent), field_string(rt, name),
                                 field_string(rt, "1.0"), field_string(rt, label),
                                 field_string(rt, name), field_number(rt, 1), 0, 0, 0,
                                 field_string(rt, ""), field_string(rt, ""));
        ASSERT_NE(p, 0u);
        product_record(p)->size_computed = true;
        ASSERT_EQ(bilist_push_back(rt, list, p), RC_OK);
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
        "1 core root \"c\" \"1\" \"L\" \"l\" 5 yes false false \"d\" \"v\"\n",       // yes
        "1 core root \"c\" \"1\" \"L\" \"l\" 5 true \"maybe\" false \"d\" \"v\"\n",  // maybe
        "1 'core root \"c\" \"1\" \"L\" \"l\" 5 true false false \"d\" \"v\"\n",     // atom
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
    EXPECT_EQ(
        product_sizes_roll_up(rt, product_tree_build(rt, list, "core", false), true, &overflowed),
        RC_OK);
    EXPECT_EQ(overflowed, 0u);
    EXPECT_EQ(field_number_value(rt, product_size(product_at(0))), 35u);
    EXPECT_EQ(product_tree_build(rt, list, "tools", false), nullptr);  // not a root
}

// A table of thousands of products, with repeated names, parents named
// before and after their children or not at all, a product of its own
// parent, and labels that repeat in several letter cases: every product
// hangs under the first product of its parent's name, every chain is in
// label order with equal labels in list order, and each size rolls up to
// its own byte and all its descendants'.
TEST_F(ProductTableTest, ALargeTreeHangsEachProductUnderItsParentInLabelOrder) {
    const int count = 3000;
    auto name_of = [](int i) {
        return i % 500 == 499 ? "P" + std::to_string(i - 250) : "p" + std::to_string(i);
    };
    for (int i = 0; i < count; ++i) {
        std::string parent = i < 20        ? "root"
                             : i % 13 == 0 ? "P" + std::to_string(i + 150)  // may be no product
                                           : "p" + std::to_string((i * 7919) % i);
        int label = (i * 31) % 50;
        add_product(name_of(i), parent, (label % 2 ? "Label " : "LABEL ") + std::to_string(label));
    }
    add_product("self", "self", "Self");

    // The expected parent of each product: the first of its parent's name.
    std::map<std::string, int> first_of_name;
    for (int i = 0; i < count; ++i) first_of_name.emplace(text_fold(name_of(i)), i);
    std::map<DisplayNode*, int> index_of;
    for (int i = 0; i <= count; ++i) index_of[product_node(product_at(i))] = i;
    std::map<DisplayNode*, std::set<DisplayNode*>> expected_children;
    std::set<DisplayNode*> expected_roots;
    for (int i = 0; i < count; ++i) {
        auto parent = first_of_name.find(text_fold(field_text(rt, product_parent(product_at(i)))));
        DisplayNode* node = product_node(product_at(i));
        if (parent == first_of_name.end())
            expected_roots.insert(node);
        else
            expected_children[product_node(product_at(parent->second))].insert(node);
    }

    DisplayNode* root = product_tree_build(rt, list, "", false);
    // A chain holds exactly the expected nodes, by folded label and then
    // by list order.
    auto check_chain = [&](DisplayNode* head, const std::set<DisplayNode*>& members) {
        std::set<DisplayNode*> seen;
        for (DisplayNode* n = head; n; n = n->next_sibling) {
            seen.insert(n);
            if (DisplayNode* next = n->next_sibling) {
                int order = text_compare_nocase(n->label_text, next->label_text);
                EXPECT_TRUE(order < 0 || (order == 0 && index_of[n] < index_of[next]))
                    << n->name_text << " before " << next->name_text;
            }
        }
        EXPECT_EQ(seen, members);
    };
    check_chain(root, expected_roots);
    for (int i = 0; i < count; ++i) {
        DisplayNode* node = product_node(product_at(i));
        check_chain(node->first_child, expected_children[node]);
    }
    DisplayNode* self = product_node(product_at(count));
    EXPECT_EQ(self->first_child, self);  // its own child, out of every root's reach

    ASSERT_EQ(product_sizes_roll_up(rt, root, true), RC_OK);
    std::map<DisplayNode*, uint32_t> subtree;  // nodes of each subtree, children first
    std::vector<DisplayNode*> order;
    for (DisplayNode* r = root; r; r = r->next_sibling) order.push_back(r);
    for (size_t at = 0; at < order.size(); ++at)
        for (DisplayNode* c = order[at]->first_child; c; c = c->next_sibling) order.push_back(c);
    EXPECT_EQ(order.size(), size_t(count));  // every product but "self" is reached once
    for (auto at = order.rbegin(); at != order.rend(); ++at) {
        uint32_t nodes = 1;
        for (DisplayNode* c = (*at)->first_child; c; c = c->next_sibling) nodes += subtree[c];
        subtree[*at] = nodes;
        EXPECT_EQ(field_number_value(rt, product_size((*at)->owner)), nodes) << (*at)->name_text;
    }
}

// A parent chain far deeper than any call stack would hold rolls up.
TEST_F(ProductTableTest, ADeepParentChainRollsUp) {
    const uint32_t depth = 200000;
    for (uint32_t i = 0; i < depth; ++i)
        add_product("p" + std::to_string(i), i ? "p" + std::to_string(i - 1) : "root", "Chain");
    DisplayNode* root = product_tree_build(rt, list, "", false);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->next_sibling, nullptr);
    ASSERT_EQ(product_sizes_roll_up(rt, root, true), RC_OK);
    uint32_t i = 0;
    for (BiNode* n = list->first; n; n = n->next, ++i)
        ASSERT_EQ(field_number_value(rt, product_size(n->value)), depth - i) << i;
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
    read_text(
        row("1", "big", "root", "A Big", "3221225472") +
        row("2", "bigkid", "big", "Kid", "3221225472") + row("3", "small", "root", "B Small", "5") +
        row("4", "leaf", "small", "Leaf", "7") + row("5", "huge", "root", "C Huge", "4294967295") +
        row("6", "hugekid", "huge", "Kid", "1") + row("7", "edge", "root", "D Edge", "4294967290") +
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
    EXPECT_EQ(
        product_sizes_roll_up(rt, product_tree_build(rt, list, "small", false), true, &overflowed),
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
