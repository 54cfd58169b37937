// The window's disk prompt: a folder of disk images gets its blank disks
// without a question, as in the console; any other drive is asked for in an
// OK and Cancel box and the disk checked, each problem in an OK box.
// The run context is the user value; its disk_prompt_user is the
// PromptUser below.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

void window_disk_prompt(void* user, std::string* drive_root, std::string_view label_text,
                        uint32_t disk_number, std::string_view system_name, bool* cancelled,
                        bool wrong_disk);

class MainWindow;
class WindowDialogs;

// What the window binds as the run context's disk_prompt_user: the
// dialogs that ask, and the window that shows the progress.
struct PromptUser {
    WindowDialogs* dialogs = nullptr;
    MainWindow* window = nullptr;
};
