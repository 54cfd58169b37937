// The window's disk prompt.
#include "ui/window_prompt.h"

#include "engine/disk_prompts.h"
#include "media/floppy_drives.h"
#include "ui/window_dialogs.h"

void window_disk_prompt(void* user, std::string* drive_root, std::string_view label_text,
                        uint32_t disk_number, std::string_view system_name, bool* cancelled,
                        bool wrong_disk) {
    RunContext* rc = static_cast<RunContext*>(user);
    FloppyDrive* drive = floppy_drive_find(*drive_root);
    if (drive && drive->binding == FLOPPY_FOLDER) {
        disk_prompt_folder(user, drive_root, label_text, disk_number, system_name, cancelled,
                           wrong_disk);
        return;
    }
    PromptUser* bound = rc ? static_cast<PromptUser*>(rc->disk_prompt_user) : nullptr;
    WindowDialogs* dialogs = bound ? bound->dialogs : nullptr;
    if (!dialogs) {
        *cancelled = true;
        return;
    }
    for (;;) {
        QString question =
            QString::fromStdString(disk_prompt_question(label_text, disk_number, *drive_root));
        if (!dialogs->ask(question)) {
            *cancelled = true;
            return;
        }
        std::string problem = disk_prompt_check(rc, *drive_root);
        if (problem.empty()) return;
        dialogs->notice(QString::fromStdString(problem), false);
    }
}
