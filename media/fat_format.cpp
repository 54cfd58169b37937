// Blank volumes.
#include "media/fat_format.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "media/fat_boot.h"
#include "media/fat_directory.h"
#include "media/fat_geometry.h"
#include "media/fat_names.h"
#include "media/fat_volume.h"
#include "sys/host_io.h"

namespace {

// Makes the file or device behind `fd` hold `bytes` bytes of zeros, or
// checks that a device is large enough.
ResultCode prepare(int fd, uint64_t bytes) {
    struct stat st;
    if (host_fstat(fd, &st) != 0) return RC_UNABLE_TO_WRITE;
    if (S_ISREG(st.st_mode)) {
        if (host_ftruncate(fd, 0) != 0 || host_ftruncate(fd, off_t(bytes)) != 0)
            return RC_UNABLE_TO_WRITE;
        return RC_OK;
    }
    off_t end = host_lseek(fd, 0, SEEK_END);
    return (end < 0 || uint64_t(end) < bytes) ? RC_UNABLE_TO_WRITE : RC_OK;
}

// The boot sector, both FATs and the root of a blank volume, in one buffer.
std::vector<uint8_t> system_area(const FatGeometry& g, const char raw_label[FAT_SHORT_BYTES],
                                 uint32_t serial) {
    uint32_t bps = g.bytes_per_sector;
    uint32_t root_sectors = (uint32_t(g.root_entries) * FAT_ENTRY_BYTES + bps - 1) / bps;
    uint32_t sectors = g.reserved_sectors + uint32_t(g.fat_count) * g.fat_sectors + root_sectors;
    std::vector<uint8_t> area(size_t(sectors) * bps, 0);
    bool has_label = raw_label[0] != ' ';
    fat_boot_build(g, has_label ? raw_label : "NO NAME    ", serial, area.data());
    for (uint32_t copy = 0; copy < g.fat_count; copy++) {
        uint8_t* fat = area.data() + size_t(g.reserved_sectors + copy * g.fat_sectors) * bps;
        // Entries 0 and 1: the media byte, then all ones.
        memset(fat, 0xFF, g.fat16 ? 4 : 3);
        fat[0] = g.media_descriptor;
    }
    if (has_label) {
        uint8_t* e =
            area.data() + size_t(g.reserved_sectors + uint32_t(g.fat_count) * g.fat_sectors) * bps;
        memcpy(e, raw_label, FAT_SHORT_BYTES);
        e[11] = FAT_ATTR_VOLUME;
        time_t now = time(nullptr);
        fat_entry_set_times(e, now, now);
    }
    return area;
}

// Writes a blank volume of layout `g` with volume label `label` (no label
// entry when empty) and volume serial number `serial` on `fd`. A regular
// file is cut to the volume's size and reads as zeros; on a device only the
// boot sector, the FATs and the root are written. RC_INVALID_FILE_NAME for
// a label labels cannot have, RC_UNABLE_TO_WRITE when the file cannot be cut
// to size or a device is too small, the failed write's code (see
// fat_volume_write: RC_UNABLE_TO_WRITE for no space or a device error) when writing fails.
ResultCode fat_format_fd(int fd, const FatGeometry& g, std::string_view label, uint32_t serial) {
    char raw_label[FAT_SHORT_BYTES];
    if (!fat_label_encode(label, raw_label)) return RC_INVALID_FILE_NAME;
    ResultCode rc = prepare(fd, uint64_t(g.total_sectors) * g.bytes_per_sector);
    if (rc != RC_OK) return rc;
    std::vector<uint8_t> area = system_area(g, raw_label, serial);
    FatVolume target;
    target.fd = fd;
    rc = fat_volume_write(&target, 0, area.data(), area.size());
    return rc == RC_WRITE_PROTECTED ? RC_UNABLE_TO_WRITE : rc;
}

}  // namespace

ResultCode fat_format_image(const std::string& host_path, std::string_view medium,
                            std::string_view label, uint32_t serial) {
    const FatGeometry* g = fat_geometry_find(medium);
    if (g == nullptr) return RC_INVALID_MEDIA_SIZE;
    char raw_label[FAT_SHORT_BYTES];
    if (!fat_label_encode(label, raw_label)) return RC_INVALID_FILE_NAME;
    int fd = host_open(host_path.c_str(), O_RDWR | O_CREAT, 0666);
    if (fd < 0) return host_write_error_code(errno);
    ResultCode rc = fat_format_fd(fd, *g, label, serial);
    if (host_close(fd) != 0 && rc == RC_OK) rc = RC_UNABLE_TO_WRITE;
    return rc;
}
