// The file allocation table of a mounted volume, held whole in memory:
// reading and setting entries, walking and checking cluster chains, and
// allocating and freeing clusters. Writing it back is fat_volume's job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sys/result_code.h"

struct FatTable {
    std::vector<uint8_t> bytes;  // one FAT copy as it lies on the disk
    bool fat16 = false;
    uint32_t cluster_count = 0;  // data clusters: 2 to cluster_count + 1
    uint32_t free_count = 0;
    uint32_t next_free = 2;  // where the search for a free cluster starts
    bool dirty = false;      // changed since it was last written back
};

// Entry values, given in 16-bit form; 12-bit entries are widened on reading
// (0xFF7 reads as FAT_BAD, 0xFF8 to 0xFFF as FAT_END and above).
constexpr uint32_t FAT_FREE = 0;
constexpr uint32_t FAT_BAD = 0xFFF7;
constexpr uint32_t FAT_END = 0xFFF8;

// Takes over `bytes` (one FAT copy, at least large enough for every
// cluster) and counts the free clusters.
void fat_table_init(FatTable* table, std::vector<uint8_t> bytes, bool fat16,
                    uint32_t cluster_count);

// The entry of `cluster`, widened as above.
uint32_t fat_table_get(const FatTable& table, uint32_t cluster);
// Sets the entry of `cluster` (16-bit form) and marks the table dirty.
void fat_table_set(FatTable* table, uint32_t cluster, uint32_t value);

// Checks every entry: each is free, bad, an end mark or a valid cluster.
// Returns RC_FILE_CORRUPT when an entry points outside the volume.
ResultCode fat_table_check(const FatTable& table);

// Collects the chain that starts at `first` into *out. Returns
// RC_FILE_CORRUPT when the chain starts or leads outside the volume, runs
// into a free or bad cluster, or loops; *out is then unspecified.
ResultCode fat_chain_read(const FatTable& table, uint32_t first, std::vector<uint32_t>* out);

// Takes `count` free clusters, links them into one chain ending in an end
// mark, and links it behind `tail` (0 for none). The new clusters are
// appended to *chain. Returns RC_UNABLE_TO_WRITE, changing nothing, when
// fewer than `count` clusters are free.
ResultCode fat_chain_extend(FatTable* table, uint32_t tail, uint32_t count,
                            std::vector<uint32_t>* chain);

// Frees every cluster of `chain` from index `keep` on; when `keep` is not 0,
// the cluster before it becomes the end of the chain.
void fat_chain_cut(FatTable* table, std::vector<uint32_t>* chain, size_t keep);
