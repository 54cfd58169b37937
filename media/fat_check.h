// The consistency check run when a volume is opened: every directory and
// every file chain is walked once, so that later operations can trust the
// FAT. Needs fat_volume and fat_directory.
#pragma once

#include "media/fat_volume.h"
#include "sys/result_code.h"

// Returns RC_FILE_CORRUPT when a chain starts or leads outside the volume,
// loops, runs into a free or bad cluster, is shared by two entries, or is
// shorter than its file's size, or when a directory entry has no cluster;
// RC_UNABLE_TO_READ when a directory cannot be read. Reads only.
ResultCode fat_volume_check(const FatVolume& volume);
