#include "media/bit_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "media/lzw_compress.h"
#include "media/lzw_decompress.h"
#include "support/test_support.h"
#include "sys/binary_file.h"

namespace {

std::string sample(size_t n) {
    std::mt19937 rng(11);
    std::string b;
    while (b.size() < n)
        b += (rng() % 3) ? std::string("copy the file to disk ") : std::string(1, char(rng()));
    b.resize(n);
    return b;
}

// The binary files a coder step reads and writes, closed when it is done.
struct OpenFiles {
    BinaryFile* from = nullptr;
    BinaryFile* to = nullptr;
    ResultCode rc = RC_OK;
    OpenFiles(const std::string& in, const std::string& out) {
        rc = binary_file_open(&from, engine_path(in), BINARY_READ);
        if (rc == RC_OK) rc = binary_file_open(&to, engine_path(out), BINARY_WRITE);
    }
    ~OpenFiles() {
        if (from) binary_file_close(from);
        if (to) binary_file_close(to);
    }
};

// Compresses the host file `from` into the host file `to` through streams
// over binary files.
ResultCode compress_file(const std::string& from, const std::string& to) {
    OpenFiles files(from, to);
    LzwCompressor c;
    ByteSource in;
    BitWriter out;
    uint32_t written;
    ResultCode rc = files.rc;
    if (rc == RC_OK) rc = lzw_compressor_create(&c, LZW_WIDTH, LZW_SLOT_INDEX);
    if (rc != RC_OK) return rc;
    rc = byte_source_open_binary(&in, files.from);
    if (rc == RC_OK) rc = bit_writer_open_binary(&out, files.to);
    if (rc == RC_OK) rc = lzw_compress_step(&c, &in, &out, UINT32_MAX, &written);
    if (rc == RC_OK) rc = lzw_compress_finish(&c, &out);
    ResultCode closed = bit_writer_close(&out);
    if (rc == RC_OK) rc = closed;
    byte_source_close(&in);
    lzw_compressor_free(&c);
    return rc;
}

ResultCode decompress_file(const std::string& from, const std::string& to) {
    OpenFiles files(from, to);
    if (files.rc != RC_OK) return files.rc;
    LzwDecompressor d;
    lzw_decompressor_init(&d);
    BitReader in;
    ByteSink out;
    uint32_t written;
    ResultCode rc = bit_reader_open_binary(&in, files.from);
    if (rc == RC_OK) rc = byte_sink_open_binary(&out, files.to);
    if (rc == RC_OK) rc = lzw_decompress_step(&d, &in, &out, UINT32_MAX, &written);
    if (rc == RC_OK) rc = lzw_decompress_finish(&d);
    ResultCode closed = byte_sink_close(&out);
    if (rc == RC_OK) rc = closed;
    bit_reader_close(&in);
    lzw_decompressor_free(&d);
    return rc;
}

}  // namespace

TEST(BitStream, CodesOfEveryWidthComeBackInOrder) {
    std::mt19937 rng(5);
    std::vector<std::pair<uint32_t, uint32_t>> codes;  // (width, code)
    for (int i = 0; i < 5000; ++i) {
        uint32_t width = 1 + rng() % 16;
        codes.push_back({width, rng() & ((1u << width) - 1)});
    }
    std::string bytes(20000, '\0');
    BitWriter w;
    bit_writer_open_memory(&w, bytes.data(), bytes.size());
    size_t bits = 0;
    for (auto [width, code] : codes) {
        bit_writer_put(&w, code, width);
        bits += width;
    }
    ASSERT_EQ(bit_writer_pad(&w), RC_OK);
    ASSERT_EQ(w.sink.used, (bits + 7) / 8);

    // Read back from two halves, the bits of the first carried into the second.
    size_t half = w.sink.used / 2;
    BitReader r;
    bit_reader_open_memory(&r, bytes.data(), half);
    uint32_t got;
    size_t i = 0;
    for (; i < codes.size() && bit_reader_read(&r, codes[i].first, &got) == RC_OK; ++i)
        ASSERT_EQ(got, codes[i].second) << i;
    BitCarry carry = bit_reader_suspend(&r);
    EXPECT_LT(carry.count, codes[i].first);
    bit_reader_open_memory(&r, bytes.data() + half, w.sink.used - half);
    bit_reader_resume(&r, carry);
    for (; i < codes.size(); ++i) {
        ASSERT_EQ(bit_reader_read(&r, codes[i].first, &got), RC_OK) << i;
        ASSERT_EQ(got, codes[i].second) << i;
    }
    EXPECT_EQ(bit_reader_read(&r, 8, &got), RC_END_OF_FILE);
}

TEST(BitStream, FilesRoundTripThroughTheCoder) {
    TempDir dir;
    std::string input = sample(300000);  // several buffers' worth each way
    write_host_file(dir.at("plain"), input);
    ASSERT_EQ(compress_file(dir.at("plain"), dir.at("packed")), RC_OK);
    std::string packed = read_host_file(dir.at("packed"));
    EXPECT_LT(packed.size(), input.size() / 2);
    ASSERT_EQ(decompress_file(dir.at("packed"), dir.at("back")), RC_OK);
    EXPECT_EQ(read_host_file(dir.at("back")), input);
}

TEST(BitStream, FailuresOfFilesAndMemoryAreReported) {
    TempDir dir;
    write_host_file(dir.at("plain"), sample(100000));
    write_host_file(dir.at("empty"), "");
    EXPECT_EQ(compress_file(dir.at("empty"), dir.at("packed")), RC_UNABLE_TO_READ);
    EXPECT_EQ(read_host_file(dir.at("packed")), std::string(1, '\x0D'));
    ASSERT_EQ(compress_file(dir.at("plain"), dir.at("packed")), RC_OK);

    // A file opened only for writing cannot be read.
    BinaryFile* unreadable = nullptr;
    ASSERT_EQ(binary_file_open(&unreadable, engine_path(dir.at("w")), BINARY_WRITE), RC_OK);
    ByteSource in;
    ASSERT_EQ(byte_source_open_binary(&in, unreadable), RC_OK);
    EXPECT_EQ(byte_source_fill(&in), RC_UNABLE_TO_READ);
    byte_source_close(&in);
    binary_file_close(unreadable);

    // Memory outputs that are too small.
    std::string input = sample(1000), small(100, '\0');
    LzwCompressor c;
    ASSERT_EQ(lzw_compressor_create(&c, LZW_WIDTH, LZW_SLOT_INDEX), RC_OK);
    byte_source_open_memory(&in, input.data(), input.size());
    BitWriter w;
    bit_writer_open_memory(&w, small.data(), small.size());
    uint32_t written;
    EXPECT_EQ(lzw_compress_step(&c, &in, &w, UINT32_MAX, &written), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(written, small.size());
    lzw_compressor_free(&c);

    std::string packed = read_host_file(dir.at("packed"));
    LzwDecompressor d;
    lzw_decompressor_init(&d);
    BitReader r;
    bit_reader_open_memory(&r, packed.data(), packed.size());
    ByteSink sink;
    byte_sink_open_memory(&sink, small.data(), small.size());
    EXPECT_EQ(lzw_decompress_step(&d, &r, &sink, UINT32_MAX, &written), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(lzw_decompress_step(&d, &r, &sink, UINT32_MAX, &written), RC_UNABLE_TO_WRITE);
    lzw_decompressor_free(&d);
}
