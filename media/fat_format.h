// Formatting blank FAT volumes: a new image file for a medium of the media
// table, or any layout on a descriptor the caller holds (an image or a
// block device). Needs fat_geometry, fat_boot and fat_names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "media/fat_geometry.h"
#include "sys/result_code.h"

// Writes a blank volume of layout `g` with volume label `label` (no label
// entry when empty) and volume serial number `serial` on `fd`. A regular
// file is cut to the volume's size and reads as zeros; on a device only the
// boot sector, the FATs and the root are written. RC_INVALID_FILE_NAME for
// a label labels cannot have, RC_UNABLE_TO_WRITE when the file cannot be cut
// to size or a device is too small, the failed write's code (see
// fat_volume_write: 21 for no space or a device error) when writing fails.
ResultCode fat_format_fd(int fd, const FatGeometry& g, std::string_view label, uint32_t serial);

// Creates or replaces the image file `host_path` with a blank volume of the
// media-table row `medium`. RC_INVALID_MEDIA_SIZE for a medium name not in
// the table; RC_UNABLE_TO_WRITE when the file cannot be created.
ResultCode fat_format_image(const std::string& host_path, std::string_view medium, std::string_view label,
                            uint32_t serial);
