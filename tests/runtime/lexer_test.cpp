// The token forms of the script data language, as a file's reader delivers
// them: atoms, keywords, names, numbers, strings, operators, comments,
// errors, the length limit, line counting and the token headers.
#include <algorithm>
#include <cstring>

#include "reader_fixture.h"

namespace {

using LexerTest = ReaderTest;

uint32_t header_of(Value v) {
    uint32_t header = 0;
    std::memcpy(&header, reinterpret_cast<const char*>(v) - 4, sizeof header);
    return header;
}

TEST_F(LexerTest, QuotedAtomsEndAtTheNextDelimiterAndNeedNoClosingQuote) {
    EXPECT_EQ(tokens("'abc"), (Tokens{"'abc", "eof"}));
    EXPECT_EQ(tokens("'abc'"), (Tokens{"'abc", "'", "eof"}));
    EXPECT_EQ(tokens("' x"), (Tokens{"'", "name:x", "eof"}));
    EXPECT_EQ(tokens("'a$b%c?,'d"), (Tokens{"'a$b%c?", ",", "'d", "eof"}));
    // Atoms are interned without regard to case, keeping the first spelling.
    Reader* reader = open("'Base 'BASE");
    Value first = reader_next(rt, reader), second = reader_next(rt, reader);
    EXPECT_EQ(first, second);
    EXPECT_EQ(text(token_payload(first)), "Base");
}

TEST_F(LexerTest, KeywordsAndBooleansIgnoreCaseAndNamesKeepTheirFirstSpelling) {
    EXPECT_EQ(tokens("TRUE True true FALSE If ELSE While mark iff"),
              (Tokens{"true", "true", "true", "false", "if", "else", "while", "mark", "name:iff",
                      "eof"}));
    Reader* reader = open("Size SIZE _x1");
    Value size = reader_next(rt, reader), upper = reader_next(rt, reader);
    EXPECT_EQ(size, upper);
    EXPECT_TRUE(is_name(size));
    EXPECT_EQ(text(size), "Size");
    EXPECT_EQ(describe(reader_next(rt, reader)), "name:_x1");
}

TEST_F(LexerTest, ANameOrNumberFollowedByANonDelimiterIsALexicalError) {
    EXPECT_EQ(tokens("12abc"), (Tokens{"lex", "name:bc", "eof"}));
    EXPECT_EQ(tokens("12K"), (Tokens{"lex", "eof"}));
    EXPECT_EQ(tokens("Visible?"), (Tokens{"lex", "eof"}));
    EXPECT_EQ(tokens("$HOME"), (Tokens{"lex", "name:HOME", "eof"}));
    EXPECT_EQ(tokens("a\xE9"), (Tokens{"lex", "eof"}));
    EXPECT_EQ(tokens("12,13"), (Tokens{"12", ",", "13", "eof"}));
    EXPECT_EQ(tokens("007 0"), (Tokens{"7", "0", "eof"}));
    EXPECT_EQ(tokens("a!b c"), (Tokens{"name:a", "lex", "name:c", "eof"}));
    EXPECT_EQ(tokens("!"), (Tokens{"lex", "eof"}));
    EXPECT_EQ(tokens("` @ \\"), (Tokens{"lex", "lex", "lex", "eof"}));
}

TEST_F(LexerTest, EveryPunctuationAndOperatorForm) {
    EXPECT_EQ(tokens("{}[]():,;.+-*/<>"), (Tokens{"{", "}", "[", "]", "(", ")", ":", ",", ";", ".",
                                                  "+", "-", "*", "/", "<", ">", "eof"}));
    EXPECT_EQ(tokens("a=b a==b x!=y"), (Tokens{"name:a", "=", "name:b", "name:a", "==", "name:b",
                                               "name:x", "!=", "name:y", "eof"}));
    EXPECT_EQ(tokens("&& & || | ^^ ^ &|^"),
              (Tokens{"&&", "&", "||", "|", "^^", "^", "&", "|", "^", "eof"}));
    EXPECT_EQ(tokens("="), (Tokens{"=", "eof"}));
    EXPECT_EQ(tokens("&"), (Tokens{"&", "eof"}));
    EXPECT_EQ(tokens("-5"), (Tokens{"-", "5", "eof"}));

    // The reader delivers the interned box of each code, and the
    // punctuation test answers for its own kind and code only.
    Reader* reader = open("^ [ mark");
    Value caret = reader_next(rt, reader);
    EXPECT_EQ(caret, token_box(rt, TK_OPERATOR, OP_BITXOR));
    EXPECT_NE(caret, token_box(rt, TK_OPERATOR, OP_XOR));
    EXPECT_FALSE(is_punctuation_code(caret, OP_BITXOR));
    Value bracket = reader_next(rt, reader);
    EXPECT_EQ(bracket, token_box(rt, TK_PUNCTUATION, PUNCT_LBRACKET));
    EXPECT_TRUE(is_punctuation_code(bracket, PUNCT_LBRACKET));
    EXPECT_FALSE(is_punctuation_code(bracket, PUNCT_RBRACKET));
    EXPECT_TRUE(is_punctuation_code(reader_next(rt, reader), PUNCT_MARK));
}

TEST_F(LexerTest, CommentsAreSkippedAndUnfinishedOnesAreHandled) {
    EXPECT_EQ(tokens("x/y"), (Tokens{"name:x", "/", "name:y", "eof"}));
    EXPECT_EQ(tokens("a /* * / ** */ b"), (Tokens{"name:a", "name:b", "eof"}));
    EXPECT_EQ(tokens("a/**/b"), (Tokens{"name:a", "name:b", "eof"}));
    EXPECT_EQ(tokens("a /* open"), (Tokens{"name:a", "lex", "eof"}));
    EXPECT_EQ(tokens("a /"), (Tokens{"name:a", "lex", "eof"}));
    EXPECT_EQ(tokens("#### Product Parent\n1 # trailing"), (Tokens{"1", "eof"}));
    EXPECT_EQ(tokens("\"a # not /* a comment\""), (Tokens{"\"a # not /* a comment\"", "eof"}));
}

TEST_F(LexerTest, StringsSpanLinesHaveNoEscapesAndMarkPercentSigns) {
    EXPECT_EQ(tokens("\"one\ntwo\" \"\" \"it's\""),
              (Tokens{"\"one\ntwo\"", "\"\"", "\"it's\"", "eof"}));
    EXPECT_EQ(tokens("\"100%\" \"a\\\""), (Tokens{"%\"100%\"", "\"a\\\"", "eof"}));
    EXPECT_EQ(tokens("\"no end"), (Tokens{"lex", "eof"}));
}

TEST_F(LexerTest, TokensOfMoreThan2048CharactersAreConsumedWhole) {
    std::string exact(2048, 'a'), over(2049, 'a');
    Tokens accepted = tokens("\"" + exact + "\" x");
    ASSERT_EQ(accepted.size(), 3u);
    EXPECT_EQ(accepted[0].size(), 2050u);
    EXPECT_EQ(tokens("\"" + over + "\" x"), (Tokens{"long", "name:x", "eof"}));
    EXPECT_EQ(tokens(over + " x").front(), "long");
    EXPECT_EQ(tokens("'" + over + ",x"), (Tokens{"long", ",", "name:x", "eof"}));
    EXPECT_EQ(tokens(exact + "?"), (Tokens{"lex", "eof"}));
    EXPECT_EQ(tokens(std::string(2049, '1') + " 2"), (Tokens{"badnum", "2", "eof"}));
    EXPECT_EQ(tokens("4294967295 4294967296"), (Tokens{"4294967295", "badnum", "eof"}));
    EXPECT_EQ(tokens("\"" + std::string(100000, 'q') + "\" x"), (Tokens{"long", "name:x", "eof"}));
}

TEST_F(LexerTest, LinesCountEveryLineFeedIncludingThoseInStringsAndComments) {
    Reader* reader = open("a\n\"x\ny\"\n# c\n/* \n */ b\r\nc");
    std::vector<uint32_t> lines;
    for (Value token = reader_next(rt, reader); !is_eof(token); token = reader_next(rt, reader)) {
        lines.push_back(reader_line(rt, reader));
        token_release(rt, token);
    }
    EXPECT_EQ(lines, (std::vector<uint32_t>{1, 3, 6, 7}));
    EXPECT_EQ(reader_line(rt, reader), 7u);

    // CR LF reads as a line feed; a CR alone stays a character.
    EXPECT_EQ(tokens("\"x\r\ny\" \"p\rq\""), (Tokens{"\"x\ny\"", "\"p\rq\"", "eof"}));
}

TEST_F(LexerTest, EmptyFilesAndFilesWithoutAFinalLineFeed) {
    Reader* reader = open("");
    Value end = reader_next(rt, reader);
    EXPECT_TRUE(is_eof(end));
    EXPECT_EQ(reader_next(rt, reader), end);
    EXPECT_EQ(reader_next(rt, reader), end);
    EXPECT_EQ(reader_line(rt, reader), 1u);
    EXPECT_EQ(tokens("1 a \"s\""), tokens("1 a \"s\"\n"));
}

TEST_F(LexerTest, TokenHeadersCarryKindAndType) {
    Reader* plain = open("12 [");
    Value number = reader_next(rt, plain);
    EXPECT_EQ(header_of(number), 0xA0u);
    Value bracket = reader_next(rt, plain);
    EXPECT_EQ(header_of(bracket), 0x160u);
    EXPECT_EQ(token_payload(bracket), 0u);
    EXPECT_EQ(token_release(rt, number), RC_OK);

    Reader* recording = open("12 \"s\" 'a true", true);
    EXPECT_EQ(header_of(reader_next(rt, recording)), 0xA4u);
    EXPECT_EQ(header_of(reader_next(rt, recording)), 0xB6u);
    EXPECT_EQ(header_of(reader_next(rt, recording)), 0x190u);
    EXPECT_EQ(header_of(reader_next(rt, recording)), 0x180u);
}

TEST_F(LexerTest, ControlBytesNulBytesAndHighBytesAreErrorsOrTokenText) {
    EXPECT_EQ(tokens(std::string("\x01"
                                 "a\0b\x80",
                                 5)),
              (Tokens{"lex", "lex", "lex", "eof"}));
    EXPECT_EQ(tokens(std::string("'\xff\x01 \"\0\"", 7)), (Tokens{"'\xff\x01", "\"\"", "eof"}));
    Tokens percents(5000, "lex");
    percents.push_back("eof");
    EXPECT_EQ(tokens(std::string(5000, '%')), percents);
    std::string every_byte;
    for (int i = 255; i >= 0; --i) every_byte += char(i);
    Tokens seen = tokens(every_byte);
    EXPECT_EQ(seen.back(), "eof");
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "none"), 0);
}

