// Tokens of the script data language: the kind codes carried in bits 4-7 of
// a value's header, the punctuation and operator codes, the kind and
// punctuation tests, token equality and release. Tokens of kinds 1 to 9 are
// the context's interned kind boxes; kinds 10 to 14 are values stamped in
// place. Needs runtime_context, strings, numbers and functions.
#pragma once

#include <cstdint>

#include "runtime/runtime_context.h"

enum TokenKind : uint32_t {
    TK_NONE = 0,
    TK_EOF = 1,
    TK_LEX_ERROR = 2,
    TK_TOO_LONG = 3,
    TK_BAD_NUMBER = 4,
    TK_PUSHBACK_ERROR = 5,
    TK_PUNCTUATION = 6,  // punctuation or keyword; payload a PunctuationCode
    TK_OPERATOR = 7,     // payload an OperatorCode
    TK_BOOLEAN = 8,      // payload 1 or 0
    TK_ATOM = 9,         // payload the atom
    TK_NUMBER = 10,
    TK_STRING = 11,
    TK_SUBST_STRING = 12,  // a string holding "%"
    TK_NAME = 13,
    TK_BOUND_NAME = 14,
};

enum PunctuationCode : uint32_t {
    PUNCT_LBRACKET = 0,  // [
    PUNCT_RBRACKET = 1,  // ]
    PUNCT_LBRACE = 2,    // {
    PUNCT_RBRACE = 3,    // }
    PUNCT_LPAREN = 4,    // (
    PUNCT_RPAREN = 5,    // )
    PUNCT_COLON = 6,
    PUNCT_EQUALS = 7,
    PUNCT_COMMA = 8,
    PUNCT_SEMICOLON = 9,
    PUNCT_DOT = 10,
    PUNCT_IF = 11,
    PUNCT_ELSE = 12,
    PUNCT_WHILE = 13,
    PUNCT_MARK = 14,
};

enum OperatorCode : uint32_t {
    OP_ADD = 0,      // +
    OP_SUB = 1,      // -
    OP_MUL = 2,      // *
    OP_DIV = 3,      // /
    OP_EQ = 4,       // ==
    OP_NE = 5,       // !=
    OP_LT = 6,       // <
    OP_GT = 7,       // >
    OP_AND = 8,      // &&
    OP_OR = 9,       // ||
    OP_XOR = 10,     // ^^
    OP_BITAND = 11,  // &
    OP_BITOR = 12,   // |
    OP_BITXOR = 13,  // ^
};

// The interned box of `kind` (1 to 9) with `payload`; 0 when the context is
// unusable or memory runs out.
Value token_box(RuntimeContext* rt, uint32_t kind, Value payload);
// The kind of a token; TK_NONE for 0, 1 and values without a kind.
uint32_t token_kind(Value token);
// A box's payload (the punctuation or operator code, the boolean, the
// atom); any other token unchanged.
Value token_payload(Value token);

// Same kind and, by kind: always for 1 to 5; same code for 6 and 7; same
// boolean; same atom; equal numbers; equal strings (letter case folded);
// same interned name; bound function values with the same routine.
bool token_equal(RuntimeContext* rt, Value a, Value b);
// Releases what a token owns: the number of a number token, the string of a
// string token. Literals that a reader recorded in its variable namespace
// carry their value type (NUMBER or STRING) and belong to that namespace;
// they are left alone, as is every other kind.
ResultCode token_release(RuntimeContext* rt, Value token);

// The kind tests.
inline bool is_none(Value t) {
    return token_kind(t) == TK_NONE;
}
inline bool is_eof(Value t) {
    return token_kind(t) == TK_EOF;
}
inline bool is_lex_error(Value t) {
    return token_kind(t) == TK_LEX_ERROR;
}
inline bool is_boolean(Value t) {
    return token_kind(t) == TK_BOOLEAN;
}
inline bool is_number(Value t) {
    return token_kind(t) == TK_NUMBER;
}
inline bool is_string(Value t) {
    return token_kind(t) == TK_STRING || token_kind(t) == TK_SUBST_STRING;
}
inline bool is_subst_string(Value t) {
    return token_kind(t) == TK_SUBST_STRING;
}
inline bool is_name(Value t) {
    return token_kind(t) == TK_NAME;
}

// True when `t` is the punctuation (or keyword) token of `code`.
bool is_punctuation_code(Value t, uint32_t code);

inline bool is_lparen(Value t) {
    return is_punctuation_code(t, PUNCT_LPAREN);
}
inline bool is_comma(Value t) {
    return is_punctuation_code(t, PUNCT_COMMA);
}
