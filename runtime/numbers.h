// Number values: a record of one unsigned 32-bit integer whose arithmetic
// never wraps (a result outside 0 to 4294967295 gives no value), and its
// decimal text with optional Kb/Mb scaling. Needs runtime_context and the
// size parser of sys/text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/runtime_context.h"

// The text shown where a number is asked for and missing.
constexpr const char* NUMBER_PLACEHOLDER = "%NMVD%";

// A new number; 0 when memory runs out.
Value number_new(RuntimeContext* rt, uint32_t n);
// Reads a size (digits, optional K or M, spaces around); 0 when the text is
// not one or the value exceeds 4294967295.
Value number_parse(RuntimeContext* rt, std::string_view text);
Value number_copy(RuntimeContext* rt, Value n);
ResultCode number_free(RuntimeContext* rt, Value n);
// The integer (0 for an absent number).
uint32_t number_value(RuntimeContext* rt, Value n);

// Each returns a new number, or 0 when an operand is absent, the exact
// result leaves the unsigned 32-bit range, or the divisor is 0.
Value number_add(RuntimeContext* rt, Value a, Value b);
Value number_sub(RuntimeContext* rt, Value a, Value b);
Value number_mul(RuntimeContext* rt, Value a, Value b);
Value number_div(RuntimeContext* rt, Value a, Value b);

// In place; at 4294967295 (inc) or 0 (dec) the value stays as it is.
ResultCode number_inc(RuntimeContext* rt, Value n);
ResultCode number_dec(RuntimeContext* rt, Value n);

bool number_is_zero(RuntimeContext* rt, Value n);
// Same handle, or equal integers.
bool number_equal(RuntimeContext* rt, Value a, Value b);
// Unsigned order; false for the same handle or an absent operand.
bool number_less(RuntimeContext* rt, Value a, Value b);
bool number_greater(RuntimeContext* rt, Value a, Value b);

// Writes the integer in decimal into `buffer` (at most `capacity` bytes
// with the final NUL) and returns the length; 0 when it does not fit or the
// context is unusable. With `scaled`, a value above 16777216 is shifted
// right by 20 bits and followed by `mega_suffix`, a value from 16385 to
// 16777216 by 10 bits and followed by `kilo_suffix`. An absent number
// writes "%NMVD%".
size_t number_text(RuntimeContext* rt, Value n, char* buffer, size_t capacity, bool scaled,
                   std::string_view mega_suffix, std::string_view kilo_suffix);
// The same text as a new string.
Value number_string(RuntimeContext* rt, Value n, bool scaled, std::string_view mega_suffix,
                    std::string_view kilo_suffix);
