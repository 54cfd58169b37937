// The file services' view of a floppy drive: the drive provider whose
// operations work on the FAT volume of the disk in a FloppyDrive (the
// context of its registration). Needs media/floppy_drives and the FAT module.
#pragma once

#include "sys/drive_providers.h"

// The operations; one table for every floppy drive.
const DriveProvider* floppy_provider();
