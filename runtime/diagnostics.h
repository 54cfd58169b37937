// Diagnostics of the script data language: builders that format a message
// about a place in a script file ("base.ext(line)") and return it as a new
// string value the caller owns, tail messages ("TAIL ...") that continue
// another message, and the small catalogue of operation words used by the
// input-output messages. Needs strings, values, script_input and sys/paths.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/runtime_context.h"
#include "runtime/script_input.h"

// The operation numbers of the input-output messages.
enum DiagOperation : uint32_t {
    DIAG_OPENING = 1,
    DIAG_READING = 2,
    DIAG_WRITING = 3,
    DIAG_CLOSING = 4,
    DIAG_CREATING = 5,
    DIAG_DELETING = 6,
};

// A catalogue of operation words: words[n] is the word of operation n.
struct MessageCatalogue {
    const std::string_view* words;
    uint32_t count;
};

// The built-in catalogue: "opening", "reading", "writing", "closing",
// "creating", "deleting" for the numbers 1 to 6.
const MessageCatalogue* diag_builtin_messages();
// The word of `operation`; empty for a number the catalogue lacks. No
// catalogue means the built-in one.
std::string_view diag_operation_word(const MessageCatalogue* messages, uint32_t operation);

// Every builder returns a new string value, or 0 when the context is
// unusable, a required input or string value is absent, or memory runs out.
// Texts are inserted as they are.

// "A lexical error occurred on line %d while parsing '%s'." with the path
// joined from the four parts; `subdirectory` may be absent (empty).
Value diag_lexical(RuntimeContext* rt, std::string_view directory, Value subdirectory, Value base,
                   std::string_view extension, int32_t line);
// "%s.%s(%d): %s": the input's base name, extension and the line.
Value diag_message(RuntimeContext* rt, const ScriptInput* input, int32_t line,
                   std::string_view text);
// "...: '%s' expected when '%s' found"
Value diag_expected(RuntimeContext* rt, const ScriptInput* input, int32_t line,
                    std::string_view expected, std::string_view found);
// "...: %s when '%s' found"
Value diag_when_found(RuntimeContext* rt, const ScriptInput* input, int32_t line,
                      std::string_view text, std::string_view found);
// "...: Unbound environment variable '%s'" or "...: Unbound variable '%s'".
Value diag_unbound(RuntimeContext* rt, const ScriptInput* input, int32_t line, Value name,
                   bool environment);
// "...: %s '%s'" with the text of the string value `value`.
Value diag_with_value(RuntimeContext* rt, const ScriptInput* input, int32_t line,
                      std::string_view text, Value value);
// "...: Type mismatch in argument '%d' when calling '%s'", a line feed and
// "...: '%s' expected when '%s' found" with the names of the value types
// `expected` and `found` ("VOID" .. "LIST").
Value diag_type_mismatch(RuntimeContext* rt, const ScriptInput* input, int32_t line, Value function,
                         int32_t argument, uint32_t expected, uint32_t found);
// "...: '%s.%s' %s" with the object's name (a string value) and a member name.
Value diag_call(RuntimeContext* rt, const ScriptInput* input, int32_t line, Value object,
                std::string_view member, std::string_view text);
// "%s.%s(%d): "
Value diag_place(RuntimeContext* rt, const ScriptInput* input, int32_t line);
// "TAIL '%s.%s' %s"
Value diag_tail_call(RuntimeContext* rt, Value object, std::string_view member,
                     std::string_view text);
// "TAIL %s while %s %s": the error text, the operation's word, the object's
// text (a string value, or empty when absent). With a system error text,
// ". (%s.)" follows.
Value diag_tail_io(RuntimeContext* rt, std::string_view error, uint32_t operation, Value object,
                   const MessageCatalogue* messages, std::string_view system_error = {});
// "%s.%s(%d): %s while %s %s": the file's name (a string value), its
// extension, the line, the error text, the operation's word and the
// object's text. With a system error text, ". (%s.)" follows.
Value diag_io(RuntimeContext* rt, Value file, std::string_view extension, int32_t line,
              std::string_view error, uint32_t operation, Value object,
              const MessageCatalogue* messages, std::string_view system_error = {});

// True when the message's text is absent or empty or begins with "TAIL "
// (letter case ignored).
bool diag_is_tail(RuntimeContext* rt, Value message);
// "%s %s": the first message, one space, the tail without its first five characters.
Value diag_join(RuntimeContext* rt, Value first, Value tail);
