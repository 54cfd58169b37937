// The decompressor: per-code dictionary, the history of its output, and the
// resumable decompress step.
#include "media/lzw_decompress.h"

#include <cassert>
#include <cstring>
#include <new>

// The history. A code's string is the string of the code read before it,
// followed by the first byte of the next string, so it stands in the output
// where that earlier string was written: the string of every code is copied
// from there, instead of being rebuilt byte by byte from the entries. The
// single bytes stand in a fixed row of the 256 byte values in front of the
// history, so that every string is copied alike. When the history is full,
// its last HISTORY_KEEP bytes move to its start; the strings that stood
// before them are rebuilt from the entries when needed. A copy may write up
// to HISTORY_SLACK bytes past its string.
constexpr uint32_t HISTORY_SLACK = 16;
constexpr uint32_t HISTORY_START = 256 + HISTORY_SLACK;
constexpr uint32_t HISTORY_SIZE = 4u << 20;
constexpr uint32_t HISTORY_KEEP = 1u << 20;
constexpr uint32_t HISTORY_ROOM = HISTORY_START + HISTORY_SIZE + LZW_STRING_ROOM + HISTORY_SLACK;

// The block: per code (room for 16-bit codes whatever the header) where its
// string stands in the history (bits 0 to 31, -1 when it has left) and its
// length (bits 32 to 47); per code its entry, the last byte in bits 16 to 23
// and the prefix in bits 0 to 15; then the history. One base for all, so
// that the common path keeps few pointers.
constexpr uint32_t CODE_ROOM = 1u << LZW_MAX_CODE_WIDTH;
constexpr size_t STRINGS_AT = 0;
constexpr size_t ENTRIES_AT = STRINGS_AT + CODE_ROOM * sizeof(uint64_t);
constexpr size_t HISTORY_AT = ENTRIES_AT + CODE_ROOM * sizeof(uint32_t);
constexpr size_t BLOCK_SIZE = HISTORY_AT + HISTORY_ROOM;

static inline uint64_t* strings_of(uint8_t* block) {
    return reinterpret_cast<uint64_t*>(block + STRINGS_AT);
}
static inline uint32_t* entries_of(uint8_t* block) {
    return reinterpret_cast<uint32_t*>(block + ENTRIES_AT);
}
static inline uint8_t* history_of(uint8_t* block) {
    return block + HISTORY_AT;
}
static inline uint64_t string_at(int32_t where, uint32_t length) {
    return uint32_t(where) | (uint64_t(length) << 32);
}
static inline int32_t string_where(uint64_t s) {
    return int32_t(uint32_t(s));
}
static inline uint32_t string_length(uint64_t s) {
    return uint32_t(s >> 32);
}

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
    d->block = new (std::nothrow) uint8_t[BLOCK_SIZE];
    if (!d->block) return RC_NO_OBJECT;
    uint8_t* history = history_of(d->block);
    for (uint32_t byte = 0; byte < HISTORY_START; ++byte) history[byte] = uint8_t(byte);
    uint64_t* strings = strings_of(d->block);
    for (uint32_t code = 0; code <= LZW_LAST_INITIAL; ++code)
        strings[code] =
            string_at(code < LZW_FIRST_BYTE_CODE ? 0 : int32_t(code - LZW_FIRST_BYTE_CODE), 1);
    d->at = HISTORY_START;
    dictionary_reset(d);
    return RC_OK;
}

void lzw_decompressor_init(LzwDecompressor* d) {
    *d = LzwDecompressor{};
}

void lzw_decompressor_free(LzwDecompressor* d) {
    delete[] d->block;
    *d = LzwDecompressor{};
}

// The code the next entry will get, while the dictionary has room for it.
static inline bool next_entry_free(const LzwDecompressor* d) {
    return d->count + 1 < d->table_max;
}

