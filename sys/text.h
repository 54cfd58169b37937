// Small text helpers shared by every layer: ASCII-only case folding (only A
// to Z fold), case-insensitive comparison and search, and the reading of
// sizes and digit strings given on the command line and in tables.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Folds A to Z onto a to z; every other byte is left as it is.
inline char fold_char(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
// Raises a to z to A to Z; every other byte is left as it is.
inline char upper_char(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}
// True for A to Z and a to z.
inline bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// True when both texts have the same length and are equal after folding.
bool text_equal_nocase(std::string_view a, std::string_view b);

// True when `b` occurs in `a`, folding A to Z; an empty `b` occurs everywhere.
bool text_contains_nocase(std::string_view a, std::string_view b);

// True when `text` ends with `suffix`, folding A to Z.
bool text_ends_with_nocase(std::string_view text, std::string_view suffix);

// Byte-wise order of the folded texts: negative, 0 or positive.
int text_compare_nocase(std::string_view a, std::string_view b);

// Returns a copy of `text` with A to Z folded to lower case.
std::string text_fold(std::string_view text);

// True when the text is not empty and every character is "0" to "9".
bool is_digits(std::string_view text);
// True when every character of the text is a space; also for an empty text.
bool only_spaces(std::string_view text);

// Compares two version texts ("3.2.1.0.0") over at most `n` fields of
// decimal digits separated by "." or ",": -1, 0 or 1. The field limit is
// tested first in every round, so fields past it never count; a text that
// ends first sorts first; where neither has digits the folded characters
// there decide.
int text_version_compare(std::string_view a, std::string_view b, uint32_t n);

// Reads a size: leading spaces, decimal digits, then optionally "K"/"k"
// (times 1024) or "M"/"m" (times 1048576), then only spaces. Any other
// character, a missing digit, or a value beyond 4294967295 fails.
// Returns true and stores the value in *out on success; on failure returns
// false and leaves *out alone.
bool parse_size(std::string_view text, uint32_t* out);
