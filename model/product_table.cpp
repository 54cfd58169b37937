// Reading and writing the product table.
#include "model/product_table.h"

#include <algorithm>
#include <cstring>

#include "model/fields.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/printer.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/tokens.h"
#include "runtime/values.h"
#include "sys/text.h"
#include "sys/text_file.h"

namespace {

constexpr int COLUMNS = 13;
constexpr size_t EXPAND_LIMIT = 1024;
constexpr const char* HEADERS[COLUMNS] = {
    "####", "Product",  "Parent",    "Filename", "Version",     "Interface Label", "Location",
    "Size", "Visible?", "Selected?", "Open?",    "Description", "Volume"};

// A display flag: a boolean literal, or a string whose expansion is "true"
// or "false" (letters folded).
bool take_flag(RuntimeContext* rt, Reader* reader, Value* out) {
    Value token = reader_next(rt, reader);
    if (is_boolean(token)) {
        *out = token_payload(token) == 1 ? 1 : 0;
        return true;
    }
    bool ok = false;
    if (is_string(token)) {
        char expanded[EXPAND_LIMIT + 1];
        if (text_expand(rt, reader_variables(rt, reader), string_view_of(rt, token), expanded,
                        EXPAND_LIMIT) == RC_OK) {
            if (text_equal_nocase(expanded, "true"))
                *out = 1, ok = true;
            else if (text_equal_nocase(expanded, "false"))
                *out = 0, ok = true;
        }
    }
    token_release(rt, token);
    return ok;
}

// The description as the product keeps it: %-expanded, or as read when the
// expansion fails (a final single "%", or a result beyond 1024 characters).
Value expand_description(RuntimeContext* rt, Reader* reader, Value description) {
    char expanded[EXPAND_LIMIT + 1];
    if (text_expand(rt, reader_variables(rt, reader), field_text(rt, description), expanded,
                    EXPAND_LIMIT) != RC_OK)
        return description;
    Value made = field_string(rt, expanded);
    if (!made) return description;
    value_release(rt, description);
    return made;
}

uint16_t digits(RuntimeContext* rt, Value n) {
    return number_width(rt, n, 0);
}
uint16_t atom_text_width(RuntimeContext* rt, Value atom) {
    return uint16_t(field_text(rt, atom).size());
}

// Widths of a product's thirteen fields, in column order.
void row_widths(RuntimeContext* rt, Value product, bool blank_locations, uint16_t* w) {
    Product* p = product_record(product);
    w[0] = digits(rt, p->number);
    w[1] = atom_text_width(rt, p->name);
    w[2] = atom_text_width(rt, p->parent);
    w[3] = string_width(rt, p->filename, PRINT_QUOTE);
    w[4] = string_width(rt, p->version, PRINT_QUOTE);
    w[5] = string_width(rt, p->interface_label, PRINT_QUOTE);
    w[6] = blank_locations ? 2 : string_width(rt, p->location, PRINT_QUOTE);
    w[7] = digits(rt, p->size);
    w[8] = bool_width(rt, product_visible(product), 0);
    w[9] = bool_width(rt, product_selected(product), 0);
    w[10] = bool_width(rt, product_open(product), 0);
    w[11] = string_width(rt, p->description, PRINT_QUOTE);
    w[12] = system_product_width(rt, p->volume, PRINT_QUOTE);
}

ResultCode write_atom(TextFile* stream, RuntimeContext* rt, Value atom, uint16_t width) {
    return text_file_write_padded(stream, field_text(rt, atom), width);
}

ResultCode write_row(RuntimeContext* rt, TextFile* stream, Value product, bool blank_locations,
                     const uint16_t* w) {
    Product* p = product_record(product);
    // Columns are written one after the other; the first failure ends the row.
    ResultCode code = number_write(rt, stream, p->number, w[0], 0);
    auto next = [&](auto write) {
        if (code == RC_OK) code = text_file_write_space(stream);
        if (code == RC_OK) code = write();
    };
    next([&] { return write_atom(stream, rt, p->name, w[1]); });
    next([&] { return write_atom(stream, rt, p->parent, w[2]); });
    next([&] { return string_write(rt, stream, p->filename, w[3], PRINT_QUOTE); });
    next([&] { return string_write(rt, stream, p->version, w[4], PRINT_QUOTE); });
    next([&] { return string_write(rt, stream, p->interface_label, w[5], PRINT_QUOTE); });
    next([&] {
        // A blank location is written as the empty quoted string.
        return blank_locations ? text_file_write_padded(stream, "\"\"", w[6])
                               : string_write(rt, stream, p->location, w[6], PRINT_QUOTE);
    });
    next([&] { return number_write(rt, stream, p->size, w[7], 0); });
    next([&] { return bool_write(rt, stream, product_visible(product), w[8], 0); });
    next([&] { return bool_write(rt, stream, product_selected(product), w[9], 0); });
    next([&] { return bool_write(rt, stream, product_open(product), w[10], 0); });
    next([&] { return string_write(rt, stream, p->description, w[11], PRINT_QUOTE); });
    next([&] { return system_product_write(rt, stream, p->volume, w[12], PRINT_QUOTE); });
    return code;
}

// Reads one row; the product, or 0 when a column does not match (every
// value taken from the row has then been released).
Value product_row_read(RuntimeContext* rt, Reader* reader) {
    Value number = 0, name = 0, parent = 0, filename = 0, version = 0, label = 0, location = 0;
    Value size = 0, visible = 0, selected = 0, open = 0, description = 0, volume = 0;
    bool ok = field_take_number(rt, reader, &number) && field_take_atom(rt, reader, &name) &&
              field_take_atom(rt, reader, &parent) && field_take_string(rt, reader, &filename) &&
              field_take_string(rt, reader, &version) && field_take_string(rt, reader, &label) &&
              field_take_string(rt, reader, &location) && field_take_number(rt, reader, &size) &&
              take_flag(rt, reader, &visible) && take_flag(rt, reader, &selected) &&
              take_flag(rt, reader, &open) && field_take_string(rt, reader, &description) &&
              field_take_string(rt, reader, &volume);
    if (!ok) {
        for (Value v : {number, filename, version, label, location, size, description, volume})
            value_release(rt, v);
        return 0;
    }
    description = expand_description(rt, reader, description);
    return product_create(rt, name, number, parent, filename, version, label, location, size,
                          visible, selected, open, description, volume);
}

}  // namespace

