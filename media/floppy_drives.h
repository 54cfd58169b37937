// Floppy drives: a drive root bound to a block device, one disk image, or a
// folder of images named after their labels, and which disk is in each.
// Owns the floppy drive table; needs the FAT module and sys/drive_providers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "media/fat_volume.h"
#include "sys/file_lock.h"
#include "sys/result_code.h"

enum FloppyBinding {
    FLOPPY_UNBOUND,
    FLOPPY_DEVICE,  // a block device such as /dev/fd0: the disk the user put in
    FLOPPY_IMAGE,   // one image file: always in the drive
    FLOPPY_FOLDER,  // a folder of images: the one chosen by label, or a new blank one
};

// A new image of the disk set being written into a folder: its temporary
// host path and the label it was given ("" while it is blank).
struct PendingImage {
    std::string path;
    std::string label;
};

struct FloppyDrive {
    std::string root;  // engine root the drive answers for, "" when free
    FloppyBinding binding = FLOPPY_UNBOUND;
    std::string host_path;  // the device, image file or folder
    std::string disk;       // host path of the disk in the drive; "" when none
    FatVolume volume;       // open while `users` is not 0
    int users = 0;          // operations and open files using `volume`
    // The disk set of a folder drive: its images are "<SET>.<LABEL>.img".
    std::string set_name;
    bool set_writing = false;           // between set_begin and commit or discard
    std::vector<PendingImage> pending;  // the images the writing has made
    // Held from set_begin to commit or discard, so that two runs never write
    // into one folder, image or device at once.
    FileLock* set_lock = nullptr;
};

// Binds the drive root `root` (an engine path such as "A:\" or
// "Z:\home\ana\floppies") to a block device, an image file or a folder of
// images on the host, replacing what it was bound to. Paths under the root
// then go to the disk in the drive. RC_INVALID_FILE_NAME for an empty root, RC_FILE_NOT_FOUND when
// the host path does not exist (the host error's code when it cannot be looked at), RC_OS_ERROR
// when the table is full.
ResultCode floppy_drive_bind(std::string_view root, FloppyBinding binding,
                             const std::string& host_path);
// Unbinds the drive root; its paths go back to the host.
void floppy_drive_unbind(std::string_view root);
// The drive bound at `root` (letter case and "/" aside), or nullptr.
FloppyDrive* floppy_drive_find(std::string_view root);

// The start of a program that cuts disks: A: is bound to `dev_root`/fd0
// (dev_root is "/dev" but for tests) when that exists, and from now on
// floppy_drives_follow follows the floppy roots it is given.
void floppy_drives_start(const std::string& dev_root);

// Follows a floppy root that a run takes (from -D, or from a disk prompt)
// by the -D rule, once the drives are started (else nothing): a root that
// lies on no floppy drive yet and names a host folder holding only disk
// images ("*.img", or nothing at all) makes that folder a drive; one naming
// an image file ("*.img") makes that image a drive. Any other root stays a
// host path. The drive made for the former root is unbound first.
void floppy_drives_follow(const std::string& root);
// Stops the following; the drives stay as they are.
void floppy_drives_stop_following();

// The folder a -D root names for writing disks, made (with its parents)
// when it is missing, so that the -D rule finds an empty folder drive: not
// for an image file ("*.img") or a drive root ("A:", "A:\"). `host_path` is
// the host path the user gave. RC_OK; the host error's code when a folder
// cannot be made.
ResultCode floppy_folder_make(const std::string& host_path);

// Puts a blank disk of medium `medium` (a media-table name) in the drive:
// for a folder, a new blank image, named after its label once it gets one;
// for an image file, the image formatted afresh. RC_FILE_NOT_FOUND for an unbound root,
// RC_INVALID_MEDIA_SIZE for an unknown medium, RC_DEVICE_NOT_READY for a device (the user inserts
// the disk), RC_SHARING_VIOLATION while files of the disk in the drive are open, RC_UNABLE_TO_WRITE
// when the image cannot be written.
ResultCode floppy_drive_insert_blank(std::string_view root, std::string_view medium);

// Puts the image labelled `label` in a folder drive when the folder has one
// (letter case aside); anything else leaves the drive as it is. RC_OK; RC_SHARING_VIOLATION while
// files of the disk in the drive are open.
ResultCode floppy_drive_insert_labelled(FloppyDrive* drive, std::string_view label);
// After the label of the disk in a folder drive changed: the image takes the
// label's file name; an older image of that name is kept as "NAME~n.img".
// RC_OK; when a rename fails, the host error's code (RC_UNABLE_TO_WRITE for a device error or
// no space) with the disk and the folder's images as they were.
ResultCode floppy_drive_name_disk(FloppyDrive* drive, std::string_view label);

// The file name an image labelled `label` gets in a folder: letters and
// digits upper-cased, "-" and "_" kept, every other character "_", then
// ".img" ("Disk 1" gives "DISK_1.img"). An empty label gives "".
std::string floppy_image_name(std::string_view label);

// The file name of the image labelled `label` in the disk set `set_name`:
// "<SET>.<LABEL>.img", each part as floppy_image_name makes it ("tools" and
// "KIT2 1" give "TOOLS.KIT2_1.img"). A dot never stands in either part, so
// two sets never share an image. An empty set name gives floppy_image_name.
std::string floppy_set_image_name(std::string_view set_name, std::string_view label);

// Starts writing the disk set `set_name` (a product) in the drive at `root`.
// For a folder of images, every disk of the set goes onto a new blank image
// under a temporary name, and disks are looked up only among those; images
// of other sets, and the set's own former images, are never written into.
// Temporary images that killed runs left in the folder are removed first.
// For other drives only the set's name is kept. The folder, image or device
// is locked until commit or discard. RC_FILE_NOT_FOUND for an unbound root; RC_SHARING_VIOLATION
// while another run writes there.
ResultCode floppy_drive_set_begin(std::string_view root, std::string_view set_name);
// The set is whole: each of its images takes its name (replacing the
// set's former image of that name), then the set's former images that the
// new set does not have are removed, and blank images it never labelled
// too. RC_OK; RC_SHARING_VIOLATION while a file of the disk in the drive is open; the host
// error's code of a failed rename (the images not yet renamed are kept
// under their temporary names until a later run removes them).
ResultCode floppy_drive_set_commit(std::string_view root);
// Chooses the disk set whose images a folder drive looks up by label (for
// reading a set back), without writing. RC_FILE_NOT_FOUND for an unbound root.
ResultCode floppy_drive_set_choose(std::string_view root, std::string_view set_name);
// The set is given up: its new images are removed; the set's former images
// are left as they were.
void floppy_drive_set_discard(std::string_view root);

// The disk in the drive at `root`: *blank_free gets the bytes it has free
// when blank (every data cluster but the bad ones), *cluster its cluster size, so that it can
// be told whether it is of a medium before anything on it changes. RC_FILE_NOT_FOUND for
// an unbound root; the codes of floppy_volume_acquire.
ResultCode floppy_drive_disk_size(std::string_view root, uint32_t* blank_free, uint32_t* cluster);
// Empties the disk in the drive at `root`, its label kept. RC_FILE_NOT_FOUND for an
// unbound root; the codes of floppy_volume_acquire and fat_volume_empty.
ResultCode floppy_drive_empty_disk(std::string_view root);

// The volume of the disk in the drive, opened on first use and kept open
// until the last user releases it. RC_DEVICE_NOT_READY when no disk is in the drive; the
// volume module's codes when it cannot be opened.
ResultCode floppy_volume_acquire(FloppyDrive* drive, FatVolume** volume);
void floppy_volume_release(FloppyDrive* drive);
