// Loading, reading, changing and storing directories; paths inside a volume.
#include "media/fat_directory.h"

#include <cstring>

#include "media/fat_names.h"
#include "sys/text.h"

namespace {

// Most slots a subdirectory may have.
constexpr size_t DIR_SLOT_LIMIT = 65536;
// Most long-name entries one name can have (255 characters).
constexpr uint8_t LONG_ORDINAL_LIMIT = 20;

size_t slot_count(const FatDir& dir) {
    return dir.bytes.size() / FAT_ENTRY_BYTES;
}

bool slot_free(const FatDir& dir, size_t slot) {
    uint8_t first = dir.bytes[slot * FAT_ENTRY_BYTES];
    return first == 0x00 || first == 0xE5;
}

// Everything after the first end mark is free; make it read so.
void clear_after_end(FatDir* dir) {
    for (size_t slot = 0; slot < slot_count(*dir); slot++) {
        if (dir->bytes[slot * FAT_ENTRY_BYTES] != 0x00) continue;
        std::fill(dir->bytes.begin() + long(slot * FAT_ENTRY_BYTES), dir->bytes.end(), uint8_t(0));
        return;
    }
}

// Long-name entries gathered while stepping towards their short entry.
struct LongName {
    uint8_t next = 0;  // ordinal expected next; 0 when none pending or complete
    bool complete = false;
    uint8_t checksum = 0;
    size_t first_slot = 0;
    std::string parts[LONG_ORDINAL_LIMIT];
};

void long_name_take(LongName* ln, const uint8_t* e, size_t slot) {
    uint8_t ordinal = e[0] & 0x3F;
    if (e[0] & 0x40) {
        ln->next = ordinal;
        ln->checksum = e[13];
        ln->first_slot = slot;
    } else if (ordinal != ln->next || e[13] != ln->checksum) {
        ln->next = 0;
    }
    ln->complete = false;
    if (ln->next == 0 || ordinal == 0 || ordinal > LONG_ORDINAL_LIMIT) {
        ln->next = 0;
        return;
    }
    ln->parts[ordinal - 1].clear();
    fat_name_long_chars(e, &ln->parts[ordinal - 1]);
    ln->next = uint8_t(ordinal - 1);
    ln->complete = ln->next == 0;
}

void entry_from_slot(const FatDir& dir, size_t slot, LongName* ln, FatEntry* out) {
    const uint8_t* e = dir.bytes.data() + slot * FAT_ENTRY_BYTES;
    out->attributes = e[11];
    out->first_cluster = fat_get16(e + 26);
    out->size = fat_get32(e + 28);
    out->slot = slot;
    out->first_slot = slot;
    out->short_name = fat_name_short_text(e, e[12]);
    out->name = out->short_name;
    if (e[11] & FAT_ATTR_VOLUME) out->name = out->short_name = fat_label_text(e);
    bool joined = !(e[11] & FAT_ATTR_VOLUME) && ln->complete &&
                  ln->checksum == fat_name_checksum(e) && ln->first_slot < slot;
    if (joined) {
        std::string name;
        size_t count = slot - ln->first_slot;
        for (size_t i = 0; i < count && i < LONG_ORDINAL_LIMIT; i++) name += ln->parts[i];
        if (!name.empty()) {
            out->name = name;
            out->first_slot = ln->first_slot;
        }
    }
    ln->next = 0;
    ln->complete = false;
}

// Finds `count` free slots in a row; false when there are none.
bool find_free_run(const FatDir& dir, size_t count, size_t* start) {
    size_t run = 0;
    for (size_t slot = 0; slot < slot_count(dir); slot++) {
        run = slot_free(dir, slot) ? run + 1 : 0;
        if (run == count) {
            *start = slot + 1 - count;
            return true;
        }
    }
    return false;
}

// Adds clusters to a subdirectory until it has `count` free slots in a row.
ResultCode grow(FatVolume* volume, FatDir* dir, size_t count, size_t* start) {
    if (dir->first_cluster == 0) return RC_UNABLE_TO_WRITE;
    size_t per_cluster = volume->layout.cluster_bytes / FAT_ENTRY_BYTES;
    size_t trailing = 0;
    while (trailing < slot_count(*dir) && slot_free(*dir, slot_count(*dir) - 1 - trailing))
        trailing++;
    size_t missing = count - trailing;
    uint32_t clusters = uint32_t((missing + per_cluster - 1) / per_cluster);
    if (slot_count(*dir) + clusters * per_cluster > DIR_SLOT_LIMIT) return RC_UNABLE_TO_WRITE;
    ResultCode rc =
        fat_chain_extend(&volume->table, dir->clusters.back(), clusters, &dir->clusters);
    if (rc != RC_OK) return rc;
    *start = slot_count(*dir) - trailing;
    dir->bytes.resize(dir->bytes.size() + size_t(clusters) * volume->layout.cluster_bytes, 0);
    return RC_OK;
}

// A made-up short name for the long name `name` that no entry of `dir` has.
void unique_short_name(const FatDir& dir, std::string_view name, uint8_t raw[FAT_SHORT_BYTES]) {
    for (uint32_t n = 1; n <= 999999; n++) {
        fat_name_short_for_long(name, n, raw);
        bool taken = false;
        for (size_t slot = 0; slot < slot_count(dir) && !taken; slot++) {
            const uint8_t* e = dir.bytes.data() + slot * FAT_ENTRY_BYTES;
            taken = !slot_free(dir, slot) && e[11] != FAT_ATTR_LONG_NAME &&
                    memcmp(e, raw, FAT_SHORT_BYTES) == 0;
        }
        if (!taken) return;
    }
}

void dos_stamp(time_t t, uint32_t* date, uint32_t* time_of_day) {
    struct tm tm_value;
    if (localtime_r(&t, &tm_value) == nullptr || tm_value.tm_year < 80) {
        *date = (1 << 5) | 1;
        *time_of_day = 0;
        return;
    }
    if (tm_value.tm_year > 207) {
        *date = (127u << 9) | (12 << 5) | 31;
        *time_of_day = (23 << 11) | (59 << 5) | 29;
        return;
    }
    *date = uint32_t(tm_value.tm_year - 80) << 9 | uint32_t(tm_value.tm_mon + 1) << 5 |
            uint32_t(tm_value.tm_mday);
    *time_of_day = uint32_t(tm_value.tm_hour) << 11 | uint32_t(tm_value.tm_min) << 5 |
                   uint32_t(tm_value.tm_sec / 2);
}

}  // namespace

