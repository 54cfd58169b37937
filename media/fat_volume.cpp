// Mounting a volume and moving its bytes.
#include "media/fat_volume.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "media/fat_check.h"
#include "sys/host_io.h"

namespace {

// Size of the image or device behind `fd`; -1 when unknown.
int64_t descriptor_size(int fd) {
    struct stat st;
    if (host_fstat(fd, &st) != 0) return -1;
    if (S_ISREG(st.st_mode)) return st.st_size;
    off_t end = host_lseek(fd, 0, SEEK_END);
    return end < 0 ? -1 : int64_t(end);
}

ResultCode read_table(FatVolume* volume) {
    const FatLayout& l = volume->layout;
    std::vector<uint8_t> bytes(l.fat_bytes);
    ResultCode rc = fat_volume_read(*volume, l.fat_offset, bytes.data(), bytes.size());
    if (rc != RC_OK) return rc;
    fat_table_init(&volume->table, std::move(bytes), l.fat16, l.cluster_count);
    return fat_table_check(volume->table);
}

// Reads and checks the boot sector, the FAT and the directory tree.
ResultCode mount(FatVolume* volume) {
    int64_t size = descriptor_size(volume->fd);
    if (size < 0) return RC_UNABLE_TO_READ;
    uint8_t boot[FAT_BOOT_BYTES];
    if (size < int64_t(sizeof boot)) return RC_FILE_CORRUPT;
    ResultCode rc = fat_volume_read(*volume, 0, boot, sizeof boot);
    if (rc == RC_OK) rc = fat_boot_read(boot, &volume->layout);
    if (rc == RC_OK && volume->layout.volume_bytes > uint64_t(size)) rc = RC_FILE_CORRUPT;
    if (rc == RC_OK) rc = read_table(volume);
    if (rc == RC_OK) rc = fat_volume_check(*volume);
    return rc;
}

}  // namespace

ResultCode fat_volume_open_fd(int fd, bool read_only, FatVolume* out) {
    fat_volume_close(out);
    out->fd = fd;
    out->read_only = read_only;
    ResultCode rc = mount(out);
    if (rc != RC_OK) *out = FatVolume();
    return rc;
}

ResultCode fat_volume_open(const std::string& host_path, FatVolume* out) {
    fat_volume_close(out);
    bool read_only = false;
    int fd = host_open(host_path.c_str(), O_RDWR, 0);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        read_only = true;
        fd = host_open(host_path.c_str(), O_RDONLY, 0);
    }
    if (fd < 0) return host_error_code(errno);
    ResultCode rc = fat_volume_open_fd(fd, read_only, out);
    if (rc != RC_OK) {
        host_close(fd);
        return rc;
    }
    out->owns_fd = true;
    return RC_OK;
}

void fat_volume_close(FatVolume* volume) {
    if (volume->owns_fd && volume->fd >= 0) host_close(volume->fd);
    *volume = FatVolume();
}

ResultCode fat_volume_read(const FatVolume& volume, uint64_t offset, void* buffer, size_t size) {
    auto* p = static_cast<char*>(buffer);
    while (size > 0) {
        // A host error or an image that ends before `size` bytes: either
        // way the data is not there, and neither is an end of file.
        long got = host_pread(volume.fd, p, size, off_t(offset));
        if (got <= 0) return RC_UNABLE_TO_READ;
        p += got;
        offset += uint64_t(got);
        size -= size_t(got);
    }
    return RC_OK;
}

ResultCode fat_volume_write(FatVolume* volume, uint64_t offset, const void* buffer, size_t size) {
    if (volume->read_only) return RC_WRITE_PROTECTED;
    if (size == 0) return RC_OK;
    int error = host_pwrite_all(volume->fd, static_cast<const char*>(buffer), size, off_t(offset));
    return error == 0 ? RC_OK : host_write_error_code(error);
}

ResultCode fat_volume_flush_table(FatVolume* volume) {
    if (!volume->table.dirty) return RC_OK;
    const FatLayout& l = volume->layout;
    for (uint32_t copy = 0; copy < l.fat_count; copy++) {
        uint64_t at = l.fat_offset + uint64_t(copy) * l.fat_bytes;
        ResultCode rc =
            fat_volume_write(volume, at, volume->table.bytes.data(), volume->table.bytes.size());
        if (rc != RC_OK) return rc;
    }
    volume->table.dirty = false;
    return RC_OK;
}

void fat_volume_take_back(FatVolume* volume, std::vector<uint32_t>* chain, size_t keep) {
    if (chain->size() <= keep) return;
    fat_chain_cut(&volume->table, chain, keep);
    fat_volume_flush_table(volume);
}

uint32_t fat_volume_free_bytes(const FatVolume& volume) {
    return volume.table.free_count * volume.layout.cluster_bytes;
}

uint32_t fat_volume_cluster_bytes(const FatVolume& volume) {
    return volume.layout.cluster_bytes;
}
