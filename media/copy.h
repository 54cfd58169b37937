// The copy engine: every file the tool copies goes through here, as a plain
// copy, compressed into a file, written onto numbered disks in pieces, or
// read back from them, joined, expanded and instantiated. Needs the copy
// job, the copy names, the disk requests and the file services.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/copy_disks.h"
#include "media/copy_instantiate.h"
#include "media/copy_job.h"

struct CopyOptions {
    uint32_t start_disk = 0;  // 0: no disks
    uint32_t disk_count = 1;  // pieces, one per disk
    uint32_t slop_size = 0;   // kept free on each disk without a piece list
    std::string label_base;   // disk n is labelled "<base> <n>"
    std::string label_text;   // shown by the prompt with the disk number
    bool compress = false;
    bool named_as_given = false;  // a compressed copy keeps the destination's own name
    bool decompress = false;      // ignored when instantiating
    bool instantiate = false;
    bool append = false;          // reading: add to the destination
    CopyLookup lookup = nullptr;  // instantiation's variable values
    void* lookup_context = nullptr;
    void* lookup_context2 = nullptr;
    std::vector<uint32_t> piece_sizes;  // one per piece, or empty
    CopyPrompt prompt = nullptr;
    CopyProgress progress = nullptr;
    CopyCancel cancel = nullptr;
    CopyTake take = nullptr;                // writing: a disk found by its label
    std::string* failure_detail = nullptr;  // reading: why a read of pieces failed, in words
    std::string* floppy_root = nullptr;     // with disks: the drive root, which a prompt may move
    void* user = nullptr;                   // given to prompt, progress, cancel and take
    // A copy into one file from one file (no disks, no appending): made
    // without a name beside `unnamed_place` where that can be done, and
    // handed over here, open and whole, with its times, instead of writing
    // the destination; left nullptr otherwise (see binary_file_make_unnamed).
    BinaryFile** unnamed = nullptr;
    std::string unnamed_place;
};

// Copies `source` to `destination`, writing pieces or reading as the
// options say. RC_OK, or a code of the table: RC_FILE_NOT_FOUND source not found,
// RC_UNABLE_TO_WRITE write failure (also when the pieces cannot hold the whole file),
// RC_UNABLE_TO_READ read failure, truncated compressed source or open variable reference,
// RC_OS_ERROR reference too long, RC_INVALID_FILE_NAME a file that cannot be named in that many
// pieces, RC_USER_CANCELLED cancelled, RC_NO_OBJECT no memory (or a piece list shorter than the
// pieces); a cancel callback's or a lookup's own result.
ResultCode copy_file(std::string_view source, std::string_view destination,
                     const CopyOptions& options);

// Copies `source` into the one file `destination` as copy_file does (a plain
// copy, or a compressed one named as given), through a file beside it that
// takes its place only once it is whole, with the source's times: one
// without a name where the file system can make it, else a temporary file.
// A copy that fails leaves a former `destination` as it was and nothing
// else behind; only a failure to close the new file once it has its name
// leaves the new file in place. The codes of copy_file; the code of the
// rename, of the placing or of the close.
ResultCode copy_file_replacing(std::string_view source, std::string_view destination,
                               const CopyOptions& options);

// The first step of copy_file_replacing: the copy is made, whole, either
// without a name beside `destination` (*made, open, for binary_file_place)
// or, where no such file can be made, under the temporary name *temporary
// (which copy_file_replacing then renames). Nothing is left behind on
// failure. The codes of copy_file.
ResultCode copy_file_aside(std::string_view source, std::string_view destination,
                           const CopyOptions& options, BinaryFile** made, std::string* temporary);
// The second: gives the file `made` its place (or, when nullptr, renames
// `temporary` over `destination`) and closes it; a file that is not kept,
// or cannot be put in place, leaves nothing behind. RC_OK, or the code of
// the rename, the placing or the close.
ResultCode copy_aside_settle(BinaryFile* made, const std::string& temporary,
                             std::string_view destination, bool keep);

// Writes `source` as `disk_count` pieces: onto disks start_disk, start_disk
// + 1, ... under the floppy root when a start disk is given (each disk
// labelled as it is put in), else beside `destination`. A compressed copy
// takes the compressed name (unless named_as_given), and on failure its
// unfinished piece is deleted. Input left over after the last piece fails
// with RC_UNABLE_TO_WRITE.
ResultCode copy_to_disks(std::string_view source, std::string_view destination,
                         const CopyOptions& options);

// Reads `source` (from the floppy root, disk start_disk on, when a start
// disk is given, following its pieces from disk to disk until the one
// named "0") into `destination`, expanding or instantiating it. A failed
// read leaves what it wrote; *options.failure_detail (when given) then says
// why in words where the code alone does not: "piece _3ools.cab missing
// from disk 3", "stream ends early".
ResultCode copy_from_disks(std::string_view source, std::string_view destination,
                           const CopyOptions& options);
