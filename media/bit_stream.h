// Buffered byte and bit streams over a binary file opened by the caller, or
// over a block of the caller's memory: the byte source and sink the coder
// reads and writes, and the most-significant-bit-first bit reader and writer
// on top. Needs sys/binary_file, through which every read and write of a file
// goes (so the file services' failures reach it); never opens or closes the
// file itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sys/result_code.h"

struct BinaryFile;

// Size of the staging buffer of a file stream; halved on each allocation
// failure down to the smallest size.
constexpr size_t STREAM_BUFFER_SIZE = 49152;
constexpr size_t STREAM_BUFFER_SMALLEST = 384;

// Bytes to read: a file through a staging buffer, or a memory block.
struct ByteSource {
    BinaryFile* binary = nullptr;   // null for a memory source
    const uint8_t* data = nullptr;  // unread bytes are data[pos] to data[size - 1]
    size_t size = 0;
    size_t pos = 0;
    uint8_t* buffer = nullptr;  // owned staging buffer of a file source
    size_t capacity = 0;
    bool ended = false;  // no byte remains beyond data[size - 1]
};

// Bytes written: a file through a staging buffer, or a memory block of fixed
// capacity (writing past it fails with RC_UNABLE_TO_WRITE).
struct ByteSink {
    BinaryFile* binary = nullptr;  // null for a memory sink
    uint8_t* data = nullptr;       // buffered (file) or written (memory) bytes
    size_t capacity = 0;
    size_t used = 0;
    bool owns_data = false;
    uint64_t flushed = 0;      // bytes already handed to the file
    ResultCode error = RC_OK;  // first failure; later writes are dropped
};

// Bits that belong to a compressed stream but not yet to a whole byte (writer)
// or not yet to a whole code (reader), kept in the coder's state between
// steps so that the next step may go on in another file. The pending bits are
// the low `count` bits of `bits`, the oldest first.
struct BitCarry {
    uint32_t bits = 0;
    uint32_t count = 0;
};

struct BitWriter {
    ByteSink sink;
    uint32_t acc = 0;  // pending bits, fewer than 8 between writes
    uint32_t nbits = 0;
};

struct BitReader {
    ByteSource source;
    uint32_t acc = 0;  // bits taken from bytes but not yet from codes
    uint32_t nbits = 0;
};

// Byte source. Opening a file source allocates its buffer: RC_NO_OBJECT when even the
// smallest size cannot be had. Closing frees the buffer, not the file.
ResultCode byte_source_open_binary(ByteSource* s, BinaryFile* file);
void byte_source_open_memory(ByteSource* s, const void* data, size_t size);
void byte_source_close(ByteSource* s);
// Makes more bytes available when none are left: RC_OK when some are (or were
// already), RC_END_OF_FILE when the input has ended, RC_UNABLE_TO_READ when reading fails.
ResultCode byte_source_fill(ByteSource* s);

// Byte sink. Opening a file sink allocates its buffer (RC_NO_OBJECT on failure).
ResultCode byte_sink_open_binary(ByteSink* s, BinaryFile* file);
void byte_sink_open_memory(ByteSink* s, void* data, size_t capacity);
// Appends n bytes; RC_UNABLE_TO_WRITE when the file write fails or the memory block is full.
ResultCode byte_sink_write(ByteSink* s, const uint8_t* bytes, size_t n);
// Flushes the buffer, then frees it (the file stays open); the code of a
// failed write (RC_UNABLE_TO_WRITE when the disk is full or fails).
ResultCode byte_sink_close(ByteSink* s);
// Bytes accepted since the sink was opened, flushed or not.
inline uint64_t byte_sink_total(const ByteSink* s) {
    return s->flushed + s->used;
}

// Bit writer: codes of up to 16 bits, most significant bit first.
ResultCode bit_writer_open_binary(BitWriter* w, BinaryFile* file);
void bit_writer_open_memory(BitWriter* w, void* data, size_t capacity);
// Takes over the pending bits of the stream; the writer must hold none.
void bit_writer_resume(BitWriter* w, BitCarry carry);
// Hands out the pending bits (fewer than 8); the writer keeps none.
BitCarry bit_writer_suspend(BitWriter* w);
// Writes the pending bits as one last byte filled up with zero bits.
ResultCode bit_writer_pad(BitWriter* w);
// Flushes the whole bytes and frees the buffer; pending bits are not
// written (they belong to whoever suspended them). RC_UNABLE_TO_WRITE on failure.
ResultCode bit_writer_close(BitWriter* w);
// The slow paths of the inline operations below: at the end of a buffer.
void bit_writer_put_slow(BitWriter* w, uint32_t code, uint32_t width);

// Writes the low `width` bits of `code` (width 1 to 16). A failed write is
// kept in the sink's error and ends every later write.
inline void bit_writer_put(BitWriter* w, uint32_t code, uint32_t width) {
    ByteSink* s = &w->sink;
    if (s->capacity - s->used < 3) {
        bit_writer_put_slow(w, code, width);
        return;
    }
    uint32_t acc = (w->acc << width) | code;
    uint32_t n = w->nbits + width;
    uint8_t* out = s->data + s->used;
    while (n >= 8) {
        n -= 8;
        *out++ = uint8_t(acc >> n);
    }
    s->used = size_t(out - s->data);
    w->acc = acc & ((1u << n) - 1);
    w->nbits = n;
}

// Bit reader: codes of up to 16 bits, most significant bit first.
ResultCode bit_reader_open_binary(BitReader* r, BinaryFile* file);
void bit_reader_open_memory(BitReader* r, const void* data, size_t size);
void bit_reader_resume(BitReader* r, BitCarry carry);
BitCarry bit_reader_suspend(BitReader* r);
void bit_reader_close(BitReader* r);
ResultCode bit_reader_read_slow(BitReader* r, uint32_t width, uint32_t* code);

// Reads a code of `width` bits (1 to 16): RC_OK, or RC_END_OF_FILE when fewer
// than `width` bits remain (they stay pending), or RC_UNABLE_TO_READ when reading fails.
inline ResultCode bit_reader_read(BitReader* r, uint32_t width, uint32_t* code) {
    ByteSource* s = &r->source;
    if (s->size - s->pos < 2) return bit_reader_read_slow(r, width, code);
    uint32_t acc = r->acc, n = r->nbits;
    while (n < width) {
        acc = (acc << 8) | s->data[s->pos++];
        n += 8;
    }
    n -= width;
    *code = acc >> n;
    r->acc = acc & ((1u << n) - 1);
    r->nbits = n;
    return RC_OK;
}
