// Copies between host files: plain, compressed into a file or into pieces,
// expanded, instantiated, appended; their chunks, cancels and failures.
#include "media/copy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <random>

#include "media/fat_test_tools.h"
#include "support/test_support.h"
#include "sys/host_io.h"

namespace {

// What the callbacks saw; cancels with `cancel_with` after `cancel_after` chunks.
struct Watch {
    std::vector<uint32_t> chunks;
    int cancel_after = -1;
    ResultCode cancel_with = RC_USER_CANCELLED;
};

void watch_progress(void* user, uint32_t bytes) {
    static_cast<Watch*>(user)->chunks.push_back(bytes);
}

ResultCode watch_cancel(void* user) {
    auto* watch = static_cast<Watch*>(user);
    return int(watch->chunks.size()) == watch->cancel_after ? watch->cancel_with : RC_OK;
}

CopyOptions watched(Watch* watch) {
    CopyOptions options;
    options.progress = watch_progress;
    options.cancel = watch_cancel;
    options.user = watch;
    return options;
}

uint64_t sum(const std::vector<uint32_t>& chunks) {
    uint64_t total = 0;
    for (uint32_t c : chunks) total += c;
    return total;
}

// Compresses `input` in one unbounded step in memory: the stream a copy
// must write, whatever its chunks and pieces.
std::string compressed_in_memory(const std::string& input) {
    LzwCompressor c;
    EXPECT_EQ(lzw_compressor_create(&c, LZW_WIDTH, LZW_SLOT_INDEX), RC_OK);
    ByteSource in;
    byte_source_open_memory(&in, input.data(), input.size());
    std::string out(input.size() * 2 + 16, '\0');
    BitWriter w;
    bit_writer_open_memory(&w, out.data(), out.size());
    uint32_t written = 0;
    EXPECT_EQ(lzw_compress_step(&c, &in, &w, UINT32_MAX, &written), RC_OK);
    EXPECT_TRUE(lzw_compress_is_done(&c));
    EXPECT_EQ(lzw_compress_finish(&c, &w), RC_OK);
    out.resize(w.sink.used);
    lzw_compressor_free(&c);
    return out;
}

// Text with long repeats, so that it compresses well.
std::string text_like(size_t n) {
    static const char* words[] = {"disk ", "label ", "setup.exe ", "product\r\n", "the "};
    std::mt19937 rng(11);
    std::string b;
    while (b.size() < n) b += words[rng() % 5];
    b.resize(n);
    return b;
}

int64_t mtime_of(const std::string& host) {
    struct stat st {};
    stat(host.c_str(), &st);
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

std::string folder(const TempDir& dir, const std::string& name) {
    mkdir(dir.at(name).c_str(), 0755);
    return dir.at(name);
}

void make_old(const std::string& host) {
    struct timespec times[2] = {{1000000, 123}, {2000000, 456}};
    utimensat(AT_FDCWD, host.c_str(), times, 0);
}

}  // namespace

TEST(Copy, PlainCopyMovesChunksOfAtMost49152AndKeepsTheTimes) {
    TempDir dir;
    const std::string data = pattern_bytes(3 * 49152 + 100, 1);
    write_host_file(dir.at("in.bin"), data);
    make_old(dir.at("in.bin"));
    write_host_file(dir.at("out.bin"), "older and longer contents");
    chmod(dir.at("out.bin").c_str(), 0444);  // a read-only destination is replaced
    Watch watch;
    ASSERT_EQ(
        copy_file(engine_path(dir.at("in.bin")), engine_path(dir.at("out.bin")), watched(&watch)),
        RC_OK);
    EXPECT_EQ(read_host_file(dir.at("out.bin")), data);
    EXPECT_EQ(watch.chunks, (std::vector<uint32_t>{49152, 49152, 49152, 100}));
    EXPECT_EQ(mtime_of(dir.at("out.bin")), mtime_of(dir.at("in.bin")));

    // Appending adds to what is there.
    write_host_file(dir.at("log.txt"), "head;");
    write_host_file(dir.at("more.txt"), "tail");
    CopyOptions append;
    append.append = true;
    ASSERT_EQ(copy_file(engine_path(dir.at("more.txt")), engine_path(dir.at("log.txt")), append),
              RC_OK);
    EXPECT_EQ(read_host_file(dir.at("log.txt")), "head;tail");
}

TEST(Copy, CompressedCopyTakesTheCompressedNameAndExpandsBack) {
    TempDir dir;
    folder(dir, "out");
    for (const std::string& data :
         {std::string("abc"), text_like(200000), pattern_bytes(120000, 5)}) {
        write_host_file(dir.at("setup.exe"), data);
        make_old(dir.at("setup.exe"));
        CopyOptions compress;
        compress.compress = true;
        ASSERT_EQ(copy_file(engine_path(dir.at("setup.exe")), engine_path(dir.at("out/setup.exe")),
                            compress),
                  RC_OK);
        EXPECT_FALSE(host_exists(dir.at("out/setup.exe")));
        const std::string packed = read_host_file(dir.at("out/_setup.exe"));
        EXPECT_SAME_BYTES(packed, compressed_in_memory(data));
        EXPECT_EQ(mtime_of(dir.at("out/_setup.exe")), mtime_of(dir.at("setup.exe")));

        // Expanding reads the compressed name of the path it is given.
        Watch watch;
        CopyOptions expand = watched(&watch);
        expand.decompress = true;
        ASSERT_EQ(copy_file(engine_path(dir.at("out/setup.exe")), engine_path(dir.at("back.exe")),
                            expand),
                  RC_OK);
        EXPECT_SAME_BYTES(read_host_file(dir.at("back.exe")), data);
        EXPECT_EQ(sum(watch.chunks), data.size());
        for (uint32_t chunk : watch.chunks) EXPECT_LE(chunk, 49152u);
    }
}

TEST(Copy, PiecesOfACompressedStreamJoinIntoTheWholeStream) {
    TempDir dir;
    const std::string data = text_like(300000);
    write_host_file(dir.at("data.cab"), data);
    const std::string whole = compressed_in_memory(data);
    ASSERT_GT(whole.size(), 20000u);
    for (const char* name : {"out", "p", "c"}) folder(dir, name);
    CopyOptions pieces;
    pieces.compress = true;
    pieces.disk_count = 3;
    pieces.piece_sizes = {10000, 7, 4294967295u};
    ASSERT_EQ(
        copy_file(engine_path(dir.at("data.cab")), engine_path(dir.at("out/data.cab")), pieces),
        RC_OK);
    const std::string one = read_host_file(dir.at("out/_1ata.cab"));
    const std::string two = read_host_file(dir.at("out/_2ata.cab"));
    const std::string last = read_host_file(dir.at("out/_0ata.cab"));
    EXPECT_LE(one.size(), 10000u);
    EXPECT_GE(one.size(), 9990u);
    EXPECT_LE(two.size(), 7u);
    EXPECT_SAME_BYTES(one + two + last, whole);

    // Plain pieces take exactly their sizes; a size past the end of the input
    // ends its piece there.
    CopyOptions plain;
    plain.disk_count = 2;
    plain.piece_sizes = {1000, 5000000};
    ASSERT_EQ(copy_file(engine_path(dir.at("data.cab")), engine_path(dir.at("p/data.cab")), plain),
              RC_OK);
    EXPECT_SAME_BYTES(read_host_file(dir.at("p/1ata.cab")), data.substr(0, 1000));
    EXPECT_SAME_BYTES(read_host_file(dir.at("p/0ata.cab")), data.substr(1000));

    // Pieces too small for the file fail; the unfinished compressed piece is
    // deleted, the whole ones before it stay.
    plain.piece_sizes = {1000, 1000};
    EXPECT_EQ(copy_file(engine_path(dir.at("data.cab")), engine_path(dir.at("p/data.cab")), plain),
              RC_UNABLE_TO_WRITE);
    pieces.piece_sizes = {1000, 1000, 1000};
    EXPECT_EQ(copy_file(engine_path(dir.at("data.cab")), engine_path(dir.at("c/data.cab")), pieces),
              RC_UNABLE_TO_WRITE);
    EXPECT_TRUE(host_exists(dir.at("c/_2ata.cab")));
    EXPECT_FALSE(host_exists(dir.at("c/_0ata.cab")));
}

TEST(Copy, CancelEndsTheCopyWithItsResult) {
    TempDir dir;
    const std::string data = pattern_bytes(200000, 3);
    write_host_file(dir.at("in.bin"), data);
    folder(dir, "c");
    Watch watch;
    watch.cancel_after = 1;
    EXPECT_EQ(
        copy_file(engine_path(dir.at("in.bin")), engine_path(dir.at("out.bin")), watched(&watch)),
        RC_USER_CANCELLED);
    EXPECT_SAME_BYTES(read_host_file(dir.at("out.bin")),
                      data.substr(0, 49152));  // partial file left

    // A cancelled compression deletes what it wrote; any code passes through.
    Watch compress_watch;
    compress_watch.cancel_after = 1;
    compress_watch.cancel_with = RC_DISK_FULL;
    CopyOptions compress = watched(&compress_watch);
    compress.compress = true;
    EXPECT_EQ(copy_file(engine_path(dir.at("in.bin")), engine_path(dir.at("c/in.bin")), compress),
              RC_DISK_FULL);
    EXPECT_FALSE(host_exists(dir.at("c/_in.bin")));
    EXPECT_TRUE(host_exists(dir.at("c")));
}

TEST(Copy, FailuresGiveTheTableCodes) {
    TempDir dir;
    write_host_file(dir.at("in.bin"), "data");
    write_host_file(dir.at("empty.bin"), "");
    write_host_file(dir.at("_cut.bin"), compressed_in_memory(text_like(5000)).substr(0, 1));
    folder(dir, "c");
    folder(dir, "m");
    CopyOptions plain;
    EXPECT_EQ(copy_file(engine_path(dir.at("none.bin")), engine_path(dir.at("o.bin")), plain),
              RC_FILE_NOT_FOUND);
    EXPECT_EQ(copy_file(engine_path(dir.at("in.bin")), engine_path(dir.at("no/dir/o.bin")), plain),
              RC_UNABLE_TO_WRITE);

    // An empty source compresses to nothing at all.
    CopyOptions compress;
    compress.compress = true;
    EXPECT_EQ(
        copy_file(engine_path(dir.at("empty.bin")), engine_path(dir.at("c/empty.bin")), compress),
        RC_UNABLE_TO_READ);
    EXPECT_FALSE(host_exists(dir.at("c/_empty.bin")));

    // A compressed source with only its header is cut short.
    CopyOptions expand;
    expand.decompress = true;
    EXPECT_EQ(copy_file(engine_path(dir.at("cut.bin")), engine_path(dir.at("o.bin")), expand),
              RC_UNABLE_TO_READ);

    // Too many pieces for the name: refused before anything is written.
    CopyOptions many;
    many.disk_count = 11;
    EXPECT_EQ(copy_file(engine_path(dir.at("in.bin")), engine_path(dir.at("m/data.cab")), many),
              RC_INVALID_FILE_NAME);
    EXPECT_FALSE(host_exists(dir.at("m/1ata.cab")));
}

// A copy that replaces its destination writes the new file without a name
// and names it once whole; where the file system makes no such file, it
// goes through a temporary name instead. Either way a failure leaves the
// former file, and nothing else, and a success only the new one.
TEST(Copy, AReplacingCopyLeavesTheFormerFileUntilTheNewOneIsWhole) {
    TempDir dir;
    const std::string data = pattern_bytes(70000, 3);
    write_host_file(dir.at("in.bin"), data);
    make_old(dir.at("in.bin"));
    std::string out = folder(dir, "out");
    auto replace = [&] {
        return copy_file_replacing(engine_path(dir.at("in.bin")), engine_path(out + "/Copy.bin"),
                                   CopyOptions{});
    };
    for (int error : {0, EOPNOTSUPP}) {
        write_host_file(out + "/Copy.bin", "former");
        if (error) file_services_fail_on(HOST_OP_OPEN, "Copy.bin", error);
        file_services_fail_on(HOST_OP_WRITE, "Copy.bin", ENOSPC, 1);
        EXPECT_EQ(replace(), RC_UNABLE_TO_WRITE) << error;
        if (error) file_services_fail_on(HOST_OP_OPEN, "Copy.bin", error);
        file_services_fail_on(HOST_OP_RENAME, "Copy.bin", EIO);
        EXPECT_EQ(replace(), RC_UNABLE_TO_WRITE) << error;
        if (!error) {
            // A file without a name has no path to take its times by later.
            file_services_fail_on(HOST_OP_SET_TIMES, "Copy.bin", EIO);
            EXPECT_EQ(replace(), RC_UNABLE_TO_WRITE);
        }
        EXPECT_EQ(read_host_file(out + "/Copy.bin"), "former") << error;
        EXPECT_EQ(folder_names(out), "Copy.bin|") << error;

        if (error) file_services_fail_on(HOST_OP_OPEN, "Copy.bin", error);
        EXPECT_EQ(replace(), RC_OK) << error;
        file_services_faults_clear();
        EXPECT_EQ(read_host_file(out + "/Copy.bin"), data) << error;
        EXPECT_EQ(mtime_of(out + "/Copy.bin"), mtime_of(dir.at("in.bin"))) << error;
        EXPECT_EQ(folder_names(out), "Copy.bin|") << error;
    }
}

TEST(Copy, InstantiatedCopyReplacesReferencesAcrossChunks) {
    TempDir dir;
    // A reference straddles the first chunk boundary.
    std::string text = std::string(49150, '.') + "%NAME% and 50%% done%NAME%";
    write_host_file(dir.at("setup.inf"), text);
    std::map<std::string, std::string> table = {{"%NAME%", "Veltra"}};
    CopyOptions options;
    options.instantiate = true;
    options.decompress = true;  // ignored while instantiating
    options.lookup = [](void* context, void*, std::string_view reference, std::string* value) {
        auto* t = static_cast<std::map<std::string, std::string>*>(context);
        *value = (*t)[std::string(reference)];
        return RC_OK;
    };
    options.lookup_context = &table;
    ASSERT_EQ(copy_file(engine_path(dir.at("setup.inf")), engine_path(dir.at("out.inf")), options),
              RC_OK);
    EXPECT_EQ(read_host_file(dir.at("out.inf")),
              std::string(49150, '.') + "Veltra and 50% doneVeltra");

    write_host_file(dir.at("open.inf"), "value: %NAME");
    EXPECT_EQ(copy_file(engine_path(dir.at("open.inf")), engine_path(dir.at("o2.inf")), options),
              RC_UNABLE_TO_READ);
    EXPECT_EQ(read_host_file(dir.at("o2.inf")), "value: ");
}
