// Walks the directory tree breadth first, claiming every cluster once.
#include "media/fat_check.h"

#include "media/fat_directory.h"

namespace {

// Marks the clusters of `chain` as used; false when one is used already.
bool claim(std::vector<uint8_t>* claimed, const std::vector<uint32_t>& chain) {
    for (uint32_t c : chain) {
        if ((*claimed)[c]) return false;
        (*claimed)[c] = 1;
    }
    return true;
}

ResultCode check_entry(const FatVolume& volume, const FatEntry& entry,
                       std::vector<uint8_t>* claimed, std::vector<uint32_t>* pending) {
    bool is_dir = (entry.attributes & FAT_ATTR_DIRECTORY) != 0;
    if (entry.first_cluster == 0) return (is_dir || entry.size != 0) ? RC_FILE_CORRUPT : RC_OK;
    std::vector<uint32_t> chain;
    ResultCode rc = fat_chain_read(volume.table, entry.first_cluster, &chain);
    if (rc != RC_OK) return rc;
    if (!claim(claimed, chain)) return RC_FILE_CORRUPT;
    if (is_dir) {
        pending->push_back(entry.first_cluster);
        return RC_OK;
    }
    uint64_t needed =
        (uint64_t(entry.size) + volume.layout.cluster_bytes - 1) / volume.layout.cluster_bytes;
    return chain.size() < needed ? RC_FILE_CORRUPT : RC_OK;
}

}  // namespace

ResultCode fat_volume_check(const FatVolume& volume) {
    std::vector<uint8_t> claimed(size_t(volume.table.cluster_count) + 2, 0);
    std::vector<uint32_t> pending{0};
    while (!pending.empty()) {
        FatDir dir;
        ResultCode rc = fat_dir_load(volume, pending.back(), &dir);
        pending.pop_back();
        if (rc != RC_OK) return rc;
        size_t cursor = 0;
        FatEntry entry;
        while (fat_dir_next(dir, &cursor, &entry)) {
            if (fat_entry_is_label(entry) || fat_entry_is_dot(entry)) continue;
            rc = check_entry(volume, entry, &claimed, &pending);
            if (rc != RC_OK) return rc;
        }
    }
    return RC_OK;
}
