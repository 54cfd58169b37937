// Reading speed of the script data reader: a product table of 50 000 rows
// (about 10 MB, thirteen columns a row, as the engine writes them) is
// generated into a temporary file and read token by token, the way the
// product table reader does, with the engine's table sizes. When
// READER_BENCH_FILE names a file (a map file of a generated kit, say),
// BM_ReadFile reads that file the same way, so that a check of the file
// can be set against the reading alone.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/atoms.h"
#include "runtime/namespaces.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/tokens.h"
#include "runtime/values.h"
#include "sys/host_paths.h"
#include "sys/paths.h"

namespace {

constexpr int ROWS = 50000;

struct TableFile {
    std::string host_directory;
    std::string engine_directory;
    size_t bytes = 0;
    ~TableFile() {
        std::remove((host_directory + "/win95.prd").c_str());
        rmdir(host_directory.c_str());
    }
};

// Row i of a table whose product names repeat after `names` rows (0: every
// name is new).
std::string row_text(int i, int names) {
    char row[512];
    int name = names ? i % names : i;
    int parent = name < 10 ? -1 : name / 10;
    std::string parent_name = parent < 0 ? "root" : "prod" + std::to_string(parent);
    int length = std::snprintf(
        row, sizeof row,
        "%5d prod%-6d %-10s \"prod%d\" \"4.%02d.%04d\" \"Product number %d of the kit\" "
        "\"products\\group%d\\prod%d\" %10u %-5s %-5s %-5s "
        "\"Files of product %d, installed with its group; about %d%% of the group's size.\" "
        "\"DISK%d\"\n",
        i, name, parent_name.c_str(), i, i % 100, i, i, i / 100, i, 1000u + 7919u * unsigned(i),
        i % 2 ? "true" : "false", i % 3 ? "true" : "false", i % 5 ? "false" : "true", i, i % 97,
        i / 1000 + 1);
    return std::string(row, size_t(length));
}

TableFile write_table(int names) {
    TableFile made;
    char pattern[] = "/tmp/reader_bench.XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    made.host_directory = pattern;
    made.engine_directory = host_path_to_engine(pattern);
    FILE* file = std::fopen((made.host_directory + "/win95.prd").c_str(), "wb");
    if (!file) std::abort();
    std::string header =
        "#### Product    Parent     Filename    Version      Interface Label    Location    "
        "Size Visible? Selected? Open? Description Volume\n";
    std::fputs(header.c_str(), file);
    made.bytes = header.size();
    for (int i = 0; i < ROWS; ++i) {
        std::string row = row_text(i, names);
        std::fputs(row.c_str(), file);
        made.bytes += row.size();
    }
    std::fclose(file);
    return made;
}

// Each table is written once for the whole run.
const TableFile& table_file(int names) {
    static TableFile all_new = write_table(0);
    static TableFile repeating = write_table(500);
    return names ? repeating : all_new;
}

// Reads the file of `engine_path` token by token with a namespace of
// `buckets` and the engine's atom table; the count of tokens, or -1 when
// the file cannot be opened.
long read_tokens(const std::string& engine_path, uint32_t buckets) {
    PathParts parts = path_split(engine_path);
    RuntimeContext* rt = rt_create();
    SymbolTable* atoms = symtab_new(rt, 7);
    Namespace* vars = namespace_new(rt, nullptr, buckets);
    Reader* reader = reader_open(rt, atoms, nullptr, vars, false, false, parts.absolute, "",
                                 parts.base, parts.extension);
    long tokens = reader ? 0 : -1;
    if (reader) {
        for (Value token = reader_next(rt, reader); !is_eof(token) && !is_none(token);
             token = reader_next(rt, reader)) {
            ++tokens;
            token_release(rt, token);
        }
        reader_close(rt, reader);
    }
    namespace_destroy(rt, vars, string_free, value_release);
    atom_table_destroy(rt, atoms);
    rt_destroy(rt);
    return tokens;
}

void BM_ReadProductTable(benchmark::State& state) {
    const TableFile& table = table_file(int(state.range(1)));
    long tokens = 0;
    std::string path = table.engine_directory + "\\win95.prd";
    for (auto _ : state) {
        tokens = read_tokens(path, uint32_t(state.range(0)));
        if (tokens < 0) {
            state.SkipWithError("the table cannot be opened");
            break;
        }
    }
    if (tokens != long(ROWS) * 13) state.SkipWithError("the table did not read as 13 tokens a row");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(table.bytes));
    state.counters["MB"] = double(table.bytes) / 1e6;
    state.counters["MB/s"] = benchmark::Counter(
        double(table.bytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ReadFile(benchmark::State& state) {
    const char* host = std::getenv("READER_BENCH_FILE");
    struct stat info {};
    if (!host || stat(host, &info) != 0) {
        state.SkipWithError("READER_BENCH_FILE names no file");
        return;
    }
    for (auto _ : state) {
        if (read_tokens(host_path_to_engine(host), 57) < 0) {
            state.SkipWithError("the file cannot be opened");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(info.st_size));
    state.counters["MB"] = double(info.st_size) / 1e6;
}
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arguments: the namespace's buckets (the engine's 57, and 4093, the most a
// namespace can have with its bucket array below 65536 bytes), and how many
// distinct product names the table holds (0: 50 000, one a row; 500: the
// names repeat, so that the cost of entering new names into the namespace
// drops out and the reader's own speed shows).
BENCHMARK(BM_ReadProductTable)
    ->Args({57, 0})
    ->Args({4093, 0})
    ->Args({57, 500})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
