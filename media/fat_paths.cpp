// Path operations on a volume.
#include "media/fat_paths.h"

#include <cstring>

#include "media/fat_directory.h"
#include "media/fat_names.h"

namespace {

FatInfo info_from(const FatDir& dir, const FatEntry& entry) {
    FatInfo info;
    info.name = entry.name;
    info.short_name = entry.short_name;
    info.is_directory = (entry.attributes & FAT_ATTR_DIRECTORY) != 0;
    info.size = info.is_directory ? 0 : entry.size;
    info.attributes = entry.attributes;
    info.write_time = fat_entry_write_time(dir.bytes.data() + entry.slot * FAT_ENTRY_BYTES);
    return info;
}

// Loads the directory holding `path` and finds its last component.
ResultCode find(const FatVolume& volume, std::string_view path, FatDir* dir, FatEntry* entry) {
    std::string leaf;
    ResultCode rc = fat_path_parent(volume, path, dir, &leaf);
    if (rc != RC_OK) return rc;
    if (leaf.empty() || !fat_dir_find(*dir, leaf, entry)) return RC_FILE_NOT_FOUND;
    return RC_OK;
}

// Changes one entry through `change` and stores its directory.
template <typename Change>
ResultCode change_entry(FatVolume* volume, std::string_view path, Change change) {
    FatDir dir;
    FatEntry entry;
    ResultCode rc = find(*volume, path, &dir, &entry);
    if (rc != RC_OK) return rc;
    if (volume->read_only) return RC_WRITE_PROTECTED;
    change(fat_dir_slot(&dir, entry.slot));
    return fat_dir_store(volume, dir);
}

bool entry_is_open(const FatVolume& volume, uint64_t offset) {
    for (const FatOpenRecord& r : volume.open_files) {
        if (r.entry_offset == offset) return true;
    }
    return false;
}

// The first cluster of a new directory: "." and ".." and nothing else.
std::vector<uint8_t> new_directory_cluster(const FatVolume& volume, uint32_t self, uint32_t parent,
                                           const uint8_t* stamp_from) {
    std::vector<uint8_t> bytes(volume.layout.cluster_bytes, 0);
    const char* names[2] = {".          ", "..         "};
    uint32_t clusters[2] = {self, parent};
    for (int i = 0; i < 2; i++) {
        uint8_t* e = bytes.data() + i * FAT_ENTRY_BYTES;
        memcpy(e + 12, stamp_from + 12, FAT_ENTRY_BYTES - 12);
        memcpy(e, names[i], 11);
        e[11] = FAT_ATTR_DIRECTORY;
        e[12] = 0;
        fat_entry_set_cluster(e, clusters[i]);
        fat_entry_set_size(e, 0);
    }
    return bytes;
}

}  // namespace

ResultCode fat_path_stat(const FatVolume& volume, std::string_view path, FatInfo* out) {
    FatDir dir;
    std::string leaf;
    ResultCode rc = fat_path_parent(volume, path, &dir, &leaf);
    if (rc != RC_OK) return rc;
    if (leaf.empty()) {
        *out = FatInfo();
        out->is_directory = true;
        out->attributes = FAT_ATTR_DIRECTORY;
        return RC_OK;
    }
    FatEntry entry;
    if (!fat_dir_find(dir, leaf, &entry)) return RC_FILE_NOT_FOUND;
    *out = info_from(dir, entry);
    return RC_OK;
}

ResultCode fat_path_list(const FatVolume& volume, std::string_view path,
                         std::vector<FatInfo>* out) {
    out->clear();
    FatDir dir;
    std::string leaf;
    ResultCode rc = fat_path_parent(volume, path, &dir, &leaf);
    if (rc != RC_OK) return rc;
    if (!leaf.empty()) {
        FatEntry entry;
        if (!fat_dir_find(dir, leaf, &entry) || !(entry.attributes & FAT_ATTR_DIRECTORY))
            return RC_FILE_NOT_FOUND;
        rc = fat_dir_load(volume, entry.first_cluster, &dir);
        if (rc != RC_OK) return rc;
    }
    size_t cursor = 0;
    FatEntry entry;
    while (fat_dir_next(dir, &cursor, &entry)) {
        if (fat_entry_is_label(entry) || fat_entry_is_dot(entry)) continue;
        out->push_back(info_from(dir, entry));
    }
    return RC_OK;
}

ResultCode fat_path_delete(FatVolume* volume, std::string_view path) {
    FatDir dir;
    FatEntry entry;
    ResultCode rc = find(*volume, path, &dir, &entry);
    if (rc != RC_OK) return rc;
    if (entry.attributes & (FAT_ATTR_DIRECTORY | FAT_ATTR_READ_ONLY)) return RC_PERMISSION_DENIED;
    if (entry_is_open(*volume, fat_dir_slot_offset(*volume, dir, entry.slot)))
        return RC_SHARING_VIOLATION;
    if (volume->read_only) return RC_WRITE_PROTECTED;
    std::vector<uint32_t> chain;
    if (entry.first_cluster != 0) {
        rc = fat_chain_read(volume->table, entry.first_cluster, &chain);
        if (rc != RC_OK) return rc;
    }
    // The entry goes first: a failure after it leaves unused clusters, never
    // an entry that points at free ones.
    fat_dir_remove(&dir, entry);
    rc = fat_dir_store(volume, dir);
    if (rc != RC_OK) return rc;
    fat_chain_cut(&volume->table, &chain, 0);
    return fat_volume_flush_table(volume);
}

ResultCode fat_path_make_writable(FatVolume* volume, std::string_view path) {
    return change_entry(volume, path, [](uint8_t* e) { e[11] &= uint8_t(~FAT_ATTR_READ_ONLY); });
}

ResultCode fat_path_set_times(FatVolume* volume, std::string_view path, time_t access_time,
                              time_t write_time) {
    return change_entry(volume, path,
                        [&](uint8_t* e) { fat_entry_set_times(e, access_time, write_time); });
}

ResultCode fat_path_make_directory(FatVolume* volume, std::string_view path) {
    FatDir parent;
    std::string leaf;
    ResultCode rc = fat_path_parent(*volume, path, &parent, &leaf);
    if (rc != RC_OK) return rc;
    if (!fat_name_valid(leaf)) return RC_INVALID_FILE_NAME;
    FatEntry entry;
    if (fat_dir_find(parent, leaf, &entry)) return RC_OS_ERROR;
    if (volume->read_only) return RC_WRITE_PROTECTED;
    std::vector<uint32_t> chain;
    rc = fat_chain_extend(&volume->table, 0, 1, &chain);
    if (rc != RC_OK) return rc;
    size_t parent_had = parent.clusters.size();
    rc = fat_dir_add(volume, &parent, leaf, FAT_ATTR_DIRECTORY, chain[0], time(nullptr), &entry);
    if (rc == RC_OK) {
        std::vector<uint8_t> bytes = new_directory_cluster(*volume, chain[0], parent.first_cluster,
                                                           fat_dir_slot(&parent, entry.slot));
        rc = fat_volume_write(volume, fat_cluster_offset(volume->layout, chain[0]), bytes.data(),
                              bytes.size());
    }
    if (rc == RC_OK) rc = fat_volume_flush_table(volume);
    if (rc == RC_OK) rc = fat_dir_store(volume, parent);
    if (rc != RC_OK) {
        // Neither the new directory's cluster nor those the parent grew by
        // may stay taken (or, unwritten, join the parent).
        fat_chain_cut(&volume->table, &parent.clusters, parent_had);
        fat_volume_take_back(volume, &chain, 0);
    }
    return rc;
}
