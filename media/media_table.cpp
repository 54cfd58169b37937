// The media table and the density suffixes.
#include "media/media_table.h"

#include "sys/text.h"

namespace {

constexpr MediaRow ROWS[] = {
    {"3.5HD", 1457664, 730112, 512, 223},    // 2847 clusters of 512
    {"3.5LD", 730112, 1457664, 1024, 111},   // 713 clusters of 1024
    // The Japanese disks' root holds 192 entries (six sectors of 1024 bytes),
    // one of them the volume label.
    {"3.5JHD", 1250304, 1250304, 1024, 191}, // 1221 clusters of 1024
    {"3.5UD", 2915328, 1457664, 512, 111},   // 5694 clusters of 512
    {"5.25HD", 1213952, 362496, 512, 223},   // 2371 clusters of 512
    {"5.25LD", 362496, 1213952, 1024, 111},  // 354 clusters of 1024
    {"5.25JHD", 1250304, 1250304, 1024, 191},
};

struct Suffix {
    uint32_t capacity;
    const char* suffix;
};

// The two Japanese media share one capacity and so one suffix.
constexpr Suffix SUFFIXES[] = {
    {730112, "3ld"}, {362496, "5ld"},  {1457664, "3hd"},
    {1213952, "5hd"}, {2915328, "3ud"}, {1250304, "jhd"},
};

}  // namespace

const MediaRow* media_rows(size_t* count) {
    if (count) *count = sizeof(ROWS) / sizeof(ROWS[0]);
    return ROWS;
}

const MediaRow* media_find(std::string_view name) {
    for (const MediaRow& row : ROWS)
        if (text_equal_nocase(row.name, name)) return &row;
    return nullptr;
}

bool media_density_suffix(uint32_t capacity, std::string* suffix) {
    for (const Suffix& s : SUFFIXES) {
        if (s.capacity != capacity) continue;
        if (suffix) *suffix = s.suffix;
        return true;
    }
    return false;
}

uint64_t media_round_to_cluster(uint64_t size, uint32_t cluster_size) {
    if (cluster_size == 0) return size;
    return (size + cluster_size - 1) / cluster_size * cluster_size;
}
