// String values: a record of two owned text blocks (`text`, and `second`,
// which only strings made elsewhere carry), with case-insensitive
// comparison, hashing, version comparison and replacement. Needs the value
// blocks of runtime_context and the text helpers of sys/text.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/runtime_context.h"

// The record behind a STRING handle.
struct StringRecord {
    Value text;    // NUL-terminated text block, owned
    Value second;  // a second text block, owned, or 0
    // The length of `text`, so that a view of a string never measures it;
    // kept by every operation that changes the text.
    uint32_t length;
};

// The longest text a string can hold (its block must stay below 65536 bytes).
constexpr size_t STRING_TEXT_LIMIT = 65527;
// The text shown where a string is asked for and missing.
constexpr const char* STRING_PLACEHOLDER = "%SGVD%";

// A new string holding a copy of `text`; 0 when memory runs out or the text
// is too long (nothing is left allocated).
Value string_new(RuntimeContext* rt, std::string_view text);
// Lends the text; nullptr for an absent string.
const char* string_text(RuntimeContext* rt, Value s);
// The text to show for `s`: its text, or "%SGVD%" when it is absent.
const char* string_shown_text(RuntimeContext* rt, Value s);
// The text as a view (empty for an absent string); lent like string_text.
std::string_view string_view_of(RuntimeContext* rt, Value s);
// Frees the text, `second` and the record.
ResultCode string_free(RuntimeContext* rt, Value s);
uint16_t string_length(RuntimeContext* rt, Value s);
// A new string with a copy of the text; 0 for an absent string.
Value string_copy(RuntimeContext* rt, Value s);

// Replaces every occurrence of `find` (case-insensitive, left to right, no
// overlap) with `replacement` into a new string `*out`. A missing `find`
// text gives a copy. RC_TEXT_TOO_LONG when the result would exceed 2048
// characters, RC_NO_OBJECT when memory runs out or an argument is absent;
// `*out` is untouched on failure.
ResultCode string_replace(RuntimeContext* rt, Value s, Value find, Value replacement, Value* out);

// Same handle, or equal texts with A to Z folded; false when either is absent.
bool string_equal(RuntimeContext* rt, Value a, Value b);
// Same handle, or `b`'s text occurs in `a`'s (folded; empty `b` everywhere).
bool string_contains(RuntimeContext* rt, Value a, Value b);
// Strict byte order of the folded texts; false for the same handle or an absent one.
bool string_less(RuntimeContext* rt, Value a, Value b);
bool string_greater(RuntimeContext* rt, Value a, Value b);
// True when the text exists and is empty.
bool string_is_empty(RuntimeContext* rt, Value s);

// Compare runs of decimal fields separated by "." or "," over at most `n`
// fields; false when either string is absent.
bool string_version_less(RuntimeContext* rt, Value a, Value b, uint32_t n);
bool string_version_greater(RuntimeContext* rt, Value a, Value b, uint32_t n);
bool string_version_equal(RuntimeContext* rt, Value a, Value b, uint32_t n);

// Sum of the folded bytes, each shifted left by its position mod 32, modulo
// `size`; 0 for an absent string or a size of 0.
uint32_t string_hash(RuntimeContext* rt, Value s, uint32_t size);
// The same hash over a plain text.
uint32_t text_hash(std::string_view text, uint32_t size);

// In place: every "/" becomes "\" and trailing spaces, tabs and line feeds
// are cut.
ResultCode string_trim_path(RuntimeContext* rt, Value s);
