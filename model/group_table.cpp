// Reading and writing the group table of a map file.
#include "model/group_table.h"

#include <algorithm>
#include <cstring>

#include "model/fields.h"
#include "runtime/atoms.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/namespaces.h"
#include "runtime/printer.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/tokens.h"
#include "runtime/values.h"
#include "sys/text.h"
#include "sys/text_file.h"

namespace {

// A map-file row: #Name, the component's own columns, then the
// operating-system columns.
constexpr int COMPONENT_COLUMNS = 7;  // Subgroup .. Compress?
constexpr int OWN_COLUMNS = 1 + COMPONENT_COLUMNS;
constexpr int COLUMNS_MAX = OWN_COLUMNS + SYSTEM_COLUMNS_MAX;
constexpr const char* HEADERS[OWN_COLUMNS] = {"#Name", "Subgroup",     "Source",  "Destination",
                                              "Size",  "Instantiate?", "Append?", "Compress?"};

// Map files quote their strings and write numbers with at least two digits.
constexpr uint32_t MAP_FILE_FORMAT = PRINT_QUOTE | PRINT_TWO_DIGITS;

// `Compress?`: a boolean literal, or the name `never`, which reads as false.
bool take_compress(RuntimeContext* rt, Reader* reader, Value* out) {
    Value token = reader_next(rt, reader);
    if (is_boolean(token)) {
        *out = token_payload(token) == 1 ? 1 : 0;
        return true;
    }
    bool never = is_name(token) && text_equal_nocase(string_view_of(rt, token), "never");
    token_release(rt, token);
    *out = 0;
    return never;
}

enum RowResult { ROW_READ, NO_MORE_ROWS, ROW_FAILED };

// Reads one component row into *component.
RowResult component_row_read(RuntimeContext* rt, Reader* reader, int32_t os_code,
                             Value* component) {
    Value subgroup = reader_next(rt, reader);
    // No token at all means memory ran out, which ends no group.
    if (is_none(subgroup)) return ROW_FAILED;
    if (!is_string(subgroup)) return reader_unget(rt, reader) == RC_OK ? NO_MORE_ROWS : ROW_FAILED;
    subgroup = value_set_type(rt, VT_STRING, subgroup, false);
    Value source = 0, destination = 0, size = 0, instantiate = 0, append = 0, compress = 0;
    bool ok = field_take_string(rt, reader, &source) &&
              field_take_string(rt, reader, &destination) && field_take_number(rt, reader, &size) &&
              field_take_boolean(rt, reader, &instantiate) &&
              field_take_boolean(rt, reader, &append) && take_compress(rt, reader, &compress);
    SystemComponent* system = ok ? system_component_read(rt, reader, os_code) : nullptr;
    if (!system) {
        for (Value v : {subgroup, source, destination, size}) value_release(rt, v);
        return ROW_FAILED;
    }
    *component = component_create(rt, subgroup, source, destination, size, instantiate, append,
                                  compress, system);
    return *component ? ROW_READ : ROW_FAILED;
}

// Reads the rows of one group; false when a row fails.
bool group_rows_read(RuntimeContext* rt, Reader* reader, Value group, int32_t os_code) {
    for (;;) {
        Value component = 0;
        RowResult r = component_row_read(rt, reader, os_code, &component);
        if (r == NO_MORE_ROWS) return true;
        if (r == ROW_FAILED) return false;
        if (group_add_component(rt, reader_variables(rt, reader), group, component) != RC_OK) {
            component_destroy(rt, component);
            return false;
        }
    }
}

// Printed widths of a component's own columns (Subgroup .. Compress?).
void component_widths(RuntimeContext* rt, Value component, uint32_t flags, uint16_t* w) {
    Component* c = component_record(component);
    w[0] = string_width(rt, c->subgroup, flags);
    w[1] = string_width(rt, c->source, flags);
    w[2] = string_width(rt, c->destination, flags);
    w[3] = number_width(rt, c->size, flags);
    w[4] = bool_width(rt, c->instantiate, flags);
    w[5] = bool_width(rt, c->append, flags);
    w[6] = bool_width(rt, c->compress, flags);
}

ResultCode component_write(RuntimeContext* rt, TextFile* stream, Value component, const uint16_t* w,
                           uint32_t flags, int32_t os_code) {
    Component* c = component_record(component);
    ResultCode code = RC_OK;
    auto column = [&](auto write) {
        if (code == RC_OK) code = write();
        if (code == RC_OK) code = text_file_write_space(stream);
    };
    column([&] { return string_write(rt, stream, c->subgroup, w[0], flags); });
    column([&] { return string_write(rt, stream, c->source, w[1], flags); });
    column([&] { return string_write(rt, stream, c->destination, w[2], flags); });
    column([&] { return number_write(rt, stream, c->size, w[3], flags); });
    column([&] { return bool_write(rt, stream, c->instantiate, w[4], flags); });
    column([&] { return bool_write(rt, stream, c->append, w[5], flags); });
    column([&] { return bool_write(rt, stream, c->compress, w[6], flags); });
    if (code != RC_OK) return code;
    return system_component_write(rt, stream, c->system, w + COMPONENT_COLUMNS, flags, os_code);
}

// The column count of a map file for `os_code`.
int group_column_count(int32_t os_code) {
    return OWN_COLUMNS + system_component_column_count(os_code);
}

// The widths of the header texts.
void group_header_widths(uint16_t* widths, int32_t os_code) {
    for (int i = 0; i < OWN_COLUMNS; ++i) widths[i] = uint16_t(std::strlen(HEADERS[i]));
    system_component_header_widths(widths + OWN_COLUMNS, os_code);
}

// Raises `widths` to the printed widths of every group of the list.
void group_table_widths(RuntimeContext* rt, BiList* groups, uint16_t* widths, uint32_t flags,
                        int32_t os_code) {
    int columns = group_column_count(os_code);
    for (BiNode* g = groups ? groups->first : nullptr; g; g = g->next) {
        widths[0] =
            std::max<uint16_t>(widths[0], uint16_t(field_text(rt, group_name(g->value)).size()));
        for (BiNode* c = group_record(g->value)->components->first; c; c = c->next) {
            uint16_t row[COLUMNS_MAX];
            component_widths(rt, c->value, flags, row);
            system_component_widths(rt, component_system(c->value), row + COMPONENT_COLUMNS, flags,
                                    os_code);
            for (int i = 1; i < columns; ++i) widths[i] = std::max(widths[i], row[i - 1]);
        }
    }
}

// The header line, as a comment, and an empty line.
ResultCode group_header_write(TextFile* stream, const uint16_t* widths, int32_t os_code) {
    for (int i = 0; i < OWN_COLUMNS; ++i) {
        ResultCode code = text_file_write_padded(stream, HEADERS[i], widths[i]);
        if (code == RC_OK) code = text_file_write_space(stream);
        if (code != RC_OK) return code;
    }
    ResultCode code = system_component_header_write(stream, widths + OWN_COLUMNS, os_code);
    if (code == RC_OK) code = text_file_write_line_end(stream);
    if (code == RC_OK) code = text_file_write_line_end(stream);
    return code;
}

// One group's rows and the empty line after them.
ResultCode group_write(RuntimeContext* rt, TextFile* stream, Value group, const uint16_t* widths,
                       uint32_t flags, int32_t os_code) {
    Group* g = group_record(group);
    if (!g || !rt_usable(rt)) return RC_NO_OBJECT;
    bool first = true;
    for (BiNode* c = g->components->first; c; c = c->next) {
        std::string_view name = first ? field_text(rt, g->name) : std::string_view();
        first = false;
        ResultCode code = text_file_write_padded(stream, name, widths[0]);
        if (code == RC_OK) code = text_file_write_space(stream);
        if (code == RC_OK) code = component_write(rt, stream, c->value, widths + 1, flags, os_code);
        if (code == RC_OK) code = text_file_write_line_end(stream);
        if (code != RC_OK) return code;
    }
    return text_file_write_line_end(stream);
}

// About the bytes of the table written with `widths`, a little more rather
// than less: every row is as long as the header line, with CR LF ends.
size_t table_bytes(BiList* groups, const uint16_t* widths, int32_t os_code) {
    int columns = group_column_count(os_code);
    size_t line = 2;
    for (int i = 0; i < columns; ++i) line += widths[i] + 1u;
    size_t bytes = line + 2;
    for (BiNode* g = groups ? groups->first : nullptr; g; g = g->next) {
        for (BiNode* c = group_record(g->value)->components->first; c; c = c->next) bytes += line;
        bytes += 2;
    }
    return bytes;
}

}  // namespace