ResultCode fat_dir_load(const FatVolume& volume, uint32_t first_cluster, FatDir* out) {
    const FatLayout& l = volume.layout;
    out->first_cluster = first_cluster;
    out->clusters.clear();
    if (first_cluster == 0) {
        out->bytes.assign(size_t(l.root_entries) * FAT_ENTRY_BYTES, 0);
        ResultCode rc =
            fat_volume_read(volume, l.root_offset, out->bytes.data(), out->bytes.size());
        if (rc != RC_OK) return rc;
        clear_after_end(out);
        return RC_OK;
    }
    ResultCode rc = fat_chain_read(volume.table, first_cluster, &out->clusters);
    if (rc != RC_OK) return rc;
    if (out->clusters.size() * (l.cluster_bytes / FAT_ENTRY_BYTES) > DIR_SLOT_LIMIT)
        return RC_FILE_CORRUPT;
    out->bytes.assign(out->clusters.size() * l.cluster_bytes, 0);
    for (size_t i = 0; i < out->clusters.size(); i++) {
        rc = fat_volume_read(volume, fat_cluster_offset(l, out->clusters[i]),
                             out->bytes.data() + i * l.cluster_bytes, l.cluster_bytes);
        if (rc != RC_OK) return rc;
    }
    clear_after_end(out);
    return RC_OK;
}

ResultCode fat_dir_store(FatVolume* volume, const FatDir& dir) {
    const FatLayout& l = volume->layout;
    if (dir.first_cluster == 0)
        return fat_volume_write(volume, l.root_offset, dir.bytes.data(), dir.bytes.size());
    for (size_t i = 0; i < dir.clusters.size(); i++) {
        ResultCode rc = fat_volume_write(volume, fat_cluster_offset(l, dir.clusters[i]),
                                         dir.bytes.data() + i * l.cluster_bytes, l.cluster_bytes);
        if (rc != RC_OK) return rc;
    }
    return RC_OK;
}

bool fat_dir_next(const FatDir& dir, size_t* cursor, FatEntry* out) {
    LongName ln;
    for (size_t slot = *cursor; slot < slot_count(dir); slot++) {
        const uint8_t* e = dir.bytes.data() + slot * FAT_ENTRY_BYTES;
        if (e[0] == 0x00) break;
        if (e[0] == 0xE5) {
            ln.next = 0;
            ln.complete = false;
            continue;
        }
        if ((e[11] & 0x3F) == FAT_ATTR_LONG_NAME) {
            long_name_take(&ln, e, slot);
            continue;
        }
        entry_from_slot(dir, slot, &ln, out);
        *cursor = slot + 1;
        return true;
    }
    *cursor = slot_count(dir);
    return false;
}

bool fat_entry_is_label(const FatEntry& entry) {
    return (entry.attributes & FAT_ATTR_VOLUME) != 0 &&
           (entry.attributes & FAT_ATTR_DIRECTORY) == 0;
}

bool fat_entry_is_dot(const FatEntry& entry) {
    return entry.short_name == "." || entry.short_name == "..";
}

