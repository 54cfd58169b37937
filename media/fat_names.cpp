// Long names, short names, long-name entries and labels.
#include "media/fat_names.h"

#include <algorithm>
#include <cstring>

#include "sys/text.h"

namespace {

bool is_upper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool is_lower(char c) {
    return c >= 'a' && c <= 'z';
}

// Characters a short name may hold besides letters and digits.
bool short_char_allowed(char c) {
    if (is_upper(c) || is_lower(c) || (c >= '0' && c <= '9')) return true;
    return c != '\0' && strchr("!#$%&'()-@^_`{}~", c) != nullptr;
}

bool long_char_allowed(char c) {
    return uint8_t(c) >= 0x20 && strchr("\"*/:<>?\\|", c) == nullptr;
}

// Fills raw[0..part.size()) from `part`, whose characters fat_name_short_fit
// has let through. *lower and *upper tell which letter cases occur.
void fill_short_part(std::string_view part, uint8_t* raw, bool* lower, bool* upper) {
    for (size_t i = 0; i < part.size(); i++) {
        char c = part[i];
        *lower = *lower || is_lower(c);
        *upper = *upper || is_upper(c);
        raw[i] = uint8_t(upper_char(c));
    }
}

// Positions of the 13 characters inside a long-name entry.
constexpr size_t LONG_CHAR_OFFSETS[FAT_LONG_CHARS_PER_ENTRY] = {1,  3,  5,  7,  9,  14, 16,
                                                                18, 20, 22, 24, 28, 30};

}  // namespace

bool fat_name_valid(std::string_view name) {
    if (name.empty() || name.size() > FAT_LONG_NAME_LIMIT) return false;
    if (name.back() == '.' || name.back() == ' ') return false;
    for (char c : name) {
        if (!long_char_allowed(c)) return false;
    }
    return true;
}

bool fat_name_fits_short(std::string_view name, uint8_t raw[FAT_SHORT_BYTES], uint8_t* case_flags) {
    memset(raw, ' ', FAT_SHORT_BYTES);
    *case_flags = 0;
    if (fat_name_short_fit(name) != FAT_SHORT_FITS) return false;
    size_t dot = name.find('.');
    std::string_view base = name.substr(0, dot);
    std::string_view ext =
        dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    bool base_lower = false, base_upper = false, ext_lower = false, ext_upper = false;
    fill_short_part(base, raw, &base_lower, &base_upper);
    fill_short_part(ext, raw + 8, &ext_lower, &ext_upper);
    if (base_lower && !base_upper) *case_flags |= FAT_CASE_LOWER_BASE;
    if (ext_lower && !ext_upper) *case_flags |= FAT_CASE_LOWER_EXT;
    return true;
}

FatShortFit fat_name_short_fit(std::string_view name) {
    size_t dot = name.find('.');
    std::string_view base = name.substr(0, dot);
    std::string_view ext =
        dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    // A second dot is a character no short name holds.
    bool allowed = std::all_of(base.begin(), base.end(), short_char_allowed) &&
                   std::all_of(ext.begin(), ext.end(), short_char_allowed);
    if (!allowed || base.empty() || (dot != std::string_view::npos && ext.empty()))
        return FAT_SHORT_BAD_CHARACTER;
    return base.size() > 8 || ext.size() > 3 ? FAT_SHORT_TOO_LONG : FAT_SHORT_FITS;
}

