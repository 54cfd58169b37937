// Diagnostic messages: their exact texts, the place of an input file, tail
// messages and their joining, and the operation words.
#include "runtime/diagnostics.h"

#include "reader_fixture.h"

namespace {

class DiagnosticsTest : public ReaderTest {
protected:
    ScriptInput* input = nullptr;
    std::vector<Value> made;

    void SetUp() override { input = reader_input(rt, open("x")); }
    ~DiagnosticsTest() override {
        for (Value v : made) string_free(rt, v);
    }
    // The text of a new message, which is freed with the test.
    std::string msg(Value v) {
        made.push_back(v);
        return text(v);
    }
    Value str(const char* t) {
        made.push_back(string_new(rt, t));
        return made.back();
    }
};

TEST_F(DiagnosticsTest, MessagesWithAPlace) {
    input->parts.base = "prod";  // the file was opened as t.prd
    EXPECT_EQ(msg(diag_expected(rt, input, 3, ")", ",")),
              "prod.prd(3): ')' expected when ',' found");
    EXPECT_EQ(msg(diag_message(rt, input, 12, "Unable to Parse")), "prod.prd(12): Unable to Parse");
    EXPECT_EQ(msg(diag_when_found(rt, input, 1, "Row ends", "]")),
              "prod.prd(1): Row ends when ']' found");
    EXPECT_EQ(msg(diag_unbound(rt, input, 4, str("HOME"), true)),
              "prod.prd(4): Unbound environment variable 'HOME'");
    EXPECT_EQ(msg(diag_unbound(rt, input, 4, str("x"), false)),
              "prod.prd(4): Unbound variable 'x'");
    EXPECT_EQ(msg(diag_with_value(rt, input, 5, "Unknown product", str("core"))),
              "prod.prd(5): Unknown product 'core'");
    EXPECT_EQ(msg(diag_call(rt, input, 6, str("disk"), "label", "failed")),
              "prod.prd(6): 'disk.label' failed");
    EXPECT_EQ(msg(diag_place(rt, input, 2147483647)), "prod.prd(2147483647): ");
    EXPECT_EQ(msg(diag_type_mismatch(rt, input, 9, str("concat"), 2, VT_STRING, VT_LIST)),
              "prod.prd(9): Type mismatch in argument '2' when calling 'concat'\n"
              "prod.prd(9): 'STRING' expected when 'LIST' found");
    EXPECT_EQ(msg(diag_lexical(rt, "Z:\\kit", str("core"), str("core"), "map", 17)),
              "A lexical error occurred on line 17 while parsing 'Z:\\kit\\core\\core.map'.");
    EXPECT_EQ(msg(diag_lexical(rt, "Z:\\kit", 0, str("win95"), "prd", 1)),
              "A lexical error occurred on line 1 while parsing 'Z:\\kit\\win95.prd'.");
}

TEST_F(DiagnosticsTest, MissingInputsStringsOrMemoryGiveNothing) {
    EXPECT_EQ(diag_message(rt, nullptr, 1, "x"), 0u);
    EXPECT_EQ(diag_unbound(rt, input, 1, 0, false), 0u);
    EXPECT_EQ(diag_lexical(rt, "Z:\\", str("sub"), 0, "prd", 1), 0u);
    allow_allocations(1);  // the string record, but not its text
    EXPECT_EQ(diag_place(rt, input, 1), 0u);
    allow_all_allocations();
}

TEST_F(DiagnosticsTest, InputOutputMessagesTakeTheirOperationWords) {
    Value file = str("core");
    EXPECT_EQ(msg(diag_io(rt, file, "map", 3, "Disk Full", DIAG_WRITING, file, nullptr)),
              "core.map(3): Disk Full while writing core");
    EXPECT_EQ(msg(diag_io(rt, file, "map", 3, "Unable to Read", DIAG_OPENING, 0,
                          diag_builtin_messages(), "No such file")),
              "core.map(3): Unable to Read while opening . (No such file.)");
    EXPECT_EQ(msg(diag_tail_io(rt, "x", DIAG_READING, str("y"), nullptr)),
              "TAIL x while reading y");
    EXPECT_EQ(msg(diag_tail_io(rt, "x", 99, str("y"), nullptr)), "TAIL x while  y");
    EXPECT_EQ(msg(diag_tail_call(rt, str("obj"), "run", "failed")), "TAIL 'obj.run' failed");

    const std::string_view words[] = {"", "ouverture"};
    MessageCatalogue french{words, 2};
    EXPECT_EQ(diag_operation_word(&french, DIAG_OPENING), "ouverture");
    EXPECT_EQ(diag_operation_word(&french, DIAG_READING), "");
    EXPECT_EQ(diag_operation_word(nullptr, DIAG_DELETING), "deleting");
}

TEST_F(DiagnosticsTest, TailMessagesAreRecognisedAndJoined) {
    input->parts.base = "a";
    Value place = diag_place(rt, input, 1);
    Value tail = diag_tail_io(rt, "x", DIAG_READING, str("y"), nullptr);
    made.push_back(place);
    made.push_back(tail);
    EXPECT_TRUE(diag_is_tail(rt, tail));
    EXPECT_FALSE(diag_is_tail(rt, place));
    EXPECT_EQ(msg(diag_join(rt, place, tail)), "a.prd(1):  x while reading y");
    EXPECT_TRUE(diag_is_tail(rt, str("")));
    EXPECT_TRUE(diag_is_tail(rt, 0));
    EXPECT_TRUE(diag_is_tail(rt, str("tail x")));
    EXPECT_FALSE(diag_is_tail(rt, str("TAIL")));
    EXPECT_FALSE(diag_is_tail(rt, str("TAILS x")));
    EXPECT_EQ(msg(diag_join(rt, str("first"), str("TA"))), "first ");
}

}  // namespace
