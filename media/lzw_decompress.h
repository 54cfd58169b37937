// The decompressor: its dictionary (one prefix and byte entry per code) and
// the resumable decompress step, which stops at an output byte limit or at
// the end of its input and goes on later, possibly from another file.
// Needs the bit streams.
#pragma once

#include <cstdint>

#include "media/bit_stream.h"
#include "media/lzw_format.h"

// Room for the longest string a code can stand for (65279 bytes).
constexpr uint32_t LZW_STRING_ROOM = 65536;

enum class LzwDecompressPhase : uint8_t {
    header,       // the header byte has not come yet
    first_code,   // the stream's first code has not come yet
    after_clear,  // a CLEAR was read; the next code starts afresh
    codes,        // codes are being read
    failed,       // the step failed; every later step gives the same result
};

// The strings are written into a history of the output, from which each
// code's string is copied whole where it last appeared (see the .cpp); the
// entries rebuild a string that has left the history. One block holds the
// tables and the history, allocated with the header.
struct LzwDecompressor {
    uint8_t* block = nullptr;  // per code its string and entry, then the history
    uint32_t at = 0;           // where the next string goes in the history
    uint32_t pending = 0;      // bytes before `at` not yet written to the output
    uint32_t table_max = 0;    // highest code of the table; it is never assigned
    uint32_t count = 0;        // highest code defined
    uint32_t width = 0;        // width of the next code
    uint32_t prev = 0;         // the code read last

    LzwDecompressPhase phase = LzwDecompressPhase::header;
    ResultCode failure = RC_OK;  // the result that ended the stream
    BitCarry carry;              // bits read but not yet a whole code
};

// Makes the state fresh; nothing is allocated until the header is read.
void lzw_decompressor_init(LzwDecompressor* d);
void lzw_decompressor_free(LzwDecompressor* d);

// Reads codes from `in` and writes their bytes to `out` until the input
// ends or this step has written `limit` bytes; `written` gets the count.
// When the input ends inside a code, its bits are kept for the next step.
// Returns RC_OK; RC_UNABLE_TO_READ when the header is above 18, a code is 0 or beyond the next
// undefined code, a first code (also after CLEAR) is not a single byte, or
// reading fails; RC_UNABLE_TO_WRITE when `out` fails; RC_NO_OBJECT when the dictionary cannot be
// allocated.
ResultCode lzw_decompress_step(LzwDecompressor* d, BitReader* in, ByteSink* out, uint32_t limit,
                               uint32_t* written);
// Says whether the stream, now that its input is over, was whole: RC_UNABLE_TO_READ when
// its header or its first code never came or it was refused, else RC_OK.
ResultCode lzw_decompress_finish(const LzwDecompressor* d);
