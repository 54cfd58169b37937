// Date values: a calendar time in seconds as the C library counts it, made
// for now or parsed from "%m/%d/%y %I:%M:%S %p" (local time), and written in
// that form or the sortable "%Y.%m.%d.%H.%M.%S". Formatting and parsing use
// the C locale whatever the process locale is. Needs runtime_context.
#pragma once

#include <cstddef>
#include <ctime>
#include <string_view>

#include "runtime/runtime_context.h"

struct DateRecord {
    time_t seconds;
};

// Room for the longest date text (21 characters) and its NUL.
constexpr size_t DATE_TEXT_SIZE = 22;

Value date_now(RuntimeContext* rt);
// 0 when the text is not a whole date in the long form or memory runs out.
Value date_parse(RuntimeContext* rt, std::string_view text);
Value date_copy(RuntimeContext* rt, Value d);
ResultCode date_free(RuntimeContext* rt, Value d);
time_t date_seconds(RuntimeContext* rt, Value d);
// Writes the date's text into `buffer` of `capacity` bytes (never past it)
// and returns its length; 0 for an absent date, an unusable context, or a
// text that does not fit.
size_t date_text(RuntimeContext* rt, Value d, char* buffer, size_t capacity, bool sortable);