TEST_F(LexerTest, ExactlyTheTwentyEightDelimitersEndAnAtom) {
    int delimiters = 0;
    for (int c = 1; c < 256; ++c) {
        Reader* reader = open(std::string("'a") + char(c) + "b");
        Value atom = reader_next(rt, reader);
        ASSERT_EQ(token_kind(atom), uint32_t(TK_ATOM)) << c;
        delimiters += text(token_payload(atom)) == "a" ? 1 : 0;
    }
    EXPECT_EQ(delimiters, 28);
    EXPECT_EQ(tokens("'a@\\`~\x80_b"), (Tokens{"'a@\\`~\x80_b", "eof"}));
}

// Files of 65534 bytes and more are read through a buffer; line ends that
// straddle its chunks and every other form read as they do in memory.
TEST_F(LexerTest, LargeFilesReadTheSameAsSmallOnes) {
    std::string row =
        "  7 Core root \"core\" \"1.0\" \"Core\r\nFiles\" \"core\\sub\" 1234 true false 'x\r\n";
    // A comment line long enough that the CR inside row 100's string is
    // the last byte of the first chunk and its LF the first of the next.
    size_t cr = row.find('\r');
    std::string big = "#" + std::string(INPUT_CHUNK - 1 - 100 * row.size() - cr - 3, 'c') + "\r\n";
    ASSERT_EQ(big.size() + 100 * row.size() + cr, INPUT_CHUNK - 1);
    size_t rows = 0;
    for (; big.size() < 200000; ++rows) big += row;
    big += std::string(3, '\n');
    Tokens expected_row = tokens(row);
    expected_row.pop_back();

    Reader* reader = open(big);
    Tokens seen = tokens_of(reader, 10000000);
    ASSERT_EQ(seen.size(), rows * expected_row.size() + 1);
    for (size_t r = 0; r < rows; ++r)
        for (size_t i = 0; i < expected_row.size(); ++i)
            ASSERT_EQ(seen[r * expected_row.size() + i], expected_row[i]) << "row " << r;
    EXPECT_EQ(seen.back(), "eof");
    EXPECT_EQ(reader_line(rt, reader), uint32_t(2 * rows + 5));
}

}  // namespace
