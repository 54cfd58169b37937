// The form's rules: media, drives, enabling, options text and commands.
#include "ui/form_rules.h"

#include <cctype>

#include "engine/options.h"
#include "media/media_table.h"
#include "sys/host_paths.h"
#include "sys/text.h"

namespace {

// The media buttons, in the form's order (two columns, 3.5-inch and 5.25-inch,
// rows high density, low density, Japanese), each with its media table row.
struct FormMedium {
    const char* caption;
    const MediaRow* row;
};
constexpr const MediaRow* media_row(std::string_view name) {
    for (const MediaRow& row : MEDIA_ROWS)
        if (name == row.name) return &row;
    return nullptr;
}
constexpr FormMedium MEDIA[MEDIA_COUNT] = {
    {"3.5\" HD", media_row("3.5HD")},     {"5.25\" HD", media_row("5.25HD")},
    {"3.5\" LD", media_row("3.5LD")},     {"5.25\" LD", media_row("5.25LD")},
    {"3.5\" Japan", media_row("3.5JHD")}, {"5.25\" Japan", media_row("5.25JHD")},
};
static_assert(
    [] {
        for (const FormMedium& m : MEDIA)
            if (!m.row) return false;
        return true;
    }(),
    "every media button names a row of the media table");
static_assert(MEDIA[0].row == &MEDIA_DEFAULT, "the first button is the engine's default medium");

constexpr const char* OPERATION_CAPTIONS[] = {"&Replicate", "&Update", "A&ssign", "&Cut",
                                              "&Write Image"};

constexpr std::string_view PRODUCT_FILE_EXTENSION = ".prd";

bool any_selected(const FormState& state) {
    for (bool on : state.selected)
        if (on) return true;
    return false;
}

// Splits option text at blanks into words.
void append_words(const std::string& text, std::vector<std::string>* words) {
    std::string word;
    for (char c : text + " ") {
        if (c != ' ') {
            word += c;
        } else if (!word.empty()) {
            words->push_back(word);
            word.clear();
        }
    }
}

}  // namespace

const char* media_caption(int media) {
    return media >= 0 && media < MEDIA_COUNT ? MEDIA[media].caption : "";
}

const char* media_word(int media) {
    if (media < 0 || media >= MEDIA_COUNT || MEDIA[media].row == &MEDIA_DEFAULT) return "";
    return MEDIA[media].row->name;
}

const char* operation_caption(int operation) {
    return operation >= 0 && operation < OPERATION_COUNT ? OPERATION_CAPTIONS[operation] : "";
}

bool drive_can_write(int kind, int media) {
    if (media < 0 || media >= MEDIA_COUNT) return false;
    if (kind == DRIVE_KIND_FOLDER) return true;
    switch (media) {
        case 0:
            return kind == FLOPPY_KIND_35_HIGH;
        case 1:
            return kind == FLOPPY_KIND_525_HIGH;
        case 2:
        case 4:
            return kind == FLOPPY_KIND_35_LOW || kind == FLOPPY_KIND_35_HIGH;
        default:
            return kind == FLOPPY_KIND_525_LOW || kind == FLOPPY_KIND_525_HIGH;
    }
}

bool media_available(const std::vector<DriveEntry>& drives, int media) {
    return drive_for_media(drives, media) >= 0;
}

int drive_for_media(const std::vector<DriveEntry>& drives, int media) {
    for (size_t i = 0; i < drives.size(); ++i)
        if (drive_can_write(drives[i].kind, media)) return int(i);
    return -1;
}

int media_for_drive(int kind, int media) {
    switch (kind) {
        case FLOPPY_KIND_525_LOW:
            return media == 4 ? 5 : 3;
        case FLOPPY_KIND_525_HIGH:
            return media % 2 == 0 ? media + 1 : media;
        case FLOPPY_KIND_35_LOW:
            return media == 5 ? 4 : 2;
        case FLOPPY_KIND_35_HIGH:
            return media % 2 == 1 ? media - 1 : media;
        default:
            return media;  // the folder writes every medium
    }
}

bool drive_choice_at_start(const std::vector<DriveEntry>& drives, int* media, int* drive) {
    for (int m = 0; m < MEDIA_COUNT; ++m) {
        int found = drive_for_media(drives, m);
        if (found < 0) continue;
        *media = m;
        *drive = found;
        return true;
    }
    return false;
}

std::string form_options_text(const MoreOptions& options) {
    std::string text;
    if (!options.backup) text += " -f";
    if (options.floppy_operation) {
        if (options.no_split) text += " -q";
        if (options.auto_compress) {
            text += " -c";
            if (options.compress_threshold_kb != 0)
                text += " " + std::to_string(options.compress_threshold_kb);
        }
        if (options.min_split_kb != 0) text += " -x " + std::to_string(options.min_split_kb);
        if (options.slop_kb != 0) text += " -s " + std::to_string(options.slop_kb);
    } else if (options.suppress_subdirectory) {
        text += " -r";
    }
    return text;
}

std::string options_size_problem(const std::string& text, uint32_t* value) {
    size_t first = text.find_first_not_of(' ');
    size_t last = text.find_last_not_of(' ');
    std::string digits = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    if (!is_digits(digits)) return "Please enter a positive integer.";
    // Leading zeros aside, more than five digits is out of range already.
    size_t start = digits.find_first_not_of('0');
    std::string significant = start == std::string::npos ? "0" : digits.substr(start);
    if (significant.size() > 5 || std::stoul(significant) > 10000)
        return "Please enter an integer between 0 and 10000.";
    *value = uint32_t(std::stoul(significant));
    return "";
}

