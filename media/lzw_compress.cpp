// The compressor: hash-table dictionary and the resumable compress step.
#include "media/lzw_compress.h"

#include <new>

// Table sizes by slot index; prime, so the probe sequence reaches every slot.
static const uint32_t SLOT_COUNTS[] = {667,  667,  667,   667,   667,   667,   667,
                                       667,  667,  667,   1333,  2563,  5003,  9001,
                                       18013, 35023, 69001, 131071, 262147};

// Highest code the compressor may assign for a maximum width.
static uint32_t max_code_for(uint32_t max_width) {
    return (1u << max_width) - 2;
}

// Where the slots lie in memory. Slot s is kept at place s x I modulo the
// number of slots, I being the inverse of 128 modulo that number (it is
// odd). A pair's key, (byte << max width) xor (prefix << 7), is 128 x m
// with m = (byte << (max width - 7)) xor prefix, so the pair's first slot,
// key modulo slots, lies at place m modulo slots: no division is needed, and
// the first slots of all pairs lie side by side at the start of the table
// instead of 128 slots apart, which keeps them in the processor's nearer
// caches. The slot after s lies at place + I, the mirror slot (slots - s - 1)
// at -I - place. Only the memory order changes; the slots, the order in which
// they are searched and so the codes are those of the plain table.
static inline uint32_t first_place(uint32_t m, uint32_t slots) {
    return m < slots ? m : m % slots;
}

static inline uint32_t mirror_place(uint32_t place, uint32_t inverse, uint32_t slots) {
    int64_t mirror = int64_t(slots) - inverse - place;
    return uint32_t(mirror < 0 ? mirror + slots : mirror);
}

static inline uint32_t next_place(uint32_t place, uint32_t inverse, uint32_t slots) {
    place += inverse;
    return place >= slots ? place - slots : place;
}

// The inverse of 128 modulo an odd number: the inverse of 2, to the 7th.
static uint32_t inverse_of_128(uint32_t slots) {
    uint64_t half = (uint64_t(slots) + 1) / 2, inverse = 1;
    for (int i = 0; i < 7; ++i) inverse = inverse * half % slots;
    return uint32_t(inverse);
}

// What a lookup reads, copied into locals so that the compiler keeps it in
// registers while the output bytes are written.
struct SlotTable {
    const uint32_t* slot;
    const uint32_t* code_entry;
    uint32_t slot_count;
    uint32_t inverse;
    uint32_t shift;  // max width - 7
};

static inline SlotTable slot_table(const LzwCompressor* c) {
    return SlotTable{c->slot, c->code_entry, c->slot_count, c->slot_inverse, c->max_width - 7};
}

// The first place of a pair, for any width and table.
struct AnyTable {
    static uint32_t first(const SlotTable& t, uint32_t prefix, uint32_t byte) {
        return first_place((byte << t.shift) ^ prefix, t.slot_count);
    }
};

// The same for 13-bit codes in a table of more than 2^14 slots, the copy's
// case: m = (byte << 6) xor prefix stays below 2^14 and so inside the table.
struct Table13 {
    static uint32_t first(const SlotTable&, uint32_t prefix, uint32_t byte) {
        return (byte << 6) ^ prefix;
    }
    static bool fits(const LzwCompressor* c) {
        return c->max_width == 13 && c->slot_count > (1u << 14);
    }
};

// A slot holds its code in bits 0 to 15 (0: empty) and the pair's byte in
// bits 16 to 23. Bit 24 marks a pair kept at its own first place m: place
// and byte then give its prefix (m xor (byte << shift)), so one look at the
// slot tells whether it holds the pair sought. (When m wraps around a small
// table, a pair at home with the same byte still is the pair sought: the two
// m differ only in the prefix bits, by less than 2^max width, and a table
// has at least that many slots.) Other pairs with the byte sought are
// compared in full.
constexpr uint32_t SLOT_AT_HOME = 1u << 24;

