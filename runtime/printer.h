// The printer: for every value type, the width it takes when printed and
// the writing of it to a text file padded to a column width, in the forms
// the reader reads back as the same values; and the generic dispatch by
// value type. Needs sys/text_file and the value kinds of the runtime.
#pragma once

#include <cstdint>

#include "runtime/runtime_context.h"
#include "sys/text_file.h"

// Print flags.
constexpr uint32_t PRINT_QUOTE = 1;       // strings between double quotes
constexpr uint32_t PRINT_TWO_DIGITS = 2;  // numbers below 10 with a leading "0"

// The most columns a composite value (a product, a signal) spreads over.
constexpr int PRINT_COLUMNS = 13;

// Installs the printing of GROUP or PRODUCT values. RC_NO_OBJECT for an
// unusable context or another type.
ResultCode value_register_printer(RuntimeContext* rt, uint32_t type, const ValuePrintOps& ops);

// Each width is the printed length (0 for an absent value or an unusable
// context; at most 65535). Each write prints the value (nothing when it is
// absent) and pads it with spaces to `width`: strings, booleans, atoms and
// lists after the value, numbers and dates before it. A narrower width adds
// no padding and cuts nothing. Writes return 0, the stream's code, or
// RC_NO_OBJECT for an unusable context.
uint16_t string_width(RuntimeContext* rt, Value s, uint32_t flags);
ResultCode string_write(RuntimeContext* rt, TextFile* stream, Value s, uint16_t width,
                        uint32_t flags);
uint16_t number_width(RuntimeContext* rt, Value n, uint32_t flags);
ResultCode number_write(RuntimeContext* rt, TextFile* stream, Value n, uint16_t width,
                        uint32_t flags);
// `b` is the boolean handle: 1 prints "true", anything else "false".
uint16_t bool_width(RuntimeContext* rt, Value b, uint32_t flags);
ResultCode bool_write(RuntimeContext* rt, TextFile* stream, Value b, uint16_t width,
                      uint32_t flags);
// "'" and the atom's text.
uint16_t atom_width(RuntimeContext* rt, Value atom, uint32_t flags);
ResultCode atom_write(RuntimeContext* rt, TextFile* stream, Value atom, uint16_t width,
                      uint32_t flags);
// The date's long text between double quotes.
uint16_t date_width(RuntimeContext* rt, Value d, uint32_t flags);
ResultCode date_write(RuntimeContext* rt, TextFile* stream, Value d, uint16_t width,
                      uint32_t flags);
// "[", the elements by value_write without padding separated by ",", "]".
uint16_t list_width(RuntimeContext* rt, Value list, uint32_t flags);
ResultCode list_write(RuntimeContext* rt, TextFile* stream, Value list, uint16_t width,
                      uint32_t flags);

// By value type: BOOLEAN, ATOM, NUMBER and VOLUMEMAP (its total, as a
// number), STRING, SIGNAL, REGISTRY (its key path, as a string), LIST,
// GROUP and PRODUCT through their registered printing; anything else as
// VOID. value_width clears PRINT_COLUMNS entries of `widths` (when given),
// fills the value's columns (a scalar's in widths[0]) and returns the whole
// width; value_write pads each column to `widths` (none: no padding).
uint16_t value_width(RuntimeContext* rt, Value v, uint16_t* widths, uint32_t flags);
ResultCode value_write(RuntimeContext* rt, TextFile* stream, Value v, const uint16_t* widths,
                       uint32_t flags);
