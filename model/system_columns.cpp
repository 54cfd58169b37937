// System components and system products: the per-system columns.
#include "model/system_columns.h"

#include <new>

#include "model/fields.h"
#include "runtime/printer.h"
#include "runtime/strings.h"
#include "runtime/values.h"
#include "sys/text.h"
#include "sys/text_file.h"

namespace {

constexpr const char* DISK_HEADERS[] = {"StartDisk", "TotalDisks"};
constexpr const char* ITEM_HEADERS[] = {"Icon", "Group", "Item", "Command"};
constexpr const char* NETWARE_HEADERS[] = {"Owner", "Attributes"};
// The values a SystemComponent holds: every column of every system.
constexpr int SYSTEM_FIELDS = 8;

// Windows, Windows 95 and Windows NT have program items.
bool os_code_has_program_item(int32_t os_code) {
    return os_code == OS_CODE_WINDOWS || os_code == OS_CODE_WIN95 || os_code == OS_CODE_NT;
}

// The values of the columns `os_code` writes, in column order.
int column_values(const SystemComponent* r, int32_t os_code, Value* out) {
    int n = 0;
    out[n++] = r->start_disk;
    out[n++] = r->total_disks;
    if (os_code_has_program_item(os_code)) {
        out[n++] = r->icon;
        out[n++] = r->group;
        out[n++] = r->item;
        out[n++] = r->command;
    } else if (os_code == OS_CODE_NETWARE) {
        out[n++] = r->owner;
        out[n++] = r->attributes;
    }
    return n;
}

// The header texts of the columns `os_code` writes.
int column_headers(int32_t os_code, const char** out) {
    int n = 0;
    for (const char* h : DISK_HEADERS) out[n++] = h;
    if (os_code_has_program_item(os_code))
        for (const char* h : ITEM_HEADERS) out[n++] = h;
    else if (os_code == OS_CODE_NETWARE)
        for (const char* h : NETWARE_HEADERS) out[n++] = h;
    return n;
}

// StartDisk and TotalDisks, and Icon where the system has program items.
bool is_number_column(int column, int32_t os_code) {
    return column <= 1 || (column == 2 && os_code_has_program_item(os_code));
}

void release_all(RuntimeContext* rt, Value* values, int count) {
    for (int i = 0; i < count; ++i) value_release(rt, values[i]);
}

// Takes ownership of the values; nullptr when memory runs out (the values
// are then released).
SystemComponent* system_component_create(RuntimeContext* rt, Value start_disk, Value total_disks,
                                         Value icon, Value group, Value item, Value command,
                                         Value owner, Value attributes) {
    Value values[] = {start_disk, total_disks, icon, group, item, command, owner, attributes};
    if (!rt_usable(rt)) {
        release_all(rt, values, SYSTEM_FIELDS);
        return nullptr;
    }
    auto* made = new (std::nothrow)
        SystemComponent{start_disk, total_disks, icon, group, item, command, owner, attributes};
    if (!made) release_all(rt, values, SYSTEM_FIELDS);
    return made;
}

ResultCode set_number(RuntimeContext* rt, Value* field, uint32_t n) {
    // A number that already holds `n` stays: clearing the disks of a large
    // map then makes no values.
    if (value_is_real(*field) && !value_is_boxed(*field) && value_type(*field) == VT_NUMBER &&
        field_number_value(rt, *field) == n)
        return RC_OK;
    Value made = field_number(rt, n);
    if (!made) return RC_NO_OBJECT;
    value_release(rt, *field);
    *field = made;
    return RC_OK;
}

}  // namespace

