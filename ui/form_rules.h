// The window form's rules as plain operations over plain records: the media
// and drive tables and their coupling, the enabling of the controls, the
// More Options text, and the engine command a run is built from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/floppy_probe.h"

enum FormOperation {
    OPERATION_REPLICATE = 0,
    OPERATION_UPDATE = 1,
    OPERATION_ASSIGN = 2,
    OPERATION_CUT = 3,
    OPERATION_IMAGE = 4,  // the check, then the CD-ROM image
};
constexpr int OPERATION_COUNT = 5;

constexpr int MEDIA_COUNT = 6;
// The folder of disk images: a drive that writes every medium, its kind
// next to the floppy drives' kinds.
constexpr int DRIVE_KIND_FOLDER = FLOPPY_KIND_35_HIGH + 1;

// The media radio buttons' captions and the -z word each gives (media 0
// gives none: the engine's default).
const char* media_caption(int media);
const char* media_word(int media);
// The default button's caption for an operation ("&Replicate", ...).
const char* operation_caption(int operation);

// One entry of the drive list: a floppy drive ("A:", kind 1 to 4) or the
// folder of disk images (its host path, DRIVE_KIND_FOLDER).
struct DriveEntry {
    std::string text;
    int kind = 0;
};

// True when a drive of `kind` can write `media`.
bool drive_can_write(int kind, int media);
// True when some drive of the list can write `media`.
bool media_available(const std::vector<DriveEntry>& drives, int media);
// The first drive, in list order, that can write `media`; -1 when none.
int drive_for_media(const std::vector<DriveEntry>& drives, int media);
// The media a drive of `kind` moves the choice to from `media`, keeping
// the Japanese or standard format where it can.
int media_for_drive(int kind, int media);
// The start-up choice: the first media some drive can write and the first
// drive that writes it; false (nothing changed) when the list is empty.
bool drive_choice_at_start(const std::vector<DriveEntry>& drives, int* media, int* drive);

// The More Options record, with its defaults.
struct MoreOptions {
    bool floppy_operation = false;
    bool backup = true;
    uint32_t compress_threshold_kb = 0;
    uint32_t slop_kb = 0;
    uint32_t min_split_kb = 0;
    bool suppress_subdirectory = false;
    bool no_split = false;
    bool auto_compress = false;
    // Update only: the console's own --harvest, handed to the run context
    // rather than to the engine's words.
    bool harvest = false;
};

// The option flags for the command line, each word after a blank (" -f",
// " -c 64", ...); the floppy half when `floppy_operation`, else " -r".
std::string form_options_text(const MoreOptions& options);

// Reads a size field of the dialog: "" when it holds a number from 0 to
// 10000 (stored in *value), else the message that keeps the dialog open.
std::string options_size_problem(const std::string& text, uint32_t* value);

// What the form holds when its default button is pressed.
struct FormState {
    std::string prd_path;            // a host path, "/" between its parts
    std::vector<std::string> names;  // the products, in list order
    std::vector<bool> selected;      // one per name
    int operation = OPERATION_REPLICATE;
    std::string target;  // the replicate target, a host path
    std::string image;   // the CD-ROM image, a host path
    int media = 0;
    std::vector<DriveEntry> drives;
    int drive = -1;  // the drive list's current entry
    MoreOptions options;
};

// The enabling of the form's operation controls.
struct FormEnabling {
    bool run = false;          // the default button
    bool media_group = false;  // group, label, drive list
    bool media[MEDIA_COUNT] = {};
};
FormEnabling form_enabling(const FormState& state);

// The engine run that a press of the default button makes.
struct EngineCommand {
    std::string text;                // the command line as a user types it
    std::vector<std::string> words;  // its words, "diskward" first, host form
    std::string product_text;        // " a b" for the products passed, or ""
    std::vector<std::string> products;
    bool per_product = false;  // one engine call per product
    std::string drive_folder;  // Cut into a folder: the folder to make
    std::string product_file;  // the product file's name, lower case
    bool harvest = false;      // the run context's harvest for the run
    std::string image;         // the CD-ROM image to write (a host path), or ""
};

// Builds the command. "" on success, else the message to show ("Invalid
// Staging Area", "Invalid OS").
std::string form_build_command(const FormState& state, EngineCommand* command);

// The argument vectors of the engine calls, in order, every word through
// the console's host-to-engine conversion.
std::vector<std::vector<std::string>> form_engine_calls(const EngineCommand& command);

// A word as a shell reads it: quoted when it holds anything but plain path
// characters.
std::string shell_word(const std::string& word);
