// The reader: taking tokens back and replaying them, marks, %name%
// expansion, token equality and release, recorded literals and the
// ownership of everything a reader makes.
#include "reader_fixture.h"
#include "runtime/functions.h"
#include "runtime/lists.h"
#include "runtime/symbol_tables.h"

namespace {

using ReaderOpsTest = ReaderTest;

TEST_F(ReaderOpsTest, UngetAndReplayGiveTheVeryHandlesDeliveredBefore) {
    Reader* reader = open("10 \"s\" name 'a");
    Value first = reader_next(rt, reader), second = reader_next(rt, reader);
    ASSERT_EQ(reader_unget(rt, reader), RC_OK);
    EXPECT_EQ(reader_next(rt, reader), second);
    reader_unget(rt, reader);
    reader_unget(rt, reader);
    reader_unget(rt, reader);  // past the first: stays before it
    EXPECT_EQ(reader_next(rt, reader), first);
    EXPECT_EQ(reader_next(rt, reader), second);
    Value third = reader_next(rt, reader);
    EXPECT_TRUE(is_name(third));
    EXPECT_EQ(token_kind(reader_next(rt, reader)), uint32_t(TK_ATOM));
    Value end = reader_next(rt, reader);
    EXPECT_TRUE(is_eof(end));
    EXPECT_EQ(reader_next(rt, reader), end);
    reader_unget(rt, reader);
    EXPECT_EQ(reader_next(rt, reader), end);
    token_release(rt, first);
    token_release(rt, second);
}

TEST_F(ReaderOpsTest, MarkRewindAndCommitMoveTheTopCursorOnly) {
    Reader* reader = open("a b c d e");
    // With one cursor, rewind and commit change nothing.
    EXPECT_EQ(reader_rewind(rt, reader), RC_OK);
    EXPECT_EQ(reader_commit(rt, reader), RC_OK);
    Value a = reader_next(rt, reader);
    reader_mark(rt, reader);
    Value b = reader_next(rt, reader), c = reader_next(rt, reader);
    reader_rewind(rt, reader);
    EXPECT_EQ(reader_next(rt, reader), b);
    reader_rewind(rt, reader);  // the mark stays after a rewind
    EXPECT_EQ(reader_next(rt, reader), b);
    EXPECT_EQ(reader_next(rt, reader), c);
    reader_mark(rt, reader);  // nested mark after c
    Value d = reader_next(rt, reader);
    reader_commit(rt, reader);                      // the outer cursor takes the position after d
    EXPECT_TRUE(is_name(reader_next(rt, reader)));  // e
    reader_rewind(rt, reader);                      // back to the outer mark, after a
    EXPECT_EQ(reader_next(rt, reader), b);
    reader_commit(rt, reader);
    reader_commit(rt, reader);  // one cursor left: nothing happens
    EXPECT_EQ(reader_next(rt, reader), c);
    EXPECT_EQ(reader_next(rt, reader), d);
    EXPECT_NE(a, b);
}

TEST_F(ReaderOpsTest, ExpandedStringsReplaceReferencesAndDoubledPercentSigns) {
    Value name = ns_intern_name(rt, vars, "NAME");
    Value bound = value_set_type(rt, VT_STRING, string_new(rt, "C:\\X"), false);
    ASSERT_EQ(ns_define(rt, vars, name, bound, symbol_text_hash, symbol_text_match,
                        symbol_identity_hash, symbol_identity_match),
              RC_OK);
    EXPECT_EQ(
        tokens("\"%name%\\bin\" \"%OTHER%\" \"100%%\" \"plain\" \"50%\" \"a%b\"", false, true),
        (Tokens{"\"C:\\X\\bin\"", "\"%OTHER%\"", "\"100%\"", "\"plain\"", "lex", "\"a%b\"",
                "eof"}));

    // Each delivery, replays included, makes a new string; the history's
    // own token stays as read and belongs to the namespace.
    Reader* reader = open("\"%NAME%\"", false, true);
    Value once = reader_next(rt, reader);
    reader_unget(rt, reader);
    Value again = reader_next(rt, reader);
    EXPECT_NE(once, again);
    EXPECT_TRUE(token_equal(rt, once, again));
    EXPECT_EQ(text(once), "C:\\X");
    EXPECT_EQ(token_kind(once), uint32_t(TK_STRING));
    token_release(rt, once);
    token_release(rt, again);
    Value original = reader->history->first->value;
    EXPECT_EQ(text(original), "%NAME%");
    EXPECT_TRUE(ns_owns(rt, vars, original, symbol_identity_hash, symbol_identity_match));

    // Without expansion the string keeps its references and is not recorded.
    EXPECT_EQ(tokens("\"100%%\""), (Tokens{"%\"100%%\"", "eof"}));
}

TEST_F(ReaderOpsTest, TextExpandLimitsAndValueTexts) {
    char out[16];
    EXPECT_EQ(text_expand(rt, vars, "ab%%c", out, 15), RC_OK);
    EXPECT_STREQ(out, "ab%c");
    EXPECT_EQ(text_expand(rt, vars, "x%", out, 15), RC_EXPAND_PERCENT_AT_END);
    EXPECT_STREQ(out, "x");
    EXPECT_EQ(text_expand(rt, vars, "%open end", out, 15), RC_OK);
    EXPECT_STREQ(out, "%open end");
    EXPECT_EQ(text_expand(rt, vars, "%%%", out, 15), RC_EXPAND_PERCENT_AT_END);
    EXPECT_STREQ(out, "%");
    EXPECT_EQ(text_expand(rt, vars, "0123456789abcde", out, 15), RC_OK);
    EXPECT_EQ(text_expand(rt, vars, "0123456789abcdef", out, 15), RC_TEXT_TOO_LONG);
    EXPECT_STREQ(out, "0123456789abcde");
    EXPECT_EQ(text_expand(rt, vars, "", out, 0), RC_OK);
    EXPECT_STREQ(out, "");

    // Bound values give their texts by type.
    auto bind = [&](const char* n, Value v) {
        ns_define(rt, vars, ns_intern_name(rt, vars, n), v, symbol_text_hash, symbol_text_match,
                  symbol_identity_hash, symbol_identity_match);
    };
    bind("N", value_set_type(rt, VT_NUMBER, number_new(rt, 4096), false));
    bind("B", value_boolean(rt, 1));
    bind("A", value_atom(rt, atom_intern(rt, atoms, "Base")));
    bind("L", value_stamp_list(rt, list_empty(rt)));
    char wide[64];
    EXPECT_EQ(text_expand(rt, vars, "%n%/%b%/%a%/%l%", wide, 63), RC_OK);
    EXPECT_STREQ(wide, "4096/true/'Base/LIST");
    // A child namespace sees its parent's definitions.
    Namespace* child = namespace_new(rt, vars, 5);
    EXPECT_EQ(text_expand(rt, child, "[%N%]", wide, 63), RC_OK);
    EXPECT_STREQ(wide, "[4096]");
    namespace_destroy(rt, child, string_free, value_release);
}

TEST_F(ReaderOpsTest, TokenEqualityByKind) {
    Reader* reader = open("7 007 \"abc\" \"ABC\" \"%x\" name NAME 'q 'Q true TRUE [ [ ( + +");
    std::vector<Value> t;
    for (int i = 0; i < 15; ++i) t.push_back(reader_next(rt, reader));
    EXPECT_NE(t[0], t[1]);
    EXPECT_TRUE(token_equal(rt, t[0], t[1]));    // numbers
    EXPECT_TRUE(token_equal(rt, t[2], t[3]));    // strings, case folded
    EXPECT_FALSE(token_equal(rt, t[2], t[4]));   // kinds 11 and 12
    EXPECT_TRUE(token_equal(rt, t[5], t[6]));    // one interned name
    EXPECT_TRUE(token_equal(rt, t[7], t[8]));    // one atom
    EXPECT_TRUE(token_equal(rt, t[9], t[10]));   // booleans
    EXPECT_TRUE(token_equal(rt, t[11], t[12]));  // same punctuation
    EXPECT_FALSE(token_equal(rt, t[12], t[13]));
    EXPECT_TRUE(token_equal(rt, t[14], token_box(rt, TK_OPERATOR, OP_ADD)));
    EXPECT_FALSE(token_equal(rt, t[0], t[2]));
    EXPECT_FALSE(token_equal(rt, 0, 0));
    for (Value token : t) token_release(rt, token);
}

Value routine(RuntimeContext*, Value) {
    return 0;
}

TEST_F(ReaderOpsTest, NamesBoundInTheBoundNamespaceBecomeBoundNameTokens) {
    Namespace* bound = namespace_new(rt, nullptr, 5);
    Value f = function_new(rt, routine, "print");
    Value g = function_new(rt, routine, "echo");
    Value yes = value_boolean(rt, 1);
    ns_define(rt, bound, ns_intern_name(rt, bound, "Print"), f, symbol_text_hash, symbol_text_match,
              symbol_identity_hash, symbol_identity_match);
    ns_define(rt, bound, ns_intern_name(rt, bound, "echo"), g, symbol_text_hash, symbol_text_match,
              symbol_identity_hash, symbol_identity_match);
    ns_define(rt, bound, ns_intern_name(rt, bound, "yes"), yes, symbol_text_hash, symbol_text_match,
              symbol_identity_hash, symbol_identity_match);
    Reader* reader = open("PRINT echo yes other", false, false, bound);
    Value p = reader_next(rt, reader), e = reader_next(rt, reader), y = reader_next(rt, reader);
    EXPECT_EQ(p, f);
    EXPECT_EQ(token_kind(p), uint32_t(TK_BOUND_NAME));
    EXPECT_TRUE(token_equal(rt, p, e));  // same routine
    // A shared box is carried in a box of its own, never altered.
    EXPECT_EQ(token_kind(y), uint32_t(TK_BOUND_NAME));
    EXPECT_EQ(token_payload(y), yes);
    EXPECT_EQ(value_type(yes), uint32_t(VT_BOOLEAN));
    EXPECT_TRUE(is_name(reader_next(rt, reader)));
    namespace_destroy(rt, bound, string_free, nullptr);
    function_release(rt, f);
    function_release(rt, g);
}

// Recorded literals belong to the namespace, whatever the caller does with
// token_release; unrecorded ones to the caller. Under the sanitizers a
// leak or a second release fails the program.
TEST_F(ReaderOpsTest, RecordedLiteralsBelongToTheNamespaceOthersToTheCaller) {
    Reader* recording = open("12 \"s\" \"%p%x\" n", true, true);
    for (Value token = reader_next(rt, recording); !is_eof(token);
         token = reader_next(rt, recording)) {
        EXPECT_TRUE(is_name(token) ||
                    ns_owns(rt, vars, token, symbol_identity_hash, symbol_identity_match))
            << describe(token);
        EXPECT_EQ(token_release(rt, token), RC_OK);
        EXPECT_EQ(token_release(rt, token), RC_OK);  // still nothing released
    }
    Reader* plain = open("12 \"s\"");
    Value n = reader_next(rt, plain), s = reader_next(rt, plain);
    EXPECT_FALSE(ns_owns(rt, vars, n, symbol_identity_hash, symbol_identity_match));
    EXPECT_FALSE(ns_owns(rt, vars, s, symbol_identity_hash, symbol_identity_match));
    EXPECT_EQ(token_release(rt, n), RC_OK);
    EXPECT_EQ(token_release(rt, s), RC_OK);
    // The reader reads on without looking into the tokens it gave away.
    EXPECT_TRUE(is_eof(reader_next(rt, plain)));
}

TEST_F(ReaderOpsTest, OpeningFailsWithoutLeavingAnythingAllocated) {
    EXPECT_EQ(reader_open(rt, atoms, nullptr, vars, false, false, engine_path(dir.path()), "",
                          "missing", "prd"),
              nullptr);
    write_host_file(dir.at("t.prd"), "x");
    std::string where = engine_path(dir.path());
    EXPECT_EQ(reader_open(rt, atoms, nullptr, nullptr, false, false, where, "", "t", "prd"),
              nullptr);
    EXPECT_EQ(reader_open(rt, nullptr, nullptr, vars, false, false, where, "", "t", "prd"),
              nullptr);
    // Case-insensitive engine paths find the file.
    Reader* found = reader_open(rt, atoms, nullptr, vars, false, false, where, "", "T", "PRD");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(reader_input(rt, found)->parts.base, "T");
    EXPECT_EQ(reader_variables(rt, found), vars);
    reader_close(rt, found);

    // Every allocation that can fail, failing in turn.
    Reader* reader = nullptr;
    uint32_t allowed = 0;
    for (; !reader && allowed < 20; ++allowed) {
        allow_allocations(allowed);
        reader = reader_open(rt, atoms, nullptr, vars, false, false, where, "", "t", "prd");
    }
    allow_all_allocations();
    ASSERT_NE(reader, nullptr);
    EXPECT_GT(allowed, 1u);
    reader_close(rt, reader);
}

TEST_F(ReaderOpsTest, MemoryRunningOutGivesNoTokenAndReadingGoesOn) {
    Reader* reader = open("\"s\" 'atom \"t\"");
    allow_allocations(0);
    EXPECT_TRUE(is_none(reader_next(rt, reader)));
    allow_all_allocations();
    EXPECT_EQ(token_kind(reader_next(rt, reader)), uint32_t(TK_ATOM));
    Value t = reader_next(rt, reader);
    EXPECT_EQ(describe(t), "\"t\"");
    token_release(rt, t);
}

}  // namespace
