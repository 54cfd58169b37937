// Volumes of host directories. A host directory has no label of its own.
#include "sys/volumes.h"

#include <sys/statvfs.h>

#include <cerrno>

#include "sys/host_io.h"
#include "sys/host_paths.h"

ResultCode volume_space(std::string_view path, uint32_t* free_bytes, uint32_t* cluster_size) {
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc != RC_OK) return rc;
    struct statvfs info;
    if (statvfs(host.c_str(), &info) != 0) return host_error_code(errno);
    uint64_t free = uint64_t(info.f_bavail) * info.f_frsize;
    if (free_bytes) *free_bytes = free > UINT32_MAX ? UINT32_MAX : uint32_t(free);
    if (cluster_size) *cluster_size = uint32_t(info.f_frsize);
    return RC_OK;
}

ResultCode volume_label(std::string_view path, std::string* label) {
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc != RC_OK) return rc;
    if (label) label->clear();
    return RC_OK;
}

ResultCode volume_set_label(std::string_view path, std::string_view) {
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    return rc != RC_OK ? rc : RC_UNABLE_TO_WRITE;
}
