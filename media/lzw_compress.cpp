// The compressor: hash-table dictionary and the resumable compress step.
#include "media/lzw_compress.h"

#include <new>

// Table sizes by slot index; prime, so the probe sequence reaches every slot.
static const uint32_t SLOT_COUNTS[] = {667,  667,  667,   667,   667,   667,   667,
                                       667,  667,  667,   1333,  2563,  5003,  9001,
                                       18013, 35023, 69001, 131071, 262147};

// Highest code the compressor may assign for a maximum width.
static uint32_t max_code_for(uint32_t max_width) {
    if (max_width <= LZW_MIN_WIDTH) return (1u << LZW_MIN_WIDTH) - 2;
    return (1u << max_width) - 2;
}

// key modulo slot_count, computed with two products instead of a division.
static inline uint32_t slot_for(const LzwCompressor* c, uint32_t key) {
    uint64_t low = c->slot_divisor * key;
    return uint32_t((static_cast<unsigned __int128>(low) * c->slot_count) >> 64);
}

static inline bool slot_answers(const LzwSlot* s, uint32_t entry) {
    return s->code == 0 || s->entry == entry;
}

// Looks up (prefix, byte): its code, or 0 when absent. `slot` gets the slot
// that holds it, or the empty slot where it belongs.
static inline uint32_t dictionary_find(const LzwCompressor* c, uint32_t prefix, uint32_t byte,
                                       uint32_t* slot) {
    uint32_t entry = (byte << 16) | prefix;
    uint32_t at = slot_for(c, (byte << c->max_width) ^ (prefix << 7));
    if (!slot_answers(&c->slots[at], entry)) {
        at = c->slot_count - at - 1;
        while (!slot_answers(&c->slots[at], entry))
            if (++at == c->slot_count) at = 0;
    }
    *slot = at;
    return c->slots[at].code;
}

static void dictionary_add(LzwCompressor* c, uint32_t slot, uint32_t prefix, uint32_t byte) {
    uint32_t code = ++c->last_code;
    c->slots[slot] = LzwSlot{(byte << 16) | prefix, code};
    c->code_slot[code] = slot;
    if (code >> c->width) ++c->width;
}

// Back to the single-byte entries: only the slots of later codes are emptied,
// so a CLEAR costs as much as the codes it drops.
static void dictionary_reset(LzwCompressor* c) {
    for (uint32_t code = LZW_LAST_INITIAL + 1; code <= c->last_code; ++code)
        c->slots[c->code_slot[code]].code = 0;
    c->last_code = LZW_LAST_INITIAL;
    c->width = LZW_MIN_WIDTH;
}

ResultCode lzw_compressor_create(LzwCompressor* c, uint32_t max_width, uint32_t slot_index) {
    *c = LzwCompressor{};
    if (max_width < 1 || max_width > LZW_MAX_CODE_WIDTH) return RC_NO_OBJECT;
    if (slot_index >= sizeof SLOT_COUNTS / sizeof SLOT_COUNTS[0]) return RC_NO_OBJECT;
    c->max_width = max_width;
    c->max_code = max_code_for(max_width);
    c->slot_count = SLOT_COUNTS[slot_index];
    if (c->slot_count <= c->max_code) return RC_NO_OBJECT;  // probing would never end
    c->slot_divisor = UINT64_MAX / c->slot_count + 1;
    c->slots = new (std::nothrow) LzwSlot[c->slot_count]();
    c->code_slot = new (std::nothrow) uint32_t[c->max_code + 1];
    if (!c->slots || !c->code_slot) {
        lzw_compressor_free(c);
        return RC_NO_OBJECT;
    }
    c->last_code = LZW_FIRST_BYTE_CODE - 1;
    c->width = LZW_MIN_WIDTH;
    for (uint32_t byte = 0; byte < 256; ++byte) {
        uint32_t slot;
        dictionary_find(c, 0, byte, &slot);
        dictionary_add(c, slot, 0, byte);
    }
    return RC_OK;
}

