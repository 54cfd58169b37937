// The printer: widths, padding and written forms of every type, the
// generic dispatch with its hooks, write failures, and values that read
// back through the reader as the same values.
#include "runtime/printer.h"

#include <cerrno>

#include "reader_fixture.h"
#include "runtime/booleans.h"
#include "runtime/dates.h"
#include "runtime/lists.h"
#include "runtime/signals.h"
#include "sys/host_io.h"

namespace {

class PrinterTest : public ReaderTest {
protected:
    TextFile* out = nullptr;

    void SetUp() override {
        ASSERT_EQ(text_file_open_write(&out, engine_path(dir.path()), "", "out", "txt"), RC_OK);
    }
    void TearDown() override { file_services_faults_clear(); }
    // Closes the output and returns what it holds.
    std::string written() {
        EXPECT_EQ(text_file_close(out), RC_OK);
        out = nullptr;
        return read_host_file(dir.at("out.txt"));
    }
    Value str(const char* t) { return value_set_type(rt, VT_STRING, string_new(rt, t), false); }
    Value num(uint32_t n) { return value_set_type(rt, VT_NUMBER, number_new(rt, n), false); }
    // A LIST value of the given elements (taken over).
    Value list_of(std::initializer_list<Value> elements) {
        Value list = list_empty(rt);
        for (Value e : elements) list_append(rt, e, list);
        return value_stamp_list(rt, list);
    }
    void destroy_list(Value list) { list_destroy(rt, list, true, value_release); }
};

TEST_F(PrinterTest, ScalarWidthsAndPadding) {
    Value abc = string_new(rt, "abc"), empty = string_new(rt, "");
    EXPECT_EQ(string_width(rt, abc, PRINT_QUOTE), 5);
    EXPECT_EQ(string_width(rt, abc, 0), 3);
    EXPECT_EQ(string_width(rt, empty, PRINT_QUOTE), 2);
    EXPECT_EQ(string_width(rt, 0, PRINT_QUOTE), 0);
    Value seven = number_new(rt, 7), big = number_new(rt, 4294967295u);
    EXPECT_EQ(number_width(rt, seven, 0), 1);
    EXPECT_EQ(number_width(rt, seven, PRINT_TWO_DIGITS), 2);
    EXPECT_EQ(number_width(rt, big, PRINT_TWO_DIGITS), 10);
    EXPECT_EQ(bool_width(rt, 1, 0), 4);
    EXPECT_EQ(bool_width(rt, 0, 0), 5);
    Value base = atom_intern(rt, atoms, "Base");
    EXPECT_EQ(atom_width(rt, base, 0), 5);

    EXPECT_EQ(string_write(rt, out, abc, 6, PRINT_QUOTE), RC_OK);
    EXPECT_EQ(text_file_write_char(out, '|'), RC_OK);
    string_write(rt, out, empty, 0, PRINT_QUOTE);
    string_write(rt, out, abc, 1, 0);  // narrower: nothing cut
    text_file_write_char(out, '|');
    number_write(rt, out, seven, 4, 0);
    number_write(rt, out, seven, 4, PRINT_TWO_DIGITS);
    number_write(rt, out, big, 3, 0);
    text_file_write_char(out, '|');
    bool_write(rt, out, 0, 8, 0);
    bool_write(rt, out, 1, 0, 0);
    text_file_write_char(out, '|');
    atom_write(rt, out, base, 6, 0);
    text_file_write_char(out, '|');
    // Absent values show as spaces only.
    string_write(rt, out, 0, 3, PRINT_QUOTE);
    number_write(rt, out, 0, 2, 0);
    atom_write(rt, out, 0, 1, 0);
    const uint16_t two[PRINT_COLUMNS] = {2};
    value_write(rt, out, 0, two, 0);
    text_file_write_char(out, '|');
    EXPECT_EQ(written(), "\"abc\" |\"\"abc|   7  074294967295|false   true|'Base |        |");
    string_free(rt, abc);
    string_free(rt, empty);
    number_free(rt, seven);
    number_free(rt, big);
}

TEST_F(PrinterTest, ListsSignalsAndDates) {
    Value numbers = list_of({num(1), num(22), num(3)});
    uint16_t widths[PRINT_COLUMNS];
    EXPECT_EQ(value_width(rt, numbers, widths, 0), 8);
    EXPECT_EQ(widths[0], 8);
    Value mixed = list_of({str("a b"), value_boolean(rt, 1), list_of({})});
    EXPECT_EQ(list_width(rt, mixed, PRINT_QUOTE), 2 + 5 + 1 + 4 + 1 + 2);

    Value signal = value_set_type(
        rt, VT_SIGNAL, signal_new(rt, atom_intern(rt, atoms, "{EOF}"), num(5), 0, 0), false);
    EXPECT_EQ(value_width(rt, signal, widths, PRINT_TWO_DIGITS), 6 + 1 + 2);
    EXPECT_EQ(widths[0], 6);  // '{EOF}
    EXPECT_EQ(widths[1], 2);
    EXPECT_EQ(widths[2], 0);

    Value date = date_parse(rt, "01/02/99 03:04:05 PM");
    ASSERT_NE(date, 0u);
    EXPECT_EQ(date_width(rt, date, 0), 22);

    list_write(rt, out, numbers, 10, 0);
    text_file_write_char(out, '|');
    value_write(rt, out, mixed, nullptr, PRINT_QUOTE);
    text_file_write_char(out, '|');
    uint16_t signal_columns[PRINT_COLUMNS] = {7, 4};
    value_write(rt, out, signal, signal_columns, PRINT_TWO_DIGITS);
    text_file_write_char(out, '|');
    date_write(rt, out, date, 24, 0);
    EXPECT_EQ(written(), "[1,22,3]  |[\"a b\",true,[]]|'{EOF}    05|  \"01/02/99 03:04:05 PM\"");
    destroy_list(numbers);
    destroy_list(mixed);
    signal_release(rt, signal, value_release);
    date_free(rt, date);
}

// A type registered later prints through its hooks; unknown and
// unregistered types print as nothing.
uint16_t product_width(RuntimeContext*, Value, uint16_t* widths, uint32_t) {
    widths[0] = 3;
    widths[12] = 4;
    return 8;
}
ResultCode product_write(RuntimeContext*, TextFile* stream, Value, const uint16_t* widths,
                         uint32_t) {
    return text_file_write_u32(stream, widths[0] * 100 + widths[12]);
}

TEST_F(PrinterTest, DispatchByTypeAndHooks) {
    uint16_t widths[PRINT_COLUMNS];
    std::fill(widths, widths + PRINT_COLUMNS, uint16_t(9));
    Value product = value_set_type(rt, VT_PRODUCT, number_new(rt, 1), false);
    EXPECT_EQ(value_width(rt, product, widths, 0), 0);
    EXPECT_EQ(widths[0], 0);
    EXPECT_EQ(widths[12], 0);  // every column cleared
    EXPECT_EQ(value_register_printer(rt, VT_STRING, ValuePrintOps{}), RC_NO_OBJECT);
    ASSERT_EQ(value_register_printer(rt, VT_PRODUCT,
                                     ValuePrintOps{product_width, product_write, nullptr}),
              RC_OK);
    EXPECT_EQ(value_width(rt, product, widths, 0), 8);
    value_write(rt, out, product, widths, 0);
    text_file_write_char(out, '|');
    Value map = value_set_type(rt, VT_VOLUMEMAP, number_new(rt, 1440), false);
    value_write(rt, out, map, nullptr, 0);  // a volume map prints its total
    text_file_write_char(out, '|');
    Value atom = value_atom(rt, atom_intern(rt, atoms, "x"));
    uint16_t four[PRINT_COLUMNS] = {4};
    value_write(rt, out, atom, four, 0);
    value_write(rt, out, 0, four, 0);
    text_file_write_char(out, '|');
    EXPECT_EQ(written(), "304|1440|'x      |");
    value_free(rt, product);
    value_free(rt, map);
}

TEST_F(PrinterTest, TheFirstFailingWriteEndsTheWriteAndGivesItsCode) {
    file_services_fail_writes_after(0, EBADF);
    Value long_text = str(std::string(40000, 'x').c_str());
    Value list = list_of(
        {long_text, value_set_type(rt, VT_STRING, string_copy(rt, long_text), false), str("")});
    EXPECT_EQ(list_write(rt, out, list, 0, PRINT_QUOTE), RC_OS_ERROR);
    EXPECT_EQ(string_write(rt, nullptr, long_text, 0, 0), RC_OS_ERROR);
    rt->state = 1;
    EXPECT_EQ(number_write(rt, out, 0, 3, 0), RC_NO_OBJECT);
    EXPECT_EQ(value_width(rt, long_text, nullptr, 0), 0);
    rt->state = 0;
    EXPECT_NE(text_file_close(out), RC_OK);
    out = nullptr;
    destroy_list(list);
}

// What the printer writes, the reader reads back as equal values: one row
// of a table, with every kind of field.
TEST_F(PrinterTest, WrittenValuesReadBackAsEqualValues) {
    std::vector<Value> row = {num(7),
                              num(4294967295u),
                              str("Core Files"),
                              str(""),
                              str("100%"),
                              value_boolean(rt, 1),
                              value_boolean(rt, 0),
                              value_atom(rt, atom_intern(rt, atoms, "Base")),
                              num(0),
                              str("two\nlines")};
    for (Value v : row) {
        uint16_t widths[PRINT_COLUMNS];
        value_width(rt, v, widths, PRINT_QUOTE);
        widths[0] += 2;
        ASSERT_EQ(value_write(rt, out, v, widths, PRINT_QUOTE), RC_OK);
    }
    text_file_write_line_end(out);
    EXPECT_EQ(text_file_close(out), RC_OK);
    out = nullptr;

    Reader* reader = reader_open(rt, atoms, nullptr, vars, true, false, engine_path(dir.path()), "",
                                 "out", "txt");
    ASSERT_NE(reader, nullptr);
    readers.push_back(reader);
    for (Value v : row) {
        Value token = reader_next(rt, reader);
        EXPECT_TRUE(value_equal(rt, v, token) ||
                    (token_kind(token) == TK_ATOM && value_unbox(v) == token_payload(token)) ||
                    (is_boolean(token) && value_boolean(rt, token_payload(token)) == v))
            << describe(token);
    }
    EXPECT_TRUE(is_eof(reader_next(rt, reader)));
    EXPECT_EQ(reader_line(rt, reader), 3u);
    for (Value v : row) value_release(rt, v);
}

}  // namespace
