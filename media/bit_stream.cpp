// Buffered byte and bit streams over a caller's binary file or memory block.
#include "media/bit_stream.h"

#include <cstring>
#include <new>

#include "sys/binary_file.h"

// Allocates a staging buffer, halving the size after each failure.
static uint8_t* buffer_new(size_t* capacity) {
    for (size_t size = STREAM_BUFFER_SIZE; size >= STREAM_BUFFER_SMALLEST; size /= 2) {
        uint8_t* buffer = new (std::nothrow) uint8_t[size];
        if (buffer) {
            *capacity = size;
            return buffer;
        }
    }
    return nullptr;
}

ResultCode byte_source_open_binary(ByteSource* s, BinaryFile* file) {
    *s = ByteSource{};
    if (!file) return RC_NO_OBJECT;
    s->buffer = buffer_new(&s->capacity);
    if (!s->buffer) return RC_NO_OBJECT;
    s->binary = file;
    s->data = s->buffer;
    return RC_OK;
}

void byte_source_open_memory(ByteSource* s, const void* data, size_t size) {
    *s = ByteSource{};
    s->data = static_cast<const uint8_t*>(data);
    s->size = size;
    s->ended = true;
}

void byte_source_close(ByteSource* s) {
    delete[] s->buffer;
    *s = ByteSource{};
}

// A binary file may give fewer bytes than asked before its end; only a read
// that gives none ends it.
ResultCode byte_source_fill(ByteSource* s) {
    if (s->pos < s->size) return RC_OK;
    if (s->ended || !s->binary) return RC_END_OF_FILE;
    size_t got = 0;
    s->pos = 0;
    s->size = 0;
    if (binary_file_read(s->binary, s->buffer, s->capacity, &got) != RC_OK)
        return RC_UNABLE_TO_READ;
    s->size = got;
    if (got > 0) return RC_OK;
    s->ended = true;
    return RC_END_OF_FILE;
}

ResultCode byte_sink_open_binary(ByteSink* s, BinaryFile* file) {
    *s = ByteSink{};
    if (!file) return RC_NO_OBJECT;
    s->data = buffer_new(&s->capacity);
    if (!s->data) return RC_NO_OBJECT;
    s->binary = file;
    s->owns_data = true;
    return RC_OK;
}

void byte_sink_open_memory(ByteSink* s, void* data, size_t capacity) {
    *s = ByteSink{};
    s->data = static_cast<uint8_t*>(data);
    s->capacity = capacity;
}

// Writes the buffered bytes of a file sink to the file; when that fails the
// binary file's code (RC_UNABLE_TO_WRITE when it is full or fails), and the same for every
// later write. A memory sink holds its bytes in place.
static ResultCode byte_sink_flush(ByteSink* s) {
    if (s->error != RC_OK) return s->error;
    if (!s->binary || s->used == 0) return RC_OK;
    ResultCode rc = binary_file_write(s->binary, s->data, s->used);
    if (rc != RC_OK) {
        s->error = rc;
        return s->error;
    }
    s->flushed += s->used;
    s->used = 0;
    return RC_OK;
}

ResultCode byte_sink_write(ByteSink* s, const uint8_t* bytes, size_t n) {
    while (n > 0 && s->error == RC_OK) {
        if (s->used == s->capacity) {
            if (!s->binary) s->error = RC_UNABLE_TO_WRITE;
            byte_sink_flush(s);
            continue;
        }
        size_t room = s->capacity - s->used;
        size_t part = n < room ? n : room;
        memcpy(s->data + s->used, bytes, part);
        s->used += part;
        bytes += part;
        n -= part;
    }
    return s->error;
}

ResultCode byte_sink_close(ByteSink* s) {
    ResultCode rc = byte_sink_flush(s);
    if (s->owns_data) delete[] s->data;
    *s = ByteSink{};
    return rc;
}

ResultCode bit_writer_open_binary(BitWriter* w, BinaryFile* file) {
    *w = BitWriter{};
    return byte_sink_open_binary(&w->sink, file);
}

void bit_writer_open_memory(BitWriter* w, void* data, size_t capacity) {
    *w = BitWriter{};
    byte_sink_open_memory(&w->sink, data, capacity);
}

void bit_writer_resume(BitWriter* w, BitCarry carry) {
    w->acc = carry.bits;
    w->nbits = carry.count;
}

BitCarry bit_writer_suspend(BitWriter* w) {
    BitCarry carry{w->acc, w->nbits};
    w->acc = 0;
    w->nbits = 0;
    return carry;
}

// Writes byte by byte, making room (or failing) whenever the buffer is full.
void bit_writer_put_slow(BitWriter* w, uint32_t code, uint32_t width) {
    uint32_t acc = (w->acc << width) | code;
    uint32_t n = w->nbits + width;
    while (n >= 8) {
        n -= 8;
        uint8_t byte = uint8_t(acc >> n);
        byte_sink_write(&w->sink, &byte, 1);
    }
    w->acc = acc & ((1u << n) - 1);
    w->nbits = n;
}

ResultCode bit_writer_pad(BitWriter* w) {
    if (w->nbits > 0) bit_writer_put_slow(w, 0, 8 - w->nbits);
    return w->sink.error;
}

ResultCode bit_writer_close(BitWriter* w) {
    ResultCode rc = byte_sink_close(&w->sink);
    *w = BitWriter{};
    return rc;
}

ResultCode bit_reader_open_binary(BitReader* r, BinaryFile* file) {
    *r = BitReader{};
    return byte_source_open_binary(&r->source, file);
}

void bit_reader_open_memory(BitReader* r, const void* data, size_t size) {
    *r = BitReader{};
    byte_source_open_memory(&r->source, data, size);
}

void bit_reader_resume(BitReader* r, BitCarry carry) {
    r->acc = carry.bits;
    r->nbits = carry.count;
}

BitCarry bit_reader_suspend(BitReader* r) {
    BitCarry carry{r->acc, r->nbits};
    r->acc = 0;
    r->nbits = 0;
    return carry;
}

void bit_reader_close(BitReader* r) {
    byte_source_close(&r->source);
    *r = BitReader{};
}

ResultCode bit_reader_read_slow(BitReader* r, uint32_t width, uint32_t* code) {
    ByteSource* s = &r->source;
    while (r->nbits < width) {
        if (s->pos == s->size) {
            ResultCode rc = byte_source_fill(s);
            if (rc != RC_OK) return rc;
        }
        r->acc = (r->acc << 8) | s->data[s->pos++];
        r->nbits += 8;
    }
    r->nbits -= width;
    *code = r->acc >> r->nbits;
    r->acc &= (1u << r->nbits) - 1;
    return RC_OK;
}