FormEnabling form_enabling(const FormState& state) {
    FormEnabling e;
    bool floppy = state.operation == OPERATION_ASSIGN || state.operation == OPERATION_CUT;
    e.media_group = floppy;
    for (int m = 0; m < MEDIA_COUNT; ++m)
        e.media[m] = state.operation == OPERATION_ASSIGN ||
                     (state.operation == OPERATION_CUT && media_available(state.drives, m));
    if (any_selected(state)) {
        switch (state.operation) {
            case OPERATION_REPLICATE:
                e.run = !state.target.empty();
                break;
            case OPERATION_CUT:
                e.run = media_available(state.drives, state.media);
                break;
            case OPERATION_IMAGE:
                e.run = !state.image.empty();
                break;
            default:
                e.run = true;
                break;
        }
    }
    return e;
}

std::string shell_word(const std::string& word) {
    bool plain = !word.empty();
    for (char c : word)
        if (!std::isalnum(static_cast<unsigned char>(c)) &&
            std::string_view("/._-+:,=@%").find(c) == std::string_view::npos)
            plain = false;
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string form_build_command(const FormState& state, EngineCommand* command) {
    *command = EngineCommand{};
    size_t slash = state.prd_path.rfind('/');
    if (slash == std::string::npos || slash < 2) return "Invalid Staging Area";
    std::string directory = state.prd_path.substr(0, slash);
    if (directory.size() == 2) directory += '/';
    std::string file = text_fold(state.prd_path.substr(slash + 1));
    // The product file's base name is the operating-system word -o takes.
    if (!text_ends_with_nocase(file, PRODUCT_FILE_EXTENSION)) return "Invalid OS";
    std::string word = file.substr(0, file.size() - PRODUCT_FILE_EXTENSION.size());
    if (!os_word_known(word)) return "Invalid OS";
    command->product_file = file;

    std::vector<std::string>& words = command->words;
    words = {"diskward", directory, "-o", word};
    std::string text = "diskward " + shell_word(directory) + " -o " + word;

    std::string product_text;
    std::vector<std::string> selected;
    for (size_t i = 0; i < state.names.size() && i < state.selected.size(); ++i)
        if (state.selected[i]) {
            product_text += " " + state.names[i];
            selected.push_back(state.names[i]);
        }
    bool subset = selected.size() < state.names.size();

    // The options follow the operation the run is made for.
    MoreOptions chosen = state.options;
    chosen.floppy_operation =
        state.operation == OPERATION_ASSIGN || state.operation == OPERATION_CUT;
    std::string options = form_options_text(chosen);
    switch (state.operation) {
        case OPERATION_REPLICATE:
            words.insert(words.end(), {"-j", state.target});
            text += " -j " + shell_word(state.target);
            if (subset) command->products = selected;
            break;
        case OPERATION_IMAGE: {
            // One run for every product chosen: the image holds them all, with
            // their CD-ROM map files, which -r would not keep.
            MoreOptions kept = chosen;
            kept.suppress_subdirectory = false;
            std::string image_options = form_options_text(kept);
            text += image_options + " --iso " + shell_word(state.image);
            append_words(image_options, &words);
            command->image = state.image;
            if (subset) command->products = selected;
            break;
        }
        case OPERATION_UPDATE:
            text += options;
            append_words(options, &words);
            // A console option: shown in the command line, never an engine word.
            if (chosen.harvest) text += " --harvest";
            command->harvest = chosen.harvest;
            if (subset) command->products = selected;
            command->per_product = subset;
            break;
        default: {
            bool listed = state.drive >= 0 && size_t(state.drive) < state.drives.size();
            std::string drive = listed ? state.drives[size_t(state.drive)].text : "";
            if (state.operation == OPERATION_ASSIGN) {
                words.push_back("-a");
                text += " -a";
            } else {
                words.insert(words.end(), {"-w", "-d", drive});
                text += " -w -d " + shell_word(drive);
                if (listed && state.drives[size_t(state.drive)].kind == DRIVE_KIND_FOLDER)
                    command->drive_folder = drive;
            }
            if (state.media != 0) {
                words.insert(words.end(), {"-z", media_word(state.media)});
                text += std::string(" -z ") + media_word(state.media);
            }
            text += options;
            append_words(options, &words);
            command->products = selected;
            command->per_product = true;
            break;
        }
    }
    if (!command->products.empty()) command->product_text = product_text;
    command->text = text;
    return "";
}

std::vector<std::vector<std::string>> form_engine_calls(const EngineCommand& command) {
    std::vector<std::string> base;
    for (size_t i = 0; i < command.words.size(); ++i)
        base.push_back(i == 0 ? command.words[i] : console_convert_argument(command.words[i]));
    std::vector<std::vector<std::string>> calls;
    if (command.products.empty()) {
        calls.push_back(base);
        return calls;
    }
    base.push_back("-n");
    if (command.per_product) {
        for (const std::string& product : command.products) {
            calls.push_back(base);
            calls.back().push_back(product);
        }
        return calls;
    }
    calls.push_back(base);
    calls.back().insert(calls.back().end(), command.products.begin(), command.products.end());
    return calls;
}
