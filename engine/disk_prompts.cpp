// The disk prompts' shared checks and the folder prompt.
#include "engine/disk_prompts.h"

#include <algorithm>

#include "engine/script_file.h"
#include "media/copy_names.h"
#include "media/floppy_drives.h"
#include "media/floppy_operations.h"
#include "media/media_table.h"
#include "model/fields.h"
#include "model/product.h"
#include "model/product_table.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/reader.h"
#include "sys/files.h"
#include "sys/text.h"
#include "sys/volumes.h"

std::string disk_prompt_question(std::string_view label_text, uint32_t disk_number,
                                 std::string_view root) {
    return "Insert disk to be labeled '" + std::string(label_text) + " " +
           std::to_string(disk_number) + "' into drive '" + std::string(root) + "'";
}

namespace {

std::string wrong_size(std::string_view drive) {
    return "The disk in '" + std::string(drive) + "' is the wrong size.";
}

// The products selected in the product table on the disk in the drive at
// `root` (its disk 1, as disk writing puts it there), in *selected. RC_OK also
// when the disk holds no product table; RC_UNABLE_TO_READ when one cannot be read.
ResultCode disk_one_selection(RunContext* run, std::string_view root,
                              std::vector<std::string>* selected) {
    RuntimeContext* rt = run->runtime;
    std::string table = path_join(root, "", run->options.os_word, "prd");
    bool exists = false;
    if (file_exists(table, &exists) != RC_OK || !exists) return RC_OK;
    ScriptFile script;
    ResultCode code = RC_UNABLE_TO_READ;
    if (script_file_open(rt, root, run->options.os_word, "prd", &script)) {
        BiList* products = product_list_read(rt, script.reader);
        if (products && reader_failure(rt, script.reader) == RC_OK) {
            code = RC_OK;
            for (BiNode* n = products->first; n; n = n->next)
                if (product_selected(n->value))
                    selected->push_back(std::string(field_text(rt, product_name(n->value))));
        }
        product_list_destroy(rt, products);
    }
    script_file_close(rt, &script);
    return code;
}

}  // namespace

ResultCode disk_prompt_take(void* user, uint32_t disk_number, bool* refused) {
    RunContext* run = static_cast<RunContext*>(user);
    *refused = false;
    if (!run) return RC_NO_OBJECT;
    run->disk_in_drive = disk_number;
    // The progress names the piece that goes on this disk.
    uint32_t piece = disk_number - run->disk_file_start + 1;
    std::string piece_name = run->disk_file;
    if (run->disk_file_pieces > 1 && disk_number >= run->disk_file_start &&
        piece <= run->disk_file_pieces &&
        copy_piece_name(run->disk_file, piece, piece == run->disk_file_pieces, &piece_name) ==
            RC_OK)
        run->disk_writing = piece_name + " on disk " + std::to_string(disk_number);
    std::vector<uint32_t>& taken = run->disks_taken;
    if (std::find(taken.begin(), taken.end(), disk_number) != taken.end()) return RC_OK;
    const std::string& root = run->floppy_root;
    const FloppyDrive* drive = floppy_drive_find(root);
    if (!drive || (drive->binding == FLOPPY_FOLDER && drive->set_writing)) {
        taken.push_back(disk_number);
        return RC_OK;
    }
    // A disk written before: told apart by its medium and its disk-1 table
    // before anything on it changes.
    uint32_t blank_free = 0, cluster = 0;
    ResultCode code = floppy_drive_disk_size(root, &blank_free, &cluster);
    if (code != RC_OK) return code;
    if (cluster != run->options.cluster_size || blank_free != run->options.media_capacity) {
        run->disk_problem = wrong_size(root);
        *refused = true;
        return RC_OK;
    }
    if (disk_number == 1) {
        std::vector<std::string> selected;
        if ((code = disk_one_selection(run, root, &selected)) != RC_OK) return code;
        bool ours = selected.empty();
        for (const std::string& name : selected)
            ours = ours || text_equal_nocase(name, run->disk_product);
        if (!ours) {
            run->disk_problem =
                "The disk in '" + root + "' is disk 1 of the product '" + selected.front() + "'.";
            *refused = true;
            return RC_OK;
        }
    }
    if ((code = floppy_drive_empty_disk(root)) != RC_OK) return code;
    taken.push_back(disk_number);
    return RC_OK;
}

std::string disk_prompt_check(const RunContext* run, std::string_view root) {
    std::string drive(root);
    uint32_t free_bytes = 0, cluster = 0;
    if (volume_space(root, &free_bytes, &cluster) != RC_OK)
        return "There is a problem reading from the disk in '" + drive + "'.";
    if (cluster != run->options.cluster_size)
        return "The disk in '" + drive + "' has the wrong sector size.";
    bool empty = false;
    ResultCode code = disk_root_is_empty(root, &empty);
    if (code == RC_UNABLE_TO_READ)
        return "The disk in '" + drive + "' does not have a valid directory.";
    if (code != RC_OK) return "There is a problem reading form the disk in '" + drive + "'.";
    if (!empty) return "The disk in '" + drive + "' is not empty.";
    if (free_bytes != run->options.media_capacity) return wrong_size(drive);
    return "";
}

std::string disk_prompt_medium(const RunContext* run) {
    for (const MediaRow& row : MEDIA_ROWS)
        if (row.media_capacity == run->options.media_capacity &&
            row.cluster_size == run->options.cluster_size)
            return row.name;
    return "";
}

void disk_prompt_folder(void* user, std::string* drive_root, std::string_view, uint32_t disk_number,
                        std::string_view, bool* cancelled, bool) {
    RunContext* run = static_cast<RunContext*>(user);
    if (!run) {
        *cancelled = true;
        return;
    }
    run->disk_in_drive = disk_number;
    std::string medium = disk_prompt_medium(run);
    ResultCode code =
        medium.empty() ? RC_INVALID_MEDIA_SIZE : floppy_drive_insert_blank(*drive_root, medium);
    if (code != RC_OK) {
        run->disk_prompt_result = code;
        *cancelled = true;
    }
}
