// Volumes: the free space, allocation unit and label of the volume that
// holds a path, and the kind of a drive. Floppy drives are answered by the
// floppy-disk layer; every other path by the host's file-system statistics.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sys/result_code.h"

// Free bytes (at most 4294967295) and cluster size of the volume of `path`.
ResultCode volume_space(std::string_view path, uint32_t* free_bytes, uint32_t* cluster_size);
// The volume label of the volume of `path`; empty when it has none.
ResultCode volume_label(std::string_view path, std::string* label);
// Sets the label; RC_UNABLE_TO_WRITE when the volume cannot carry one.
ResultCode volume_set_label(std::string_view path, std::string_view label);
// Puts the disk labelled `label` in the drive of `path` when that drive
// keeps several disks (a folder of disk images) and one carries the label;
// otherwise the disk in the drive stays. RC_OK, or the drive's failure.
ResultCode volume_insert_labelled(std::string_view path, std::string_view label);
