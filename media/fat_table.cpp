// FAT entries in memory and the chains they form.
#include "media/fat_table.h"

#include <cassert>

namespace {

uint32_t widen12(uint32_t v) {
    return v >= 0xFF7 ? v | 0xF000 : v;
}

// True when `cluster` is a data cluster of the table.
bool fat_cluster_valid(const FatTable& table, uint32_t cluster) {
    return cluster >= 2 && cluster < table.cluster_count + 2;
}

// True when the entry of `cluster` is one of the table's (the two reserved
// entries or a data cluster's) and lies whole within its bytes. Every entry
// of the volume does: the boot sector is refused when its FAT is too small
// for them, and callers look only at clusters they have checked.
[[maybe_unused]] bool fat_entry_within(const FatTable& table, uint32_t cluster) {
    size_t end = table.fat16 ? size_t(cluster) * 2 + 2 : size_t(cluster) + cluster / 2 + 2;
    return cluster < table.cluster_count + 2 && end <= table.bytes.size();
}

}  // namespace

void fat_table_init(FatTable* table, std::vector<uint8_t> bytes, bool fat16,
                    uint32_t cluster_count) {
    table->bytes = std::move(bytes);
    table->fat16 = fat16;
    table->cluster_count = cluster_count;
    table->next_free = 2;
    table->dirty = false;
    table->free_count = 0;
    assert(cluster_count == 0 || fat_entry_within(*table, cluster_count + 1));
    for (uint32_t c = 2; c < cluster_count + 2; c++) {
        if (fat_table_get(*table, c) == FAT_FREE) table->free_count++;
    }
}

uint32_t fat_table_get(const FatTable& table, uint32_t cluster) {
    assert(fat_entry_within(table, cluster));
    const uint8_t* b = table.bytes.data();
    if (table.fat16) return uint32_t(b[cluster * 2]) | uint32_t(b[cluster * 2 + 1]) << 8;
    size_t at = cluster + cluster / 2;
    uint32_t pair = uint32_t(b[at]) | uint32_t(b[at + 1]) << 8;
    return widen12((cluster & 1) ? pair >> 4 : pair & 0xFFF);
}

void fat_table_set(FatTable* table, uint32_t cluster, uint32_t value) {
    assert(fat_entry_within(*table, cluster));
    uint8_t* b = table->bytes.data();
    table->dirty = true;
    if (table->fat16) {
        b[cluster * 2] = uint8_t(value);
        b[cluster * 2 + 1] = uint8_t(value >> 8);
        return;
    }
    size_t at = cluster + cluster / 2;
    value &= 0xFFF;
    if (cluster & 1) {
        b[at] = uint8_t((b[at] & 0x0F) | (value << 4));
        b[at + 1] = uint8_t(value >> 4);
    } else {
        b[at] = uint8_t(value);
        b[at + 1] = uint8_t((b[at + 1] & 0xF0) | (value >> 8));
    }
}

ResultCode fat_table_check(const FatTable& table) {
    for (uint32_t c = 2; c < table.cluster_count + 2; c++) {
        uint32_t v = fat_table_get(table, c);
        if (v == FAT_FREE || v >= FAT_BAD) continue;
        if (!fat_cluster_valid(table, v)) return RC_FILE_CORRUPT;
    }
    return RC_OK;
}

ResultCode fat_chain_read(const FatTable& table, uint32_t first, std::vector<uint32_t>* out) {
    out->clear();
    uint32_t c = first;
    while (true) {
        if (!fat_cluster_valid(table, c)) return RC_FILE_CORRUPT;
        // A chain longer than the volume has clusters must loop.
        if (out->size() >= table.cluster_count) return RC_FILE_CORRUPT;
        out->push_back(c);
        uint32_t next = fat_table_get(table, c);
        if (next >= FAT_END) return RC_OK;
        if (next == FAT_FREE || next == FAT_BAD) return RC_FILE_CORRUPT;
        c = next;
    }
}

ResultCode fat_chain_extend(FatTable* table, uint32_t tail, uint32_t count,
                            std::vector<uint32_t>* chain) {
    if (count > table->free_count) return RC_UNABLE_TO_WRITE;
    uint32_t c = table->next_free;
    uint32_t last = tail;
    for (uint32_t taken = 0, looked = 0; taken < count; c++, looked++) {
        // free_count is the number of free clusters: one round of the table
        // finds as many as it promised.
        assert(looked < table->cluster_count);
        if (!fat_cluster_valid(*table, c)) c = 2;
        if (fat_table_get(*table, c) != FAT_FREE) continue;
        fat_table_set(table, c, FAT_END);
        if (last != 0) fat_table_set(table, last, c);
        chain->push_back(c);
        last = c;
        taken++;
    }
    table->free_count -= count;
    table->next_free = c;
    // The chain handed back ends in an end mark: a file's size is written
    // over exactly these clusters.
    assert(count == 0 || fat_table_get(*table, chain->back()) == FAT_END);
    return RC_OK;
}

void fat_chain_cut(FatTable* table, std::vector<uint32_t>* chain, size_t keep) {
    if (keep >= chain->size()) return;
    for (size_t i = keep; i < chain->size(); i++) {
        fat_table_set(table, (*chain)[i], FAT_FREE);
        table->free_count++;
    }
    assert(table->free_count <= table->cluster_count);
    if (keep > 0) fat_table_set(table, (*chain)[keep - 1], FAT_END);
    chain->resize(keep);
}
