// Reading back the disks a run wrote.
#include "engine/disk_verify.h"

#include "engine/messages.h"
#include "media/copy.h"
#include "media/floppy_drives.h"
#include "sys/files.h"

ResultCode disk_verify(RunContext* run, std::string_view scratch, DiskVerification* out) {
    for (const DiskCopy& copy : run->disks_written) {
        bool exists = false;
        if (file_exists(copy.staging, &exists) != RC_OK || !exists) continue;
        std::string where = copy.name + " from disk " + std::to_string(copy.start_disk);
        CopyOptions options;
        options.start_disk = copy.start_disk;
        options.decompress = copy.compressed;
        options.label_base = copy.label_base;
        options.label_text = copy.label_text;
        options.prompt = run->front_end.disk_prompt;
        options.user = run;
        options.floppy_root = &run->floppy_root;
        (void)floppy_drive_set_choose(run->floppy_root, copy.set_name);
        std::string detail;
        options.failure_detail = &detail;
        (void)file_delete(scratch);
        ResultCode code = copy_from_disks(copy.read_name, scratch, options);
        if (code == RC_USER_CANCELLED) return code;
        ++out->checked;
        std::string read_back, staged;
        if (code == RC_OK) code = file_read_all(scratch, &read_back);
        if (code != RC_OK) {
            out->mismatches.push_back(
                where + ": " + (detail.empty() ? std::string(engine_message(code)) : detail));
            continue;
        }
        code = file_read_all(copy.staging, &staged);
        if (code != RC_OK)
            out->mismatches.push_back(copy.staging + ": " + std::string(engine_message(code)));
        else if (read_back != staged)
            out->mismatches.push_back(where + " differs from " + copy.staging);
    }
    (void)file_delete(scratch);
    return RC_OK;
}
