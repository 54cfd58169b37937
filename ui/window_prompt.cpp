// The window's disk prompt.
#include "ui/window_prompt.h"

#include "engine/disk_prompts.h"
#include "media/floppy_drives.h"
#include "ui/engine_worker.h"
#include "ui/window_dialogs.h"

namespace {

// Shows `text`, through the worker when there is one; false for Cancel.
bool show(PromptUser* bound, const std::string& text, bool with_cancel) {
    QString shown = QString::fromStdString(text);
    if (bound->worker) return bound->worker->ask_window(shown, with_cancel);
    if (!with_cancel) {
        bound->dialogs->notice(shown, false);
        return true;
    }
    return bound->dialogs->ask(shown);
}

}  // namespace

void window_disk_prompt(void* user, std::string* drive_root, std::string_view label_text,
                        uint32_t disk_number, std::string_view system_name, bool* cancelled,
                        bool wrong_disk) {
    RunContext* run = static_cast<RunContext*>(user);
    FloppyDrive* drive = floppy_drive_find(*drive_root);
    if (drive && drive->binding == FLOPPY_FOLDER) {
        disk_prompt_folder(user, drive_root, label_text, disk_number, system_name, cancelled,
                           wrong_disk);
        return;
    }
    PromptUser* bound = run ? static_cast<PromptUser*>(run->front_end.disk_prompt_user) : nullptr;
    if (!bound || (!bound->worker && !bound->dialogs)) {
        *cancelled = true;
        return;
    }
    // Why the disk in the drive was refused, before the question again.
    if (!run->disk_problem.empty()) {
        std::string problem;
        problem.swap(run->disk_problem);
        show(bound, problem, false);
    }
    for (;;) {
        if (!show(bound, disk_prompt_question(label_text, disk_number, *drive_root), true)) {
            *cancelled = true;
            return;
        }
        std::string problem = disk_prompt_check(run, *drive_root);
        if (problem.empty()) return;
        show(bound, problem, false);
    }
}
