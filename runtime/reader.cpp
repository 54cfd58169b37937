// The reader: input, token history with cursors, delivery and expansion.
#include "runtime/reader.h"

#include <cassert>
#include <new>

#include "runtime/lexer.h"
#include "runtime/strings.h"
#include "runtime/tokens.h"

namespace {

bool usable(RuntimeContext* rt, const Reader* reader) {
    return rt_usable(rt) && reader;
}

// True when the top cursor stands behind the newest token of the history.
bool replay_pending(const MultiQueue* history) {
    const BiNode* at = reinterpret_cast<const BiNode*>(history->cursor_top->value);
    return at != history->last;
}

bool input_failed(const Reader* reader) {
    return input_failure(reader->input) != RC_OK;
}

// A newly scanned token, appended to the history. At the end of the input
// the end-of-input token already there is given again instead of growing
// the history. When the scan met a failed read, the token (a fragment, or
// the end-of-input token the lexer makes when reading stops) is dropped and
// the lexical-error token given instead; neither enters the history. (Tokens
// in the history may have been released by their takers, so the reader
// never looks into them.)
Value scan_new(RuntimeContext* rt, Reader* reader) {
    if (reader->end_token) return reader->end_token;
    Value token = lexer_scan(rt, reader);
    if (input_failed(reader)) {
        if (token) token_release(rt, token);
        return token_box(rt, TK_LEX_ERROR, 0);
    }
    if (!token) return 0;
    if (mq_append(rt, reader->history, token) != RC_OK) {
        token_release(rt, token);
        return 0;
    }
    if (is_eof(token)) reader->end_token = token;
    return token;
}

// The expansion of a string holding "%", as a new string token; the
// lexical-error token when the expansion or the new string fails.
Value expanded(RuntimeContext* rt, Reader* reader, Value token) {
    Value error = token_box(rt, TK_LEX_ERROR, 0);
    if (text_expand(rt, reader->variable_namespace, string_view_of(rt, token), reader->token_text,
                    TEXT_LIMIT) != RC_OK)
        return error;
    Value s = string_new(rt, reader->token_text);
    if (!s) return error;
    value_set_kind(rt, TK_STRING, s, false);
    if (!reader->record_literals) return s;
    value_set_type(rt, VT_STRING, s, false);
    if (ns_record_value(rt, reader->variable_namespace, s) == RC_OK) return s;
    string_free(rt, s);
    return error;
}

}  // namespace

Reader* reader_open(RuntimeContext* rt, SymbolTable* atom_table, Namespace* bound_namespace,
                    Namespace* variable_namespace, bool record_literals, bool expand_strings,
                    std::string_view directory, std::string_view subdirectory,
                    std::string_view base, std::string_view extension, ResultCode* failure) {
    ResultCode ignored;
    if (!failure) failure = &ignored;
    *failure = RC_NO_OBJECT;
    if (!rt_usable(rt) || !atom_table || !variable_namespace) return nullptr;
    Reader* reader = new (std::nothrow) Reader{};
    if (!reader) return nullptr;
    reader->history = mq_new(rt);
    if (reader->history)
        *failure = input_open(&reader->input, directory, subdirectory, base, extension);
    if (*failure != RC_OK) {
        reader_close(rt, reader);
        return nullptr;
    }
    reader->atom_table = atom_table;
    reader->bound_namespace = bound_namespace;
    reader->variable_namespace = variable_namespace;
    reader->line = 1;
    reader->record_literals = record_literals;
    reader->expand_strings = expand_strings;
    return reader;
}

ResultCode reader_close(RuntimeContext* rt, Reader* reader) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!reader) return RC_OK;
    ResultCode rc = input_close(reader->input);
    mq_destroy(rt, reader->history, nullptr);
    delete reader;
    return rc;
}

Value reader_next(RuntimeContext* rt, Reader* reader) {
    if (!usable(rt, reader)) return 0;
    // After a failed read nothing more of the input is delivered.
    if (input_failed(reader)) return token_box(rt, TK_LEX_ERROR, 0);
    Value token =
        replay_pending(reader->history) ? mq_take(rt, reader->history) : scan_new(rt, reader);
    assert(!is_eof(token) || !input_failed(reader));
    if (reader->expand_strings && is_subst_string(token)) return expanded(rt, reader, token);
    return token;
}

ResultCode reader_unget(RuntimeContext* rt, Reader* reader) {
    if (!usable(rt, reader)) return RC_NO_OBJECT;
    return mq_back(rt, reader->history);
}

ResultCode reader_mark(RuntimeContext* rt, Reader* reader) {
    if (!usable(rt, reader)) return RC_NO_OBJECT;
    return mq_push_cursor(rt, reader->history);
}

ResultCode reader_rewind(RuntimeContext* rt, Reader* reader) {
    if (!usable(rt, reader)) return RC_NO_OBJECT;
    return mq_restore(rt, reader->history);
}

ResultCode reader_commit(RuntimeContext* rt, Reader* reader) {
    if (!usable(rt, reader)) return RC_NO_OBJECT;
    return mq_pop_keep(rt, reader->history);
}

ResultCode reader_failure(RuntimeContext* rt, Reader* reader) {
    return usable(rt, reader) ? input_failure(reader->input) : RC_NO_OBJECT;
}

uint32_t reader_line(RuntimeContext* rt, Reader* reader) {
    return usable(rt, reader) ? reader->line : 0;
}

ScriptInput* reader_input(RuntimeContext* rt, Reader* reader) {
    return usable(rt, reader) ? reader->input : nullptr;
}

Namespace* reader_variables(RuntimeContext* rt, Reader* reader) {
    return usable(rt, reader) ? reader->variable_namespace : nullptr;
}