// Looks up (prefix, byte): its code, or 0 when absent. `place` gets where
// the slot that holds it lies, or the empty slot where it belongs. The
// search starts at the key's slot, goes on at its mirror and then upwards
// one slot at a time, wrapping at the end of the table.
template <class Table>
static inline uint32_t dictionary_find(const SlotTable& t, uint32_t prefix, uint32_t byte,
                                       uint32_t* place) {
    uint32_t at = Table::first(t, prefix, byte);
    uint32_t held = t.slot[at];
    *place = at;
    if (__builtin_expect((held >> 16) == ((SLOT_AT_HOME >> 16) | byte), 1)) return held & 0xFFFF;
    if (held == 0) return 0;
    uint32_t entry = (byte << 16) | prefix;
    at = mirror_place(at, t.inverse, t.slot_count);
    for (;;) {
        held = t.slot[at];
        if (held == 0) break;
        if (((held >> 16) & 0xFF) == byte && t.code_entry[held & 0xFFFF] == entry) break;
        at = next_place(at, t.inverse, t.slot_count);
    }
    *place = at;
    return held & 0xFFFF;
}

// Puts (prefix, byte) as `code` into the empty slot at `place`.
static inline void slot_fill(const LzwCompressor* c, uint32_t place, uint32_t prefix, uint32_t byte,
                             uint32_t code) {
    uint32_t home = (byte << (c->max_width - 7)) ^ prefix;
    c->slot[place] = code | (byte << 16) | (home == place ? SLOT_AT_HOME : 0);
    c->code_entry[code] = (byte << 16) | prefix;
    c->code_place[code] = place;
}

static void dictionary_add(LzwCompressor* c, uint32_t place, uint32_t prefix, uint32_t byte) {
    uint32_t code = ++c->last_code;
    slot_fill(c, place, prefix, byte, code);
    if (code >> c->width) ++c->width;
}

// Back to the single-byte entries: only the slots of later codes are emptied,
// so a CLEAR costs as much as the codes it drops.
static void dictionary_reset(LzwCompressor* c) {
    for (uint32_t code = LZW_LAST_INITIAL + 1; code <= c->last_code; ++code)
        c->slot[c->code_place[code]] = 0;
    c->last_code = LZW_LAST_INITIAL;
    c->width = LZW_MIN_WIDTH;
}

ResultCode lzw_compressor_create(LzwCompressor* c, uint32_t max_width, uint32_t slot_index) {
    *c = LzwCompressor{};
    if (max_width < LZW_MIN_WIDTH || max_width > LZW_MAX_CODE_WIDTH) return RC_NO_OBJECT;
    if (slot_index >= sizeof SLOT_COUNTS / sizeof SLOT_COUNTS[0]) return RC_NO_OBJECT;
    c->max_width = max_width;
    c->max_code = max_code_for(max_width);
    c->slot_count = SLOT_COUNTS[slot_index];
    if (c->slot_count < (1u << max_width)) return RC_NO_OBJECT;  // too small for the codes
    c->slot_inverse = inverse_of_128(c->slot_count);
    c->slot = new (std::nothrow) uint32_t[c->slot_count]();
    c->code_entry = new (std::nothrow) uint32_t[c->max_code + 1];
    c->code_place = new (std::nothrow) uint32_t[c->max_code + 1];
    if (!c->slot || !c->code_entry || !c->code_place) {
        lzw_compressor_free(c);
        return RC_NO_OBJECT;
    }
    c->last_code = LZW_FIRST_BYTE_CODE - 1;
    c->width = LZW_MIN_WIDTH;
    for (uint32_t byte = 0; byte < 256; ++byte) {
        uint32_t place;
        dictionary_find<AnyTable>(slot_table(c), 0, byte, &place);
        dictionary_add(c, place, 0, byte);
    }
    return RC_OK;
}

void lzw_compressor_free(LzwCompressor* c) {
    delete[] c->slot;
    delete[] c->code_entry;
    delete[] c->code_place;
    *c = LzwCompressor{};
}

