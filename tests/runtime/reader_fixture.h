// A runtime context with an atom table and a variable namespace, readers
// opened on files written into a temporary folder, and a short text for
// each token so that token sequences can be compared as lists.
#pragma once

#include <string>
#include <vector>

#include "runtime/atoms.h"
#include "runtime/namespaces.h"
#include "runtime/numbers.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/tokens.h"
#include "runtime/values.h"
#include "runtime_fixture.h"
#include "support/test_support.h"

class ReaderTest : public RuntimeTest {
protected:
    TempDir dir;
    SymbolTable* atoms = symtab_new(rt, 7);
    Namespace* vars = namespace_new(rt, nullptr, 57);
    std::vector<Reader*> readers;

    ~ReaderTest() override {
        for (Reader* reader : readers) reader_close(rt, reader);
        namespace_destroy(rt, vars, string_free, value_release);
        atom_table_destroy(rt, atoms);
    }

    // Writes `bytes` as t.prd and opens a reader on it (closed with the test).
    Reader* open(const std::string& bytes, bool record = false, bool expand = false,
                 Namespace* bound = nullptr) {
        write_host_file(dir.at("t.prd"), bytes);
        Reader* reader = reader_open(rt, atoms, bound, vars, record, expand,
                                     engine_path(dir.path()), "", "t", "prd");
        if (reader) readers.push_back(reader);
        return reader;
    }

    // "eof", "lex", "long", "badnum", "pushback", "none", "[" and the other
    // punctuation and operator texts, "if" and the keywords, "true"/"false",
    // "'text" for atoms, "12" for numbers, "\"text\"" for strings,
    // "%\"text\"" for strings holding "%", "name:text", "bound".
    std::string describe(Value token) {
        static const char* PUNCTUATION[] = {"[", "]", "{", "}",  "(",    ")",     ":",   "=",
                                            ",", ";", ".", "if", "else", "while", "mark"};
        static const char* OPERATORS[] = {"+", "-",  "*",  "/",  "==", "!=", "<",
                                          ">", "&&", "||", "^^", "&",  "|",  "^"};
        switch (token_kind(token)) {
            case TK_NONE:
                return "none";
            case TK_EOF:
                return "eof";
            case TK_LEX_ERROR:
                return "lex";
            case TK_TOO_LONG:
                return "long";
            case TK_BAD_NUMBER:
                return "badnum";
            case TK_PUSHBACK_ERROR:
                return "pushback";
            case TK_PUNCTUATION:
                return PUNCTUATION[token_payload(token)];
            case TK_OPERATOR:
                return OPERATORS[token_payload(token)];
            case TK_BOOLEAN:
                return token_payload(token) == 1 ? "true" : "false";
            case TK_ATOM:
                return "'" + text(token_payload(token));
            case TK_NUMBER:
                return std::to_string(number_value(rt, token));
            case TK_STRING:
                return "\"" + text(token) + "\"";
            case TK_SUBST_STRING:
                return "%\"" + text(token) + "\"";
            case TK_NAME:
                return "name:" + text(token);
            default:
                return "bound";
        }
    }

    // Every token up to and including the end of the input (at most
    // `limit`), described; each token is released once described.
    std::vector<std::string> tokens_of(Reader* reader, size_t limit = 100000) {
        std::vector<std::string> seen;
        for (size_t i = 0; reader && i < limit; ++i) {
            Value token = reader_next(rt, reader);
            seen.push_back(describe(token));
            bool last = is_eof(token) || is_none(token);
            token_release(rt, token);
            if (last) break;
        }
        return seen;
    }

    std::vector<std::string> tokens(const std::string& bytes, bool record = false,
                                    bool expand = false) {
        return tokens_of(open(bytes, record, expand));
    }
};

using Tokens = std::vector<std::string>;
