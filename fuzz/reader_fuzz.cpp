// Reads arbitrary bytes as a script data file: every token is delivered,
// some are taken back and replayed, strings are expanded, and the tokens
// are printed to a second file, which must read back as the same tokens.
// The first byte chooses the reader's flags, whether the bytes are repeated
// into a file long enough to be read as a stream (one input in four), and
// how often to step back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/atoms.h"
#include "runtime/namespaces.h"
#include "runtime/printer.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/tokens.h"
#include "runtime/values.h"
#include "sys/host_paths.h"
#include "sys/text_file.h"

namespace {

const std::string& scratch_directory() {
    static std::string directory = [] {
        // On a memory file system the file syncs of every run cost nothing.
        char pattern[] = "/dev/shm/reader_fuzz.XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) std::abort();
        return host_path_to_engine(made);
    }();
    return directory;
}

void write_input(const uint8_t* data, size_t size, bool long_file) {
    std::string path = scratch_directory();
    std::string host;
    if (host_path_resolve(path + "\\in.prd", &host) != RC_OK) std::abort();
    FILE* file = std::fopen(host.c_str(), "wb");
    if (!file) std::abort();
    size_t written = 0;
    do {
        std::fwrite(data, 1, size, file);
        written += size;
    } while (long_file && size > 0 && written < INPUT_MEMORY_LIMIT);
    std::fclose(file);
}

struct Session {
    RuntimeContext* rt = rt_create();
    SymbolTable* atoms = symtab_new(rt, 7);
    Namespace* vars = namespace_new(rt, nullptr, 57);
    ~Session() {
        namespace_destroy(rt, vars, string_free, value_release);
        atom_table_destroy(rt, atoms);
        rt_destroy(rt);
    }
};

// The printed form of a token that reads back as itself; false for the
// kinds that have none (errors, the end).
bool print_token(RuntimeContext* rt, TextFile* out, Value token) {
    static const char* PUNCTUATION[] = {"[", "]", "{", "}",  "(",    ")",     ":",   "=",
                                        ",", ";", ".", "if", "else", "while", "mark"};
    static const char* OPERATORS[] = {"+", "-",  "*",  "/",  "==", "!=", "<",
                                      ">", "&&", "||", "^^", "&",  "|",  "^"};
    switch (token_kind(token)) {
        case TK_PUNCTUATION:
            text_file_write_text(out, PUNCTUATION[token_payload(token)]);
            break;
        case TK_OPERATOR:
            text_file_write_text(out, OPERATORS[token_payload(token)]);
            break;
        case TK_BOOLEAN:
            bool_write(rt, out, token_payload(token), 0, 0);
            break;
        case TK_ATOM:
            atom_write(rt, out, token_payload(token), 0, 0);
            break;
        case TK_NUMBER:
            number_write(rt, out, token, 0, PRINT_TWO_DIGITS);
            break;
        case TK_STRING:
        case TK_SUBST_STRING:
            string_write(rt, out, token, 0, PRINT_QUOTE);
            break;
        case TK_NAME:
            string_write(rt, out, token, 0, 0);
            break;
        default:
            return false;
    }
    text_file_write_line_end(out);
    return true;
}

// Reads every token, stepping back now and then; returns the tokens that
// have a printed form, after printing them to out.prd.
std::vector<Value> read_all(Session& s, Reader* reader, uint8_t steps, bool expand) {
    TextFile* out = nullptr;
    if (text_file_open_write(&out, scratch_directory(), "", "out", "prd") != RC_OK) std::abort();
    std::vector<Value> printed;
    char buffer[64];
    for (uint32_t count = 0; count < 200000; ++count) {
        Value token = reader_next(s.rt, reader);
        if (is_none(token) || is_eof(token)) break;
        if (steps && count % (steps + 1) == 0) {
            // Take the token back (it stays unreleased and comes again),
            // by one of two ways through the cursors.
            reader_mark(s.rt, reader);
            reader_unget(s.rt, reader);
            if (count & 1) {
                reader_rewind(s.rt, reader);
                reader_unget(s.rt, reader);
            }
            reader_commit(s.rt, reader);
            continue;
        }
        if (is_string(token))
            text_expand(s.rt, s.vars, string_view_of(s.rt, token), buffer, steps % 60);
        if (!expand && print_token(s.rt, out, token))
            printed.push_back(token);
        else
            token_release(s.rt, token);
    }
    if (text_file_close(out) != RC_OK) std::abort();
    return printed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    write_input(data + 1, size - 1, (data[0] & 0x84) == 0x84);
    Session s;
    // Expanded strings are new at every delivery; recording them keeps
    // ownership simple while tokens are taken back and replayed.
    bool expand = data[0] & 2, record = (data[0] & 1) || expand;
    Reader* reader = reader_open(s.rt, s.atoms, nullptr, s.vars, record, expand,
                                 scratch_directory(), "", "in", "prd");
    if (!reader) std::abort();
    std::vector<Value> printed = read_all(s, reader, uint8_t(data[0] >> 3), expand);
    // Nothing makes a read fail here, so the reader must not report one.
    if (reader_failure(s.rt, reader) != RC_OK) std::abort();
    reader_close(s.rt, reader);

    // The printed tokens read back as equal tokens, in the same order.
    Reader* again = reader_open(s.rt, s.atoms, nullptr, s.vars, false, false, scratch_directory(),
                                "", "out", "prd");
    if (!again) std::abort();
    for (Value expected : printed) {
        Value token = reader_next(s.rt, again);
        bool same = token_equal(s.rt, expected, token) ||
                    (is_string(expected) && is_string(token) &&
                     string_view_of(s.rt, expected) == string_view_of(s.rt, token));
        if (!same) std::abort();
        token_release(s.rt, token);
    }
    if (!is_eof(reader_next(s.rt, again))) std::abort();
    reader_close(s.rt, again);
    for (Value token : printed) token_release(s.rt, token);
    return 0;
}
