// What the front ends' disk prompts share: the question shown for a disk,
// the checks a new disk must pass (cluster size, an empty root, free bytes
// equal to the medium's capacity) with their problem texts, and the prompt
// of a folder of disk images, which needs no question at all. Each prompt
// is given the run context as its user value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/run_context.h"

// "Insert disk to be labeled '<label text> <n>' into drive '<root>'".
std::string disk_prompt_question(std::string_view label_text, uint32_t disk_number,
                                 std::string_view root);

// Checks the disk in the drive of `root` against the run's medium. "" when
// it may be written, else the problem's text.
std::string disk_prompt_check(const RunContext* run, std::string_view root);

// The name of the run's medium in the media table (by capacity and cluster
// size), or "" when no row matches.
std::string disk_prompt_medium(const RunContext* run);

// The check of a disk that disk writing finds in the drive by its label
// before it writes on it (a CopyTake). A disk this run has not written yet
// must be of the run's medium, and a disk 1 must not hold another product's
// product table; such a disk is refused with the problem in
// run->disk_problem, for the prompt to show. A disk that passes is emptied,
// its label kept, so that nothing of an earlier set survives on it. A new
// image of the run's own set in a folder needs neither. RC_OK; the codes of
// reading and emptying the disk.
ResultCode disk_prompt_take(void* user, uint32_t disk_number, bool* refused);

// The prompt for a drive bound to a folder of images: the disk asked for is
// not there yet (a disk written earlier is found by its label before any
// prompt), so a blank image of the run's medium goes in. When no blank disk
// can be made it gives up, with the reason in run->disk_prompt_result.
void disk_prompt_folder(void* user, std::string* drive_root, std::string_view label_text,
                        uint32_t disk_number, std::string_view system_name, bool* cancelled,
                        bool wrong_disk);
