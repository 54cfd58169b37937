// The media table and the density suffixes.
#include "media/media_table.h"

#include "sys/text.h"

const MediaRow* media_find(std::string_view name) {
    for (const MediaRow& row : MEDIA_ROWS)
        if (text_equal_nocase(row.name, name)) return &row;
    return nullptr;
}

bool media_density_suffix(uint32_t capacity, std::string* suffix) {
    for (const MediaRow& row : MEDIA_ROWS) {
        if (row.media_capacity != capacity) continue;
        if (suffix) *suffix = row.density_suffix;
        return true;
    }
    return false;
}

uint64_t media_round_to_cluster(uint64_t size, uint32_t cluster_size) {
    if (cluster_size == 0) return size;
    return (size + cluster_size - 1) / cluster_size * cluster_size;
}