BiList* group_list_read(RuntimeContext* rt, Reader* reader, Value owner, int32_t os_code) {
    BiList* groups = bilist_new(rt, 0);
    if (!groups) return nullptr;
    // The name `never` of the Compress? column is entered before any row.
    if (!ns_intern_name(rt, reader_variables(rt, reader), "never")) {
        group_list_destroy(rt, groups);
        return nullptr;
    }
    for (;;) {
        Value token = reader_next(rt, reader);
        // No token at all means memory ran out: that is no end of the table.
        if (is_none(token)) break;
        if (is_eof(token)) {
            // The end of the table only counts when every read succeeded.
            if (reader_failure(rt, reader) == RC_OK) return groups;
            break;
        }
        Value group = 0;
        if (is_name(token)) {
            Value name = atom_intern(rt, reader->atom_table, string_view_of(rt, token));
            if (name) group = group_create(rt, name, 0, 0, owner);
        } else {
            token_release(rt, token);
        }
        if (!group || !group_rows_read(rt, reader, group, os_code) ||
            bilist_push_back(rt, groups, group) != RC_OK) {
            if (group) group_destroy(rt, group);
            break;
        }
    }
    group_list_destroy(rt, groups);
    return nullptr;
}

ResultCode group_table_write(RuntimeContext* rt, TextFile* stream, BiList* groups,
                             int32_t os_code) {
    uint16_t widths[COLUMNS_MAX];
    group_header_widths(widths, os_code);
    group_table_widths(rt, groups, widths, MAP_FILE_FORMAT, os_code);
    text_file_reserve(stream, table_bytes(groups, widths, os_code));
    ResultCode code = group_header_write(stream, widths, os_code);
    for (BiNode* g = groups ? groups->first : nullptr; code == RC_OK && g; g = g->next)
        code = group_write(rt, stream, g->value, widths, MAP_FILE_FORMAT, os_code);
    return code;
}
