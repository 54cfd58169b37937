// The reader of the script data language: one open input file, the token
// history with its stack of cursors (take back, mark, rewind, commit), the
// line count, and the expansion of %name% references in delivered strings.
// The characters are turned into tokens by the lexer. Needs script_input,
// multi_queue, namespaces, atoms and tokens.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/multi_queue.h"
#include "runtime/namespaces.h"
#include "runtime/runtime_context.h"
#include "runtime/script_input.h"
#include "runtime/symbol_tables.h"

// Room for a token's text: 2048 characters, a terminator and spare bytes.
constexpr size_t TOKEN_TEXT_SIZE = 2052;

// text_expand's answer for a "%" that ends the text.
constexpr ResultCode RC_EXPAND_PERCENT_AT_END = ResultCode(3);

// One entry of a reader's index of the names it has met: the hash of the
// folded text and the interned name (0 for a free slot).
struct NameSlot {
    uint32_t hash;
    Value name;
};

struct Reader {
    ScriptInput* input;
    MultiQueue* history;            // the tokens delivered lately (all since a mark), oldest first
    SymbolTable* atom_table;        // quoted atoms are interned here
    Namespace* bound_namespace;     // definitions that make bound-name tokens; may be none
    Namespace* variable_namespace;  // other names, and the recorded literals
    uint32_t line;                  // 1 plus the line feeds consumed
    Value end_token;                // the end-of-input token once the input ended cleanly, else 0
    bool record_literals;
    bool expand_strings;
    char token_text[TOKEN_TEXT_SIZE];
    // The names met so far, open-addressed (a power of two of slots), so
    // that a name read again is found without walking the namespace's
    // buckets; the names themselves stay the namespace's.
    std::vector<NameSlot> name_slots;
    size_t name_count;
};

// Opens the file named by the four parts with line 1 and an empty history.
// nullptr when the file cannot be opened, an atom table or variable
// namespace is missing, or memory runs out (nothing is left allocated);
// *failure (may be null) then says why: the input's code (RC_FILE_NOT_FOUND missing,
// RC_PERMISSION_DENIED no permission, RC_UNABLE_TO_READ unreadable), else
// RC_NO_OBJECT.
Reader* reader_open(RuntimeContext* rt, SymbolTable* atom_table, Namespace* bound_namespace,
                    Namespace* variable_namespace, bool record_literals, bool expand_strings,
                    std::string_view directory, std::string_view subdirectory,
                    std::string_view base, std::string_view extension,
                    ResultCode* failure = nullptr);
// Closes the input and frees the history and the reader; the tokens stay
// with whoever took them.
ResultCode reader_close(RuntimeContext* rt, Reader* reader);

// The next token: a replay from the history when the top cursor stands
// behind its newest token, else a newly scanned one. The end-of-input token
// is given again on every call after the end. Once a read of the input has
// failed, every call gives the lexical-error token (replays too), never
// the end-of-input token. 0 only when the context is unusable or memory
// runs out.
Value reader_next(RuntimeContext* rt, Reader* reader);
// The top cursor goes one token back (not before the first), so that the
// next reader_next gives the same handle again.
ResultCode reader_unget(RuntimeContext* rt, Reader* reader);
// Pushes a cursor at the current position.
ResultCode reader_mark(RuntimeContext* rt, Reader* reader);
// The top cursor goes back to the position of the cursor below it; the mark stays.
ResultCode reader_rewind(RuntimeContext* rt, Reader* reader);
// The cursor below takes the top cursor's position and the top cursor goes.
ResultCode reader_commit(RuntimeContext* rt, Reader* reader);

// The code of the failed read of the reader's input (RC_UNABLE_TO_READ for an
// input/output error); RC_OK while no read has failed. RC_NO_OBJECT when the
// context is unusable or the reader is none.
ResultCode reader_failure(RuntimeContext* rt, Reader* reader);

uint32_t reader_line(RuntimeContext* rt, Reader* reader);
ScriptInput* reader_input(RuntimeContext* rt, Reader* reader);
Namespace* reader_variables(RuntimeContext* rt, Reader* reader);

// Copies `text` into `out` (room for `limit` characters and a terminator),
// replacing each %name% bound in `ns` or an ancestor by the bound value's
// text and each doubled "%" by one; unbound references, and a "%" with no
// closing one, stay as written. RC_OK; RC_EXPAND_PERCENT_AT_END for a "%" that
// ends the text; RC_TEXT_TOO_LONG when the output would exceed `limit`.
// `out` is terminated whatever the answer.
ResultCode text_expand(RuntimeContext* rt, Namespace* ns, std::string_view text, char* out,
                       size_t limit);