// Moves the last HISTORY_KEEP bytes of a full history to its start; the
// strings that stood before them are forgotten. Only when every byte of
// the history has been written out.
static void history_slide(LzwDecompressor* d) {
    // Full, with every byte written out, and no string past its room.
    assert(d->pending == 0);
    assert(d->at > HISTORY_START + HISTORY_SIZE);
    assert(d->at <= HISTORY_START + HISTORY_SIZE + LZW_STRING_ROOM);
    uint8_t* history = history_of(d->block);
    uint64_t* strings = strings_of(d->block);
    uint32_t shift = d->at - HISTORY_KEEP - HISTORY_START;
    memmove(history + HISTORY_START, history + d->at - HISTORY_KEEP, HISTORY_KEEP);
    d->at -= shift;
    int32_t kept = int32_t(HISTORY_START + shift);
    uint32_t last = next_entry_free(d) ? d->count + 1 : d->count;
    for (uint32_t code = LZW_LAST_INITIAL + 1; code <= last; ++code) {
        int32_t where = string_where(strings[code]);
        where = where >= kept ? where - int32_t(shift) : -1;
        assert(where < int32_t(d->at));
        strings[code] = string_at(where, string_length(strings[code]));
    }
}

// The entry the next code may define is the string just written and the
// first byte of the next: its length and place are known now, so that the
// next code may be that entry before it is defined.
static inline void next_entry_prepare(LzwDecompressor* d, uint32_t at, uint32_t length) {
    if (next_entry_free(d)) strings_of(d->block)[d->count + 1] = string_at(int32_t(at), length + 1);
}

// Makes the single byte of a first code the next string.
static ResultCode decode_first(LzwDecompressor* d, uint32_t code) {
    if (code < LZW_FIRST_BYTE_CODE || code > LZW_LAST_INITIAL) return RC_UNABLE_TO_READ;
    d->prev = code;
    next_entry_prepare(d, d->at, 1);
    history_of(d->block)[d->at++] = uint8_t(code - LZW_FIRST_BYTE_CODE);
    ++d->pending;
    d->phase = LzwDecompressPhase::codes;
    return RC_OK;
}

// Writes the string of `code` backwards from its entries, its last byte
// just before `end`. Rare, and kept out of the common path's way.
[[gnu::cold, gnu::noinline]] static void string_rebuild(const uint32_t* entries, uint32_t code,
                                                        uint8_t* end) {
    while (code > LZW_LAST_INITIAL) {
        uint32_t entry = entries[code];
        *--end = uint8_t(entry >> 16);
        code = entry & 0xFFFF;
    }
    *--end = uint8_t(code - LZW_FIRST_BYTE_CODE);
}

// Copies a string one byte at a time to where it nearly or partly overlaps.
[[gnu::cold, gnu::noinline]] static void copy_near(uint8_t* to, const uint8_t* from,
                                                   uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
}

// Writes the string `s` of `code` at `to` and gives its first byte: copied
// forwards from its place, 16 bytes at a time when they are at least that
// far apart (the last 16 may go past the string), else one at a time, so
// that a string that repeats its own start (the code about to be defined)
// copies what it has just written; rebuilt when it has left the history.
// The first byte comes from the bytes copied, not from the history, where
// it would wait for the copy.

static inline uint8_t string_put(uint8_t* block, uint32_t code, uint64_t s, uint8_t* to) {
    int32_t where = string_where(s);
    uint32_t length = string_length(s);
    if (__builtin_expect(where < 0, 0)) {
        string_rebuild(entries_of(block), code, to + length);  // only a defined code leaves
        return *to;
    }
    const uint8_t* from = history_of(block) + where;
    if (__builtin_expect(to - from < 16, 0)) {
        copy_near(to, from, length);
        return from[0];
    }
    uint8_t head[16];
    memcpy(head, from, 16);
    memcpy(to, head, 16);
    for (uint32_t i = 16; i < length; i += 16) memcpy(to + i, from + i, 16);
    return head[0];
}

