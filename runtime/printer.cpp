// Widths and writers of every value type, and the dispatch by type.
#include "runtime/printer.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "runtime/booleans.h"
#include "runtime/dates.h"
#include "runtime/lists.h"
#include "runtime/numbers.h"
#include "runtime/registry_objects.h"
#include "runtime/signals.h"
#include "runtime/strings.h"

namespace {

// Room for a number's digits with a leading "0".
constexpr size_t DIGITS_SIZE = 16;
// Fields up to this many bytes, padding included, are joined on the stack.
constexpr size_t FIELD_JOIN_LIMIT = 256;

uint16_t clamp_width(size_t width) {
    return uint16_t(std::min<size_t>(width, UINT16_MAX));
}

ResultCode write_spaces(TextFile* stream, size_t count) {
    return text_file_write_padded(stream, "", count);
}

// Puts the parts in order at `at`, with `padding` spaces after them (or,
// for a right-aligned field, before them); the end of what was put.
char* join_field(char* at, std::initializer_list<std::string_view> parts, size_t padding,
                 bool right_aligned) {
    if (right_aligned) at = std::fill_n(at, padding, ' ');
    for (std::string_view part : parts) at = std::copy(part.begin(), part.end(), at);
    if (!right_aligned) at = std::fill_n(at, padding, ' ');
    return at;
}

// Writes the parts padded to `width`, handed over in one piece: joined on
// the stack, as a table's fields are short, else in a string of their own.
ResultCode write_field(TextFile* stream, std::initializer_list<std::string_view> parts,
                       uint16_t width, bool right_aligned) {
    size_t printed = 0;
    for (std::string_view part : parts) printed += part.size();
    size_t padding = width > printed ? width - printed : 0;
    char joined[FIELD_JOIN_LIMIT];
    if (printed + padding <= sizeof joined) {
        char* end = join_field(joined, parts, padding, right_aligned);
        return text_file_write_text(stream, std::string_view(joined, size_t(end - joined)));
    }
    std::string long_field(printed + padding, ' ');
    join_field(long_field.data(), parts, padding, right_aligned);
    return text_file_write_text(stream, long_field);
}

// The decimal text of a number (with the two-digit flag, at least two
// digits); empty for an absent number.
std::string_view number_digits(RuntimeContext* rt, Value n, uint32_t flags, char* buffer) {
    if (!value_is_real(n)) return {};
    size_t length = number_text(rt, n, buffer + 1, DIGITS_SIZE - 1, false, "", "");
    if ((flags & PRINT_TWO_DIGITS) && length == 1) {
        buffer[0] = '0';
        return {buffer, 2};
    }
    return {buffer + 1, length};
}

bool quoted(uint32_t flags) {
    return (flags & PRINT_QUOTE) != 0;
}

const ValuePrintOps& printer_of(RuntimeContext* rt, uint32_t type) {
    return rt->print_ops[type];
}

// A signal: the atom in column widths[0], one space, the payload in column
// widths[1]. signal_width fills both and returns the whole width.
uint16_t signal_width(RuntimeContext* rt, Value s, uint16_t* widths, uint32_t flags) {
    if (!rt_usable(rt) || !value_is_real(s) || !widths) return 0;
    uint16_t payload_columns[PRINT_COLUMNS];
    widths[0] = atom_width(rt, signal_atom(rt, s), flags);
    widths[1] = value_width(rt, signal_payload(rt, s), payload_columns, flags);
    return clamp_width(size_t(widths[0]) + 1 + widths[1]);
}

ResultCode signal_write(RuntimeContext* rt, TextFile* stream, Value s, const uint16_t* widths,
                        uint32_t flags) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    uint16_t atom_column = widths ? widths[0] : 0;
    uint16_t payload_columns[PRINT_COLUMNS] = {uint16_t(widths ? widths[1] : 0)};
    if (!value_is_real(s))
        return write_spaces(stream, size_t(atom_column) + 1 + payload_columns[0]);
    ResultCode rc = atom_write(rt, stream, signal_atom(rt, s), atom_column, flags);
    if (rc == RC_OK) rc = text_file_write_space(stream);
    if (rc == RC_OK) rc = value_write(rt, stream, signal_payload(rt, s), payload_columns, flags);
    return rc;
}

// Nothing, padded with spaces.
ResultCode void_write(RuntimeContext* rt, TextFile* stream, Value, uint16_t width, uint32_t) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    return write_spaces(stream, width);
}

}  // namespace

ResultCode value_register_printer(RuntimeContext* rt, uint32_t type, const ValuePrintOps& ops) {
    if (!rt_usable(rt) || (type != VT_GROUP && type != VT_PRODUCT)) return RC_NO_OBJECT;
    rt->print_ops[type] = ops;
    return RC_OK;
}

uint16_t string_width(RuntimeContext* rt, Value s, uint32_t flags) {
    if (!rt_usable(rt) || !value_is_real(s)) return 0;
    return clamp_width(string_view_of(rt, s).size() + (quoted(flags) ? 2 : 0));
}

ResultCode string_write(RuntimeContext* rt, TextFile* stream, Value s, uint16_t width,
                        uint32_t flags) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!value_is_real(s)) return write_field(stream, {}, width, false);
    std::string_view text = string_view_of(rt, s);
    if (quoted(flags)) return write_field(stream, {"\"", text, "\""}, width, false);
    return write_field(stream, {text}, width, false);
}

uint16_t number_width(RuntimeContext* rt, Value n, uint32_t flags) {
    if (!rt_usable(rt)) return 0;
    char buffer[DIGITS_SIZE];
    return clamp_width(number_digits(rt, n, flags, buffer).size());
}

