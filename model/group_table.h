// The group table of a map file: reading groups and their component rows
// for the run's operating-system code, and writing them back aligned, with
// quoted strings and two-digit numbers.
#pragma once

#include "model/group.h"

struct BiList;
struct Reader;
struct TextFile;

// Reads a map file's groups into a new list in file order (empty when the
// file holds none); nullptr when a row does not match, when memory runs
// out, or when a read of the input failed (reader_failure then tells its
// code); nothing of the list survives.
BiList* group_list_read(RuntimeContext* rt, Reader* reader, Value owner, int32_t os_code);

// The whole table: widths, header and every group.
ResultCode group_table_write(RuntimeContext* rt, TextFile* stream, BiList* groups, int32_t os_code);
