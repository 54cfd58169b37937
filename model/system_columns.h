// The operating-system columns of a map-file row (SystemComponent: disks,
// program item, NetWare owner and attributes) and of a product row
// (SystemProduct: the volume label). Which columns a map file has depends
// on the run's operating-system code.
#pragma once

#include <cstdint>

#include "runtime/runtime_context.h"

struct Reader;
struct TextFile;

// The operating-system codes that -O sets. Map rows of NetWare end in its
// owner and attribute columns; those of Windows, Windows 95 and NT in the
// program-item columns.
constexpr int32_t OS_CODE_DOS = 22;
constexpr int32_t OS_CODE_NETWARE = 21;
constexpr int32_t OS_CODE_OS2 = 441;
constexpr int32_t OS_CODE_NT = 912;
constexpr int32_t OS_CODE_WINDOWS = 176;
constexpr int32_t OS_CODE_WIN95 = 615;

// The columns of every system; those the run's system does not have are
// absent (0), never written, and copy and compare as empty.
struct SystemComponent {
    Value start_disk;   // number
    Value total_disks;  // number
    Value icon;         // number
    Value group;        // string
    Value item;         // string
    Value command;      // string
    Value owner;        // string
    Value attributes;   // string
};

struct SystemProduct {
    Value volume;  // string
};

// Column widths of the operating-system columns: StartDisk, TotalDisks,
// then Icon, Group, Item, Command or Owner, Attributes.
constexpr int SYSTEM_COLUMNS_MAX = 6;

// Reads the trailing columns of a component row for `os_code`; nullptr on a
// token of the wrong kind (everything taken is released).
SystemComponent* system_component_read(RuntimeContext* rt, Reader* reader, int32_t os_code);
// The columns of a new row of `os_code`'s map files: no disks, and each
// column the system has 0 or an empty string; nullptr when memory runs out.
SystemComponent* system_component_blank(RuntimeContext* rt, int32_t os_code);
// A copy with copies of its numbers and strings; nullptr when any part
// cannot be made (nothing of the copy is left).
SystemComponent* system_component_copy(RuntimeContext* rt, const SystemComponent* record);
void system_component_destroy(RuntimeContext* rt, SystemComponent* record);
bool system_component_equal(RuntimeContext* rt, const SystemComponent* a, const SystemComponent* b);
uint32_t system_component_start_disk(RuntimeContext* rt, const SystemComponent* record);
uint32_t system_component_total_disks(RuntimeContext* rt, const SystemComponent* record);
// Replace the number and release the old one; RC_NO_OBJECT when memory runs out.
ResultCode system_component_set_start_disk(RuntimeContext* rt, SystemComponent* record,
                                           uint32_t disk);
ResultCode system_component_set_total_disks(RuntimeContext* rt, SystemComponent* record,
                                            uint32_t disks);

// The number of operating-system columns for `os_code`.
int system_component_column_count(int32_t os_code);
void system_component_header_widths(uint16_t* widths, int32_t os_code);
void system_component_widths(RuntimeContext* rt, const SystemComponent* record, uint16_t* widths,
                             uint32_t flags, int32_t os_code);
ResultCode system_component_header_write(TextFile* stream, const uint16_t* widths, int32_t os_code);
ResultCode system_component_write(RuntimeContext* rt, TextFile* stream,
                                  const SystemComponent* record, const uint16_t* widths,
                                  uint32_t flags, int32_t os_code);

// Takes ownership of `volume` (a string); nullptr when memory runs out
// (the volume is then released).
SystemProduct* system_product_create(RuntimeContext* rt, Value volume);
// A copy with a copy of the volume; nullptr when it cannot be made.
SystemProduct* system_product_copy(RuntimeContext* rt, const SystemProduct* record);
void system_product_destroy(RuntimeContext* rt, SystemProduct* record);
Value system_product_volume(const SystemProduct* record);
uint16_t system_product_width(RuntimeContext* rt, const SystemProduct* record, uint32_t flags);
ResultCode system_product_write(RuntimeContext* rt, TextFile* stream, const SystemProduct* record,
                                uint16_t width, uint32_t flags);
