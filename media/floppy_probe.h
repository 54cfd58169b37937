// The host's floppy drives and their kinds (0 to 4): fd block devices and
// removable block devices of a floppy's size, as the block devices' statistics
// folder (/sys) describes them. Needs sys/host_io, sys/host_paths and sys/text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Kinds of floppy drive: what the front ends offer media for.
enum FloppyKind {
    FLOPPY_KIND_NONE = 0,      // not a usable floppy drive
    FLOPPY_KIND_525_LOW = 1,   // 5.25-inch, 360 KB class
    FLOPPY_KIND_525_HIGH = 2,  // 5.25-inch, 1.2 MB
    FLOPPY_KIND_35_LOW = 3,    // 3.5-inch, 720 KB
    FLOPPY_KIND_35_HIGH = 4,   // 3.5-inch, 1.44 MB or 2.88 MB
};

struct FloppyDevice {
    std::string device;  // host path of the device node, e.g. "/dev/fd0"
    int kind = FLOPPY_KIND_NONE;
};

// The kind of a drive whose device holds `sectors` sectors of 512 bytes:
// 2880 or 5760 give 4, 1440 gives 3, 2400 gives 2, 720, 640, 360 and 320
// give 1, anything else 0.
int floppy_kind_of_sectors(uint64_t sectors);

// Lists, in name order, the floppy drives of the host: every block device of
// `sys_root`/block whose name is "fd" and digits, or whose "removable" file
// says 1, that has a node in `dev_root` and a kind other than 0 by its
// "size" file. `sys_root` and `dev_root` are "/sys" and "/dev" but for tests.
std::vector<FloppyDevice> floppy_devices_probe(const std::string& sys_root,
                                               const std::string& dev_root);

// The kind of the drive whose device is `device` (found by its name in
// `sys_root`/block); 0 when it is not a floppy drive.
int floppy_device_kind(const std::string& sys_root, std::string_view device);
