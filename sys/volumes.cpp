// Volumes of host directories and of drive providers. A host directory has
// no label of its own and holds only the one volume.
#include "sys/volumes.h"

#include <sys/statvfs.h>

#include <cerrno>

#include "sys/drive_providers.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"

// The provider answering for `path`, with its context.
ResultCode volume_space(std::string_view path, uint32_t* free_bytes, uint32_t* cluster_size) {
    ProvidedPath on;
    if (drive_provider_find(path, &on)) {
        uint32_t free = 0, cluster = 0;
        ResultCode rc = on.provider->space(on.context, &free, &cluster);
        if (rc != RC_OK) return rc;
        if (free_bytes) *free_bytes = free;
        if (cluster_size) *cluster_size = cluster;
        return RC_OK;
    }
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
    ProvidedPath on;
    if (drive_provider_find(path, &on)) {
        std::string found;
        ResultCode rc = on.provider->label(on.context, &found);
        if (rc == RC_OK && label) *label = found;
        return rc;
    }
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc != RC_OK) return rc;
    if (label) label->clear();
    return RC_OK;
}

ResultCode volume_set_label(std::string_view path, std::string_view label) {
    ProvidedPath on;
    if (drive_provider_find(path, &on)) return on.provider->set_label(on.context, label);
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    return rc != RC_OK ? rc : RC_UNABLE_TO_WRITE;
}

ResultCode volume_insert_labelled(std::string_view path, std::string_view label) {
    ProvidedPath on;
    if (drive_provider_find(path, &on)) return on.provider->insert_labelled(on.context, label);
    std::string host;
    return host_path_resolve(path, &host);
}
