// Drive kinds from the block devices' statistics: a device's "size" file
// gives its sectors of 512 bytes, which for a floppy drive is the capacity
// of the format it reads, and so the class of the drive.
#include "media/floppy_probe.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "sys/host_io.h"
#include "sys/host_paths.h"
#include "sys/text.h"

int floppy_kind_of_sectors(uint64_t sectors) {
    switch (sectors) {
        case 2880:
        case 5760:
            return FLOPPY_KIND_35_HIGH;
        case 1440:
            return FLOPPY_KIND_35_LOW;
        case 2400:
            return FLOPPY_KIND_525_HIGH;
        case 720:
        case 640:
        case 360:
        case 320:
            return FLOPPY_KIND_525_LOW;
        default:
            return FLOPPY_KIND_NONE;
    }
}

// The first word of a small statistics file (its first 64 bytes are
// plenty); empty when it cannot be read.
static std::string word_of(const std::string& path) {
    int fd = host_open(path.c_str(), O_RDONLY, 0);
    if (fd < 0) return std::string();
    char text[64];
    long got = host_read(fd, text, sizeof text);
    host_close(fd);
    if (got <= 0) return std::string();
    std::string_view bytes(text, size_t(got));
    const char* blanks = " \t\r\n\v\f";
    size_t start = bytes.find_first_not_of(blanks);
    if (start == std::string_view::npos) return std::string();
    size_t end = bytes.find_first_of(blanks, start);
    return std::string(bytes.substr(start, end == std::string_view::npos ? end : end - start));
}

static bool name_is_floppy_device(std::string_view name) {
    return name.size() > 2 && name.substr(0, 2) == "fd" && is_digits(name.substr(2));
}

// The kind of block device `name`, or 0 when it is neither an fd device nor removable.
static int block_kind(const std::string& sys_root, const std::string& name) {
    std::string folder = sys_root + "/block/" + name;
    if (!name_is_floppy_device(name) && word_of(folder + "/removable") != "1")
        return FLOPPY_KIND_NONE;
    std::string size = word_of(folder + "/size");
    if (!is_digits(size) || size.size() > 12) return FLOPPY_KIND_NONE;
    return floppy_kind_of_sectors(std::stoull(size));
}

std::vector<FloppyDevice> floppy_devices_probe(const std::string& sys_root,
                                               const std::string& dev_root) {
    std::vector<FloppyDevice> found;
    std::vector<std::string> names;
    host_directory_read(sys_root + "/block", &names);
    for (const std::string& name : names) {
        int kind = block_kind(sys_root, name);
        std::string node = dev_root + "/" + name;
        struct stat info;
        if (kind != FLOPPY_KIND_NONE && host_stat(node.c_str(), &info) == 0)
            found.push_back({node, kind});
    }
    return found;
}

int floppy_device_kind(const std::string& sys_root, std::string_view device) {
    size_t slash = device.rfind('/');
    std::string name(slash == std::string_view::npos ? device : device.substr(slash + 1));
    if (name.empty() || name == "." || name == "..") return FLOPPY_KIND_NONE;
    return block_kind(sys_root, name);
}
