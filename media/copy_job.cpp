// One copy job and its chunk loop.
#include "media/copy_job.h"

#include "sys/binary_file.h"
#include "sys/files.h"

namespace {

// The dictionary of this thread's last compressing job, kept for the next:
// a pass over many files then allocates and zeroes it once, and each later
// file clears only the entries the one before it made.
struct SpareCompressor {
    LzwCompressor compressor;
    ~SpareCompressor() { lzw_compressor_free(&compressor); }
};
thread_local SpareCompressor spare;

}  // namespace

ResultCode copy_job_setup(CopyJob* job, CopyMode mode) {
    job->mode = mode;
    lzw_decompressor_init(&job->decompressor);
    instantiation_init(&job->instantiation, nullptr, nullptr, nullptr);
    if (mode != COPY_COMPRESS) return RC_OK;
    if (spare.compressor.slot) {
        job->compressor = spare.compressor;
        spare.compressor = LzwCompressor{};
        lzw_compressor_reset(&job->compressor);
        return RC_OK;
    }
    return lzw_compressor_create(&job->compressor, LZW_WIDTH, LZW_SLOT_INDEX) == RC_OK
               ? RC_OK
               : RC_NO_OBJECT;
}

void copy_job_release(CopyJob* job) {
    copy_job_close_source(job);
    if (job->destination) copy_job_close_destination(job, false);
    if (job->compressor.slot && !spare.compressor.slot) {
        spare.compressor = job->compressor;
        job->compressor = LzwCompressor{};
    }
    lzw_compressor_free(&job->compressor);
    lzw_decompressor_free(&job->decompressor);
}

ResultCode copy_job_open_source(CopyJob* job, std::string_view path) {
    copy_job_close_source(job);
    if (binary_file_open(&job->source, path, BINARY_READ) != RC_OK) return RC_FILE_NOT_FOUND;
    return bit_reader_open_binary(&job->reader, job->source);
}

void copy_job_close_source(CopyJob* job) {
    bit_reader_close(&job->reader);
    if (job->source) binary_file_close(job->source);
    job->source = nullptr;
}

ResultCode copy_job_open_destination(CopyJob* job, std::string_view path, bool append) {
    if (job->unnamed) {
        if (binary_file_make_unnamed(&job->destination, job->unnamed_place) != RC_OK)
            return RC_UNABLE_TO_WRITE;
        job->destination_unnamed = job->destination != nullptr;
    }
    // A file already there is replaced (a read-only one too), not written through.
    if (!job->destination &&
        binary_file_open(&job->destination, path, append ? BINARY_APPEND : BINARY_REPLACE) != RC_OK)
        return RC_UNABLE_TO_WRITE;
    // An appended piece is written through the sink: the kernel's copy does
    // not write to a file opened for appending.
    job->range_declined = append;
    return bit_writer_open_binary(&job->writer, job->destination);
}

ResultCode copy_job_close_destination(CopyJob* job, bool last, bool times, bool* times_set) {
    if (times_set) *times_set = false;
    ResultCode rc = job->writer.sink.error;
    if (rc == RC_OK && last && job->mode == COPY_COMPRESS)
        rc = lzw_compress_finish(&job->compressor, &job->writer);
    job->written += byte_sink_total(&job->writer.sink);
    ResultCode closed = bit_writer_close(&job->writer);
    // Set through the open files, after the last write: no lookup by path.
    // A file without a name has no path to set them by later: for it a
    // failure here is the copy's.
    if (rc == RC_OK && closed == RC_OK && times && job->source && job->destination) {
        ResultCode timed = binary_file_copy_times(job->source, job->destination);
        if (timed == RC_OK && times_set) *times_set = true;
        if (timed != RC_OK && job->destination_unnamed) rc = timed;
    }
    if (job->destination_unnamed && last && rc == RC_OK && closed == RC_OK) {
        *job->unnamed = job->destination;
    } else if (job->destination) {
        ResultCode file_closed = binary_file_close(job->destination);
        if (closed == RC_OK) closed = file_closed;
    }
    job->destination = nullptr;
    job->destination_unnamed = false;
    return rc != RC_OK ? rc : closed;
}

uint64_t copy_job_written(const CopyJob* job) {
    return job->written + byte_sink_total(&job->writer.sink);
}

