// The lexer of the script data language.
#include "runtime/lexer.h"

#include <array>
#include <string_view>

#include "runtime/atoms.h"
#include "runtime/numbers.h"
#include "runtime/strings.h"
#include "runtime/tokens.h"
#include "sys/text.h"

namespace {

constexpr std::array<bool, 256> make_delimiters() {
    std::array<bool, 256> table{};
    for (unsigned char c : std::string_view("\t\n\r !\"#&'()*+,-./:;<=>[]^{|}")) table[c] = true;
    return table;
}
constexpr std::array<bool, 256> DELIMITERS = make_delimiters();

// True for the 28 characters that end a name, a number or a quoted atom.
bool is_delimiter(char c) {
    return DELIMITERS[static_cast<unsigned char>(c)];
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_name_char(char c) {
    return is_letter(c) || is_digit(c) || c == '_';
}
bool is_atom_char(char c) {
    return !is_delimiter(c);
}

Value kind_box(RuntimeContext* rt, uint32_t kind, Value payload = 0) {
    return token_box(rt, kind, payload);
}

// The text of the token being scanned: at most TEXT_LIMIT characters are
// kept; a longer token is still consumed to its end and marked.
struct TokenText {
    char* chars;
    size_t count;
    bool overflow;
};

void text_add(TokenText* text, char c) {
    if (text->count == size_t(TEXT_LIMIT)) {
        text->overflow = true;
        return;
    }
    text->chars[text->count++] = c;
}

std::string_view text_view(TokenText* text) {
    text->chars[text->count] = '\0';
    return std::string_view(text->chars, text->count);
}

// How a run of characters ended.
enum RunEnd { RUN_AT_INPUT_END, RUN_AT_DELIMITER, RUN_AT_OTHER, RUN_PUSHBACK_FAILED };

// Reads characters while `accept` takes them, starting with `first` (already
// read); the character that ends the run is pushed back when it is a
// delimiter.
RunEnd read_run(Reader* reader, TokenText* text, bool (*accept)(char), bool take_first,
                char first) {
    if (take_first) text_add(text, first);
    char c = 0;
    for (;;) {
        if (input_read(reader->input, &c) != RC_OK) return RUN_AT_INPUT_END;
        if (!accept(c)) break;
        text_add(text, c);
    }
    if (!is_delimiter(c)) return RUN_AT_OTHER;
    return input_unread(reader->input) == RC_OK ? RUN_AT_DELIMITER : RUN_PUSHBACK_FAILED;
}

// Records a literal in the variable namespace, stamped with its type. False
// when memory runs out.
bool record_literal(RuntimeContext* rt, Reader* reader, uint32_t type, Value v) {
    value_set_type(rt, type, v, false);
    return ns_record_value(rt, reader->variable_namespace, v) == RC_OK;
}

Value scan_number(RuntimeContext* rt, Reader* reader, char first) {
    TokenText text{reader->token_text, 0, false};
    RunEnd end = read_run(reader, &text, is_digit, true, first);
    if (end == RUN_AT_OTHER) return kind_box(rt, TK_LEX_ERROR);
    if (end == RUN_PUSHBACK_FAILED) return kind_box(rt, TK_PUSHBACK_ERROR);
    if (text.overflow) return kind_box(rt, TK_BAD_NUMBER);
    Value n = number_parse(rt, text_view(&text));
    if (!n) return kind_box(rt, TK_BAD_NUMBER);
    value_set_kind(rt, TK_NUMBER, n, false);
    if (reader->record_literals && !record_literal(rt, reader, VT_NUMBER, n)) {
        number_free(rt, n);
        return kind_box(rt, TK_BAD_NUMBER);
    }
    return n;
}

Value scan_string(RuntimeContext* rt, Reader* reader) {
    TokenText text{reader->token_text, 0, false};
    char c = 0;
    for (;;) {
        if (input_read(reader->input, &c) != RC_OK) return kind_box(rt, TK_LEX_ERROR);
        if (c == '"') break;
        if (c == '\n') ++reader->line;
        text_add(&text, c);
    }
    if (text.overflow) return kind_box(rt, TK_TOO_LONG);
    std::string_view view = text_view(&text);
    bool holds_percent = view.find('%') != std::string_view::npos;
    Value s = string_new(rt, view);
    if (!s) return 0;
    value_set_kind(rt, holds_percent ? TK_SUBST_STRING : TK_STRING, s, false);
    bool recorded = reader->record_literals || (reader->expand_strings && holds_percent);
    if (recorded && !record_literal(rt, reader, VT_STRING, s)) {
        string_free(rt, s);
        return 0;
    }
    return s;
}

Value scan_atom(RuntimeContext* rt, Reader* reader) {
    TokenText text{reader->token_text, 0, false};
    RunEnd end = read_run(reader, &text, is_atom_char, false, 0);
    if (end == RUN_PUSHBACK_FAILED) return kind_box(rt, TK_PUSHBACK_ERROR);
    if (text.overflow) return kind_box(rt, TK_TOO_LONG);
    Value atom = atom_intern(rt, reader->atom_table, text_view(&text));
    if (!atom) return 0;
    return kind_box(rt, TK_ATOM, atom);
}

// The keyword or boolean token a name spells, or 0.
Value keyword_token(RuntimeContext* rt, std::string_view name) {
    static constexpr std::string_view KEYWORDS[] = {"if", "else", "while", "mark"};
    for (uint32_t i = 0; i < 4; ++i)
        if (text_equal_nocase(name, KEYWORDS[i])) return kind_box(rt, TK_PUNCTUATION, PUNCT_IF + i);
    if (text_equal_nocase(name, "true")) return kind_box(rt, TK_BOOLEAN, 1);
    if (text_equal_nocase(name, "false")) return kind_box(rt, TK_BOOLEAN, 0);
    return 0;
}

// A bound value as a token: stamped in place, or, for a handle that is not
// a block of its own (a box is shared), carried in a kind box.
Value bound_token(RuntimeContext* rt, Value bound) {
    bool in_place = value_is_real(bound) && !value_is_boxed(bound);
    return value_set_kind(rt, TK_BOUND_NAME, bound, !in_place);
}

// The hash of a name's folded text.
uint32_t name_hash(std::string_view text) {
    uint32_t hash = 2166136261u;
    for (char c : text) hash = (hash ^ uint8_t(fold_char(c))) * 16777619u;
    return hash;
}

// The slot that holds the name of `text`, or the free slot where it belongs.
NameSlot* name_slot(RuntimeContext* rt, Reader* reader, std::string_view text, uint32_t hash) {
    size_t mask = reader->name_slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        NameSlot* slot = &reader->name_slots[i];
        if (!slot->name) return slot;
        if (slot->hash == hash && text_equal_nocase(string_view_of(rt, slot->name), text))
            return slot;
    }
}

// Keeps the index at most half full.
void grow_name_index(Reader* reader) {
    if ((reader->name_count + 1) * 2 <= reader->name_slots.size()) return;
    std::vector<NameSlot> old = std::move(reader->name_slots);
    reader->name_slots.assign(old.empty() ? 64 : old.size() * 2, NameSlot{0, 0});
    size_t mask = reader->name_slots.size() - 1;
    for (const NameSlot& slot : old) {
        if (!slot.name) continue;
        size_t i = slot.hash & mask;
        while (reader->name_slots[i].name) i = (i + 1) & mask;
        reader->name_slots[i] = slot;
    }
}

// The interned name of `text`: from the reader's index, else from the
// variable namespace (or an ancestor), which enters it when it is new.
Value intern_name(RuntimeContext* rt, Reader* reader, std::string_view text) {
    grow_name_index(reader);
    uint32_t hash = name_hash(text);
    NameSlot* slot = name_slot(rt, reader, text, hash);
    if (slot->name) return slot->name;
    Value name = ns_intern_name(rt, reader->variable_namespace, text);
    if (!name) return 0;
    *slot = NameSlot{hash, name};
    ++reader->name_count;
    return name;
}

Value scan_name(RuntimeContext* rt, Reader* reader, char first) {
    TokenText text{reader->token_text, 0, false};
    RunEnd end = read_run(reader, &text, is_name_char, true, first);
    if (end == RUN_AT_OTHER) return kind_box(rt, TK_LEX_ERROR);
    if (end == RUN_PUSHBACK_FAILED) return kind_box(rt, TK_PUSHBACK_ERROR);
    if (text.overflow) return kind_box(rt, TK_TOO_LONG);
    std::string_view view = text_view(&text);
    if (view.size() <= 5)
        if (Value keyword = keyword_token(rt, view)) return keyword;
    Value probe = reinterpret_cast<Value>(text.chars);
    if (reader->bound_namespace) {
        Value bound =
            ns_lookup(rt, reader->bound_namespace, probe, symbol_raw_hash, symbol_raw_match);
        if (bound) return bound_token(rt, bound);
    }
    Value name = intern_name(rt, reader, view);
    if (!name) return 0;
    return value_set_kind(rt, TK_NAME, name, false);
}

// "=", "==".
Value scan_equals(RuntimeContext* rt, Reader* reader) {
    char c = 0;
    if (input_read(reader->input, &c) != RC_OK) return kind_box(rt, TK_PUNCTUATION, PUNCT_EQUALS);
    if (c == '=') return kind_box(rt, TK_OPERATOR, OP_EQ);
    if (input_unread(reader->input) != RC_OK) return kind_box(rt, TK_PUSHBACK_ERROR);
    return kind_box(rt, TK_PUNCTUATION, PUNCT_EQUALS);
}

// "!=" only; a lone "!" is an error and nothing is pushed back.
Value scan_not(RuntimeContext* rt, Reader* reader) {
    char c = 0;
    if (input_read(reader->input, &c) == RC_OK && c == '=') return kind_box(rt, TK_OPERATOR, OP_NE);
    return kind_box(rt, TK_LEX_ERROR);
}

// "&", "|", "^" single or doubled.
Value scan_logical(RuntimeContext* rt, Reader* reader, char first, uint32_t single,
                   uint32_t doubled) {
    char c = 0;
    if (input_read(reader->input, &c) != RC_OK) return kind_box(rt, TK_OPERATOR, single);
    if (c == first) return kind_box(rt, TK_OPERATOR, doubled);
    if (input_unread(reader->input) != RC_OK) return kind_box(rt, TK_PUSHBACK_ERROR);
    return kind_box(rt, TK_OPERATOR, single);
}

// After "/": a block comment is skipped (0 comes back and scanning goes
// on); otherwise the operator "/" or an error token.
Value after_slash(RuntimeContext* rt, Reader* reader) {
    char c = 0;
    if (input_read(reader->input, &c) != RC_OK) return kind_box(rt, TK_LEX_ERROR);
    if (c != '*') {
        if (input_unread(reader->input) != RC_OK) return kind_box(rt, TK_PUSHBACK_ERROR);
        return kind_box(rt, TK_OPERATOR, OP_DIV);
    }
    bool star = false;
    for (;;) {
        if (input_read(reader->input, &c) != RC_OK) return kind_box(rt, TK_LEX_ERROR);
        if (c == '\n') ++reader->line;
        if (star && c == '/') return 0;
        star = c == '*';
    }
}

// Skips a "#" comment with its line feed; false at the end of the input.
bool skip_line_comment(Reader* reader) {
    char c = 0;
    for (;;) {
        if (input_read(reader->input, &c) != RC_OK) return false;
        if (c == '\n') {
            ++reader->line;
            return true;
        }
    }
}

// The code of a one-character punctuation or operator token, or -1.
int single_punctuation(char c) {
    switch (c) {
        case '[':
            return PUNCT_LBRACKET;
        case ']':
            return PUNCT_RBRACKET;
        case '{':
            return PUNCT_LBRACE;
        case '}':
            return PUNCT_RBRACE;
        case '(':
            return PUNCT_LPAREN;
        case ')':
            return PUNCT_RPAREN;
        case ':':
            return PUNCT_COLON;
        case ',':
            return PUNCT_COMMA;
        case ';':
            return PUNCT_SEMICOLON;
        case '.':
            return PUNCT_DOT;
        default:
            return -1;
    }
}

int single_operator(char c) {
    switch (c) {
        case '+':
            return OP_ADD;
        case '-':
            return OP_SUB;
        case '*':
            return OP_MUL;
        case '<':
            return OP_LT;
        case '>':
            return OP_GT;
        default:
            return -1;
    }
}

// The token that starts with `c`, which is not a separator.
Value scan_token(RuntimeContext* rt, Reader* reader, char c) {
    if (int code = single_punctuation(c); code >= 0) return kind_box(rt, TK_PUNCTUATION, code);
    if (int code = single_operator(c); code >= 0) return kind_box(rt, TK_OPERATOR, code);
    if (is_digit(c)) return scan_number(rt, reader, c);
    if (is_letter(c) || c == '_') return scan_name(rt, reader, c);
    switch (c) {
        case '"':
            return scan_string(rt, reader);
        case '\'':
            return scan_atom(rt, reader);
        case '=':
            return scan_equals(rt, reader);
        case '!':
            return scan_not(rt, reader);
        case '&':
            return scan_logical(rt, reader, c, OP_BITAND, OP_AND);
        case '|':
            return scan_logical(rt, reader, c, OP_BITOR, OP_OR);
        case '^':
            return scan_logical(rt, reader, c, OP_BITXOR, OP_XOR);
        default:
            return kind_box(rt, TK_LEX_ERROR);
    }
}

}  // namespace

Value lexer_scan(RuntimeContext* rt, Reader* reader) {
    if (!rt_usable(rt) || !reader) return 0;
    char c = 0;
    for (;;) {
        if (input_read(reader->input, &c) != RC_OK) return kind_box(rt, TK_EOF);
        switch (c) {
            case '\n':
                ++reader->line;
                break;
            case ' ':
            case '\t':
            case '\r':
                break;
            case '#':
                if (!skip_line_comment(reader)) return kind_box(rt, TK_EOF);
                break;
            case '/':
                if (Value token = after_slash(rt, reader)) return token;
                break;
            default:
                return scan_token(rt, reader, c);
        }
    }
}
