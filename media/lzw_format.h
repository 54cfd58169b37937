// The compressed stream's fixed values, shared by the compressor and the
// decompressor: a header byte with the maximum code width, then codes of 9
// to 16 bits, most significant bit first. Needs nothing.
#pragma once

#include <cstdint>

constexpr uint32_t LZW_HEADER_BITS = 8;
constexpr uint32_t LZW_CLEAR = 1;            // the dictionary starts afresh
constexpr uint32_t LZW_FIRST_BYTE_CODE = 2;  // code of byte b is b + 2
constexpr uint32_t LZW_LAST_INITIAL = 257;   // last code of the initial dictionary
constexpr uint32_t LZW_MIN_WIDTH = 9;        // width at the start and after CLEAR
constexpr uint32_t LZW_MAX_CODE_WIDTH = 16;  // no code is ever wider
constexpr uint32_t LZW_MAX_HEADER = 18;      // larger header values are refused

// What the copy uses: 13-bit codes and a table of 262147 slots.
constexpr uint32_t LZW_WIDTH = 13;
constexpr uint32_t LZW_SLOT_INDEX = 18;
