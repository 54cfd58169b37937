// Open files: opening by path, streaming reads and writes, closing.
#include "media/fat_file.h"

#include <algorithm>
#include <ctime>

#include "media/fat_directory.h"
#include "media/fat_names.h"

namespace {

// True when the entry at `offset` is open; *writing tells whether any
// handle on it writes.
bool entry_open(const FatVolume& volume, uint64_t offset, bool* writing) {
    bool open = false;
    *writing = false;
    for (const FatOpenRecord& r : volume.open_files) {
        if (r.entry_offset != offset) continue;
        open = true;
        *writing = *writing || r.writing;
    }
    return open;
}

// Empties an existing file: the entry first, so that a failure part way
// leaves at worst clusters that nothing uses.
ResultCode empty_file(FatVolume* volume, FatDir* dir, const FatEntry& entry) {
    std::vector<uint32_t> chain;
    if (entry.first_cluster != 0) {
        ResultCode rc = fat_chain_read(volume->table, entry.first_cluster, &chain);
        if (rc != RC_OK) return rc;
    }
    uint8_t* e = fat_dir_slot(dir, entry.slot);
    fat_entry_set_cluster(e, 0);
    fat_entry_set_size(e, 0);
    e[11] |= FAT_ATTR_ARCHIVE;
    time_t now = time(nullptr);
    fat_entry_set_times(e, now, now);
    ResultCode rc = fat_dir_store(volume, *dir);
    if (rc != RC_OK) return rc;
    fat_chain_cut(&volume->table, &chain, 0);
    return fat_volume_flush_table(volume);
}

// Adds a new empty file: the FAT first (when the directory grew), then the
// directory. On failure the directory's new clusters go back.
ResultCode create_file(FatVolume* volume, FatDir* dir, std::string_view name, FatEntry* entry) {
    if (!fat_name_valid(name)) return RC_INVALID_FILE_NAME;
    size_t had = dir->clusters.size();
    ResultCode rc = fat_dir_add(volume, dir, name, FAT_ATTR_ARCHIVE, 0, time(nullptr), entry);
    if (rc == RC_OK) rc = fat_volume_flush_table(volume);
    if (rc == RC_OK) rc = fat_dir_store(volume, *dir);
    if (rc != RC_OK) fat_volume_take_back(volume, &dir->clusters, had);
    return rc;
}

// Finds or makes the entry a handle of `mode` works on.
ResultCode open_entry(FatVolume* volume, FatDir* dir, std::string_view leaf, FatOpenMode mode,
                      FatEntry* entry) {
    bool found = fat_dir_find(*dir, leaf, entry);
    bool writing = false;
    bool open =
        found && entry_open(*volume, fat_dir_slot_offset(*volume, *dir, entry->slot), &writing);
    if (mode == FAT_OPEN_READ) {
        if (!found) return RC_FILE_NOT_FOUND;
        if (entry->attributes & FAT_ATTR_DIRECTORY) return RC_PERMISSION_DENIED;
        return writing ? RC_SHARING_VIOLATION : RC_OK;
    }
    if (volume->read_only) return RC_WRITE_PROTECTED;
    if (!found) return create_file(volume, dir, leaf, entry);
    if (entry->attributes & (FAT_ATTR_DIRECTORY | FAT_ATTR_READ_ONLY)) return RC_PERMISSION_DENIED;
    if (open) return RC_SHARING_VIOLATION;
    if (mode == FAT_OPEN_APPEND) return RC_OK;
    ResultCode rc = empty_file(volume, dir, *entry);
    entry->first_cluster = 0;
    entry->size = 0;
    return rc;
}

// The longest stretch of contiguous clusters from byte `position` of the
// file, at most `wanted` bytes: its volume offset and length.
void next_run(const FatFile& file, uint64_t position, size_t wanted, uint64_t* offset,
              size_t* length) {
    const FatLayout& l = file.volume->layout;
    size_t index = size_t(position / l.cluster_bytes);
    size_t within = size_t(position % l.cluster_bytes);
    size_t run = l.cluster_bytes - within;
    size_t last = index;
    while (run < wanted && last + 1 < file.chain.size() &&
           file.chain[last + 1] == file.chain[last] + 1) {
        last++;
        run += l.cluster_bytes;
    }
    *offset = fat_cluster_offset(l, file.chain[index]) + within;
    *length = std::min(run, wanted);
}

ResultCode write_data(FatFile* file, const uint8_t* data, size_t size) {
    uint64_t position = file->size;
    while (size > 0) {
        uint64_t offset = 0;
        size_t length = 0;
        next_run(*file, position, size, &offset, &length);
        ResultCode rc = fat_volume_write(file->volume, offset, data, length);
        if (rc != RC_OK) return rc;
        data += length;
        position += length;
        size -= length;
    }
    return RC_OK;
}

// Rewrites the fields of the file's directory entry.
ResultCode update_entry(FatFile* file, bool stamp) {
    uint8_t e[FAT_ENTRY_BYTES];
    ResultCode rc = fat_volume_read(*file->volume, file->entry_offset, e, sizeof e);
    if (rc != RC_OK) return rc;
    fat_entry_set_cluster(e, file->chain.empty() ? 0 : file->chain[0]);
    fat_entry_set_size(e, file->size);
    if (stamp) {
        time_t now = time(nullptr);
        fat_entry_set_times(e, now, now);
    }
    return fat_volume_write(file->volume, file->entry_offset, e, sizeof e);
}

}  // namespace

