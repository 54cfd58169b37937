// The window's disk prompt: a folder of disk images gets its blank disks
// without a question, as in the console; any other drive is asked for in an
// OK and Cancel box and the disk checked, each problem in an OK box (a
// problem the disk writer found with the disk in the drive first). The
// run context is the user value; its disk_prompt_user is the PromptUser
// below. On the engine's worker thread the boxes are shown on the window's
// thread while the worker waits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

void window_disk_prompt(void* user, std::string* drive_root, std::string_view label_text,
                        uint32_t disk_number, std::string_view system_name, bool* cancelled,
                        bool wrong_disk);

class EngineWorker;
class WindowDialogs;

// What the window binds as the run context's disk_prompt_user: the worker
// that runs the engine and asks the window, or, without one, the dialogs
// asked on the calling thread.
struct PromptUser {
    WindowDialogs* dialogs = nullptr;
    EngineWorker* worker = nullptr;
};