ResultCode number_write(RuntimeContext* rt, TextFile* stream, Value n, uint16_t width,
                        uint32_t flags) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    char buffer[DIGITS_SIZE];
    return write_field(stream, {number_digits(rt, n, flags, buffer)}, width, true);
}

uint16_t bool_width(RuntimeContext* rt, Value b, uint32_t) {
    if (!rt_usable(rt)) return 0;
    return bool_is_true(b) ? 4 : 5;
}

ResultCode bool_write(RuntimeContext* rt, TextFile* stream, Value b, uint16_t width, uint32_t) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    return write_field(stream, {bool_text(b)}, width, false);
}

uint16_t atom_width(RuntimeContext* rt, Value atom, uint32_t) {
    if (!rt_usable(rt) || !value_is_real(atom)) return 0;
    return clamp_width(string_view_of(rt, atom).size() + 1);
}

ResultCode atom_write(RuntimeContext* rt, TextFile* stream, Value atom, uint16_t width, uint32_t) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!value_is_real(atom)) return write_field(stream, {}, width, false);
    return write_field(stream, {"'", string_view_of(rt, atom)}, width, false);
}

uint16_t date_width(RuntimeContext* rt, Value d, uint32_t) {
    char text[DATE_TEXT_SIZE];
    size_t length = date_text(rt, d, text, sizeof text, false);
    return length ? uint16_t(length + 2) : 0;
}

ResultCode date_write(RuntimeContext* rt, TextFile* stream, Value d, uint16_t width, uint32_t) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    char text[DATE_TEXT_SIZE];
    size_t length = date_text(rt, d, text, sizeof text, false);
    if (length == 0) return write_field(stream, {}, width, true);
    return write_field(stream, {"\"", std::string_view(text, length), "\""}, width, true);
}

uint16_t list_width(RuntimeContext* rt, Value list, uint32_t flags) {
    if (!rt_usable(rt) || !value_is_real(list)) return 0;
    uint16_t columns[PRINT_COLUMNS];
    size_t width = 2;
    for (Value cell = list; !list_is_empty(rt, cell); cell = list_tail(rt, cell))
        width += value_width(rt, list_head(rt, cell), columns, flags) + (cell != list ? 1 : 0);
    return clamp_width(width);
}

ResultCode list_write(RuntimeContext* rt, TextFile* stream, Value list, uint16_t width,
                      uint32_t flags) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!value_is_real(list)) return write_field(stream, {}, width, false);
    ResultCode rc = text_file_write_char(stream, '[');
    for (Value cell = list; rc == RC_OK && !list_is_empty(rt, cell); cell = list_tail(rt, cell)) {
        if (cell != list) rc = text_file_write_char(stream, ',');
        if (rc == RC_OK) rc = value_write(rt, stream, list_head(rt, cell), nullptr, flags);
    }
    if (rc == RC_OK) rc = text_file_write_char(stream, ']');
    if (rc != RC_OK) return rc;
    size_t printed = list_width(rt, list, flags);
    return write_spaces(stream, width > printed ? width - printed : 0);
}

uint16_t value_width(RuntimeContext* rt, Value v, uint16_t* widths, uint32_t flags) {
    uint16_t own[PRINT_COLUMNS];
    if (!widths) widths = own;
    std::fill(widths, widths + PRINT_COLUMNS, uint16_t(0));
    if (!rt_usable(rt)) return 0;
    uint32_t type = value_type(v);
    Value u = value_unbox(v);
    uint16_t width = 0;
    switch (type) {
        case VT_BOOLEAN:
            width = bool_width(rt, u, flags);
            break;
        case VT_ATOM:
            width = atom_width(rt, u, flags);
            break;
        case VT_NUMBER:
        case VT_VOLUMEMAP:
            width = number_width(rt, u, flags);
            break;
        case VT_STRING:
            width = string_width(rt, u, flags);
            break;
        case VT_REGISTRY:
            width = string_width(rt, registry_key_path(rt, u), flags);
            break;
        case VT_LIST:
            width = list_width(rt, u, flags);
            break;
        case VT_SIGNAL:
            return signal_width(rt, u, widths, flags);
        case VT_GROUP:
        case VT_PRODUCT:
            if (printer_of(rt, type).width) return printer_of(rt, type).width(rt, u, widths, flags);
            break;
        default:
            break;
    }
    widths[0] = width;
    return width;
}

ResultCode value_write(RuntimeContext* rt, TextFile* stream, Value v, const uint16_t* widths,
                       uint32_t flags) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    static constexpr uint16_t NO_PADDING[PRINT_COLUMNS] = {};
    if (!widths) widths = NO_PADDING;
    uint32_t type = value_type(v);
    Value u = value_unbox(v);
    switch (type) {
        case VT_BOOLEAN:
            return bool_write(rt, stream, u, widths[0], flags);
        case VT_ATOM:
            return atom_write(rt, stream, u, widths[0], flags);
        case VT_NUMBER:
        case VT_VOLUMEMAP:
            return number_write(rt, stream, u, widths[0], flags);
        case VT_STRING:
            return string_write(rt, stream, u, widths[0], flags);
        case VT_REGISTRY:
            return string_write(rt, stream, registry_key_path(rt, u), widths[0], flags);
        case VT_LIST:
            return list_write(rt, stream, u, widths[0], flags);
        case VT_SIGNAL:
            return signal_write(rt, stream, u, widths, flags);
        case VT_GROUP:
        case VT_PRODUCT:
            if (printer_of(rt, type).write)
                return printer_of(rt, type).write(rt, stream, u, widths, flags);
            break;
        default:
            break;
    }
    return void_write(rt, stream, v, widths[0], flags);
}
