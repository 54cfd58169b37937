// One copy job: its source and destination files with their streams, the
// coder or instantiation state of its mode, and the chunk loop that moves
// data between them with progress and cancel callbacks. Needs the coder,
// the bit streams and sys/binary_file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "media/bit_stream.h"
#include "media/copy_instantiate.h"
#include "media/lzw_compress.h"
#include "media/lzw_decompress.h"

// Largest chunk moved between two progress reports.
constexpr uint32_t COPY_CHUNK = 49152;
constexpr uint32_t COPY_UNLIMITED = 4294967295u;

enum CopyMode { COPY_PLAIN, COPY_COMPRESS, COPY_DECOMPRESS, COPY_INSTANTIATE };

// Told the bytes of each chunk.
using CopyProgress = void (*)(void* user, uint32_t bytes);
// Asked after each chunk; a non-zero answer ends the copy with it.
using CopyCancel = ResultCode (*)(void* user);

struct CopyJob {
    CopyMode mode = COPY_PLAIN;
    CopyProgress progress = nullptr;
    CopyCancel cancel = nullptr;
    void* user = nullptr;

    BinaryFile* source = nullptr;
    BitReader reader;  // its byte source serves every mode
    BinaryFile* destination = nullptr;
    // When set (never for an appended destination), the destination is
    // made without a name beside `unnamed_place` where that can be done
    // (else opened as named), and handed over here, open, once it is whole:
    // see copy_job_close_destination.
    BinaryFile** unnamed = nullptr;
    std::string unnamed_place;
    bool destination_unnamed = false;
    BitWriter writer;             // its byte sink serves every mode
    uint64_t written = 0;         // destination bytes of earlier pieces
    bool range_declined = false;  // this destination takes no in-kernel copy

    LzwCompressor compressor;
    LzwDecompressor decompressor;
    Instantiation instantiation;
    uint64_t reported = 0;  // bytes told to the progress callback
};

// Makes the job ready for `mode`; the compressor's dictionary is allocated
// here, or taken over from the thread's last compressing job. RC_NO_OBJECT when it
// cannot be.
ResultCode copy_job_setup(CopyJob* job, CopyMode mode);
// Closes whatever is still open and frees the dictionaries, keeping the
// compressor's for the thread's next compressing job.
void copy_job_release(CopyJob* job);

// Opens the source. RC_FILE_NOT_FOUND when it cannot be opened, RC_NO_OBJECT without buffer memory.
ResultCode copy_job_open_source(CopyJob* job, std::string_view path);
void copy_job_close_source(CopyJob* job);
// Opens the destination, replacing it (made writable first) or appending to
// it; a destination asked for without a name (`unnamed`) is made so when it
// can be. RC_UNABLE_TO_WRITE when it cannot be opened, RC_NO_OBJECT without buffer memory.
ResultCode copy_job_open_destination(CopyJob* job, std::string_view path, bool append);
// Closes the destination; `last` writes out the pending bits of a
// compressed stream. With `times`, the destination gets the open source's
// times once its last bytes are out, and *times_set (may be null) tells
// whether it did (not for a drive provider's files, whose times are set by
// path). The code of the first write that failed, or of the close (RC_UNABLE_TO_WRITE when
// the disk is full or fails). A destination without a name that is `last`
// and whole is not closed but handed over in *job->unnamed; one that is not
// whole vanishes as it is closed.
ResultCode copy_job_close_destination(CopyJob* job, bool last, bool times = false,
                                      bool* times_set = nullptr);
// Bytes written to destinations so far.
uint64_t copy_job_written(const CopyJob* job);

// Moves data in chunks until the input ends or `budget` destination bytes
// (source bytes in plain and instantiate modes) are spent; *ended tells
// which. Each chunk is reported, then the cancel callback is asked.
ResultCode copy_job_run(CopyJob* job, uint32_t budget, bool* ended);
// Sets *left when the source still has data the job has not moved. RC_OK, or
// RC_UNABLE_TO_READ when reading the source to find out fails.
ResultCode copy_job_input_left(CopyJob* job, bool* left);
// At the end of the last input: RC_UNABLE_TO_READ when a compressed stream was cut short
// or a variable reference is still open.
ResultCode copy_job_finish_input(const CopyJob* job);