void lzw_compressor_reset(LzwCompressor* c) {
    if (!c->slot) return;
    dictionary_reset(c);
    c->phase = LzwCompressPhase::fresh;
    c->input_ended = false;
    c->carry = BitCarry{};
}

// Appends `width` bits (9 to 16) of `code` to the output bytes at
// out[*used]: one or two whole bytes, as fewer than 8 bits are pending. The
// caller has made sure of room for two bytes; the second is stored in any
// case (without a branch) and counted only when it is whole, else the next
// code overwrites it.
static inline void emit(uint8_t* out, size_t* used, uint32_t* acc, uint32_t* nbits, uint32_t code,
                        uint32_t width) {
    uint32_t bits = (*acc << width) | code;
    uint32_t n = *nbits + width;
    out[*used] = uint8_t(bits >> (n - 8));
    out[*used + 1] = uint8_t(n >= 16 ? bits >> (n - 16) : 0);
    *used += n >> 3;
    n &= 7;
    *acc = bits & ((1u << n) - 1);
    *nbits = n;
}

// The common path, with the state in locals: matches the input bytes at
// hand and, while the output buffer has room for a code and a CLEAR (4
// bytes) and the output is short of `stop`, writes codes, adds entries and
// clears the dictionary. Leaves the phase at match when the bytes at hand
// are used up, else at code_pending or clear_pending for the general path.
template <class Table>
static void compress_buffer(LzwCompressor* c, ByteSource* in, BitWriter* out, uint64_t stop) {
    ByteSink* sink = &out->sink;
    size_t writable = sink->capacity >= 4 ? sink->capacity - 3 : 0;
    uint64_t to_stop = stop > sink->flushed ? stop - sink->flushed : 0;
    if (to_stop < writable) writable = size_t(to_stop);
    uint8_t* const data = sink->data;
    size_t used = sink->used;
    uint32_t acc = out->acc, nbits = out->nbits;
    const uint8_t* p = in->data + in->pos;
    const uint8_t* const end = in->data + in->size;
    uint32_t prefix = c->prefix;
    uint32_t last = c->last_code, width = c->width;
    const uint32_t max_code = c->max_code;
    const SlotTable table = slot_table(c);
    LzwCompressPhase phase = LzwCompressPhase::match;
    while (p < end) {
        uint32_t byte = *p++;
        uint32_t place;
        uint32_t code = dictionary_find<Table>(table, prefix, byte, &place);
        if (code != 0) {
            prefix = code;
            continue;
        }
        if (used >= writable) {
            c->byte = byte;
            c->free_place = place;
            phase = LzwCompressPhase::code_pending;
            break;
        }
        emit(data, &used, &acc, &nbits, prefix, width);
        if (last < max_code) {
            slot_fill(c, place, prefix, byte, ++last);
            if (last >> width) ++width;
        } else if (used >= writable) {
            prefix = byte + LZW_FIRST_BYTE_CODE;
            phase = LzwCompressPhase::clear_pending;
            break;
        } else {
            emit(data, &used, &acc, &nbits, LZW_CLEAR, width);
            c->last_code = last;
            dictionary_reset(c);
            last = c->last_code;
            width = c->width;
        }
        prefix = byte + LZW_FIRST_BYTE_CODE;
    }
    c->last_code = last;
    c->width = width;
    c->phase = phase;
    c->prefix = prefix;
    in->pos = size_t(p - in->data);
    sink->used = used;
    out->acc = acc;
    out->nbits = nbits;
}

// Writes the header and starts the first match with the first byte.
static ResultCode compress_start(LzwCompressor* c, ByteSource* in, BitWriter* out) {
    bit_writer_put(out, c->max_width, LZW_HEADER_BITS);
    if (byte_source_fill(in) != RC_OK) {
        c->phase = LzwCompressPhase::failed;
        return RC_UNABLE_TO_READ;
    }
    c->prefix = in->data[in->pos++] + LZW_FIRST_BYTE_CODE;
    c->phase = LzwCompressPhase::match;
    return RC_OK;
}

