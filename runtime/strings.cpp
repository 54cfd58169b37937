// String values: texts in their own blocks, compared with A to Z folded.
#include "runtime/strings.h"

#include <cstring>
#include <string>

#include "sys/text.h"

namespace {

StringRecord* record_of(Value s) {
    return value_record<StringRecord>(s);
}

// The one text block of every empty string, laid out as a block (prefix and
// header words of 0, then the NUL): the tables of a kit hold millions of
// empty strings, and none of them owns it.
alignas(8) char empty_text_block[16] = {};
Value empty_text() {
    return reinterpret_cast<Value>(empty_text_block + 8);
}

// A NUL-terminated copy of `text` in a block of its own, or the shared
// block of the empty text.
Value text_block_new(RuntimeContext* rt, std::string_view text) {
    if (text.empty()) return empty_text();
    if (text.size() > STRING_TEXT_LIMIT) return 0;
    Value block = value_alloc(rt, uint32_t(text.size() + 1));
    if (!block) return 0;
    char* chars = reinterpret_cast<char*>(block);
    std::memcpy(chars, text.data(), text.size());
    chars[text.size()] = '\0';
    return block;
}

// Length of the text after trailing spaces, tabs and line feeds.
size_t trimmed_length(const char* text, size_t length) {
    while (length > 0) {
        char c = text[length - 1];
        if (c != ' ' && c != '\t' && c != '\n') break;
        --length;
    }
    return length;
}

// Non-overlapping, case-insensitive occurrences of `find` in `text`.
size_t count_occurrences(std::string_view text, std::string_view find) {
    if (find.empty()) return 0;
    size_t count = 0;
    for (size_t at = 0; at + find.size() <= text.size();) {
        if (text_equal_nocase(text.substr(at, find.size()), find)) {
            ++count;
            at += find.size();
        } else {
            ++at;
        }
    }
    return count;
}

std::string replace_all(std::string_view text, std::string_view find, std::string_view with) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        if (at + find.size() <= text.size() &&
            text_equal_nocase(text.substr(at, find.size()), find)) {
            out.append(with);
            at += find.size();
        } else {
            out.push_back(text[at++]);
        }
    }
    return out;
}

// -1, 0 or 1 as text_version_compare; 2 for an absent text.
int version_order(RuntimeContext* rt, Value a, Value b, uint32_t n) {
    if (!rt_usable(rt) || !a || !b) return 2;
    return text_version_compare(string_view_of(rt, a), string_view_of(rt, b), n);
}

}  // namespace

Value string_new(RuntimeContext* rt, std::string_view text) {
    Value s = value_alloc(rt, sizeof(StringRecord));
    if (!s) return 0;
    Value block = text_block_new(rt, text);
    if (!block) {
        value_free(rt, s);
        return 0;
    }
    // The text ends at its first NUL, should it hold one.
    *record_of(s) = StringRecord{block, 0, uint32_t(text.substr(0, text.find('\0')).size())};
    return s;
}

const char* string_text(RuntimeContext* rt, Value s) {
    if (!rt_usable(rt) || !value_is_real(s)) return nullptr;
    return reinterpret_cast<const char*>(record_of(s)->text);
}

const char* string_shown_text(RuntimeContext* rt, Value s) {
    const char* text = string_text(rt, s);
    return text ? text : STRING_PLACEHOLDER;
}

std::string_view string_view_of(RuntimeContext* rt, Value s) {
    const char* text = string_text(rt, s);
    return text ? std::string_view(text, record_of(s)->length) : std::string_view();
}

ResultCode string_free(RuntimeContext* rt, Value s) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!value_is_real(s)) return RC_OK;
    if (record_of(s)->text != empty_text()) value_free(rt, record_of(s)->text);
    value_free(rt, record_of(s)->second);
    return value_free(rt, s);
}

uint16_t string_length(RuntimeContext* rt, Value s) {
    return uint16_t(string_view_of(rt, s).size());
}

Value string_copy(RuntimeContext* rt, Value s) {
    if (!string_text(rt, s)) return 0;
    return string_new(rt, string_view_of(rt, s));
}

ResultCode string_replace(RuntimeContext* rt, Value s, Value find, Value replacement, Value* out) {
    if (!rt_usable(rt) || !string_text(rt, s) || !string_text(rt, find) ||
        !string_text(rt, replacement) || !out)
        return RC_NO_OBJECT;
    std::string_view text = string_view_of(rt, s), what = string_view_of(rt, find);
    std::string_view with = string_view_of(rt, replacement);
    size_t count = count_occurrences(text, what);
    Value result = 0;
    if (count == 0) {
        result = string_copy(rt, s);
    } else {
        size_t length = text.size() + count * with.size() - count * what.size();
        if (length > size_t(TEXT_LIMIT)) return RC_TEXT_TOO_LONG;
        result = string_new(rt, replace_all(text, what, with));
    }
    if (!result) return RC_NO_OBJECT;
    *out = result;
    return RC_OK;
}

bool string_equal(RuntimeContext* rt, Value a, Value b) {
    if (!rt_usable(rt) || !a || !b) return false;
    if (a == b) return true;
    return text_equal_nocase(string_view_of(rt, a), string_view_of(rt, b));
}

bool string_contains(RuntimeContext* rt, Value a, Value b) {
    if (!rt_usable(rt) || !a || !b) return false;
    if (a == b) return true;
    return text_contains_nocase(string_view_of(rt, a), string_view_of(rt, b));
}

bool string_less(RuntimeContext* rt, Value a, Value b) {
    if (!rt_usable(rt) || !a || !b || a == b) return false;
    return text_compare_nocase(string_view_of(rt, a), string_view_of(rt, b)) < 0;
}

bool string_greater(RuntimeContext* rt, Value a, Value b) {
    if (!rt_usable(rt) || !a || !b || a == b) return false;
    return text_compare_nocase(string_view_of(rt, a), string_view_of(rt, b)) > 0;
}

bool string_is_empty(RuntimeContext* rt, Value s) {
    const char* text = string_text(rt, s);
    return text && text[0] == '\0';
}

bool string_version_less(RuntimeContext* rt, Value a, Value b, uint32_t n) {
    return version_order(rt, a, b, n) == -1;
}

bool string_version_greater(RuntimeContext* rt, Value a, Value b, uint32_t n) {
    return version_order(rt, a, b, n) == 1;
}

bool string_version_equal(RuntimeContext* rt, Value a, Value b, uint32_t n) {
    return version_order(rt, a, b, n) == 0;
}

uint32_t text_hash(std::string_view text, uint32_t size) {
    if (size == 0) return 0;
    uint32_t sum = 0;
    for (size_t i = 0; i < text.size(); ++i)
        sum += uint32_t(uint8_t(fold_char(text[i]))) << (i % 32);
    return sum % size;
}

uint32_t string_hash(RuntimeContext* rt, Value s, uint32_t size) {
    if (!string_text(rt, s)) return 0;
    return text_hash(string_view_of(rt, s), size);
}

ResultCode string_trim_path(RuntimeContext* rt, Value s) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!string_text(rt, s)) return RC_OK;
    size_t length = record_of(s)->length;
    if (length == 0) return RC_OK;  // the shared empty text is never written
    char* text = reinterpret_cast<char*>(record_of(s)->text);
    for (size_t i = 0; i < length; ++i)
        if (text[i] == '/') text[i] = '\\';
    length = trimmed_length(text, length);
    text[length] = '\0';
    record_of(s)->length = uint32_t(length);
    return RC_OK;
}
