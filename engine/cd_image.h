// The CD-ROM image of a kit: after the check, the files an installer on a
// CD reads (the product file, each selected product's files as its map
// lists them, its CD-ROM map file and resource files, and the user files)
// written as an ISO 9660 image, and its size reported. Needs the
// replication's selection and media/iso_image.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_context.h"
#include "sys/paths.h"

// The capacities the size of an image is judged against, in bytes.
constexpr uint64_t CD_74_MINUTES = 681984000;
constexpr uint64_t CD_80_MINUTES = 737280000;

// True when the run writes a CD-ROM image: one is named, and the check
// keeps the CD-ROM subdirectories (no -R, no replication).
bool cd_image_wanted(const RunContext* run);

// True when `label` can be an image's volume identifier: 1 to 32
// characters, none of them a control character.
bool cd_image_label_valid(std::string_view label);

// The warning for an image of `size` bytes: larger than an 80-minute CD,
// larger than a 74-minute CD, or "" when it fits both.
std::string cd_image_size_warning(uint64_t size);

// Writes run->front_end.cd_image for the products `selected` of the product file
// `file`, then a line with the image's size at
// `depth`, after a warning when it exceeds a CD. Every failure (a file that
// cannot be found or read, one outside the kit's directory, the volume
// identifier, the writing of the image) is reported under the path it
// concerns, kept in the run's result and leaves no image. Returns RC_OK, or RC_NO_OBJECT
// for an unusable runtime.
ResultCode cd_image_make(RunContext* run, const std::vector<Value>& selected, const PathParts& file,
                         int depth);
