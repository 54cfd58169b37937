// Drive operations on a floppy root: check and set a disk's label, whether
// the root is empty, a drive's kind. Needs sys/volumes, sys/directory,
// media/floppy_drives and media/floppy_probe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sys/result_code.h"

// Checks the disk in the drive of `root` against *label_base and
// disk_number. In a folder of images, the image of that label is put in the
// drive first when there is one. RC_OK when the labels match (letter case
// aside), RC_FILE_NOT_FOUND when they differ, RC_OS_ERROR when no readable disk is in the drive.
// With an empty *label_base, the disk's label is taken apart instead: the
// text before its last blank goes to *label_base and the digits after it to
// *disk_number (the whole label and 0 when it does not end in a number).
ResultCode disk_check_label(std::string_view root, std::string* label_base, uint32_t* disk_number);

// Labels the disk in the drive of `root` with the base, a blank and the
// number. RC_OK, or RC_FILE_NOT_FOUND when the disk cannot take the label.
ResultCode disk_set_label(std::string_view root, std::string_view label_base, uint32_t disk_number);

// *empty tells whether the root directory of `root` holds no file or
// directory. RC_UNABLE_TO_READ when the directory cannot be listed; the listing's code
// when its first entry cannot be examined (*empty is then left alone).
ResultCode disk_root_is_empty(std::string_view root, bool* empty);

// The kind (0 to 4) of the floppy drive bound at `root`: a device's by
// `sys_root` (normally "/sys"), 4 for an image file or a folder of images
// (they hold any medium), 0 for a root that is no floppy drive.
int floppy_drive_kind(std::string_view root, const std::string& sys_root);