// Moves up to `want` bytes unchanged inside the kernel, while nothing waits
// in the streams' buffers; stops at the first refusal, leaving the rest to
// the buffers.
static void plain_range(CopyJob* job, uint32_t want, uint32_t* moved) {
    ByteSource* in = &job->reader.source;
    ByteSink* out = &job->writer.sink;
    if (job->range_declined || in->pos < in->size || out->used > 0 || out->error != RC_OK ||
        !in->binary || !out->binary)
        return;
    while (*moved < want) {
        size_t n = 0;
        if (!binary_file_copy_range(in->binary, out->binary, want - *moved, &n)) {
            job->range_declined = true;
            return;
        }
        if (n == 0) {
            in->ended = true;  // the end of the source: no read needed to learn it
            return;
        }
        out->flushed += n;
        *moved += uint32_t(n);
    }
}

// Moves up to `want` bytes unchanged.
static ResultCode plain_chunk(CopyJob* job, uint32_t want, uint32_t* moved) {
    ByteSource* in = &job->reader.source;
    *moved = 0;
    plain_range(job, want, moved);
    while (*moved < want) {
        ResultCode rc = byte_source_fill(in);
        if (rc == RC_END_OF_FILE) return RC_OK;
        if (rc != RC_OK) return rc;
        size_t n = in->size - in->pos;
        if (n > want - *moved) n = want - *moved;
        rc = byte_sink_write(&job->writer.sink, in->data + in->pos, n);
        if (rc != RC_OK) return rc;
        in->pos += n;
        *moved += uint32_t(n);
    }
    return RC_OK;
}

// One chunk of at most `budget` bytes: *moved gets its bytes, *ended
// whether the input ended in it.
static ResultCode chunk_move(CopyJob* job, uint32_t budget, uint32_t* moved, bool* ended) {
    uint32_t want = budget < COPY_CHUNK ? budget : COPY_CHUNK;
    ResultCode rc = RC_OK;
    switch (job->mode) {
        case COPY_PLAIN:
            rc = plain_chunk(job, want, moved);
            break;
        case COPY_INSTANTIATE:
            rc = instantiation_copy(&job->instantiation, &job->reader.source, &job->writer.sink,
                                    want, moved);
            break;
        case COPY_DECOMPRESS:
            rc = lzw_decompress_step(&job->decompressor, &job->reader, &job->writer.sink, want,
                                     moved);
            break;
        case COPY_COMPRESS:
            // The step stops short of its limit, so only the coder knows when
            // the input is over.
            rc =
                lzw_compress_step(&job->compressor, &job->reader.source, &job->writer, want, moved);
            *ended = lzw_compress_is_done(&job->compressor);
            return rc;
    }
    *ended = *moved < want;
    return rc;
}

// The least budget with which a chunk can still move something: the
// compressor keeps two bytes of its limit for the stream's last bits.
static uint32_t budget_floor(const CopyJob* job) {
    return job->mode == COPY_COMPRESS ? 2 : 0;
}

ResultCode copy_job_run(CopyJob* job, uint32_t budget, bool* ended) {
    *ended = false;
    while (budget > budget_floor(job)) {
        uint32_t moved = 0;
        ResultCode rc = chunk_move(job, budget, &moved, ended);
        if (rc != RC_OK) return rc;
        if (job->progress) job->progress(job->user, moved);
        job->reported += moved;
        if (job->cancel) {
            rc = job->cancel(job->user);
            if (rc != RC_OK) return rc;
        }
        if (*ended) return RC_OK;
        budget -= moved;
    }
    return RC_OK;
}

ResultCode copy_job_input_left(CopyJob* job, bool* left) {
    *left = true;
    if (job->mode == COPY_COMPRESS) {
        *left = !lzw_compress_is_done(&job->compressor);
        return RC_OK;
    }
    if (job->mode == COPY_DECOMPRESS && job->decompressor.pending > 0) return RC_OK;
    ResultCode rc = byte_source_fill(&job->reader.source);
    *left = rc == RC_OK;
    return rc == RC_END_OF_FILE ? RC_OK : rc;
}

ResultCode copy_job_finish_input(const CopyJob* job) {
    if (job->mode == COPY_DECOMPRESS) return lzw_decompress_finish(&job->decompressor);
    if (job->mode == COPY_INSTANTIATE) return instantiation_finish(&job->instantiation);
    return RC_OK;
}