SystemComponent* system_component_read(RuntimeContext* rt, Reader* reader, int32_t os_code) {
    // Columns a system does not have stay absent: a large map then holds
    // no value for them.
    Value v[SYSTEM_FIELDS] = {};
    bool ok = field_take_number(rt, reader, &v[0]) && field_take_number(rt, reader, &v[1]);
    if (ok && os_code_has_program_item(os_code)) {
        ok = field_take_number(rt, reader, &v[2]) && field_take_string(rt, reader, &v[3]) &&
             field_take_string(rt, reader, &v[4]) && field_take_string(rt, reader, &v[5]);
    }
    if (ok && os_code == OS_CODE_NETWARE)
        ok = field_take_string(rt, reader, &v[6]) && field_take_string(rt, reader, &v[7]);
    if (!ok) {
        release_all(rt, v, SYSTEM_FIELDS);
        return nullptr;
    }
    return system_component_create(rt, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
}

SystemComponent* system_component_blank(RuntimeContext* rt, int32_t os_code) {
    if (!rt_usable(rt)) return nullptr;
    // Columns a system does not have stay absent, as when a row is read.
    Value v[SYSTEM_FIELDS] = {};
    int made = 0, wanted = 2;
    v[0] = field_number(rt, 0);
    v[1] = field_number(rt, 0);
    if (os_code_has_program_item(os_code)) {
        v[2] = field_number(rt, 0);
        for (int i = 3; i <= 5; ++i) v[i] = field_string(rt, "");
        wanted += 4;
    }
    if (os_code == OS_CODE_NETWARE) {
        v[6] = field_string(rt, "");
        v[7] = field_string(rt, "");
        wanted += 2;
    }
    for (Value value : v) made += value ? 1 : 0;
    if (made != wanted) {
        release_all(rt, v, SYSTEM_FIELDS);
        return nullptr;
    }
    return system_component_create(rt, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
}

SystemComponent* system_component_copy(RuntimeContext* rt, const SystemComponent* r) {
    if (!r || !rt_usable(rt)) return nullptr;
    const Value fields[] = {r->start_disk, r->total_disks, r->icon,  r->group,
                            r->item,       r->command,     r->owner, r->attributes};
    Value copies[SYSTEM_FIELDS];
    bool complete = true;
    for (int i = 0; i < SYSTEM_FIELDS; ++i) {
        copies[i] = field_copy(rt, fields[i]);
        if (field_copy_failed(fields[i], copies[i])) complete = false;
    }
    // The copy is whole or nothing.
    if (!complete) {
        release_all(rt, copies, SYSTEM_FIELDS);
        return nullptr;
    }
    return system_component_create(rt, copies[0], copies[1], copies[2], copies[3], copies[4],
                                   copies[5], copies[6], copies[7]);
}

void system_component_destroy(RuntimeContext* rt, SystemComponent* r) {
    if (!r) return;
    Value values[] = {r->start_disk, r->total_disks, r->icon,  r->group,
                      r->item,       r->command,     r->owner, r->attributes};
    release_all(rt, values, SYSTEM_FIELDS);
    delete r;
}

bool system_component_equal(RuntimeContext* rt, const SystemComponent* a,
                            const SystemComponent* b) {
    if (a == b) return true;
    if (!a || !b) return false;
    const Value numbers_a[] = {a->start_disk, a->total_disks, a->icon};
    const Value numbers_b[] = {b->start_disk, b->total_disks, b->icon};
    for (int i = 0; i < 3; ++i)
        if (field_number_value(rt, numbers_a[i]) != field_number_value(rt, numbers_b[i]))
            return false;
    const Value texts_a[] = {a->group, a->item, a->command, a->owner, a->attributes};
    const Value texts_b[] = {b->group, b->item, b->command, b->owner, b->attributes};
    for (int i = 0; i < 5; ++i)
        if (!text_equal_nocase(field_text(rt, texts_a[i]), field_text(rt, texts_b[i])))
            return false;
    return true;
}

uint32_t system_component_start_disk(RuntimeContext* rt, const SystemComponent* r) {
    return r ? field_number_value(rt, r->start_disk) : 0;
}

uint32_t system_component_total_disks(RuntimeContext* rt, const SystemComponent* r) {
    return r ? field_number_value(rt, r->total_disks) : 0;
}

ResultCode system_component_set_start_disk(RuntimeContext* rt, SystemComponent* r, uint32_t d) {
    return r ? set_number(rt, &r->start_disk, d) : RC_NO_OBJECT;
}

ResultCode system_component_set_total_disks(RuntimeContext* rt, SystemComponent* r, uint32_t d) {
    return r ? set_number(rt, &r->total_disks, d) : RC_NO_OBJECT;
}

int system_component_column_count(int32_t os_code) {
    const char* headers[SYSTEM_COLUMNS_MAX];
    return column_headers(os_code, headers);
}

void system_component_header_widths(uint16_t* widths, int32_t os_code) {
    const char* headers[SYSTEM_COLUMNS_MAX];
    int n = column_headers(os_code, headers);
    for (int i = 0; i < n; ++i) widths[i] = uint16_t(std::string_view(headers[i]).size());
}

void system_component_widths(RuntimeContext* rt, const SystemComponent* r, uint16_t* widths,
                             uint32_t flags, int32_t os_code) {
    Value values[SYSTEM_COLUMNS_MAX];
    int n = column_values(r, os_code, values);
    for (int i = 0; i < n; ++i)
        widths[i] = is_number_column(i, os_code) ? number_width(rt, values[i], flags)
                                                 : string_width(rt, values[i], flags);
}

ResultCode system_component_header_write(TextFile* stream, const uint16_t* widths,
                                         int32_t os_code) {
    const char* headers[SYSTEM_COLUMNS_MAX];
    int n = column_headers(os_code, headers);
    for (int i = 0; i < n; ++i) {
        ResultCode code = text_file_write_padded(stream, headers[i], widths[i]);
        // The space after TotalDisks is always written; the others separate.
        if (code == RC_OK && (i < n - 1 || i == 1)) code = text_file_write_space(stream);
        if (code != RC_OK) return code;
    }
    return RC_OK;
}

ResultCode system_component_write(RuntimeContext* rt, TextFile* stream, const SystemComponent* r,
                                  const uint16_t* widths, uint32_t flags, int32_t os_code) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!r) return RC_OS_ERROR;
    Value values[SYSTEM_COLUMNS_MAX];
    int n = column_values(r, os_code, values);
    for (int i = 0; i < n; ++i) {
        ResultCode code = is_number_column(i, os_code)
                              ? number_write(rt, stream, values[i], widths[i], flags)
                              : string_write(rt, stream, values[i], widths[i], flags);
        if (code == RC_OK && (i < n - 1 || i == 1)) code = text_file_write_space(stream);
        if (code != RC_OK) return code;
    }
    return RC_OK;
}

SystemProduct* system_product_create(RuntimeContext* rt, Value volume) {
    if (!rt_usable(rt)) {
        value_release(rt, volume);
        return nullptr;
    }
    auto* made = new (std::nothrow) SystemProduct{volume};
    if (!made) value_release(rt, volume);
    return made;
}

SystemProduct* system_product_copy(RuntimeContext* rt, const SystemProduct* r) {
    if (!r || !rt_usable(rt)) return nullptr;
    Value volume = field_copy(rt, r->volume);
    if (value_is_real(r->volume) && !volume) return nullptr;
    return system_product_create(rt, volume);
}

void system_product_destroy(RuntimeContext* rt, SystemProduct* r) {
    if (!r) return;
    value_release(rt, r->volume);
    delete r;
}

Value system_product_volume(const SystemProduct* r) {
    return r ? r->volume : 0;
}

uint16_t system_product_width(RuntimeContext* rt, const SystemProduct* r, uint32_t flags) {
    return string_width(rt, system_product_volume(r), flags);
}

ResultCode system_product_write(RuntimeContext* rt, TextFile* stream, const SystemProduct* r,
                                uint16_t width, uint32_t flags) {
    return string_write(rt, stream, system_product_volume(r), width, flags);
}
