// The table readers when the input or memory fails: a failed host read or a
// token that could not be made fails the whole table, never ends it early.
#include <cerrno>

#include "model/group_table.h"
#include "model/product_table.h"
#include "model_fixture.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/tokens.h"
#include "sys/host_io.h"

namespace {

const std::string kProductRow =
    "  12 tools core \"tools\" \"1.2\" \"Tools\" \"apps\" 20 true false false \"U\" \"K\"\n";
const std::string kComponentRow = "     \"\" \"a\" \"C:\\a\" 5 false false false 0 0\n";

// `head`, a comment line and rows, so long that it is read as a stream and
// laid out so that its first chunk ends exactly after a row: cut there, the
// text would still be a whole table. *rows says how many rows it has.
std::string streamed_table(const std::string& head, const std::string& row, size_t* rows) {
    size_t first = (INPUT_CHUNK - head.size() - 2) / row.size();
    std::string text =
        head + "#" + std::string(INPUT_CHUNK - head.size() - 2 - first * row.size(), 'c') + "\n";
    for (*rows = 0; text.size() < INPUT_MEMORY_LIMIT + 1; ++*rows) text += row;
    EXPECT_EQ(text[INPUT_CHUNK - 1], '\n');
    EXPECT_EQ(text.compare(INPUT_CHUNK, row.size(), row), 0);
    return text;
}

class TableReadFailureTest : public ModelTest {
protected:
    BiList* products = nullptr;
    BiList* groups = nullptr;

    void TearDown() override {
        rt->limit_allocations = false;
        file_services_faults_clear();
    }
    ~TableReadFailureTest() override {
        product_list_destroy(rt, products);
        group_list_destroy(rt, groups);
    }

    // After a failed read every further token is a lexical error.
    void expect_only_lexical_errors() {
        for (int i = 0; i < 3; ++i) {
            Value token = reader_next(rt, reader);
            EXPECT_TRUE(is_lex_error(token)) << "token " << i << " of kind " << token_kind(token);
        }
    }

    size_t component_count(BiList* list) {
        size_t count = 0;
        for (BiNode* g = list->first; g; g = g->next)
            count += bilist_count(rt, group_record(g->value)->components);
        return count;
    }
};

TEST_F(TableReadFailureTest, AFailedReadOfASmallTableFailsItsOpening) {
    const std::string products_text = "#### header\n" + kProductRow;
    const std::string map_text = "Program\n" + kComponentRow;
    file_services_fail_next(HOST_OP_READ, EIO);
    EXPECT_EQ(read_text(products_text, "small.prd"), nullptr);
    file_services_fail_next(HOST_OP_READ, EIO);
    EXPECT_EQ(read_text(map_text, "small.map"), nullptr);

    // Read without the failure, the same files are whole tables.
    ASSERT_NE(read_text(products_text, "small.prd"), nullptr);
    products = product_list_read(rt, reader);
    ASSERT_NE(products, nullptr);
    EXPECT_EQ(bilist_count(rt, products), 1u);
    ASSERT_NE(read_text(map_text, "small.map"), nullptr);
    groups = group_list_read(rt, reader, 0, 0);
    ASSERT_NE(groups, nullptr);
    EXPECT_EQ(component_count(groups), 1u);
}

TEST_F(TableReadFailureTest, AFailedStreamReadFailsTheProductTable) {
    size_t rows = 0;
    std::string text = streamed_table("", kProductRow, &rows);
    ASSERT_NE(read_text(text, "big.prd"), nullptr);
    products = product_list_read(rt, reader);
    ASSERT_NE(products, nullptr);
    EXPECT_EQ(bilist_count(rt, products), rows);
    EXPECT_EQ(reader_failure(rt, reader), RC_OK);
    product_list_destroy(rt, products);
    products = nullptr;

    // The first chunk is read, the second read fails.
    ASSERT_NE(read_text(text, "big.prd"), nullptr);
    file_services_fail_next(HOST_OP_READ, EIO, 1);
    EXPECT_EQ(product_list_read(rt, reader), nullptr);
    EXPECT_EQ(reader_failure(rt, reader), RC_UNABLE_TO_READ);
    expect_only_lexical_errors();
}

TEST_F(TableReadFailureTest, AFailedStreamReadFailsTheGroupTable) {
    size_t rows = 0;
    std::string text = streamed_table("Program\n", kComponentRow, &rows);
    ASSERT_NE(read_text(text, "big.map"), nullptr);
    groups = group_list_read(rt, reader, 0, 0);
    ASSERT_NE(groups, nullptr);
    EXPECT_EQ(bilist_count(rt, groups), 1u);
    EXPECT_EQ(component_count(groups), rows);
    EXPECT_EQ(reader_failure(rt, reader), RC_OK);
    group_list_destroy(rt, groups);
    groups = nullptr;

    ASSERT_NE(read_text(text, "big.map"), nullptr);
    file_services_fail_next(HOST_OP_READ, EIO, 1);
    EXPECT_EQ(group_list_read(rt, reader, 0, 0), nullptr);
    EXPECT_EQ(reader_failure(rt, reader), RC_UNABLE_TO_READ);
    expect_only_lexical_errors();
}

// With every allocation failing in turn, a table reads whole or not at all.
TEST_F(TableReadFailureTest, RunningOutOfMemoryNeverGivesAShorterTable) {
    const std::string products_text = "#### header\n" + kProductRow + kProductRow + kProductRow;
    const std::string map_text =
        "Program\n" + kComponentRow + kComponentRow + "Help\n" + kComponentRow;
    bool products_whole = false, groups_whole = false;
    for (uint32_t allowed = 0; allowed < 400 && !(products_whole && groups_whole); ++allowed) {
        ASSERT_NE(read_text(products_text, "t.prd"), nullptr);
        rt->limit_allocations = true;
        rt->allocations_left = allowed;
        products = product_list_read(rt, reader);
        rt->limit_allocations = false;
        if (products) {
            EXPECT_EQ(bilist_count(rt, products), 3u) << allowed << " allocations";
            products_whole = true;
        }
        product_list_destroy(rt, products);
        products = nullptr;

        ASSERT_NE(read_text(map_text, "t.map"), nullptr);
        rt->limit_allocations = true;
        rt->allocations_left = allowed;
        groups = group_list_read(rt, reader, 0, 0);
        rt->limit_allocations = false;
        if (groups) {
            EXPECT_EQ(bilist_count(rt, groups), 2u) << allowed << " allocations";
            EXPECT_EQ(component_count(groups), 3u) << allowed << " allocations";
            groups_whole = true;
        }
        group_list_destroy(rt, groups);
        groups = nullptr;
    }
    EXPECT_TRUE(products_whole);
    EXPECT_TRUE(groups_whole);
}

}  // namespace
