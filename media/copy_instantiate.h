// Instantiation of text files: variable references ("%name%") replaced by
// the values a lookup callback gives, "%%" written as one "%", a reference
// cut by the end of a chunk completed from the next one. Owns the state of
// one file; needs the byte streams of media/bit_stream.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "media/bit_stream.h"

// A reference, both "%" included, must leave room for a terminator in a
// buffer of this many characters; a value holds at most as many.
constexpr uint32_t INSTANTIATE_BUFFER = 1024;

// Gives the value of `reference` (the whole "%name%") in *value. A non-zero
// result ends the copy with that result.
using CopyLookup = ResultCode (*)(void* context, void* context2, std::string_view reference,
                                  std::string* value);

struct Instantiation {
    CopyLookup lookup = nullptr;
    void* context = nullptr;
    void* context2 = nullptr;
    bool pending = false;  // a reference is open; its text so far is in `reference`
    char reference[INSTANTIATE_BUFFER];
    uint32_t length = 0;
    std::string value;  // reused for every value
};

void instantiation_init(Instantiation* state, CopyLookup lookup, void* context, void* context2);

// Copies up to `want` bytes of `in` to `out`, replacing references; *moved
// gets the input bytes taken, fewer than `want` only at the end of the
// input. RC_OK; RC_OS_ERROR for a reference that does not fit its buffer or a value over
// 1024 characters; RC_UNABLE_TO_READ when reading fails; RC_UNABLE_TO_WRITE when writing fails; the
// lookup's own failure.
ResultCode instantiation_copy(Instantiation* state, ByteSource* in, ByteSink* out, uint32_t want,
                              uint32_t* moved);

// At the end of the input: RC_UNABLE_TO_READ when a reference is still open, else RC_OK.
ResultCode instantiation_finish(const Instantiation* state);
