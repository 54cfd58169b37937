// CD-ROM images: a list of files written as an ISO 9660 image by libisofs,
// with level 1 names for DOS-era readers and Joliet and Rock Ridge trees
// that keep the original names. Needs libisofs and the file services; the
// image reaches its place under its own name only when whole.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "sys/result_code.h"

// The longest volume identifier an image takes.
constexpr size_t ISO_VOLUME_ID_LIMIT = 32;

// One file of an image: the engine path it is read from, its path in the
// image ("/" between directories, names as they are to show) and the
// modification time it carries there.
struct IsoEntry {
    std::string source;
    std::string image_path;
    time_t modified = 0;
};

// What an image is made of. Every time in the image is one of the entries'
// times or `volume_time` (the volume's dates, its directories' times), and
// owners and permissions are fixed, so that the same entries give the same
// bytes.
struct IsoImageContents {
    std::vector<IsoEntry> entries;
    std::string volume_id;  // at most ISO_VOLUME_ID_LIMIT characters
    time_t volume_time = 0;
};

// Writes the image to the engine path `target`: under a temporary name
// beside it, renamed into place once every byte is written, so that a
// failure leaves no image and no temporary, and a former image whole.
// *size (may be null) is the image's length in bytes. RC_OK; RC_INVALID_VOLUME_LABEL for a volume
// identifier that is empty or too long; RC_INVALID_FILE_NAME for two entries with one path,
// or a path the image cannot hold; the file services' codes for an entry
// that cannot be found (RC_FILE_NOT_FOUND) or read (RC_UNABLE_TO_READ); RC_NO_OBJECT when libisofs
// cannot make the image; the write's and the rename's codes (RC_UNABLE_TO_WRITE for a full disk).
ResultCode iso_image_write(const IsoImageContents& contents, std::string_view target,
                           uint64_t* size);
