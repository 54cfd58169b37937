// Volumes of host directories and of drive providers. A host directory has
// no label of its own and holds only the one volume.
#include "sys/volumes.h"

#include <sys/statvfs.h>

#include <cerrno>

#include "sys/drive_providers.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"

ResultCode volume_space(std::string_view path, uint32_t* free_bytes, uint32_t* cluster_size) {
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK) return rc;
    if (at.provided) {
        uint32_t free = 0, cluster = 0;
        rc = at.on.provider->space(at.on.context, &free, &cluster);
        if (rc != RC_OK) return rc;
        if (free_bytes) *free_bytes = free;
        if (cluster_size) *cluster_size = cluster;
        return RC_OK;
    }
    struct statvfs info;
    if (host_statvfs(at.host.c_str(), &info) != 0) return host_error_code(errno);
    uint64_t free = uint64_t(info.f_bavail) * info.f_frsize;
    if (free_bytes) *free_bytes = free > UINT32_MAX ? UINT32_MAX : uint32_t(free);
    if (cluster_size) *cluster_size = uint32_t(info.f_frsize);
    return RC_OK;
}

ResultCode volume_label(std::string_view path, std::string* label) {
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK) return rc;
    std::string found;  // a host directory has no label
    if (at.provided) rc = at.on.provider->label(at.on.context, &found);
    if (rc == RC_OK && label) *label = found;
    return rc;
}

ResultCode volume_set_label(std::string_view path, std::string_view label) {
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK) return rc;
    return at.provided ? at.on.provider->set_label(at.on.context, label) : RC_UNABLE_TO_WRITE;
}

ResultCode volume_insert_labelled(std::string_view path, std::string_view label) {
    PathTarget at;
    ResultCode rc = path_target_find(path, &at);
    if (rc != RC_OK || !at.provided) return rc;
    return at.on.provider->insert_labelled(at.on.context, label);
}
