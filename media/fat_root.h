// Questions and changes that concern a volume's root: its label (the root
// entry, and the boot sector's label field with it) and whether the root
// holds any file. Needs fat_volume and fat_directory.
#pragma once

#include <string>
#include <string_view>

#include "media/fat_volume.h"
#include "sys/result_code.h"

// The volume label as the root's label entry gives it, trailing blanks
// removed; empty when there is none.
ResultCode fat_volume_label(const FatVolume& volume, std::string* out);

// Sets the label (stored in upper case) in the root entry and the boot
// sector; an empty label removes it. RC_INVALID_FILE_NAME for a label longer
// than 11 characters or with characters labels cannot hold;
// RC_UNABLE_TO_WRITE when the root has no entry left for a new label.
ResultCode fat_volume_set_label(FatVolume* volume, std::string_view label);

// *empty tells whether the root holds no file or directory (the label aside).
ResultCode fat_volume_root_is_empty(const FatVolume& volume, bool* empty);

// Empties the volume: every file and directory of the root goes and every
// cluster but the bad ones is freed on every FAT copy; the label stays.
// RC_WRITE_PROTECTED for a read-only volume; the codes of reading and
// writing the root and the FAT.
ResultCode fat_volume_empty(FatVolume* volume);
