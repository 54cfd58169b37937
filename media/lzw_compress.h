// The compressor: its dictionary (a hash table of prefix and byte pairs) and
// the resumable compress step, which stops at an output byte limit and goes
// on later, possibly into another file. Needs the bit streams.
#pragma once

#include <cstdint>

#include "media/bit_stream.h"
#include "media/lzw_format.h"

// Where a compressed stream stands between two steps.
enum class LzwCompressPhase : uint8_t {
    fresh,          // nothing written yet, not even the header
    match,          // `prefix` is matched so far; the match goes on with the next byte
    code_pending,   // `prefix` is matched and waits to be written
    clear_pending,  // the dictionary is full and CLEAR waits to be written
    done,           // the input has ended and its last code is written
    failed,         // the input could not be read (or was empty)
};

// The dictionary is a hash table of (prefix, byte) pairs: slots that hold
// a code (see the .cpp for their layout), and per code its pair, the last
// byte in bits 16 to 23 and the prefix code in bits 0 to 15.
struct LzwCompressor {
    uint32_t* slot = nullptr;  // by place in memory, not by slot number
    uint32_t slot_count = 0;
    uint32_t slot_inverse = 0;       // places lie this far apart for adjacent slots
    uint32_t* code_entry = nullptr;  // the pair of each code
    uint32_t* code_place = nullptr;  // where each code lies, to empty on a reset
    uint32_t max_width = 0;          // written as the header
    uint32_t max_code = 0;           // highest code that may be assigned
    uint32_t last_code = 0;          // highest code assigned so far
    uint32_t width = 0;              // width of the codes written now

    LzwCompressPhase phase = LzwCompressPhase::fresh;
    uint32_t prefix = 0;       // code of the string matched so far
    uint32_t byte = 0;         // the byte that ended the match (code pending)
    uint32_t free_place = 0;   // where (prefix, byte) goes
    uint32_t free_mark = 0;    // and the mark it gets there
    bool input_ended = false;  // the match ended with the input
    BitCarry carry;            // bits not yet a whole byte
};

// Allocates the dictionary for codes of up to `max_width` bits (9 to 16) in
// the table of slot index `slot_index` (0 to 18: 667 ... 262147 slots) and
// makes the state fresh. RC_NO_OBJECT when the table cannot be allocated or has fewer
// than 2^max_width slots.
ResultCode lzw_compressor_create(LzwCompressor* c, uint32_t max_width, uint32_t slot_index);
void lzw_compressor_free(LzwCompressor* c);
// Makes the state fresh for a new stream, keeping the allocation.
void lzw_compressor_reset(LzwCompressor* c);

// Reads bytes from `in` and writes codes to `out` until the input ends or
// this step has written `limit` less 2 bytes, so that whatever follows (one
// more code or the last byte) stays within the limit. `written` gets the
// whole bytes written by this step. Returns RC_OK; RC_UNABLE_TO_READ when the input cannot be
// read or is empty (the header is written first); RC_UNABLE_TO_WRITE when `out` fails.
ResultCode lzw_compress_step(LzwCompressor* c, ByteSource* in, BitWriter* out, uint32_t limit,
                             uint32_t* written);
// True when the input has ended and every code has been written.
bool lzw_compress_is_done(const LzwCompressor* c);
// Writes the stream's last bits as a byte filled with zero bits; for the
// last piece of a stream, after its last step. RC_UNABLE_TO_WRITE when `out` fails.
ResultCode lzw_compress_finish(LzwCompressor* c, BitWriter* out);