BiList* product_list_read(RuntimeContext* rt, Reader* reader) {
    BiList* list = bilist_new(rt, 0);
    if (!list) return nullptr;
    for (;;) {
        Value token = reader_next(rt, reader);
        // No token at all means memory ran out: that is no end of the table.
        if (is_none(token)) break;
        if (is_eof(token)) {
            // The end of the table only counts when every read succeeded.
            if (reader_failure(rt, reader) == RC_OK) return list;
            break;
        }
        Value product = 0;
        if (reader_unget(rt, reader) == RC_OK) product = product_row_read(rt, reader);
        if (!product) break;
        if (bilist_push_back(rt, list, product) != RC_OK) {
            product_destroy(rt, product);
            break;
        }
    }
    product_list_destroy(rt, list);
    return nullptr;
}

void product_list_destroy(RuntimeContext* rt, BiList* list) {
    if (list) bilist_destroy(rt, list, product_destroy);
}

ResultCode product_table_write(RuntimeContext* rt, TextFile* stream, BiList* list,
                               bool blank_locations) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!stream || !list) return RC_OS_ERROR;
    uint16_t widths[COLUMNS];
    for (int i = 0; i < COLUMNS; ++i) widths[i] = uint16_t(std::strlen(HEADERS[i]));
    for (BiNode* n = list->first; n; n = n->next) {
        uint16_t row[COLUMNS];
        row_widths(rt, n->value, blank_locations, row);
        for (int i = 0; i < COLUMNS; ++i) widths[i] = std::max(widths[i], row[i]);
    }
    for (int i = 0; i < COLUMNS; ++i) {
        ResultCode code = text_file_write_padded(stream, HEADERS[i], widths[i]);
        if (code == RC_OK && i < COLUMNS - 1) code = text_file_write_space(stream);
        if (code != RC_OK) return code;
    }
    for (BiNode* n = list->first; n; n = n->next) {
        ResultCode code = text_file_write_line_end(stream);
        if (code == RC_OK) code = write_row(rt, stream, n->value, blank_locations, widths);
        if (code != RC_OK) return code;
    }
    return text_file_write_line_end(stream);
}
