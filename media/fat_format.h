// Formatting blank FAT volumes: a new image file for a medium of the media
// table. Needs fat_geometry, fat_boot and fat_names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sys/result_code.h"

// Creates or replaces the image file `host_path` with a blank volume of the
// media-table row `medium`. RC_INVALID_MEDIA_SIZE for a medium name not in
// the table; RC_UNABLE_TO_WRITE when the file cannot be created.
ResultCode fat_format_image(const std::string& host_path, std::string_view medium,
                            std::string_view label, uint32_t serial);
