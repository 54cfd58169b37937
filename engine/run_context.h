// The run context: the one program-wide record of a run, bound once to a
// runtime context and an output log: the options it was asked for (read
// once, then only read), the front end's settings, and the run's own state
// and results, which the start of every run resets to their defaults (the
// front end's settings and the floppy root are kept).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/disk_layout.h"
#include "engine/output_log.h"
#include "media/copy_disks.h"
#include "media/copy_job.h"
#include "media/media_table.h"
#include "runtime/runtime_context.h"
#include "sys/result_code.h"

struct SymbolTable;

// A file the disk writer put onto disks: what it was copied from, its name
// on the disks (before piece names) and its first disk, so that the disks
// can be read back as an installer reads them.
struct DiskCopy {
    std::string staging;    // the engine path of the staging file
    std::string from;       // the engine path the bytes were copied from
    std::string name;       // its name on the disks
    std::string read_name;  // the name a reader asks for (a compressed
                            // file's is its own name, expanded on reading)
    uint32_t start_disk = 0;
    bool compressed = false;  // `from` is the staging file's compressed copy
    std::string label_base;
    std::string label_text;
    std::string set_name;  // the disk set it is in (the product)
};

// Version texts: the banner's, the About box's, and the installer version
// that the version checks assume when a run gives none.
constexpr const char* BANNER_VERSION_TEXT = "Veltra Installer 3.1.4.1.1 - Development";
constexpr const char* ABOUT_VERSION_TEXT = "Veltra Installer Diskward 3.2.1 - Production";
constexpr const char* DEFAULT_INSTALLER_VERSION = "3.2.1.0.0";
// The maker's notice, second line of the banner and of the About box.
constexpr const char* MAKER_NOTICE_TEXT =
    "Staging-area checker and floppy-disk builder for installer kits";

// What the user asked for: the command line as the option parsing read it.
// Filled once at the start of a run and only read afterwards; the checks of
// dependent products get what differs for them as parameters, and the
// check of a copy is told by checking_copy.
struct RunOptions {
    std::string os_word;
    std::string install_product;
    int32_t os_code = 0;
    std::string product_filter;
    std::string path;
    std::string target;
    // The -N products in replication mode; absent (false) until a -N reads them.
    bool has_replication_products = false;
    std::vector<std::string> replication_products;
    // The floppy drive root that -D names (read as floppy_root_parse
    // does), "" when -D names none: the run's floppy root then stays what the former
    // run left ("A:\" at first).
    std::string drive_folder;
    uint32_t slop = 0;
    // The medium's values: the media table's default until a -Z names another.
    uint32_t media_capacity = MEDIA_DEFAULT.media_capacity;
    uint32_t other_capacity = MEDIA_DEFAULT.other_capacity;
    uint32_t min_split_space = 0;
    uint32_t cluster_size = MEDIA_DEFAULT.cluster_size;
    uint32_t compress_threshold = 512;
    uint32_t max_root_entries = MEDIA_DEFAULT.max_root_entries;
    bool replicate = false;
    bool show_usage = false;
    bool show_banner = false;
    bool assign = false;
    bool make_disks = false;
    bool compress = false;
    bool no_backups = false;
    bool no_split = false;
    bool no_cd_subdirs = false;
};

// What a front end sets before its runs, kept whole by engine_reset_run:
// the callbacks the engine calls back into it, each given the run context as
// its user value, and the settings that come from its own options.
struct FrontEndSettings {
    // The disk prompt for -w; the front end's own state is disk_prompt_user.
    CopyPrompt disk_prompt = nullptr;
    void* disk_prompt_user = nullptr;
    // Told of the bytes each copy onto the disks has written; the run's
    // disk_writing names the file, or the piece, and the disk it goes on
    // meanwhile ("notes.txt on disk 2", "_2ools.cab on disk 2").
    CopyProgress disk_progress = nullptr;
    // Told of the bytes each compression of the compression pass has moved;
    // the run's `compressing` names the component's Source meanwhile and
    // `compressing_size` gives its bytes.
    CopyProgress compress_progress = nullptr;
    // Asked between products and files, and by every copy between its
    // chunks: an answer other than RC_OK (a person's RC_USER_CANCELLED)
    // stops the run there, as a cancelled disk prompt does.
    CopyCancel cancel = nullptr;
    // How many files the run may work on at once (compressing, copying):
    // 1 is one thread; the number of processors, or what the user chose.
    unsigned jobs = 1;
    // After the check of each product of the run, adds a component row to
    // its map for every file the check found "Superfluous" (engine/harvest.h):
    // the console's --harvest, the window's check box.
    bool harvest = false;
    // The CD-ROM image that the run writes after the check (an engine
    // path), "" for none; its volume identifier, "" for the product file's
    // base name in capitals. With an image, -N names several products, as in
    // replication.
    std::string cd_image;
    std::string cd_image_label;
};

