// The option table of the engine's command line.
#include "engine/options.h"

#include <algorithm>

#include "media/media_table.h"
#include "model/system_columns.h"
#include "sys/files.h"
#include "sys/text.h"

namespace {

struct OsWord {
    const char* word;
    const char* install_product;
    int32_t os_code;
};

constexpr OsWord OS_WORDS[] = {
    {"dos", "dosinstall", OS_CODE_DOS},         {"netware", "netwareinstall", OS_CODE_NETWARE},
    {"os2", "os2install", OS_CODE_OS2},         {"nt", "ntinstall", OS_CODE_NT},
    {"windows", "wininstall", OS_CODE_WINDOWS}, {"win95", "w95install", OS_CODE_WIN95},
};

bool starts_option(const char* arg) {
    return arg[0] == '-' || arg[0] == '/';
}

// The value of the option at *index, or nullptr when the option is last.
const char* take_value(int argc, const char* const* argv, int* index) {
    if (*index + 1 >= argc) return nullptr;
    ++*index;
    return argv[*index];
}

// The row of the operating-system word `word` (letters folded), or nullptr.
const OsWord* os_word_find(std::string_view word) {
    for (const OsWord& w : OS_WORDS)
        if (text_equal_nocase(w.word, word)) return &w;
    return nullptr;
}

void set_os_word(RunOptions* options, const char* word) {
    options->os_word = word;
    const OsWord* known = os_word_find(word);
    options->install_product = known ? known->install_product : "w32install";
    options->os_code = known ? known->os_code : 0;
}

// A size in Kb for -S or -X: digits only, no overflow, at most the current
// medium's capacity in Kb.
bool accept_size(const RunOptions* options, const char* text, uint32_t* kb) {
    uint32_t value = 0;
    if (!is_digits(text) || !parse_size(text, &value)) return false;
    if (value > options->media_capacity / 1024) return false;
    *kb = value;
    return true;
}

bool contains_nocase(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return text_equal_nocase(n, name); });
}

ResultCode too_long(bool* proceed) {
    *proceed = false;
    return RC_INVALID_FILE_NAME;
}

// -N in replication mode: every following argument up to the next option.
ResultCode read_replication_products(RunOptions* options, int argc, const char* const* argv,
                                     int* index, bool* proceed) {
    std::vector<std::string> names;
    int i = *index + 1;
    for (; i < argc && !starts_option(argv[i]); ++i) {
        if (std::string_view(argv[i]).size() > TEXT_LIMIT) {
            *index = i;  // the caller names the argument that is too long
            return too_long(proceed);
        }
        names.emplace_back(argv[i]);
    }
    if (!names.empty()) {
        options->replication_products = std::move(names);
        *index = i - 1;
    }
    // With no names and no list yet, the list starts empty so that the
    // installer's own product can be appended to it.
    options->has_replication_products = true;
    if (!contains_nocase(options->replication_products, options->install_product))
        options->replication_products.push_back(options->install_product);
    return RC_OK;
}

}  // namespace

