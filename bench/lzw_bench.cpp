// Speed of the coder on the files of a corpus folder (made by
// bench/make_corpus; LZW_BENCH_CORPUS names another folder). Per file:
// compressing from the file to /dev/null, and decompressing the compressed
// stream from a temporary file to /dev/null, in the 13-bit format the copy
// writes.
// Bytes per second count the uncompressed bytes in both directions; the
// counter "ratio" is compressed size over original size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "media/lzw_compress.h"
#include "media/lzw_decompress.h"
#include "sys/binary_file.h"
#include "sys/host_paths.h"

namespace {

std::string corpus_folder() {
    const char* folder = getenv("LZW_BENCH_CORPUS");
    return folder ? folder : "build-bench/corpus";
}

std::vector<std::string> corpus_files() {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(corpus_folder(), ec))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string read_file(const std::string& path) {
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

// Opens the host file `path` as a binary file; nullptr when it cannot be.
BinaryFile* open_binary(const std::string& path, BinaryMode mode) {
    BinaryFile* file = nullptr;
    return binary_file_open(&file, host_path_to_engine(path), mode) == RC_OK ? file : nullptr;
}

// Compresses the file at `path` into the binary file `to`; the compressed size.
uint64_t compress_file(LzwCompressor* c, const std::string& path, BinaryFile* to) {
    BinaryFile* from = open_binary(path, BINARY_READ);
    ByteSource in;
    BitWriter out;
    uint32_t written = 0;
    lzw_compressor_reset(c);
    ResultCode rc = byte_source_open_binary(&in, from);
    if (rc == RC_OK) rc = bit_writer_open_binary(&out, to);
    if (rc == RC_OK) rc = lzw_compress_step(c, &in, &out, UINT32_MAX, &written);
    if (rc == RC_OK) rc = lzw_compress_finish(c, &out);
    uint64_t size = byte_sink_total(&out.sink);
    bit_writer_close(&out);
    byte_source_close(&in);
    if (from) binary_file_close(from);
    return rc == RC_OK ? size : 0;
}

void compress_bench(benchmark::State& state, const std::string& path) {
    LzwCompressor c;
    BinaryFile* null = open_binary("/dev/null", BINARY_WRITE);
    if (lzw_compressor_create(&c, LZW_WIDTH, LZW_SLOT_INDEX) != RC_OK || !null) {
        state.SkipWithError("setup failed");
        return;
    }
    uint64_t original = read_file(path).size(), packed = 0;
    for (auto _ : state) packed = compress_file(&c, path, null);
    if (packed == 0) state.SkipWithError("compression failed");
    state.SetBytesProcessed(int64_t(state.iterations() * original));
    state.counters["ratio"] = double(packed) / double(original);
    lzw_compressor_free(&c);
    binary_file_close(null);
}

void decompress_bench(benchmark::State& state, const std::string& path) {
    std::string original = read_file(path);
    std::string packed(original.size() * 2 + 16, '\0');
    LzwCompressor c;
    BinaryFile* null = open_binary("/dev/null", BINARY_WRITE);
    if (lzw_compressor_create(&c, LZW_WIDTH, LZW_SLOT_INDEX) != RC_OK || !null) {
        state.SkipWithError("setup failed");
        return;
    }
    ByteSource src;
    byte_source_open_memory(&src, original.data(), original.size());
    BitWriter w;
    bit_writer_open_memory(&w, packed.data(), packed.size());
    uint32_t written;
    lzw_compress_step(&c, &src, &w, UINT32_MAX, &written);
    lzw_compress_finish(&c, &w);
    packed.resize(w.sink.used);
    lzw_compressor_free(&c);

    // The stream is read back from a file, as the copy reads its own.
    std::string stream_name = "lzw_bench_" + std::to_string(getpid());
    std::string stream_path = (std::filesystem::temp_directory_path() / stream_name).string();
    BinaryFile* stream = open_binary(stream_path, BINARY_WRITE);
    ResultCode made =
        stream ? binary_file_write(stream, packed.data(), packed.size()) : RC_NO_OBJECT;
    if (stream) binary_file_close(stream);
    if (made != RC_OK) {
        state.SkipWithError("no temporary file");
        binary_file_close(null);
        return;
    }
    uint64_t out_size = 0;
    for (auto _ : state) {
        stream = open_binary(stream_path, BINARY_READ);
        LzwDecompressor d;
        lzw_decompressor_init(&d);
        BitReader in;
        bit_reader_open_binary(&in, stream);
        ByteSink out;
        byte_sink_open_binary(&out, null);
        ResultCode rc = lzw_decompress_step(&d, &in, &out, UINT32_MAX, &written);
        out_size = byte_sink_total(&out);
        byte_sink_close(&out);
        bit_reader_close(&in);
        lzw_decompressor_free(&d);
        if (stream) binary_file_close(stream);
        if (rc != RC_OK) state.SkipWithError("decompression failed");
    }
    std::remove(stream_path.c_str());
    if (out_size != original.size()) state.SkipWithError("wrong size");
    state.SetBytesProcessed(int64_t(state.iterations() * original.size()));
    state.counters["ratio"] = double(packed.size()) / double(original.size());
    binary_file_close(null);
}

// One compress and one decompress benchmark per corpus file.
int register_corpus() {
    for (const std::string& path : corpus_files()) {
        std::string name = std::filesystem::path(path).filename().string();
        benchmark::RegisterBenchmark(("compress/" + name).c_str(), compress_bench, path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("decompress/" + name).c_str(), decompress_bench, path)
            ->Unit(benchmark::kMillisecond);
    }
    return 0;
}

const int registered = register_corpus();

}  // namespace
