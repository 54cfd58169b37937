// Asking for the disks of a copy.
#include "media/copy_disks.h"

#include "media/floppy_drives.h"
#include "media/floppy_operations.h"
#include "sys/files.h"
#include "sys/text.h"

std::string drive_root_normalise(std::string_view root) {
    std::string out(root);
    while (!out.empty() &&
           (out.back() == ' ' || out.back() == '\t' || out.back() == '\r' || out.back() == '\n'))
        out.pop_back();
    for (char& ch : out) {
        if (ch == '/') ch = '\\';
        ch = upper_char(ch);
    }
    return out;
}

// Checks the label of the disk in the floppy drive: RC_OK when it is the base,
// a blank and `disk_number` (letter case aside), RC_FILE_NOT_FOUND when it is another, RC_OS_ERROR
// when no readable disk is there. An empty base matches any disk.
static ResultCode copy_check_label(const std::string& root, std::string_view label_base,
                                   uint32_t disk_number) {
    std::string base(label_base);
    uint32_t number = disk_number;
    return disk_check_label(root, &base, &number);
}

// Labels the disk in the floppy drive and reads the label back: RC_OK, or RC_UNABLE_TO_WRITE
// when it cannot be set or reads back different.
static ResultCode copy_set_label(const std::string& root, std::string_view label_base,
                                 uint32_t disk_number) {
    if (disk_set_label(root, label_base, disk_number) != RC_OK) return RC_UNABLE_TO_WRITE;
    return copy_check_label(root, label_base, disk_number) == RC_OK ? RC_OK : RC_UNABLE_TO_WRITE;
}

// Takes the root the prompt left, normalised, into *root; the floppy root
// changes only when it names another place, and the drives follow it.
static void drive_root_take(std::string* root, const std::string& prompted) {
    std::string normalised = drive_root_normalise(prompted);
    if (text_equal_nocase(normalised, *root)) return;
    std::string taken;
    floppy_root_parse(normalised, &taken);
    if (taken.empty()) return;
    *root = taken;
    floppy_drives_follow(taken);
}

ResultCode copy_ask_for_disk(const DiskRequest& request, uint32_t disk_number, bool labelling,
                             bool wrong_disk) {
    bool first = true;
    for (;;) {
        ResultCode rc = copy_check_label(*request.root, request.label_base, disk_number);
        bool refused = false;
        if (rc == RC_OK && labelling && request.take) {
            ResultCode taken = request.take(request.user, disk_number, &refused);
            if (taken != RC_OK) return taken;
        }
        if (rc == RC_OK && !refused) return RC_OK;
        if (refused)
            wrong_disk = true;
        else if (!first)
            wrong_disk = rc == RC_FILE_NOT_FOUND;
        first = false;
        if (!request.prompt) return RC_USER_CANCELLED;
        std::string root = *request.root;
        bool cancelled = false;
        request.prompt(request.user, &root, request.label_text, disk_number, COPY_SYSTEM_NAME,
                       &cancelled, wrong_disk);
        drive_root_take(request.root, root);
        if (cancelled) return RC_USER_CANCELLED;
        if (labelling && !request.label_base.empty()) {
            rc = copy_set_label(*request.root, request.label_base, disk_number);
            if (rc != RC_OK) return rc;
        }
    }
}