// Makes the string of a code read amid the stream the next string: a
// defined code, or the code about to be defined (the previous string and
// its own first byte). Then adds the entry the compressor made one step
// earlier.
static ResultCode decode_code(LzwDecompressor* d, uint32_t code) {
    uint32_t highest = next_entry_free(d) ? d->count + 1 : d->count;
    if (code < LZW_FIRST_BYTE_CODE || code > highest) return RC_UNABLE_TO_READ;
    uint64_t s = strings_of(d->block)[code];
    uint32_t length = string_length(s);
    // A string starts within the history's size and fits the room behind it.
    assert(d->at <= HISTORY_START + HISTORY_SIZE && length <= LZW_STRING_ROOM);
    uint8_t first = string_put(d->block, code, s, history_of(d->block) + d->at);
    if (next_entry_free(d)) {
        uint32_t entry = ++d->count;
        entries_of(d->block)[entry] = (uint32_t(first) << 16) | d->prev;
        if (entry == (1u << d->width) - 1) ++d->width;
        next_entry_prepare(d, d->at, length);
    }
    d->prev = code;
    d->at += length;
    d->pending += length;
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

// Reads one code, refilling the input when needed, and takes it.
static ResultCode decompress_code(LzwDecompressor* d, BitReader* in) {
    uint32_t code;
    ResultCode rc = bit_reader_read(in, d->width, &code);
    if (rc != RC_OK) return rc;
    return decompress_value(d, code);
}

// The common path, decode_code for the codes the bytes at hand hold, with
// the state in locals (bytes written into the history could otherwise be
// taken to change it), until `want` bytes are made or the history is full.
// It stops before the dictionary has no room for the entry after next, so
// that every code it takes adds an entry and may be the one about to be
// defined; CLEAR, first codes, refused codes and a full dictionary are left
// to the general path. End of file when it made nothing.
[[gnu::noinline]] static ResultCode decompress_fast(LzwDecompressor* d, BitReader* in,
                                                    uint32_t want) {
    const uint32_t last_free = d->table_max - 2;  // the entry after next needs a code
    if (d->phase != LzwDecompressPhase::codes || d->count >= last_free) return RC_END_OF_FILE;
    uint8_t* const block = d->block;
    uint32_t count = d->count, width = d->width, prev = d->prev, at = d->at;
    uint32_t mask = (1u << width) - 1;  // also the count at which the width grows
    // The next count at which something happens: the width grows, or the
    // dictionary is too full for this path.
    uint32_t event = mask < last_free ? mask : last_free;
    const uint8_t* p = in->source.data + in->source.pos;
    const uint8_t* const end = in->source.data + in->source.size;
    uint64_t acc = in->acc;
    uint32_t nbits = in->nbits;
    const uint8_t* const p_start = p;
    // Up to `want` bytes, and no string starts past the history's size.
    const uint64_t goal = uint64_t(at) + want;
    const uint32_t stop =
        uint32_t(goal < HISTORY_START + HISTORY_SIZE + 1 ? goal : HISTORY_START + HISTORY_SIZE + 1);
    const uint32_t at_start = at;
    while (at < stop) {
        if (nbits < width) {
            if (end - p < 4) break;
            uint32_t word;
            memcpy(&word, p, 4);
            acc = (acc << 32) | __builtin_bswap32(word);
            p += 4;
            nbits += 32;
        }
        uint32_t code = uint32_t(acc >> (nbits - width)) & mask;
        if (code - LZW_FIRST_BYTE_CODE > count - 1) break;  // CLEAR, 0 or refused
        nbits -= width;
        uint64_t s = strings_of(block)[code];
        uint8_t first = string_put(block, code, s, history_of(block) + at);
        entries_of(block)[++count] = (uint32_t(first) << 16) | prev;
        strings_of(block)[count + 1] = string_at(int32_t(at), string_length(s) + 1);
        prev = code;
        at += string_length(s);
        if (__builtin_expect(count == event, 0)) {
            if (count == last_free) break;
            mask = (1u << ++width) - 1;
            event = mask < last_free ? mask : last_free;
        }
    }
    // Whole bytes not yet taken into codes go back to the input, and the
    // bits left (fewer than 8, or the reader's own) stay with the reader.
    uint32_t taken = uint32_t(p - p_start);  // bytes taken into `acc` here
    uint32_t back = nbits / 8 < taken ? nbits / 8 : taken;
    p -= back;
    nbits -= back * 8;
    acc >>= back * 8;
    in->source.pos = size_t(p - in->source.data);
    in->acc = uint32_t(acc & ((uint64_t(1) << nbits) - 1));
    in->nbits = nbits;
    d->count = count;
    d->width = width;
    d->prev = prev;
    d->pending += at - at_start;
    d->at = at;
    return at > at_start ? RC_OK : RC_END_OF_FILE;
}

// Writes as much of the history not yet written as `*room` allows.
static ResultCode write_pending(LzwDecompressor* d, ByteSink* out, uint32_t* room) {
    uint32_t n = d->pending < *room ? d->pending : *room;
    if (n == 0) return out->error;
    byte_sink_write(out, history_of(d->block) + d->at - d->pending, n);
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
            if (d->at > HISTORY_START + HISTORY_SIZE) history_slide(d);
            rc = decompress_fast(d, in, room);
            if (rc == RC_OK) continue;
            if (rc != RC_END_OF_FILE) return rc;
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
