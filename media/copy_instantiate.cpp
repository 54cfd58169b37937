// Instantiation of text files.
#include "media/copy_instantiate.h"

#include <cstring>

void instantiation_init(Instantiation* state, CopyLookup lookup, void* context, void* context2) {
    state->lookup = lookup;
    state->context = context;
    state->context2 = context2;
    state->pending = false;
    state->length = 0;
    state->value.clear();
}

// The closing "%" of the open reference: "%%" stands for one "%"; any other
// reference is replaced by its value.
static ResultCode reference_close(Instantiation* state, ByteSink* out) {
    state->pending = false;
    if (state->length == 1) return byte_sink_write(out, reinterpret_cast<const uint8_t*>("%"), 1);
    state->reference[state->length++] = '%';
    std::string_view reference(state->reference, state->length);
    state->value.clear();
    ResultCode rc = state->lookup
                        ? state->lookup(state->context, state->context2, reference, &state->value)
                        : RC_NO_OBJECT;
    if (rc != RC_OK) return rc;
    if (state->value.size() > INSTANTIATE_BUFFER) return RC_OS_ERROR;
    return byte_sink_write(out, reinterpret_cast<const uint8_t*>(state->value.data()),
                           state->value.size());
}

// One character inside a reference. The reference with its closing "%" and
// the terminator must fit the buffer.
static ResultCode reference_add(Instantiation* state, ByteSink* out, uint8_t byte) {
    if (byte == '%') return reference_close(state, out);
    if (state->length + 2 >= INSTANTIATE_BUFFER) return RC_OS_ERROR;
    state->reference[state->length++] = char(byte);
    return RC_OK;
}

// Plain text up to the next "%" goes out in one write.
static ResultCode text_copy(Instantiation* state, ByteSink* out, const uint8_t* bytes, size_t n,
                            size_t* used) {
    const void* mark = memchr(bytes, '%', n);
    size_t plain = mark ? size_t(static_cast<const uint8_t*>(mark) - bytes) : n;
    *used = plain;
    ResultCode rc = byte_sink_write(out, bytes, plain);
    if (rc != RC_OK || !mark) return rc;
    state->pending = true;
    state->reference[0] = '%';
    state->length = 1;
    *used = plain + 1;
    return RC_OK;
}

ResultCode instantiation_copy(Instantiation* state, ByteSource* in, ByteSink* out, uint32_t want,
                              uint32_t* moved) {
    *moved = 0;
    while (*moved < want) {
        ResultCode rc = byte_source_fill(in);
        if (rc == RC_END_OF_FILE) return RC_OK;
        if (rc != RC_OK) return rc;
        const uint8_t* bytes = in->data + in->pos;
        size_t n = in->size - in->pos;
        if (n > want - *moved) n = want - *moved;
        size_t used = 1;
        rc = state->pending ? reference_add(state, out, bytes[0])
                            : text_copy(state, out, bytes, n, &used);
        if (rc != RC_OK) return rc;
        in->pos += used;
        *moved += uint32_t(used);
    }
    return RC_OK;
}

ResultCode instantiation_finish(const Instantiation* state) {
    return state->pending ? RC_UNABLE_TO_READ : RC_OK;
}
