// Helpers of the coder's fuzz targets: compress into pieces of a byte limit
// and decompress pieces in steps of an output limit, collecting the bytes.
// Needs the coder; aborts (for the fuzzer to report) when a check fails.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/lzw_compress.h"
#include "media/lzw_decompress.h"

inline void fuzz_check(bool ok, const char* what) {
    if (ok) return;
    fprintf(stderr, "check failed: %s\n", what);
    abort();
}

// Compresses `input` into pieces of at most `limit` bytes (limit at least 3,
// or 0 for one unbounded step).
inline ResultCode fuzz_compress(const std::string& input, uint32_t limit,
                                std::vector<std::string>* pieces) {
    // One table for the whole run, made fresh by a reset for each stream.
    static LzwCompressor c;
    if (!c.slot)
        fuzz_check(lzw_compressor_create(&c, LZW_WIDTH, LZW_SLOT_INDEX) == RC_OK, "create");
    lzw_compressor_reset(&c);
    ByteSource in;
    byte_source_open_memory(&in, input.data(), input.size());
    ResultCode rc = RC_OK;
    while (rc == RC_OK && !lzw_compress_is_done(&c)) {
        std::string piece(limit ? limit : input.size() * 2 + 16, '\0');
        BitWriter w;
        bit_writer_open_memory(&w, piece.data(), piece.size());
        uint32_t written = 0;
        rc = lzw_compress_step(&c, &in, &w, limit ? limit : UINT32_MAX, &written);
        fuzz_check(written == w.sink.used && written <= piece.size(), "written count");
        if (rc != RC_OK || lzw_compress_is_done(&c))
            fuzz_check(lzw_compress_finish(&c, &w) == RC_OK, "last byte within the limit");
        piece.resize(w.sink.used);
        pieces->push_back(piece);
    }
    return rc;
}

// Decompresses the pieces one after the other in steps of at most `limit`
// bytes; the result is the first failure or what finishing says.
inline ResultCode fuzz_decompress(const std::vector<std::string>& pieces, uint32_t limit,
                                  std::string* out) {
    LzwDecompressor d;
    lzw_decompressor_init(&d);
    std::string chunk(limit, '\0');
    ResultCode rc = RC_OK;
    for (const std::string& piece : pieces) {
        BitReader r;
        bit_reader_open_memory(&r, piece.data(), piece.size());
        uint32_t written = limit;
        while (rc == RC_OK && written == limit) {
            ByteSink sink;
            byte_sink_open_memory(&sink, chunk.data(), chunk.size());
            rc = lzw_decompress_step(&d, &r, &sink, limit, &written);
            fuzz_check(written <= limit, "output limit");
            out->append(chunk.data(), written);
        }
    }
    if (rc == RC_OK) rc = lzw_decompress_finish(&d);
    lzw_decompressor_free(&d);
    return rc;
}
