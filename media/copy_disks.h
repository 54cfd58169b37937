// Asking for the disks of a copy: the disk prompt callback that the front
// end supplies, the asking itself (which checks and sets the label of the
// disk in the floppy drive), and the normalising of the drive root a
// prompt may rewrite.
// Needs media/floppy_operations and media/floppy_drives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sys/result_code.h"

// The system name the prompt is given.
constexpr const char* COPY_SYSTEM_NAME = "Windows 32";

// Called until a disk is ready or the user cancels: `drive_root` may be
// rewritten; *cancelled set means the user gave up; `wrong_disk` tells
// whether the last check found a readable disk with another label.
using CopyPrompt = void (*)(void* user, std::string* drive_root, std::string_view label_text,
                            uint32_t disk_number, std::string_view system_name, bool* cancelled,
                            bool wrong_disk);

// Called, when writing, each time the disk asked for is found in the drive
// by its label, before anything is written on it. 0 lets the copy write it
// (the callback may empty it first); *refused set (with 0) asks for the
// disk again, as a disk with another label would be; any other code stops
// the copy with that code.
using CopyTake = ResultCode (*)(void* user, uint32_t disk_number, bool* refused);

// What asking for a disk needs from the copy's options.
struct DiskRequest {
    std::string_view label_base;
    std::string_view label_text;
    CopyPrompt prompt = nullptr;
    void* user = nullptr;
    CopyTake take = nullptr;
    std::string* root = nullptr;  // the floppy drive root; the prompt may move it
};

// "/" becomes "\", trailing blanks, tabs and line ends are cut, letters are
// upper-cased.
std::string drive_root_normalise(std::string_view root);

// Makes sure disk `disk_number` is in the drive, prompting until it is. In
// labelling mode each disk the prompt accepts is labelled. RC_OK when the disk
// is there; RC_USER_CANCELLED when the user cancelled (or there is no prompt to ask);
// RC_UNABLE_TO_WRITE when a disk cannot be labelled.
ResultCode copy_ask_for_disk(const DiskRequest& request, uint32_t disk_number, bool labelling,
                             bool wrong_disk);
