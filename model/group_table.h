// The group table of a map file: reading groups and their component rows
// for the run's operating-system code, and writing them back aligned, with
// quoted strings and two-digit numbers.
#pragma once

#include "model/group.h"

struct BiList;
struct Reader;
struct TextFile;

// Format flags of the table writers: quote strings, two-digit numbers.
constexpr uint32_t FORMAT_QUOTE_STRINGS = 1;
constexpr uint32_t FORMAT_TWO_DIGITS = 2;
constexpr uint32_t MAP_FILE_FORMAT = FORMAT_QUOTE_STRINGS | FORMAT_TWO_DIGITS;

// #Name, Subgroup .. Compress?, then the operating-system columns.
constexpr int GROUP_COLUMNS_MAX = 8 + 6;

// Reads a map file's groups into a new list in file order (empty when the
// file holds none); nullptr when a row does not match, when memory runs
// out, or when a read of the input failed (reader_failure then tells its
// code); nothing of the list survives.
BiList* group_list_read(RuntimeContext* rt, Reader* reader, Value owner, int32_t os_code);

// The column count of a map file for `os_code`.
int group_column_count(int32_t os_code);
void group_header_widths(uint16_t* widths, int32_t os_code);
// Raises `widths` to the printed widths of every group of the list.
void group_table_widths(RuntimeContext* rt, BiList* groups, uint16_t* widths, uint32_t flags,
                        int32_t os_code);
// The header line, as a comment, and an empty line.
ResultCode group_header_write(TextFile* stream, const uint16_t* widths, int32_t os_code);
// One group's rows and the empty line after them.
ResultCode group_write(RuntimeContext* rt, TextFile* stream, Value group, const uint16_t* widths,
                       uint32_t flags, int32_t os_code);
// The whole table: widths, header and every group.
ResultCode group_table_write(RuntimeContext* rt, TextFile* stream, BiList* groups,
                             int32_t os_code);
