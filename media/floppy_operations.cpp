// Disk labels "BASE n", the empty-root question, and drive kinds.
#include "media/floppy_operations.h"

#include "media/floppy_drives.h"
#include "media/floppy_probe.h"
#include "sys/directory.h"
#include "sys/text.h"
#include "sys/volumes.h"

// The label of disk `disk_number` of a set: the base, a blank, the number.
static std::string disk_label_text(std::string_view label_base, uint32_t disk_number) {
    return std::string(label_base) + " " + std::to_string(disk_number);
}

// Takes a label apart at its last blank into base and number.
static void label_parse(const std::string& label, std::string* label_base, uint32_t* disk_number) {
    size_t blank = label.rfind(' ');
    std::string_view digits =
        blank == std::string::npos ? std::string_view() : std::string_view(label).substr(blank + 1);
    if (!is_digits(digits) || digits.size() > 9) {
        *label_base = label;
        *disk_number = 0;
        return;
    }
    *label_base = label.substr(0, blank);
    *disk_number = uint32_t(std::stoul(std::string(digits)));
}

ResultCode disk_check_label(std::string_view root, std::string* label_base, uint32_t* disk_number) {
    std::string wanted;
    if (!label_base->empty()) {
        wanted = disk_label_text(*label_base, *disk_number);
        volume_insert_labelled(root, wanted);  // a drive that cannot choose keeps its disk
    }
    std::string label;
    if (volume_label(root, &label) != RC_OK) return RC_OS_ERROR;
    if (label_base->empty()) {
        label_parse(label, label_base, disk_number);
        return RC_OK;
    }
    return text_equal_nocase(label, wanted) ? RC_OK : RC_FILE_NOT_FOUND;
}

ResultCode disk_set_label(std::string_view root, std::string_view label_base,
                          uint32_t disk_number) {
    return volume_set_label(root, disk_label_text(label_base, disk_number)) == RC_OK
               ? RC_OK
               : RC_FILE_NOT_FOUND;
}

ResultCode disk_root_is_empty(std::string_view root, bool* empty) {
    DirectoryListing* listing = directory_open(root);
    if (!listing) return RC_UNABLE_TO_READ;
    ResultCode rc = directory_next(listing);
    directory_close(listing);
    if (rc != RC_OK && rc != DIRECTORY_END) return rc;
    *empty = rc == DIRECTORY_END;
    return RC_OK;
}

int floppy_drive_kind(std::string_view root, const std::string& sys_root) {
    const FloppyDrive* drive = floppy_drive_find(root);
    if (!drive) return FLOPPY_KIND_NONE;
    if (drive->binding == FLOPPY_DEVICE) return floppy_device_kind(sys_root, drive->host_path);
    return FLOPPY_KIND_35_HIGH;
}
