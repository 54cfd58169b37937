// The disk prompts' shared checks and the folder prompt.
#include "engine/disk_prompts.h"

#include "media/floppy_drives.h"
#include "media/floppy_operations.h"
#include "media/media_table.h"
#include "sys/volumes.h"

std::string disk_prompt_question(std::string_view label_text, uint32_t disk_number,
                                 std::string_view root) {
    return "Insert disk to be labeled '" + std::string(label_text) + " " +
           std::to_string(disk_number) + "' into drive '" + std::string(root) + "'";
}

std::string disk_prompt_check(const RunContext* rc, std::string_view root) {
    std::string drive(root);
    uint32_t free_bytes = 0, cluster = 0;
    if (volume_space(root, &free_bytes, &cluster) != RC_OK)
        return "There is a problem reading from the disk in '" + drive + "'.";
    if (cluster != rc->cluster_size) return "The disk in '" + drive + "' has the wrong sector size.";
    bool empty = false;
    ResultCode code = disk_root_is_empty(root, &empty);
    if (code == RC_UNABLE_TO_READ) return "The disk in '" + drive + "' does not have a valid directory.";
    if (code != RC_OK) return "There is a problem reading form the disk in '" + drive + "'.";
    if (!empty) return "The disk in '" + drive + "' is not empty.";
    if (free_bytes != rc->media_capacity) return "The disk in '" + drive + "' is the wrong size.";
    return "";
}

std::string disk_prompt_medium(const RunContext* rc) {
    size_t count = 0;
    const MediaRow* rows = media_rows(&count);
    for (size_t i = 0; i < count; ++i)
        if (rows[i].media_capacity == rc->media_capacity && rows[i].cluster_size == rc->cluster_size)
            return rows[i].name;
    return "";
}

void disk_prompt_folder(void* user, std::string* drive_root, std::string_view, uint32_t,
                        std::string_view, bool* cancelled, bool) {
    RunContext* rc = static_cast<RunContext*>(user);
    if (!rc) {
        *cancelled = true;
        return;
    }
    std::string medium = disk_prompt_medium(rc);
    ResultCode code =
        medium.empty() ? RC_INVALID_MEDIA_SIZE : floppy_drive_insert_blank(*drive_root, medium);
    if (code != RC_OK) {
        rc->disk_prompt_result = code;
        *cancelled = true;
    }
}