struct RunContext {
    RuntimeContext* runtime = nullptr;
    OutputLog* log = nullptr;  // not owned
    RunOptions options;
    FrontEndSettings front_end;
    // The installer version the version checks take: "" for the one the run
    // assumes; the check of a copy takes the source's.
    std::string installer_version;
    // The directory replication copied the product file into; the check of
    // the copy walks it.
    std::string replica_dir;
    // Set while the copy that replication made is checked: it keeps no
    // back-ups and makes no CD-ROM subdirectories, whatever the options say.
    bool checking_copy = false;
    // The floppy drive root the disks are written to and read from: "A:\"
    // at first, then the options' drive folder or wherever a disk prompt
    // moves it; kept by engine_reset_run, so that a run without -D uses the
    // root the former one left.
    std::string floppy_root = "A:\\";
    ResultCode result = RC_OK;
    bool modified = false;
    bool dependency_flag = false;
    // The layout of every product assigned by this run, in order, for the
    // front ends to show after the run.
    std::vector<ProductLayout> layouts;
    // What front_end.disk_progress is told about: the file, or the piece,
    // being written onto the disks and the disk it goes on.
    std::string disk_writing;
    // The file being written onto the disks: its name there, its first disk
    // and its pieces, so that each disk taken names the piece it gets.
    std::string disk_file;
    uint32_t disk_file_start = 0;
    uint32_t disk_file_pieces = 1;
    // What front_end.compress_progress is told about: the component's
    // Source being compressed and its bytes.
    std::string compressing;
    uint32_t compressing_size = 0;
    // Set by a prompt that gave up because no disk could be put in (a
    // folder of images that cannot be written): the writing ends with this
    // code rather than as cancelled by the user.
    ResultCode disk_prompt_result = RC_OK;
    // Every file this run wrote onto disks, in order.
    std::vector<DiskCopy> disks_written;
    // While a product's disks are written: the product, the disks of its set
    // that this run has taken (emptied, or new), and the disk last taken.
    std::string disk_product;
    std::vector<uint32_t> disks_taken;
    uint32_t disk_in_drive = 0;
    // Why the disk in the drive was refused, for the prompt to show before
    // it asks again; the prompt clears it.
    std::string disk_problem;
};

// The product's working subdirectory (compressed copies, density and CD-ROM
// map files, resource files).
constexpr const char* WORK_SUBDIRECTORY = "diskward";
// The path of that subdirectory in `product_directory`.
std::string work_directory_path(std::string_view product_directory);

// True when the file name or path `name` names the run's product file: base
// name `os_word` and extension "prd", letters folded.
bool names_product_file(const RunContext* run, std::string_view name);

// What the check walking now does, from the options and whether it checks
// the copy replication made: keeps back-ups of the tables it rewrites
// (no -F); makes CD-ROM map files and script resources (no -R); replicates
// the product file it finds (-J or -E) rather than checking it.
bool run_keeps_backups(const RunContext* run);
bool run_makes_cd_subdirs(const RunContext* run);
bool run_replicates(const RunContext* run);

// The directory the check of a copy walks: where replication put the copy
// of the product file, else the -J target as given.
const std::string& run_copy_directory(const RunContext* run);

// How many status queries a walk of the staging area may keep in flight on
// a host slow to answer them: none with one job; else eight per job (the
// threads wait on the host, not on a processor), at most 64.
unsigned run_status_ahead(const RunContext* run);

// Keeps `code` as the run's result when it is a failure and the run has
// none yet: the first failure is the run's result.
void run_keep_failure(RunContext* run, ResultCode code);

// The run's cancel asked: RC_OK when the run goes on (also without a cancel),
// else the code the run stops with.
ResultCode run_cancel_check(RunContext* run);

// Creates the runtime context and binds it and the log. RC_NO_OBJECT when
// the runtime cannot be made.
ResultCode engine_attach(RunContext* run, OutputLog* log);
// Releases the runtime context.
ResultCode engine_detach(RunContext* run);
// Sets the options and every outcome of a former run to their defaults; the
// bindings, front_end and the floppy root are kept.
ResultCode engine_reset_run(RunContext* run);
