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
    d->lengths = new (std::nothrow) uint16_t[d->table_max + 1];
    d->string = new (std::nothrow) uint8_t[LZW_STRING_ROOM];
    if (!d->entries || !d->lengths || !d->string) return RC_NO_OBJECT;
    for (uint32_t code = 0; code <= LZW_LAST_INITIAL; ++code) d->lengths[code] = 1;
    dictionary_reset(d);
    return RC_OK;
}

void lzw_decompressor_init(LzwDecompressor* d) {
    *d = LzwDecompressor{};
}

void lzw_decompressor_free(LzwDecompressor* d) {
    delete[] d->entries;
    delete[] d->lengths;
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

// Writes the string of `code` backwards, its last byte just before `end`.
static inline void string_put(const uint32_t* entries, uint32_t code, uint8_t* end) {
    while (code > LZW_LAST_INITIAL) {
        uint32_t entry = entries[code];
        *--end = uint8_t(entry >> 16);
        code = entry & 0xFFFF;
    }
    *--end = uint8_t(code - LZW_FIRST_BYTE_CODE);
}

// The length of the string of a code read after `d->prev`: 0 when the code
// is neither defined nor the one about to be (the caller sorts that out).
static inline uint32_t string_length(const LzwDecompressor* d, uint32_t code) {
    if (code >= LZW_FIRST_BYTE_CODE && code <= d->count) return d->lengths[code];
    if (code == d->count + 1 && d->count + 1 < d->table_max) return d->lengths[d->prev] + 1u;
    return 0;
}

// Writes the string of `code` (the previous string and its own first byte
// when it is the code about to be defined) into [start, start + length),
// adds the entry the compressor made one step earlier, and makes `code` the
// previous code.
static inline void decode_into(LzwDecompressor* d, uint32_t code, uint8_t* start, uint32_t length) {
    uint8_t* end = start + length;
    if (code > d->count) {
        *--end = d->prev_first;
        string_put(d->entries, d->prev, end);
    } else {
        string_put(d->entries, code, end);
    }
    uint8_t first = *start;
    if (d->count + 1 < d->table_max) {
        d->entries[++d->count] = (uint32_t(first) << 16) | d->prev;
        d->lengths[d->count] = uint16_t(d->lengths[d->prev] + 1);
        if (d->count == (1u << d->width) - 1) ++d->width;
    }
    d->prev = code;
    d->prev_first = first;
}

// Makes the string of a code read amid the stream the string to write.
static ResultCode decode_code(LzwDecompressor* d, uint32_t code) {
    uint32_t length = string_length(d, code);
    if (length == 0) return RC_UNABLE_TO_READ;
    decode_into(d, code, d->string + LZW_STRING_ROOM - length, length);
    d->pending = length;
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

// Takes one code read from the stream: a first code, CLEAR or another code.
static ResultCode decompress_value(LzwDecompressor* d, uint32_t code) {
    if (d->phase != LzwDecompressPhase::codes) return decode_first(d, code);
    if (code == 0) return RC_UNABLE_TO_READ;
    if (code == LZW_CLEAR) {
        dictionary_reset(d);
        d->phase = LzwDecompressPhase::after_clear;
        return RC_OK;
    }
    return decode_code(d, code);
}

// Reads one code and makes its string the string to write.
static ResultCode decompress_code(LzwDecompressor* d, BitReader* in) {
    uint32_t code;
    ResultCode rc = bit_reader_read(in, d->width, &code);
    if (rc != RC_OK) return rc;
    return decompress_value(d, code);
}

// The common path: reads codes while the bytes at hand hold them and writes
// their strings straight into the output buffer while they fit there and
// within `*room`. A code it does not take that way (CLEAR, a refused code, a
// string too long for the room) goes to decompress_value.
static ResultCode decompress_fast(LzwDecompressor* d, BitReader* in, ByteSink* out, uint32_t* room) {
    if (out->error != RC_OK) return out->error;
    ByteSource* s = &in->source;
    size_t fits = out->capacity - out->used;
    if (fits > *room) fits = *room;
    uint8_t* o = out->data + out->used;
    uint8_t* const o_start = o;
    ResultCode rc = RC_OK;
    while (fits > 0) {
        uint32_t code;
        if (s->size - s->pos < 2 || bit_reader_read(in, d->width, &code) != RC_OK) break;
        uint32_t length = string_length(d, code);
        if (length == 0 || length > fits) {
            rc = decompress_value(d, code);
            break;
        }
        decode_into(d, code, o, length);
        o += length;
        fits -= length;
    }
    out->used += size_t(o - o_start);
    *room -= uint32_t(o - o_start);
    return rc;
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
        if (d->phase == LzwDecompressPhase::header) {
            rc = decompress_start(d, in);
        } else {
            if (d->phase == LzwDecompressPhase::codes) {
                rc = decompress_fast(d, in, out, &room);
                if (rc != RC_OK) return rc;
                if (d->pending > 0 || room == 0 || d->phase != LzwDecompressPhase::codes) continue;
            }
            rc = decompress_code(d, in);
        }
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