ResultCode fat_file_open(FatVolume* volume, std::string_view path, FatOpenMode mode, FatFile* out) {
    *out = FatFile();
    FatDir dir;
    std::string leaf;
    ResultCode rc = fat_path_parent(*volume, path, &dir, &leaf);
    if (rc != RC_OK) return rc;
    if (leaf.empty()) return RC_PERMISSION_DENIED;
    FatEntry entry;
    rc = open_entry(volume, &dir, leaf, mode, &entry);
    if (rc != RC_OK) return rc;
    if (entry.first_cluster != 0) {
        rc = fat_chain_read(volume->table, entry.first_cluster, &out->chain);
        if (rc != RC_OK) return rc;
    }
    // The image may have changed since it was checked: never trust a size
    // that its clusters cannot hold.
    if (uint64_t(out->chain.size()) * volume->layout.cluster_bytes < entry.size) {
        out->chain.clear();
        return RC_FILE_CORRUPT;
    }
    out->volume = volume;
    out->mode = mode;
    out->entry_offset = fat_dir_slot_offset(*volume, dir, entry.slot);
    out->size = entry.size;
    out->position = mode == FAT_OPEN_APPEND ? entry.size : 0;
    volume->open_files.push_back({out->entry_offset, mode != FAT_OPEN_READ});
    return RC_OK;
}

ResultCode fat_file_read(FatFile* file, void* buffer, size_t size, size_t* got) {
    *got = 0;
    if (file->volume == nullptr || file->mode != FAT_OPEN_READ) return RC_UNABLE_TO_READ;
    size = std::min<size_t>(size, file->size - file->position);
    auto* p = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        uint64_t offset = 0;
        size_t length = 0;
        next_run(*file, file->position, size, &offset, &length);
        ResultCode rc = fat_volume_read(*file->volume, offset, p, length);
        if (rc != RC_OK) return rc;
        p += length;
        file->position += uint32_t(length);
        *got += length;
        size -= length;
    }
    return RC_OK;
}

ResultCode fat_file_write(FatFile* file, const void* buffer, size_t size, size_t* written) {
    *written = 0;
    if (file->volume == nullptr || file->mode == FAT_OPEN_READ) return RC_UNABLE_TO_WRITE;
    FatVolume* volume = file->volume;
    uint64_t cluster_bytes = volume->layout.cluster_bytes;
    uint64_t room =
        (file->chain.size() + uint64_t(volume->table.free_count)) * cluster_bytes - file->size;
    room = std::min<uint64_t>(room, UINT32_MAX - file->size);
    size_t fit = size_t(std::min<uint64_t>(size, room));
    uint64_t end = uint64_t(file->size) + fit;
    size_t had = file->chain.size();
    size_t needed = size_t((end + cluster_bytes - 1) / cluster_bytes);
    if (needed > had) {
        uint32_t tail = had ? file->chain.back() : 0;
        ResultCode rc =
            fat_chain_extend(&volume->table, tail, uint32_t(needed - had), &file->chain);
        if (rc != RC_OK) return rc;
    }
    ResultCode rc = write_data(file, static_cast<const uint8_t*>(buffer), fit);
    if (rc == RC_OK) rc = fat_volume_flush_table(volume);
    uint32_t old_size = file->size;
    if (rc == RC_OK) {
        file->size = uint32_t(end);
        rc = update_entry(file, false);
    }
    if (rc != RC_OK) {
        // The entry still gives the old size: the clusters taken for this
        // write go back, wherever the failure struck.
        file->size = old_size;
        fat_volume_take_back(volume, &file->chain, had);
        return rc;
    }
    file->position = file->size;
    file->written = true;
    *written = fit;
    return fit < size ? RC_UNABLE_TO_WRITE : RC_OK;
}

ResultCode fat_file_close(FatFile* file) {
    if (file->volume == nullptr) return RC_OK;
    FatVolume* volume = file->volume;
    ResultCode rc = file->written ? update_entry(file, true) : RC_OK;
    auto& records = volume->open_files;
    for (size_t i = 0; i < records.size(); i++) {
        if (records[i].entry_offset != file->entry_offset ||
            records[i].writing != (file->mode != FAT_OPEN_READ))
            continue;
        records.erase(records.begin() + long(i));
        break;
    }
    *file = FatFile();
    return rc;
}
