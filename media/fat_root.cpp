// The label and the emptiness of a volume's root.
#include "media/fat_root.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "media/fat_directory.h"
#include "media/fat_names.h"

namespace {

bool find_label(const FatDir& root, FatEntry* out) {
    size_t cursor = 0;
    while (fat_dir_next(root, &cursor, out)) {
        if (fat_entry_is_label(*out)) return true;
    }
    return false;
}

// Puts the label into a new root entry; false when the root is full.
bool add_label(FatDir* root, const char raw[FAT_SHORT_BYTES]) {
    for (size_t slot = 0; slot < root->bytes.size() / FAT_ENTRY_BYTES; slot++) {
        uint8_t* e = fat_dir_slot(root, slot);
        if (e[0] != 0x00 && e[0] != 0xE5) continue;
        memset(e, 0, FAT_ENTRY_BYTES);
        memcpy(e, raw, FAT_SHORT_BYTES);
        e[11] = FAT_ATTR_VOLUME;
        time_t now = time(nullptr);
        fat_entry_set_times(e, now, now);
        return true;
    }
    return false;
}

ResultCode set_boot_label(FatVolume* volume, const char raw[FAT_SHORT_BYTES]) {
    if (!volume->layout.has_label_field) return RC_OK;
    bool none = raw[0] == ' ';
    return fat_volume_write(volume, FAT_BOOT_LABEL_OFFSET, none ? "NO NAME    " : raw,
                            FAT_LABEL_BYTES);
}

}  // namespace

ResultCode fat_volume_label(const FatVolume& volume, std::string* out) {
    out->clear();
    FatDir root;
    ResultCode rc = fat_dir_load(volume, 0, &root);
    if (rc != RC_OK) return rc;
    FatEntry entry;
    if (find_label(root, &entry)) *out = entry.name;
    return RC_OK;
}

ResultCode fat_volume_set_label(FatVolume* volume, std::string_view label) {
    char raw[FAT_SHORT_BYTES];
    if (!fat_label_encode(label, raw)) return RC_INVALID_FILE_NAME;
    if (volume->read_only) return RC_WRITE_PROTECTED;
    FatDir root;
    ResultCode rc = fat_dir_load(*volume, 0, &root);
    if (rc != RC_OK) return rc;
    FatEntry entry;
    bool found = find_label(root, &entry);
    if (found && label.empty()) fat_dir_remove(&root, entry);
    if (found && !label.empty()) memcpy(fat_dir_slot(&root, entry.slot), raw, FAT_SHORT_BYTES);
    if (!found && !label.empty() && !add_label(&root, raw)) return RC_UNABLE_TO_WRITE;
    rc = fat_dir_store(volume, root);
    if (rc != RC_OK) return rc;
    return set_boot_label(volume, raw);
}

ResultCode fat_volume_root_is_empty(const FatVolume& volume, bool* empty) {
    *empty = false;
    FatDir root;
    ResultCode rc = fat_dir_load(volume, 0, &root);
    if (rc != RC_OK) return rc;
    size_t cursor = 0;
    FatEntry entry;
    while (fat_dir_next(root, &cursor, &entry)) {
        if (!fat_entry_is_label(entry)) return RC_OK;
    }
    *empty = true;
    return RC_OK;
}

ResultCode fat_volume_empty(FatVolume* volume) {
    if (volume->read_only) return RC_WRITE_PROTECTED;
    FatDir root;
    ResultCode rc = fat_dir_load(*volume, 0, &root);
    if (rc != RC_OK) return rc;
    FatEntry label;
    bool labelled = find_label(root, &label);
    std::vector<uint8_t> kept(FAT_ENTRY_BYTES);
    if (labelled) memcpy(kept.data(), fat_dir_slot(&root, label.slot), FAT_ENTRY_BYTES);
    std::fill(root.bytes.begin(), root.bytes.end(), uint8_t(0));
    if (labelled) memcpy(fat_dir_slot(&root, 0), kept.data(), FAT_ENTRY_BYTES);
    FatTable& table = volume->table;
    uint32_t bad = 0;
    for (uint32_t cluster = 2; cluster < table.cluster_count + 2; ++cluster) {
        if (fat_table_get(table, cluster) == FAT_BAD) {
            ++bad;
            continue;
        }
        fat_table_set(&table, cluster, FAT_FREE);
    }
    table.free_count = table.cluster_count - bad;
    table.next_free = 2;
    // The root is cleared before the FAT, so that a write that fails half-way
    // leaves clusters that nothing uses rather than files whose clusters are free.
    if ((rc = fat_dir_store(volume, root)) != RC_OK) return rc;
    return fat_volume_flush_table(volume);
}