// Goes on with the match: over the bytes at hand, or after refilling them;
// at the end of the input the match is the last code.
static ResultCode compress_more(LzwCompressor* c, ByteSource* in, BitWriter* out, uint64_t stop) {
    ResultCode rc = byte_source_fill(in);
    if (rc == RC_END_OF_FILE) {
        c->input_ended = true;
        c->phase = LzwCompressPhase::code_pending;
        return RC_OK;
    }
    if (rc != RC_OK) {
        c->phase = LzwCompressPhase::failed;
        return rc;
    }
    if (Table13::fits(c))
        compress_buffer<Table13>(c, in, out, stop);
    else
        compress_buffer<AnyTable>(c, in, out, stop);
    return RC_OK;
}

// Writes the pending code, then adds its entry, or when the dictionary is
// full, makes CLEAR the pending output.
static void compress_code(LzwCompressor* c, BitWriter* out) {
    bit_writer_put(out, c->prefix, c->width);
    if (c->input_ended) {
        c->phase = LzwCompressPhase::done;
        return;
    }
    c->phase = LzwCompressPhase::clear_pending;
    if (c->last_code < c->max_code) {
        dictionary_add(c, c->free_place, c->prefix, c->byte);
        c->phase = LzwCompressPhase::match;
    }
    c->prefix = c->byte + LZW_FIRST_BYTE_CODE;
}

static void compress_clear(LzwCompressor* c, BitWriter* out) {
    bit_writer_put(out, LZW_CLEAR, c->width);
    dictionary_reset(c);
    c->phase = LzwCompressPhase::match;
}

// Goes on from the saved phase until the input ends or the output reaches
// `stop` bytes: match, write the match's code, add the match and the byte
// after it, and when the dictionary is full write CLEAR instead.
static ResultCode compress_run(LzwCompressor* c, ByteSource* in, BitWriter* out, uint64_t stop) {
    for (;;) {
        if (out->sink.error != RC_OK) return out->sink.error;
        bool stopped = byte_sink_total(&out->sink) >= stop;
        ResultCode rc = RC_OK;
        switch (c->phase) {
        case LzwCompressPhase::fresh:
            rc = compress_start(c, in, out);
            break;
        case LzwCompressPhase::match:
            rc = compress_more(c, in, out, stop);
            break;
        case LzwCompressPhase::code_pending:
            if (stopped) return RC_OK;
            compress_code(c, out);
            break;
        case LzwCompressPhase::clear_pending:
            if (stopped) return RC_OK;
            compress_clear(c, out);
            break;
        case LzwCompressPhase::done:
            return RC_OK;
        case LzwCompressPhase::failed:
            return RC_UNABLE_TO_READ;
        }
        if (rc != RC_OK) return rc;
    }
}

ResultCode lzw_compress_step(LzwCompressor* c, ByteSource* in, BitWriter* out, uint32_t limit,
                             uint32_t* written) {
    *written = 0;
    if (!c->slot) return RC_NO_OBJECT;
    if (limit == 0) return RC_OK;
    uint64_t start = byte_sink_total(&out->sink);
    uint64_t stop = start + (limit > 2 ? limit - 2 : 0);
    bit_writer_resume(out, c->carry);
    ResultCode rc = compress_run(c, in, out, stop);
    c->carry = bit_writer_suspend(out);
    *written = uint32_t(byte_sink_total(&out->sink) - start);
    if (out->sink.error != RC_OK) return out->sink.error;
    return rc;
}

bool lzw_compress_is_done(const LzwCompressor* c) {
    return c->phase == LzwCompressPhase::done;
}

ResultCode lzw_compress_finish(LzwCompressor* c, BitWriter* out) {
    bit_writer_resume(out, c->carry);
    ResultCode rc = bit_writer_pad(out);
    c->carry = BitCarry{};
    return rc;
}
