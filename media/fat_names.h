// Names on a FAT volume: long names, the 11-byte short (8.3) names of
// directory entries and the one made up for a long name, long-name entries,
// and volume labels. Pure text work on bytes; needs nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t FAT_SHORT_BYTES = 11;
constexpr size_t FAT_LONG_NAME_LIMIT = 255;
// Characters of a long name carried by one long-name entry.
constexpr size_t FAT_LONG_CHARS_PER_ENTRY = 13;

// Case flags of a short entry: base name or extension shown in lower case.
constexpr uint8_t FAT_CASE_LOWER_BASE = 0x08;
constexpr uint8_t FAT_CASE_LOWER_EXT = 0x10;

// True when `name` may name a file or directory: 1 to 255 characters, no
// control characters and none of " * / : < > ? \ |, not "." or "..", and
// not ending in a blank or a dot.
bool fat_name_valid(std::string_view name);

// True when `name` is a valid 8.3 name as it stands, letter case aside:
// 1 to 8 characters, optionally a dot and 1 to 3 more, all of them allowed
// in short names. Fills `raw` with the upper-case short name and *case_flags
// with the lower-case flags that give back a name written all in lower case
// (base or extension); a name in mixed case is stored in upper case.
bool fat_name_fits_short(std::string_view name, uint8_t raw[FAT_SHORT_BYTES], uint8_t* case_flags);

// What keeps `name` from being an 8.3 name as it stands: nothing; a
// character short names do not allow (a blank, "+", a second dot and the
// like), an empty base or an empty extension after the dot; or, its
// characters being allowed, a base over 8 or an extension over 3 characters.
enum FatShortFit { FAT_SHORT_FITS, FAT_SHORT_TOO_LONG, FAT_SHORT_BAD_CHARACTER };
FatShortFit fat_name_short_fit(std::string_view name);

// The short name made for a long name that does not fit 8.3: characters not
// allowed in short names become "_", blanks and dots other than the last
// are dropped, the base is cut to 6 characters and "~" and `number` follow
// (number 1 to 999999; the base is cut shorter for longer numbers).
void fat_name_short_for_long(std::string_view name, uint32_t number, uint8_t raw[FAT_SHORT_BYTES]);

// The short name in its usual written form: "NAME.EXT", or "NAME" without
// an extension, honouring the case flags.
std::string fat_name_short_text(const uint8_t raw[FAT_SHORT_BYTES], uint8_t case_flags);

// The checksum of a short name that every long-name entry of it carries.
uint8_t fat_name_checksum(const uint8_t raw[FAT_SHORT_BYTES]);

// Number of long-name entries `name` needs.
size_t fat_name_long_entries(std::string_view name);

// Fills the 32-byte long-name entry with 1-based `ordinal` of `name`.
// Bytes 128 to 255 are stored as the characters U+0080 to U+00FF.
void fat_name_long_entry(std::string_view name, size_t ordinal, uint8_t checksum, uint8_t* entry);

// Appends the characters of one long-name entry to *part in order, up to
// its end mark; a character beyond U+00FF becomes "_".
void fat_name_long_chars(const uint8_t* entry, std::string* part);

// Checks a volume label and makes its 11-byte form (upper case, padded with
// blanks). Returns false for a label longer than 11 characters or holding a
// character not allowed in labels; an empty label gives blanks.
bool fat_label_encode(std::string_view label, char raw[FAT_SHORT_BYTES]);

// The label text of an 11-byte label field: trailing blanks removed.
std::string fat_label_text(const uint8_t raw[FAT_SHORT_BYTES]);
