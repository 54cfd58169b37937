// Floppy drives: a drive root bound to a block device, one disk image, or a
// folder of images named after their labels, and which disk is in each.
// Owns the floppy drive table; needs the FAT module and sys/drive_providers.
#pragma once

#include <string>
#include <string_view>

#include "media/fat_volume.h"
#include "sys/result_code.h"

enum FloppyBinding {
    FLOPPY_UNBOUND,
    FLOPPY_DEVICE,  // a block device such as /dev/fd0: the disk the user put in
    FLOPPY_IMAGE,   // one image file: always in the drive
    FLOPPY_FOLDER,  // a folder of images: the one chosen by label, or a new blank one
};

struct FloppyDrive {
    std::string root;  // engine root the drive answers for, "" when free
    FloppyBinding binding = FLOPPY_UNBOUND;
    std::string host_path;  // the device, image file or folder
    std::string disk;       // host path of the disk in the drive; "" when none
    FatVolume volume;       // open while `users` is not 0
    int users = 0;          // operations and open files using `volume`
};

// Binds the drive root `root` (an engine path such as "A:\" or
// "Z:\home\ana\floppies") to a block device, an image file or a folder of
// images on the host, replacing what it was bound to. Paths under the root
// then go to the disk in the drive. 23 for an empty root, 22 when the
// host path does not exist (the host error's code when it cannot be looked
// at), 29 when the table is full.
ResultCode floppy_drive_bind(std::string_view root, FloppyBinding binding,
                             const std::string& host_path);
// Unbinds the drive root; its paths go back to the host.
void floppy_drive_unbind(std::string_view root);
// The drive bound at `root` (letter case and "/" aside), or nullptr.
FloppyDrive* floppy_drive_find(std::string_view root);

// The start of a program that cuts disks: A: is bound to `dev_root`/fd0
// (dev_root is "/dev" but for tests) when that exists, and from now on each
// floppy root that -D sets is followed by the -D rule: a root that lies on
// no floppy drive yet and names a host folder holding only disk images
// ("*.img", or nothing at all) makes that folder a drive; one naming an
// image file ("*.img") makes that image a drive. Any other root stays a
// host path. The drive made for the former root is unbound first.
void floppy_drives_start(const std::string& dev_root);

// The folder a -D root names for writing disks, made (with its parents)
// when it is missing, so that the -D rule finds an empty folder drive: not
// for an image file ("*.img") or a drive root ("A:", "A:\"). `host_path` is
// the host path the user gave. 0; the host error's code when a folder
// cannot be made.
ResultCode floppy_folder_make(const std::string& host_path);

// Puts a blank disk of medium `medium` (a media-table name) in the drive:
// for a folder, a new blank image, named after its label once it gets one;
// for an image file, the image formatted afresh. 22 for an unbound root,
// 1003 for an unknown medium, 26 for a device (the user inserts the disk),
// 53 while files of the disk in the drive are open, 21 when the image
// cannot be written.
ResultCode floppy_drive_insert_blank(std::string_view root, std::string_view medium);

// Puts the image labelled `label` in a folder drive when the folder has one
// (letter case aside); anything else leaves the drive as it is. 0; 53 while
// files of the disk in the drive are open.
ResultCode floppy_drive_insert_labelled(FloppyDrive* drive, std::string_view label);
// After the label of the disk in a folder drive changed: the image takes the
// label's file name; an older image of that name is kept as "NAME~n.img".
// 0; when a rename fails, the host error's code (21 for a device error or
// no space) with the disk and the folder's images as they were.
ResultCode floppy_drive_name_disk(FloppyDrive* drive, std::string_view label);

// The file name an image labelled `label` gets in a folder: letters and
// digits upper-cased, "-" and "_" kept, every other character "_", then
// ".img" ("Disk 1" gives "DISK_1.img"). An empty label gives "".
std::string floppy_image_name(std::string_view label);

// The volume of the disk in the drive, opened on first use and kept open
// until the last user releases it. 26 when no disk is in the drive; the
// volume module's codes when it cannot be opened.
ResultCode floppy_volume_acquire(FloppyDrive* drive, FatVolume** volume);
void floppy_volume_release(FloppyDrive* drive);