void fat_name_short_for_long(std::string_view name, uint32_t number, uint8_t raw[FAT_SHORT_BYTES]) {
    memset(raw, ' ', FAT_SHORT_BYTES);
    size_t last_dot = name.rfind('.');
    // A name that only starts with a dot has no extension.
    if (last_dot != std::string_view::npos && name.find_first_not_of('.') > last_dot)
        last_dot = std::string_view::npos;
    std::string base;
    for (size_t i = 0; i < name.size() && i != last_dot; i++) {
        char c = name[i];
        if (c == ' ' || c == '.') continue;
        base += short_char_allowed(c) ? upper_char(c) : '_';
    }
    std::string ext;
    if (last_dot != std::string_view::npos) {
        for (size_t i = last_dot + 1; i < name.size() && ext.size() < 3; i++) {
            char c = name[i];
            if (c == ' ') continue;
            ext += short_char_allowed(c) ? upper_char(c) : '_';
        }
    }
    std::string tail = "~" + std::to_string(number);
    if (base.empty()) base = "_";
    base.resize(std::min(base.size(), 8 - tail.size()));
    base += tail;
    memcpy(raw, base.data(), base.size());
    memcpy(raw + 8, ext.data(), ext.size());
}

std::string fat_name_short_text(const uint8_t raw[FAT_SHORT_BYTES], uint8_t case_flags) {
    std::string base(reinterpret_cast<const char*>(raw), 8);
    std::string ext(reinterpret_cast<const char*>(raw + 8), 3);
    if (base[0] == 0x05) base[0] = char(0xE5);
    base.erase(base.find_last_not_of(' ') + 1);
    ext.erase(ext.find_last_not_of(' ') + 1);
    if (case_flags & FAT_CASE_LOWER_BASE) base = text_fold(base);
    if (case_flags & FAT_CASE_LOWER_EXT) ext = text_fold(ext);
    return ext.empty() ? base : base + "." + ext;
}

uint8_t fat_name_checksum(const uint8_t raw[FAT_SHORT_BYTES]) {
    uint8_t sum = 0;
    for (size_t i = 0; i < FAT_SHORT_BYTES; i++)
        sum = uint8_t(((sum & 1) << 7) + (sum >> 1) + raw[i]);
    return sum;
}

size_t fat_name_long_entries(std::string_view name) {
    return (name.size() + FAT_LONG_CHARS_PER_ENTRY - 1) / FAT_LONG_CHARS_PER_ENTRY;
}

void fat_name_long_entry(std::string_view name, size_t ordinal, uint8_t checksum, uint8_t* entry) {
    memset(entry, 0, 32);
    entry[0] = uint8_t(ordinal);
    if (ordinal == fat_name_long_entries(name)) entry[0] |= 0x40;
    entry[11] = 0x0F;
    entry[13] = checksum;
    size_t start = (ordinal - 1) * FAT_LONG_CHARS_PER_ENTRY;
    for (size_t k = 0; k < FAT_LONG_CHARS_PER_ENTRY; k++) {
        size_t i = start + k;
        uint32_t ch = i < name.size() ? uint8_t(name[i]) : (i == name.size() ? 0 : 0xFFFF);
        entry[LONG_CHAR_OFFSETS[k]] = uint8_t(ch);
        entry[LONG_CHAR_OFFSETS[k] + 1] = uint8_t(ch >> 8);
    }
}

void fat_name_long_chars(const uint8_t* entry, std::string* part) {
    for (size_t offset : LONG_CHAR_OFFSETS) {
        uint32_t ch = uint32_t(entry[offset]) | uint32_t(entry[offset + 1]) << 8;
        if (ch == 0 || ch == 0xFFFF) return;
        *part += ch < 0x100 ? char(ch) : '_';
    }
}

bool fat_label_encode(std::string_view label, char raw[FAT_SHORT_BYTES]) {
    memset(raw, ' ', FAT_SHORT_BYTES);
    if (label.size() > FAT_SHORT_BYTES) return false;
    if (!label.empty() && label[0] == ' ') return false;
    for (size_t i = 0; i < label.size(); i++) {
        if (label[i] != ' ' && !short_char_allowed(label[i])) return false;
        raw[i] = upper_char(label[i]);
    }
    return true;
}

std::string fat_label_text(const uint8_t raw[FAT_SHORT_BYTES]) {
    std::string text(reinterpret_cast<const char*>(raw), FAT_SHORT_BYTES);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}
