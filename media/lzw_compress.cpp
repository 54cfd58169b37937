// The compressor: hash-table dictionary and the resumable compress step.
#include "media/lzw_compress.h"

#include <new>

// Table sizes by slot index; prime, so the probe sequence reaches every slot.
constexpr uint32_t SLOT_COUNTS[] = {667,  667,  667,  667,  667,   667,   667,   667,    667,   667,
                                    1333, 2563, 5003, 9001, 18013, 35023, 69001, 131071, 262147};

// Highest code the compressor may assign for a maximum width.
static uint32_t max_code_for(uint32_t max_width) {
    return (1u << max_width) - 2;
}

// The key of a pair, (byte << (max width + 2)) xor (prefix << 7), is
// 128 x m with m = (byte << (max width - 5)) xor prefix. (The byte lies two
// bits higher than in a key shifted by the max width alone: there its bits
// would overlap the prefix's, and 13-bit codes would have only 2^14 first
// slots, so that one lookup in four probes on; here they have 2^16. The
// codes written depend only on which pairs the dictionary holds, never on
// where they lie.)
//
// Where the slots lie in memory. Slot s is kept at place s x I modulo the
// number of slots, I being the inverse of 128 modulo that number (it is
// odd), so the pair's first slot, key modulo slots, lies at place m modulo
// slots: no division is needed, and the first slots of all pairs lie side
// by side at the start of the table instead of 128 slots apart, which keeps
// them in the processor's nearer caches. The slot after s lies at place + I,
// the mirror slot (slots - s - 1) at F - place, modulo slots, where F =
// slots - I. Only the memory order changes; the slots and the order in which
// they are searched are those of the plain table.
struct SlotTable {
    const uint32_t* slot;
    const uint32_t* code_entry;
    uint32_t slot_count;
    uint32_t inverse;
    uint32_t fold;   // F = slots - I
    uint32_t shift;  // max width - 5
};

static inline SlotTable slot_table(const LzwCompressor* c) {
    return SlotTable{c->slot,
                     c->code_entry,
                     c->slot_count,
                     c->slot_inverse,
                     c->slot_count - c->slot_inverse,
                     c->max_width - 5};
}

static inline uint32_t mirror_place(const SlotTable& t, uint32_t place) {
    return place <= t.fold ? t.fold - place : t.fold + t.slot_count - place;
}

static inline uint32_t next_place(const SlotTable& t, uint32_t place) {
    place += t.inverse;
    return place >= t.slot_count ? place - t.slot_count : place;
}

// The inverse of 128 modulo an odd number: the inverse of 2, to the 7th.
static uint32_t inverse_of_128(uint32_t slots) {
    uint64_t half = (uint64_t(slots) + 1) / 2, inverse = 1;
    for (int i = 0; i < 7; ++i) inverse = inverse * half % slots;
    return uint32_t(inverse);
}

// The place of a pair's first slot, for any width and table.
struct AnyTable {
    static uint32_t home(const SlotTable& t, uint32_t prefix, uint32_t byte) {
        uint32_t m = (byte << t.shift) ^ prefix;
        return m < t.slot_count ? m : m % t.slot_count;
    }
};

// The same for 13-bit codes in the copy's table of 262147 slots: m =
// (byte << 8) xor prefix stays below 2^16 and so inside the table.
struct Table13 {
    static uint32_t home(const SlotTable&, uint32_t prefix, uint32_t byte) {
        return (byte << 8) ^ prefix;
    }
    static bool fits(const LzwCompressor* c) {
        return c->max_width == 13 && c->slot_count > (1u << 16);
    }
};

// A slot holds its code in bits 0 to 15 (0: empty) and the pair's byte in
// bits 16 to 23. Bit 24 marks a pair kept at its own first slot and bit 25
// one kept at the mirror of its first slot; a pair at either with the byte
// sought is the pair sought, so one look at the slot tells. (Two pairs with
// the same byte and first slot have the same m: when m wraps around a small
// table, the two m differ only in the bits below the max width, by less
// than 2^max width, and a table has at least that many slots.) Pairs
// further on are compared in full; a pair marked there is never the one
// sought, as its first slot or mirror comes earlier in the search.
constexpr uint32_t SLOT_AT_HOME = 1u << 24;
constexpr uint32_t SLOT_AT_MIRROR = 1u << 25;

// Looks up (prefix, byte): its code, or 0 when absent. `place` gets where
// the slot that holds it lies, or the empty slot where it belongs, and
// `mark` the mark a pair gets there. The search starts at the key's slot,
// goes on at its mirror and then upwards one slot at a time, wrapping at
// the end of the table.
template <class Table>
static inline uint32_t dictionary_find(const SlotTable& t, uint32_t prefix, uint32_t byte,
                                       uint32_t* place, uint32_t* mark) {
    uint32_t home = Table::home(t, prefix, byte);
    uint32_t held = t.slot[home];
    *place = home;
    *mark = SLOT_AT_HOME;
    if (__builtin_expect((held >> 16) == ((SLOT_AT_HOME >> 16) | byte), 1)) return held & 0xFFFF;
    if (held == 0) return 0;
    uint32_t at = mirror_place(t, home);
    if (at != home) {  // a slot can be its own mirror
        held = t.slot[at];
        *place = at;
        *mark = SLOT_AT_MIRROR;
        if ((held >> 16) == ((SLOT_AT_MIRROR >> 16) | byte)) return held & 0xFFFF;
        if (held == 0) return 0;
    }
    *mark = 0;
    uint32_t entry = (byte << 16) | prefix;
    for (;;) {
        at = next_place(t, at);
        held = t.slot[at];
        if (held == 0) break;
        if ((held >> 16) == byte && t.code_entry[held & 0xFFFF] == entry) break;
    }
    *place = at;
    return held & 0xFFFF;
}

// Puts (prefix, byte) as `code` into the empty slot at `place`, with the
// mark its search gave.
static inline void slot_fill(const LzwCompressor* c, uint32_t place, uint32_t mark, uint32_t prefix,
                             uint32_t byte, uint32_t code) {
    c->slot[place] = code | (byte << 16) | mark;
    c->code_entry[code] = (byte << 16) | prefix;
    c->code_place[code] = place;
}

static void dictionary_add(LzwCompressor* c, uint32_t place, uint32_t mark, uint32_t prefix,
                           uint32_t byte) {
    uint32_t code = ++c->last_code;
    slot_fill(c, place, mark, prefix, byte, code);
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
        uint32_t place, mark;
        dictionary_find<AnyTable>(slot_table(c), 0, byte, &place, &mark);
        dictionary_add(c, place, mark, 0, byte);
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
        uint32_t place, mark;
        uint32_t code = dictionary_find<Table>(table, prefix, byte, &place, &mark);
        if (code != 0) {
            prefix = code;
            continue;
        }
        if (used >= writable) {
            c->byte = byte;
            c->free_place = place;
            c->free_mark = mark;
            phase = LzwCompressPhase::code_pending;
            break;
        }
        emit(data, &used, &acc, &nbits, prefix, width);
        if (last < max_code) {
            slot_fill(c, place, mark, prefix, byte, ++last);
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
        dictionary_add(c, c->free_place, c->free_mark, c->prefix, c->byte);
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