ResultCode engine_parse_option(RunOptions* options, bool cd_image, int argc,
                               const char* const* argv, int* index, bool* proceed) {
    const char* arg = argv[*index];
    if (std::string_view(arg).size() != 2 || !starts_option(arg)) return RC_OK;
    const char* value = nullptr;
    switch (fold_char(arg[1])) {
        case 'h':
            options->show_usage = true;
            return RC_OK;
        case 'e':
            options->replicate = true;
            return RC_OK;
        case 'b':
            options->show_banner = true;
            return RC_OK;
        case 'c':
            options->compress = true;
            return RC_OK;
        case 'a':
            options->assign = true;
            return RC_OK;
        case 'w':
            options->assign = options->make_disks = true;
            return RC_OK;
        case 'q':
            options->no_split = true;
            return RC_OK;
        case 'f':
            options->no_backups = true;
            return RC_OK;
        case 'r':
            options->no_cd_subdirs = true;
            return RC_OK;
        case 'o':
            if (!(value = take_value(argc, argv, index))) return RC_OK;
            if (std::string_view(value).size() > OS_WORD_LIMIT) return too_long(proceed);
            set_os_word(options, value);
            return RC_OK;
        case 'n':
            if (options->replicate || cd_image)
                return read_replication_products(options, argc, argv, index, proceed);
            if (!(value = take_value(argc, argv, index))) return RC_OK;
            if (std::string_view(value).size() > TEXT_LIMIT) return too_long(proceed);
            options->product_filter = value;
            return RC_OK;
        case 'j':
            options->replicate = true;
            if (!(value = take_value(argc, argv, index))) return RC_OK;
            if (std::string_view(value).size() > PATH_LIMIT) return too_long(proceed);
            options->target = value;
            return RC_OK;
        case 'd':
            if (!(value = take_value(argc, argv, index))) return RC_OK;
            if (std::string_view(value).size() > PATH_LIMIT) return too_long(proceed);
            floppy_root_parse(value, &options->drive_folder);
            return RC_OK;
        case 's':
            if (!(value = take_value(argc, argv, index))) return RC_OK;
            if (accept_size(options, value, &options->slop)) return RC_OK;
            options->slop = 0;
            return RC_INVALID_SLOP_SIZE;
        case 'x':
            if (!(value = take_value(argc, argv, index))) return RC_OK;
            if (accept_size(options, value, &options->min_split_space)) return RC_OK;
            options->min_split_space = 0;
            return RC_INVALID_SPLIT_SIZE;
        case 'z': {
            if (!(value = take_value(argc, argv, index))) return RC_OK;
            const MediaRow* row = media_find(value);
            if (!row) {
                *proceed = false;
                return RC_INVALID_MEDIA_SIZE;
            }
            options->media_capacity = row->media_capacity;
            options->other_capacity = row->other_capacity;
            options->cluster_size = row->cluster_size;
            options->max_root_entries = row->max_root_entries;
            options->compress_threshold =
                std::max(options->compress_threshold, options->cluster_size);
            return RC_OK;
        }
        default:
            return RC_OK;
    }
}

bool os_word_known(std::string_view word) {
    return os_word_find(word) != nullptr;
}

void engine_write_usage(OutputLog* log) {
    static constexpr const char* USAGE_LINES[] = {
        "",
        "Usage: diskward -H [-B]",
        "       diskward [path] [-B] [-O os] [-F] [-R]",
        "                       [-N product",
        "                           [{-A | -W [-D drv]}\n"
        "                              [-Z 3.5UD | 3.5HD | 3.5LD | 5.25HD | 5.25LD]\n"
        "                              [-S slp] [-Q] [-X spc] [-C [comp]]]]",
        "       diskward [-B] [-O os] [-F] [-R] [-I source] -J target [-N [prodi]* prodn]",
        "",
        "       Diskward processes a directory, searching for product files. If",
        "       one is found, its contents are compared against the contents of its",
        "       directory. Any differences found are corrected and reported.",
        "",
        "       Diskward can also be used to make floppy disks for a product when",
        "       any of the disk options are specified.  Depending on the flags, ",
        "       Diskward will compute how many disks are required for the product,",
        "       write the results to the map file, and then actually",
        "       make the disks if the user wants.",
        "",
        "       Diskward can also be used to create a copy of a staging area in a",
        "       different location from the original.  This is especially useful",
        "       if you do not have write permission to the original copy of the",
        "       staging area.",
        "",
        "       -B   Writes the banner.",
        "       -H   Writes this synopsis.",
        "       -O   Specifies the target operating system.",
        "       -F   Turns off saving of former map and product files.",
        "       -R   Turns off creation of subdirectories for CD-ROMs.",
        "       -N   Specifies the name of the product.\n"
        "            Can be followed by more than one name during replication.",
        "       -A   Assigns files to floppies, but does not create disks.",
        "       -W   Assignes files to floppies and creates disks.",
        "       -D   Specifies where to find floppies. 'drv' must be a full path name.",
        "       -Z   Specifies the media size. Default media size is 3.5HD.",
        "       -S   Specifies slop size (in Kb). Default slop size is 0.",
        "       -Q   Turns off splitting of uncompressed files.",
        "       -X   Specifies the minimum space available on disk for splitting.",
        "       -C   Compresses files larger than optional value (in Kb).\n"
        "            Default value is 512 bytes for high and 1 Kb for low density.",
        "       -I   Specifies the directory containing the source PRD file for\n"
        "            replication.",
        "       -J   Specifies the top-level target directory for replication.",
        "",
        "       Media sizes: 3.5UD, 3.5HD, 3.5LD, 3.5JHD, 5.25HD, 5.25LD, 5.25JHD",
        "",
        "       If path is specified, Diskward processes the directory specified by",
        "       'path'. If path is not specified, Diskward processes the current",
        "       working directory.",
        "",
    };
    for (const char* line : USAGE_LINES) {
        log_text(log, line);
        log_end_line(log);
    }
}