void lzw_compressor_free(LzwCompressor* c) {
    delete[] c->slots;
    delete[] c->code_slot;
    *c = LzwCompressor{};
}

void lzw_compressor_reset(LzwCompressor* c) {
    if (!c->slots) return;
    dictionary_reset(c);
    c->phase = LzwCompressPhase::fresh;
    c->input_ended = false;
    c->carry = BitCarry{};
}

// Extends the match in c->prefix with input bytes while the dictionary holds
// it. Ends with the byte that breaks the match (and its free slot) or with
// the end of the input.
static ResultCode compress_match(LzwCompressor* c, ByteSource* in) {
    uint32_t prefix = c->prefix;
    for (;;) {
        ResultCode rc = byte_source_fill(in);
        if (rc == RC_END_OF_FILE) {
            c->prefix = prefix;
            c->input_ended = true;
            return RC_OK;
        }
        if (rc != RC_OK) return rc;
        const uint8_t* p = in->data + in->pos;
        const uint8_t* end = in->data + in->size;
        while (p < end) {
            uint32_t byte = *p++;
            uint32_t slot;
            uint32_t code = dictionary_find(c, prefix, byte, &slot);
            if (code == 0) {
                in->pos = size_t(p - in->data);
                c->prefix = prefix;
                c->byte = byte;
                c->free_slot = slot;
                return RC_OK;
            }
            prefix = code;
        }
        in->pos = in->size;
    }
}

// Writes the header and takes the first byte.
static ResultCode compress_start(LzwCompressor* c, ByteSource* in, BitWriter* out) {
    bit_writer_put(out, c->max_width, LZW_HEADER_BITS);
    if (byte_source_fill(in) != RC_OK) {
        c->phase = LzwCompressPhase::failed;
        return RC_UNABLE_TO_READ;
    }
    c->byte = in->data[in->pos++];
    c->phase = LzwCompressPhase::match;
    return RC_OK;
}

// Runs the phases until the input ends or the output reaches `stop` bytes.
static ResultCode compress_run(LzwCompressor* c, ByteSource* in, BitWriter* out, uint64_t stop) {
    for (;;) {
        if (out->sink.error != RC_OK) return out->sink.error;
        switch (c->phase) {
        case LzwCompressPhase::fresh: {
            ResultCode rc = compress_start(c, in, out);
            if (rc != RC_OK) return rc;
            break;
        }
        case LzwCompressPhase::match: {
            c->prefix = c->byte + LZW_FIRST_BYTE_CODE;
            ResultCode rc = compress_match(c, in);
            if (rc != RC_OK) {
                c->phase = LzwCompressPhase::failed;
                return rc;
            }
            c->phase = LzwCompressPhase::code_pending;
            break;
        }
        case LzwCompressPhase::code_pending:
            if (byte_sink_total(&out->sink) >= stop) return RC_OK;
            bit_writer_put(out, c->prefix, c->width);
            if (c->input_ended) {
                c->phase = LzwCompressPhase::done;
            } else if (c->last_code < c->max_code) {
                dictionary_add(c, c->free_slot, c->prefix, c->byte);
                c->phase = LzwCompressPhase::match;
            } else {
                c->phase = LzwCompressPhase::clear_pending;
            }
            break;
        case LzwCompressPhase::clear_pending:
            if (byte_sink_total(&out->sink) >= stop) return RC_OK;
            bit_writer_put(out, LZW_CLEAR, c->width);
            dictionary_reset(c);
            c->phase = LzwCompressPhase::match;
            break;
        case LzwCompressPhase::done:
            return RC_OK;
        case LzwCompressPhase::failed:
            return RC_UNABLE_TO_READ;
        }
    }
}

ResultCode lzw_compress_step(LzwCompressor* c, ByteSource* in, BitWriter* out, uint32_t limit,
                             uint32_t* written) {
    *written = 0;
    if (!c->slots) return RC_NO_OBJECT;
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
