// Small text helpers shared by every layer.
#include "sys/text.h"

bool text_equal_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold_char(a[i]) != fold_char(b[i])) return false;
    return true;
}

bool text_contains_nocase(std::string_view a, std::string_view b) {
    if (b.empty()) return true;
    if (b.size() > a.size()) return false;
    for (size_t start = 0; start + b.size() <= a.size(); ++start) {
        size_t i = 0;
        while (i < b.size() && fold_char(a[start + i]) == fold_char(b[i])) ++i;
        if (i == b.size()) return true;
    }
    return false;
}

bool text_ends_with_nocase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text_equal_nocase(text.substr(text.size() - suffix.size()), suffix);
}

int text_compare_nocase(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(fold_char(a[i]));
        unsigned char cb = static_cast<unsigned char>(fold_char(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string text_fold(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = fold_char(c);
    return out;
}

bool is_digits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool only_spaces(std::string_view text) {
    for (char c : text)
        if (c != ' ') return false;
    return true;
}

bool parse_size(std::string_view text, uint32_t* out) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        value = value * 10 + uint64_t(text[i] - '0');
        if (value > UINT32_MAX) return false;
    }
    if (digits == 0) return false;
    if (i < text.size()) {
        char c = text[i];
        uint64_t multiplier = 1;
        if (c == 'K' || c == 'k')
            multiplier = 1024;
        else if (c == 'M' || c == 'm')
            multiplier = 1048576;
        else if (c != ' ')
            return false;
        if (!only_spaces(text.substr(i + 1))) return false;
        value *= multiplier;
        if (value > UINT32_MAX) return false;
    }
    if (out) *out = static_cast<uint32_t>(value);
    return true;
}

static int order_of(uint64_t a, uint64_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// Reads the digit run at `*at` (after spaces); false when there is none.
static bool read_version_field(std::string_view text, size_t* at, uint64_t* value) {
    while (*at < text.size() && text[*at] == ' ') ++*at;
    size_t start = *at;
    uint64_t sum = 0;
    for (; *at < text.size() && text[*at] >= '0' && text[*at] <= '9'; ++*at)
        if (sum < UINT32_MAX) sum = sum * 10 + uint64_t(text[*at] - '0');
    *value = sum;
    return *at > start;
}

static void skip_version_separator(std::string_view text, size_t* at) {
    if (*at < text.size() && (text[*at] == '.' || text[*at] == ',')) ++*at;
}

int text_version_compare(std::string_view a, std::string_view b, uint32_t n) {
    size_t ia = 0, ib = 0;
    for (uint32_t fields = 0;; ++fields) {
        if (fields >= n) return 0;
        bool a_done = ia >= a.size(), b_done = ib >= b.size();
        if (a_done || b_done) return order_of(!a_done, !b_done);
        uint64_t va = 0, vb = 0;
        bool a_has = read_version_field(a, &ia, &va), b_has = read_version_field(b, &ib, &vb);
        if (!a_has && b_has) return -1;
        if (!a_has) {
            unsigned char ca = ia < a.size() ? uint8_t(fold_char(a[ia])) : 0;
            unsigned char cb = ib < b.size() ? uint8_t(fold_char(b[ib])) : 0;
            return order_of(ca, cb);
        }
        if (!b_has) return 1;
        if (va != vb) return order_of(va, vb);
        skip_version_separator(a, &ia);
        skip_version_separator(b, &ib);
    }
}
