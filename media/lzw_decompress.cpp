// The decompressor: per-code dictionary and the resumable decompress step.
#include "media/lzw_decompress.h"

#include <new>

// Highest code of the table for a header value: the table of a width holds
// one code more than the compressor of that width assigns.
static uint32_t table_max_for(uint32_t header) {
    if (header <= LZW_MIN_WIDTH) return (1u << LZW_MIN_WIDTH) - 1;
    if (header >= LZW_MAX_CODE_WIDTH) return (1u << LZW_MAX_CODE_WIDTH) - 1;
    return (1u << header) - 1;
}

static void dictionary_reset(LzwDecompressor* d) {
    d->count = LZW_LAST_INITIAL;
    d->width = LZW_MIN_WIDTH;
}

static ResultCode dictionary_create(LzwDecompressor* d, uint32_t header) {
    d->table_max = table_max_for(header);
    d->entries = new (std::nothrow) uint32_t[d->table_max + 1]();
    d->string = new (std::nothrow) uint8_t[LZW_STRING_ROOM];
    if (!d->entries || !d->string) return RC_NO_OBJECT;
    dictionary_reset(d);
    return RC_OK;
}

void lzw_decompressor_init(LzwDecompressor* d) {
    *d = LzwDecompressor{};
}

void lzw_decompressor_free(LzwDecompressor* d) {
    delete[] d->entries;
    delete[] d->string;
    *d = LzwDecompressor{};
}

// Makes the single byte of a first code the string to write.
static ResultCode decode_first(LzwDecompressor* d, uint32_t code) {
    if (code < LZW_FIRST_BYTE_CODE || code > LZW_LAST_INITIAL) return RC_UNABLE_TO_READ;
    d->prev = code;
    d->prev_first = uint8_t(code - LZW_FIRST_BYTE_CODE);
    d->string[LZW_STRING_ROOM - 1] = d->prev_first;
    d->pending = 1;
    d->phase = LzwDecompressPhase::codes;
    return RC_OK;
}

// Makes the string of `code` the string to write and adds the entry that the
// compressor made one step earlier. A code one past the last defined one is
// the previous string followed by its own first byte.
static ResultCode decode_code(LzwDecompressor* d, uint32_t code) {
    bool adding = d->count + 1 < d->table_max;
    uint32_t top = LZW_STRING_ROOM;
    uint32_t walk = code;
    if (code > d->count) {
        if (code != d->count + 1 || !adding) return RC_UNABLE_TO_READ;
        d->string[--top] = d->prev_first;
        walk = d->prev;
    }
    while (walk > LZW_LAST_INITIAL) {
        uint32_t entry = d->entries[walk];
        d->string[--top] = uint8_t(entry >> 16);
        walk = entry & 0xFFFF;
    }
    d->string[--top] = uint8_t(walk - LZW_FIRST_BYTE_CODE);
    uint8_t first = d->string[top];
    if (adding) {
        d->entries[++d->count] = (uint32_t(first) << 16) | d->prev;
        if (d->count == (1u << d->width) - 1) ++d->width;
    }
    d->prev = code;
    d->prev_first = first;
    d->pending = LZW_STRING_ROOM - top;
    return RC_OK;
}

// Reads the header and allocates the dictionary it asks for.
static ResultCode decompress_start(LzwDecompressor* d, BitReader* in) {
    uint32_t header;
    ResultCode rc = bit_reader_read(in, LZW_HEADER_BITS, &header);
    if (rc != RC_OK) return rc;
    if (header > LZW_MAX_HEADER) return RC_UNABLE_TO_READ;
    rc = dictionary_create(d, header);
    if (rc != RC_OK) return rc;
    d->phase = LzwDecompressPhase::first_code;
    return RC_OK;
}

// Reads one code and makes its string the string to write.
static ResultCode decompress_code(LzwDecompressor* d, BitReader* in) {
    uint32_t code;
    ResultCode rc = bit_reader_read(in, d->width, &code);
    if (rc != RC_OK) return rc;
    if (d->phase != LzwDecompressPhase::codes) return decode_first(d, code);
    if (code == 0) return RC_UNABLE_TO_READ;
    if (code == LZW_CLEAR) {
        dictionary_reset(d);
        d->phase = LzwDecompressPhase::after_clear;
        return RC_OK;
    }
    return decode_code(d, code);
}

// Writes as much of the pending string as `*room` allows.
static ResultCode write_pending(LzwDecompressor* d, ByteSink* out, uint32_t* room) {
    uint32_t n = d->pending < *room ? d->pending : *room;
    if (n == 0) return RC_OK;
    byte_sink_write(out, d->string + LZW_STRING_ROOM - d->pending, n);
    d->pending -= n;
    *room -= n;
    return out->error;
}

static ResultCode decompress_run(LzwDecompressor* d, BitReader* in, ByteSink* out, uint32_t room) {
    for (;;) {
        ResultCode rc = write_pending(d, out, &room);
        if (rc != RC_OK || room == 0) return rc;
        if (d->phase == LzwDecompressPhase::header)
            rc = decompress_start(d, in);
        else
            rc = decompress_code(d, in);
        if (rc == RC_END_OF_FILE) return RC_OK;  // wait for more input
        if (rc != RC_OK) return rc;
    }
}

ResultCode lzw_decompress_step(LzwDecompressor* d, BitReader* in, ByteSink* out, uint32_t limit,
                               uint32_t* written) {
    *written = 0;
    if (d->phase == LzwDecompressPhase::failed) return d->failure;
    uint64_t start = byte_sink_total(out);
    bit_reader_resume(in, d->carry);
    ResultCode rc = decompress_run(d, in, out, limit);
    d->carry = bit_reader_suspend(in);
    *written = uint32_t(byte_sink_total(out) - start);
    if (rc != RC_OK) {
        d->phase = LzwDecompressPhase::failed;
        d->failure = rc;
    }
    return rc;
}

ResultCode lzw_decompress_finish(const LzwDecompressor* d) {
    switch (d->phase) {
    case LzwDecompressPhase::header:
    case LzwDecompressPhase::first_code:
    case LzwDecompressPhase::failed:
        return RC_UNABLE_TO_READ;
    default:
        return RC_OK;
    }
}