bool fat_dir_find(const FatDir& dir, std::string_view name, FatEntry* out) {
    size_t cursor = 0;
    FatEntry entry;
    while (fat_dir_next(dir, &cursor, &entry)) {
        if (fat_entry_is_label(entry) || fat_entry_is_dot(entry)) continue;
        if (text_equal_nocase(entry.name, name) || text_equal_nocase(entry.short_name, name)) {
            *out = std::move(entry);
            return true;
        }
    }
    return false;
}

ResultCode fat_dir_add(FatVolume* volume, FatDir* dir, std::string_view name, uint8_t attributes,
                       uint32_t first_cluster, time_t now, FatEntry* out) {
    uint8_t raw[FAT_SHORT_BYTES];
    uint8_t case_flags = 0;
    bool fits = fat_name_fits_short(name, raw, &case_flags);
    if (!fits) {
        case_flags = 0;
        unique_short_name(*dir, name, raw);
    }
    size_t long_entries = fits ? 0 : fat_name_long_entries(name);
    size_t start = 0;
    if (!find_free_run(*dir, long_entries + 1, &start)) {
        ResultCode rc = grow(volume, dir, long_entries + 1, &start);
        if (rc != RC_OK) return rc;
    }
    uint8_t checksum = fat_name_checksum(raw);
    for (size_t i = 0; i < long_entries; i++) {
        fat_name_long_entry(name, long_entries - i, checksum, fat_dir_slot(dir, start + i));
    }
    uint8_t* e = fat_dir_slot(dir, start + long_entries);
    memset(e, 0, FAT_ENTRY_BYTES);
    memcpy(e, raw, FAT_SHORT_BYTES);
    if (e[0] == 0xE5) e[0] = 0x05;
    e[11] = attributes;
    e[12] = case_flags;
    fat_entry_set_cluster(e, first_cluster);
    fat_entry_set_times(e, now, now);
    memcpy(e + 14, e + 22, 4);  // creation time and date
    size_t cursor = start;
    fat_dir_next(*dir, &cursor, out);
    return RC_OK;
}

void fat_dir_remove(FatDir* dir, const FatEntry& entry) {
    for (size_t slot = entry.first_slot; slot <= entry.slot; slot++)
        fat_dir_slot(dir, slot)[0] = 0xE5;
}

uint64_t fat_dir_slot_offset(const FatVolume& volume, const FatDir& dir, size_t slot) {
    uint64_t at = uint64_t(slot) * FAT_ENTRY_BYTES;
    if (dir.first_cluster == 0) return volume.layout.root_offset + at;
    uint32_t cluster_bytes = volume.layout.cluster_bytes;
    return fat_cluster_offset(volume.layout, dir.clusters[at / cluster_bytes]) + at % cluster_bytes;
}

void fat_entry_set_cluster(uint8_t* entry, uint32_t cluster) {
    fat_put16(entry + 20, 0);
    fat_put16(entry + 26, cluster);
}

void fat_entry_set_size(uint8_t* entry, uint32_t size) {
    fat_put32(entry + 28, size);
}

void fat_entry_set_times(uint8_t* entry, time_t access_time, time_t write_time) {
    uint32_t date = 0, time_of_day = 0;
    dos_stamp(access_time, &date, &time_of_day);
    fat_put16(entry + 18, date);
    dos_stamp(write_time, &date, &time_of_day);
    fat_put16(entry + 22, time_of_day);
    fat_put16(entry + 24, date);
}

time_t fat_entry_write_time(const uint8_t* entry) {
    uint32_t time_of_day = fat_get16(entry + 22);
    uint32_t date = fat_get16(entry + 24);
    struct tm tm_value {};
    tm_value.tm_year = int(date >> 9) + 80;
    tm_value.tm_mon = int((date >> 5) & 15) - 1;
    tm_value.tm_mday = int(date & 31);
    tm_value.tm_hour = int(time_of_day >> 11);
    tm_value.tm_min = int((time_of_day >> 5) & 63);
    tm_value.tm_sec = int(time_of_day & 31) * 2;
    tm_value.tm_isdst = -1;
    return mktime(&tm_value);
}

ResultCode fat_path_parent(const FatVolume& volume, std::string_view path, FatDir* parent,
                           std::string* leaf) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find_first_of("\\/", at);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        at = end + 1;
    }
    leaf->clear();
    if (!parts.empty()) {
        *leaf = parts.back();
        parts.pop_back();
    }
    ResultCode rc = fat_dir_load(volume, 0, parent);
    for (size_t i = 0; i < parts.size() && rc == RC_OK; i++) {
        FatEntry entry;
        if (!fat_dir_find(*parent, parts[i], &entry) || !(entry.attributes & FAT_ATTR_DIRECTORY) ||
            entry.first_cluster == 0)
            return RC_FILE_NOT_FOUND;
        rc = fat_dir_load(volume, entry.first_cluster, parent);
    }
    return rc;
}
