// Diagnostic message builders.
#include "runtime/diagnostics.h"

#include <initializer_list>
#include <string>

#include "runtime/strings.h"
#include "runtime/values.h"
#include "sys/paths.h"
#include "sys/text.h"

namespace {

constexpr std::string_view OPERATION_WORDS[] = {"",        "opening",  "reading", "writing",
                                                "closing", "creating", "deleting"};
constexpr MessageCatalogue BUILTIN_MESSAGES{OPERATION_WORDS, 7};

constexpr std::string_view TAIL_PREFIX = "TAIL ";

// A new string of the parts joined; 0 when the context is unusable or
// memory runs out.
Value message_of(RuntimeContext* rt, std::initializer_list<std::string_view> parts) {
    if (!rt_usable(rt)) return 0;
    std::string text;
    for (std::string_view part : parts) text.append(part);
    return string_new(rt, text);
}

// "base.ext(line)" of an input.
std::string place_of(const ScriptInput* input, int32_t line) {
    return input->parts.base + "." + input->parts.extension + "(" + std::to_string(line) + ")";
}

std::string type_name(RuntimeContext* rt, uint32_t type) {
    char name[16];
    // The shared box of a type carries its code, so it can be named.
    Value box = value_set_type(rt, type, 0, true);
    return std::string(name, value_type_name(rt, box, name, sizeof name));
}

// "%s while %s %s" and the optional ". (%s.)".
std::string io_text(RuntimeContext* rt, std::string_view error, uint32_t operation, Value object,
                    const MessageCatalogue* messages, std::string_view system_error) {
    std::string text = std::string(error) + " while " +
                       std::string(diag_operation_word(messages, operation)) + " " +
                       std::string(string_view_of(rt, object));
    if (!system_error.empty()) text += ". (" + std::string(system_error) + ".)";
    return text;
}

}  // namespace

const MessageCatalogue* diag_builtin_messages() {
    return &BUILTIN_MESSAGES;
}

std::string_view diag_operation_word(const MessageCatalogue* messages, uint32_t operation) {
    if (!messages) messages = &BUILTIN_MESSAGES;
    if (operation >= messages->count) return {};
    return messages->words[operation];
}

Value diag_lexical(RuntimeContext* rt, std::string_view directory, Value subdirectory, Value base,
                   std::string_view extension, int32_t line) {
    if (!value_is_real(base)) return 0;
    std::string path =
        path_join(directory, string_view_of(rt, subdirectory), string_view_of(rt, base), extension);
    return message_of(rt, {"A lexical error occurred on line ", std::to_string(line),
                           " while parsing '", path, "'."});
}

Value diag_message(RuntimeContext* rt, const ScriptInput* input, int32_t line,
                   std::string_view text) {
    if (!input) return 0;
    return message_of(rt, {place_of(input, line), ": ", text});
}

Value diag_expected(RuntimeContext* rt, const ScriptInput* input, int32_t line,
                    std::string_view expected, std::string_view found) {
    if (!input) return 0;
    return message_of(
        rt, {place_of(input, line), ": '", expected, "' expected when '", found, "' found"});
}

Value diag_when_found(RuntimeContext* rt, const ScriptInput* input, int32_t line,
                      std::string_view text, std::string_view found) {
    if (!input) return 0;
    return message_of(rt, {place_of(input, line), ": ", text, " when '", found, "' found"});
}

Value diag_unbound(RuntimeContext* rt, const ScriptInput* input, int32_t line, Value name,
                   bool environment) {
    if (!input || !value_is_real(name)) return 0;
    std::string_view what =
        environment ? ": Unbound environment variable '" : ": Unbound variable '";
    return message_of(rt, {place_of(input, line), what, string_view_of(rt, name), "'"});
}

Value diag_with_value(RuntimeContext* rt, const ScriptInput* input, int32_t line,
                      std::string_view text, Value value) {
    if (!input || !value_is_real(value)) return 0;
    return message_of(rt,
                      {place_of(input, line), ": ", text, " '", string_view_of(rt, value), "'"});
}

Value diag_type_mismatch(RuntimeContext* rt, const ScriptInput* input, int32_t line, Value function,
                         int32_t argument, uint32_t expected, uint32_t found) {
    if (!input || !value_is_real(function) || !rt_usable(rt)) return 0;
    std::string place = place_of(input, line);
    return message_of(
        rt, {place, ": Type mismatch in argument '", std::to_string(argument), "' when calling '",
             string_view_of(rt, function), "'\n", place, ": '", type_name(rt, expected),
             "' expected when '", type_name(rt, found), "' found"});
}

Value diag_call(RuntimeContext* rt, const ScriptInput* input, int32_t line, Value object,
                std::string_view member, std::string_view text) {
    if (!input || !value_is_real(object)) return 0;
    return message_of(
        rt, {place_of(input, line), ": '", string_view_of(rt, object), ".", member, "' ", text});
}

Value diag_place(RuntimeContext* rt, const ScriptInput* input, int32_t line) {
    if (!input) return 0;
    return message_of(rt, {place_of(input, line), ": "});
}

Value diag_tail_call(RuntimeContext* rt, Value object, std::string_view member,
                     std::string_view text) {
    if (!value_is_real(object)) return 0;
    return message_of(rt, {TAIL_PREFIX, "'", string_view_of(rt, object), ".", member, "' ", text});
}

Value diag_tail_io(RuntimeContext* rt, std::string_view error, uint32_t operation, Value object,
                   const MessageCatalogue* messages, std::string_view system_error) {
    if (!rt_usable(rt)) return 0;
    return message_of(rt,
                      {TAIL_PREFIX, io_text(rt, error, operation, object, messages, system_error)});
}

Value diag_io(RuntimeContext* rt, Value file, std::string_view extension, int32_t line,
              std::string_view error, uint32_t operation, Value object,
              const MessageCatalogue* messages, std::string_view system_error) {
    if (!rt_usable(rt) || !value_is_real(file)) return 0;
    return message_of(rt, {string_view_of(rt, file), ".", extension, "(", std::to_string(line),
                           "): ", io_text(rt, error, operation, object, messages, system_error)});
}

bool diag_is_tail(RuntimeContext* rt, Value message) {
    std::string_view text = string_view_of(rt, message);
    if (text.empty()) return true;
    return text_equal_nocase(text.substr(0, TAIL_PREFIX.size()), TAIL_PREFIX);
}

Value diag_join(RuntimeContext* rt, Value first, Value tail) {
    if (!value_is_real(first) || !value_is_real(tail)) return 0;
    std::string_view rest = string_view_of(rt, tail);
    rest.remove_prefix(std::min(rest.size(), TAIL_PREFIX.size()));
    return message_of(rt, {string_view_of(rt, first), " ", rest});
}
