// The media layer when the host fails under it: reads and writes of disk
// images, renames in a folder of images, and the reads and writes of copies,
// each made to fail through the file services' fault switches; the images
// judged by the Debian disk tools.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "media/copy.h"
#include "media/fat_file.h"
#include "media/fat_format.h"
#include "media/fat_paths.h"
#include "media/fat_test_tools.h"
#include "media/floppy_drives.h"
#include "media/floppy_operations.h"
#include "media/lzw_compress.h"
#include "media/lzw_decompress.h"
#include "support/test_support.h"
#include "sys/binary_file.h"
#include "sys/files.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"
#include "sys/volumes.h"

namespace {

// Every test leaves no fault pending and no drive bound.
class MediaFaults : public ::testing::Test {
protected:
    void SetUp() override { file_services_faults_clear(); }
    void TearDown() override {
        file_services_faults_clear();
        floppy_drive_unbind("A:\\");
    }
    TempDir dir;
};

// The descriptors the process holds.
size_t open_descriptors() {
    size_t count = 0;
    DIR* fds = opendir("/proc/self/fd");
    if (!fds) return 0;
    while (readdir(fds)) ++count;
    closedir(fds);
    return count;
}

std::string make_folder(const TempDir& dir, const std::string& name) {
    mkdir(dir.at(name).c_str(), 0755);
    return dir.at(name);
}

uint32_t rounded(size_t size, uint32_t cluster) {
    return uint32_t((size + cluster - 1) / cluster * cluster);
}

// Notes each chunk a copy reports and, once `arm_after` chunks are told,
// makes the next host read fail: so the failure strikes in the middle of
// the data, whatever the path lookups and mounts before it read.
struct ReadFailure {
    std::vector<uint32_t> chunks;
    size_t arm_after = 1;
};

void fail_next_read(void* user, uint32_t bytes) {
    auto* failure = static_cast<ReadFailure*>(user);
    failure->chunks.push_back(bytes);
    if (failure->chunks.size() == failure->arm_after) file_services_fail_next(HOST_OP_READ, EIO);
}

CopyOptions failing_reads(ReadFailure* failure) {
    CopyOptions options;
    options.progress = fail_next_read;
    options.user = failure;
    return options;
}

// Compresses `data` whole into memory: the stream a coder writes to a file.
std::string compressed(const std::string& data) {
    std::string out(data.size() * 2 + 16, '\0');
    LzwCompressor c;
    if (lzw_compressor_create(&c, LZW_WIDTH, LZW_SLOT_INDEX) != RC_OK) return "";
    ByteSource in;
    byte_source_open_memory(&in, data.data(), data.size());
    BitWriter w;
    bit_writer_open_memory(&w, out.data(), out.size());
    uint32_t written = 0;
    ResultCode rc = lzw_compress_step(&c, &in, &w, UINT32_MAX, &written);
    if (rc == RC_OK) rc = lzw_compress_finish(&c, &w);
    lzw_compressor_free(&c);
    out.resize(rc == RC_OK ? w.sink.used : 0);
    return out;
}

}  // namespace

TEST_F(MediaFaults, AFailedReadOfAVolumeIsUnableToReadAndNeverAnEnd) {
    const std::string image = dir.at("disk.img");
    const std::string data = pattern_bytes(150000, 7);
    ASSERT_EQ(fat_format_image(image, "3.5HD", "READS", 3), RC_OK);
    FatVolume volume;
    ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
    ASSERT_EQ(fat_path_make_directory(&volume, "KIT"), RC_OK);
    ASSERT_EQ(put_file(&volume, "KIT\\DATA.BIN", data), RC_OK);
    fat_volume_close(&volume);

    // Mounting reads the boot sector, the FAT, the root and KIT: whichever
    // of those reads fails, the mount fails with RC_UNABLE_TO_READ and keeps no descriptor.
    const size_t descriptors = open_descriptors();
    unsigned failing = 0;
    for (;; ++failing) {
        SCOPED_TRACE("read " + std::to_string(failing));
        file_services_fail_next(HOST_OP_READ, EIO, failing);
        ResultCode rc = fat_volume_open(image, &volume);
        file_services_faults_clear();
        if (rc == RC_OK) break;  // the mount needs no more reads than this
        EXPECT_EQ(rc, RC_UNABLE_TO_READ);
        EXPECT_EQ(volume.fd, -1);
        EXPECT_EQ(open_descriptors(), descriptors);
    }
    EXPECT_GE(failing, 4u);

    // Mounted: a file's read whose device read fails is RC_UNABLE_TO_READ, not the end of
    // the file; a later reading gets the whole file.
    FatFile file;
    ASSERT_EQ(fat_file_open(&volume, "KIT\\DATA.BIN", FAT_OPEN_READ, &file), RC_OK);
    std::string buffer(49152, '\0');
    size_t got = 0;
    ASSERT_EQ(fat_file_read(&file, buffer.data(), buffer.size(), &got), RC_OK);
    EXPECT_EQ(got, buffer.size());
    file_services_fail_next(HOST_OP_READ, EIO);
    EXPECT_EQ(fat_file_read(&file, buffer.data(), buffer.size(), &got), RC_UNABLE_TO_READ);
    EXPECT_EQ(fat_file_close(&file), RC_OK);
    EXPECT_SAME_BYTES(get_file(&volume, "kit\\data.bin"), data);
    fat_volume_close(&volume);

    // A copy from the image in a drive stops with RC_UNABLE_TO_READ at the failed read and
    // leaves the chunk it had written.
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_IMAGE, image), RC_OK);
    ReadFailure failure;
    EXPECT_EQ(
        copy_file("A:\\KIT\\DATA.BIN", engine_path(dir.at("out.bin")), failing_reads(&failure)),
        RC_UNABLE_TO_READ);
    EXPECT_EQ(failure.chunks, std::vector<uint32_t>{49152});
    EXPECT_SAME_BYTES(read_host_file(dir.at("out.bin")), data.substr(0, 49152));
}

TEST_F(MediaFaults, AWriteFailingForWantOfSpaceGives21AndLeavesTheImageSound) {
    require_tool("fsck.fat");
    require_tool("mtype");
    require_tool("mdir");
    const std::string image = dir.at("disk.img");
    const std::string data = pattern_bytes(3 * 49152 + 700, 9);

    // A new file written in four calls: each failing device write in turn.
    // The file holds what the writes before the failed one put there, and
    // the tools find nothing amiss.
    unsigned failing = 0;
    for (;; ++failing) {
        SCOPED_TRACE("write " + std::to_string(failing));
        ASSERT_EQ(fat_format_image(image, "3.5HD", "SOUND", 5), RC_OK);
        FatVolume volume;
        ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
        const uint32_t capacity = fat_volume_free_bytes(volume);
        file_services_fail_next(HOST_OP_WRITE, ENOSPC, failing);
        FatFile file;
        ResultCode rc = fat_file_open(&volume, "SETUP.EXE", FAT_OPEN_WRITE, &file);
        const bool created = rc == RC_OK;
        size_t kept = 0;
        for (size_t at = 0; rc == RC_OK && at < data.size(); at += 49152) {
            size_t written = 0;
            rc = fat_file_write(&file, data.data() + at, std::min<size_t>(49152, data.size() - at),
                                &written);
            if (rc == RC_OK) kept += written;
        }
        ResultCode closed = fat_file_close(&file);
        if (rc == RC_OK) rc = closed;
        file_services_faults_clear();
        fat_volume_close(&volume);
        if (rc == RC_OK) break;  // every write of the file is behind us
        EXPECT_EQ(rc, RC_UNABLE_TO_WRITE);

        ToolRun check = fsck(image);
        EXPECT_EQ(check.status, 0) << check.output;
        ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
        if (created) {
            EXPECT_SAME_BYTES(mtype(image, "SETUP.EXE"), data.substr(0, kept));
            EXPECT_EQ(fat_volume_free_bytes(volume), capacity - rounded(kept, 512));
        } else {
            EXPECT_EQ(mdir(image).output.find("SETUP"), std::string::npos);
            EXPECT_EQ(fat_volume_free_bytes(volume), capacity);
        }
        fat_volume_close(&volume);
    }
    // The entry; data, two FAT copies and the entry for each call; the close.
    EXPECT_GE(failing, 1u + 4 * 4 + 1);

    // A new directory in a full directory, which must grow by a cluster:
    // whichever write fails, neither cluster stays taken, even after later
    // writes of the FAT.
    for (failing = 0;; ++failing) {
        SCOPED_TRACE("directory write " + std::to_string(failing));
        ASSERT_EQ(fat_format_image(image, "3.5HD", "SOUND", 5), RC_OK);
        FatVolume volume;
        ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
        ASSERT_EQ(fat_path_make_directory(&volume, "KIT"), RC_OK);
        for (int i = 0; i < 14; ++i)  // a cluster of 16 entries, "." and ".." among them
            ASSERT_EQ(put_file(&volume, "KIT\\F" + std::to_string(i), ""), RC_OK);
        const uint32_t free_before = fat_volume_free_bytes(volume);
        file_services_fail_next(HOST_OP_WRITE, ENOSPC, failing);
        ResultCode rc = fat_path_make_directory(&volume, "KIT\\SUB");
        file_services_faults_clear();
        if (rc == RC_OK) {
            EXPECT_EQ(fat_volume_free_bytes(volume), free_before - 2 * 512);
            fat_volume_close(&volume);
            break;
        }
        EXPECT_EQ(rc, RC_UNABLE_TO_WRITE);
        ASSERT_EQ(put_file(&volume, "LATER.TXT", "later"), RC_OK);
        fat_volume_close(&volume);
        ToolRun check = fsck(image);
        EXPECT_EQ(check.status, 0) << check.output;
        ASSERT_EQ(fat_volume_open(image, &volume), RC_OK);
        EXPECT_EQ(fat_volume_free_bytes(volume), free_before - 512);
        FatInfo info;
        EXPECT_EQ(fat_path_stat(volume, "KIT\\SUB", &info), RC_FILE_NOT_FOUND);
        fat_volume_close(&volume);
    }
    // The new cluster, two FAT copies, the parent's two clusters.
    EXPECT_GE(failing, 5u);

    // A compressed copy onto the image in a drive: the failed write's
    // RC_UNABLE_TO_WRITE comes through, and the unfinished file is deleted.
    ASSERT_EQ(fat_format_image(image, "3.5HD", "SOUND", 5), RC_OK);
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_IMAGE, image), RC_OK);
    write_host_file(dir.at("setup.exe"), data);
    CopyOptions compress;
    compress.compress = true;
    file_services_fail_next(HOST_OP_WRITE, ENOSPC, 2);  // the first FAT copy of the first data
    EXPECT_EQ(copy_file(engine_path(dir.at("setup.exe")), "A:\\SETUP.EXE", compress),
              RC_UNABLE_TO_WRITE);
    file_services_faults_clear();
    floppy_drive_unbind("A:\\");
    ToolRun check = fsck(image);
    EXPECT_EQ(check.status, 0) << check.output;
    ToolRun listing = mdir(image);
    EXPECT_EQ(listing.output.find("SETUP"), std::string::npos) << listing.output;
    EXPECT_NE(listing.output.find("1 457 664 bytes free"), std::string::npos) << listing.output;
}

TEST_F(MediaFaults, AFailedRenameWhenADiskIsNamedLeavesBothImagesAsTheyWere) {
    require_tool("mtype");
    TempDir host;
    write_host_file(host.at("old.txt"), "old");
    write_host_file(host.at("new.txt"), "new");
    ASSERT_EQ(floppy_drive_bind("A:\\", FLOPPY_FOLDER, dir.path()), RC_OK);
    ASSERT_EQ(floppy_drive_insert_blank("A:\\", "3.5HD"), RC_OK);
    ASSERT_EQ(disk_set_label("A:\\", "KIT", 1), RC_OK);
    ASSERT_EQ(file_copy_contents(engine_path(host.at("old.txt")), "A:\\OLD.TXT"), RC_OK);
    ASSERT_EQ(floppy_drive_insert_blank("A:\\", "3.5HD"), RC_OK);
    const std::string before = "BLANK.img|KIT_1.img|";
    ASSERT_EQ(folder_names(dir.path()), before);

    // The older image of the label cannot be moved aside: nothing moves.
    file_services_fail_next(HOST_OP_RENAME, EIO);
    EXPECT_EQ(volume_set_label("A:\\", "KIT 1"), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(folder_names(dir.path()), before);
    // The new image cannot take the name: the older one gets its name back.
    file_services_fail_next(HOST_OP_RENAME, EACCES, 1);
    EXPECT_EQ(volume_set_label("A:\\", "KIT 1"), RC_PERMISSION_DENIED);
    EXPECT_EQ(folder_names(dir.path()), before);
    // The labelling callers see a failure too.
    file_services_fail_next(HOST_OP_RENAME, EIO, 1);
    EXPECT_EQ(disk_set_label("A:\\", "KIT", 1), RC_FILE_NOT_FOUND);
    EXPECT_EQ(folder_names(dir.path()), before);
    file_services_faults_clear();

    // Neither image lost a thing, and the drive still has the new disk in it.
    EXPECT_EQ(mtype(dir.at("KIT_1.img"), "OLD.TXT"), "old");
    ASSERT_EQ(file_copy_contents(engine_path(host.at("new.txt")), "A:\\NEW.TXT"), RC_OK);
    EXPECT_EQ(mtype(dir.at("BLANK.img"), "NEW.TXT"), "new");

    // Once the host lets it, the naming goes through.
    ASSERT_EQ(disk_set_label("A:\\", "KIT", 1), RC_OK);
    EXPECT_EQ(folder_names(dir.path()), "KIT_1.img|KIT_1~2.img|");
    EXPECT_EQ(mtype(dir.at("KIT_1~2.img"), "OLD.TXT"), "old");
    EXPECT_EQ(mtype(dir.at("KIT_1.img"), "NEW.TXT"), "new");
}

TEST_F(MediaFaults, AFailedReadOfACopysSourceIsUnableToReadAndAFailedWriteKeepsItsCode) {
    const std::string data = pattern_bytes(300000, 4);
    write_host_file(dir.at("in.bin"), data);
    const std::string source = engine_path(dir.at("in.bin"));

    // Compressed: RC_UNABLE_TO_READ, and the unfinished compressed file is gone.
    const std::string packed = make_folder(dir, "c");
    ReadFailure compressing;
    compressing.arm_after = 2;
    CopyOptions compress = failing_reads(&compressing);
    compress.compress = true;
    EXPECT_EQ(copy_file(source, engine_path(packed + "/in.bin"), compress), RC_UNABLE_TO_READ);
    EXPECT_EQ(compressing.chunks.size(), 2u);
    EXPECT_EQ(folder_names(packed), "");

    // Plain: RC_UNABLE_TO_READ, and the destination holds the chunks told before.
    ReadFailure plain;
    plain.arm_after = 2;
    EXPECT_EQ(copy_file(source, engine_path(dir.at("out.bin")), failing_reads(&plain)),
              RC_UNABLE_TO_READ);
    EXPECT_EQ(plain.chunks, (std::vector<uint32_t>{49152, 49152}));
    EXPECT_SAME_BYTES(read_host_file(dir.at("out.bin")), data.substr(0, 2 * 49152));

    // Pieces that take exactly the source: the read that looks for input
    // beyond the last piece fails, which is a failed read, not input that
    // did not fit.
    write_host_file(dir.at("small.bin"), data.substr(0, 2000));
    const std::string pieces = make_folder(dir, "m");
    ReadFailure split;
    split.arm_after = 2;
    CopyOptions two = failing_reads(&split);
    two.disk_count = 2;
    two.piece_sizes = {1000, 1000};
    EXPECT_EQ(copy_file(engine_path(dir.at("small.bin")), engine_path(pieces + "/data.cab"), two),
              RC_UNABLE_TO_READ);
    EXPECT_EQ(split.chunks, (std::vector<uint32_t>{1000, 1000}));
    EXPECT_EQ(folder_names(pieces), "0ata.cab|1ata.cab|");
    EXPECT_EQ(read_host_file(pieces + "/1ata.cab") + read_host_file(pieces + "/0ata.cab"),
              data.substr(0, 2000));
    // Without the failure the same pieces are a success.
    CopyOptions again;
    again.disk_count = 2;
    again.piece_sizes = {1000, 1000};
    EXPECT_EQ(copy_file(engine_path(dir.at("small.bin")), engine_path(pieces + "/data.cab"), again),
              RC_OK);

    // A failed write of the destination keeps the file services' code.
    file_services_fail_next(HOST_OP_WRITE, ENOSPC);
    EXPECT_EQ(copy_file(source, engine_path(dir.at("full.bin")), CopyOptions()),
              RC_UNABLE_TO_WRITE);
    file_services_fail_next(HOST_OP_WRITE, EBADF);
    EXPECT_EQ(copy_file(source, engine_path(dir.at("bad.bin")), CopyOptions()), RC_OS_ERROR);
}

// A root whose entry the host refuses as an invalid or too long name (RC_INVALID_FILE_NAME)
// cannot be judged: that failure is the answer, never an empty disk.
TEST_F(MediaFaults, ADiskWhoseEntryCannotBeExaminedIsNeverJudgedEmpty) {
    write_host_file(dir.at("disk/SETUP.EXE"), "setup");
    const std::string root = engine_path(dir.at("disk"));
    for (int error : {EINVAL, ENAMETOOLONG}) {
        file_services_fail_on(HOST_OP_FSTAT, "/SETUP.EXE", error);
        bool empty = false;
        EXPECT_EQ(disk_root_is_empty(root, &empty), RC_INVALID_FILE_NAME) << error;
        EXPECT_FALSE(empty);
        file_services_faults_clear();
    }
    bool empty = true;
    ASSERT_EQ(disk_root_is_empty(root, &empty), RC_OK);
    EXPECT_FALSE(empty);
    make_folder(dir, "blank");
    ASSERT_EQ(disk_root_is_empty(engine_path(dir.at("blank")), &empty), RC_OK);
    EXPECT_TRUE(empty);
}

// The byte and bit streams read and write files only through the file
// services: a read that fails part way is RC_UNABLE_TO_READ and never the end of the
// input, a write that fails is the file's code, and what was written
// before the failure is exactly the start of the stream.
TEST_F(MediaFaults, StreamsOverAFileThatFailsPartWayReportTheFailure) {
    const std::string plain = pattern_bytes(200000, 8);
    const std::string packed = compressed(plain);
    ASSERT_GT(packed.size(), 2 * STREAM_BUFFER_SIZE);
    write_host_file(dir.at("plain.bin"), plain);
    write_host_file(dir.at("packed.bin"), packed);
    LzwCompressor c;
    ASSERT_EQ(lzw_compressor_create(&c, LZW_WIDTH, LZW_SLOT_INDEX), RC_OK);
    uint32_t written = 0;

    // Compressing: two buffers read, then the read fails. The coder must
    // not take what it read for the whole input; what it wrote is the
    // start of the whole stream.
    BinaryFile* file = nullptr;
    file_services_fail_on(HOST_OP_READ, "/plain.bin", EIO, 2);
    ASSERT_EQ(binary_file_open(&file, engine_path(dir.at("plain.bin")), BINARY_READ), RC_OK);
    ByteSource source;
    ASSERT_EQ(byte_source_open_binary(&source, file), RC_OK);
    std::string out(400000, '\0');
    BitWriter w;
    bit_writer_open_memory(&w, out.data(), out.size());
    EXPECT_EQ(lzw_compress_step(&c, &source, &w, UINT32_MAX, &written), RC_UNABLE_TO_READ);
    EXPECT_FALSE(lzw_compress_is_done(&c));
    EXPECT_EQ(lzw_compress_step(&c, &source, &w, UINT32_MAX, &written), RC_UNABLE_TO_READ);
    ASSERT_GT(w.sink.used, 0u);
    EXPECT_SAME_BYTES(out.substr(0, w.sink.used), packed.substr(0, w.sink.used));
    byte_source_close(&source);
    EXPECT_EQ(binary_file_close(file), RC_OK);
    file_services_faults_clear();

    // Compressing into a file whose disk fills after 70000 bytes: RC_UNABLE_TO_WRITE, and
    // the file holds the first 70000 bytes of the stream.
    ASSERT_EQ(binary_file_open(&file, engine_path(dir.at("out.bin")), BINARY_WRITE), RC_OK);
    file_services_fail_writes_after(70000, ENOSPC);
    ByteSource whole;
    byte_source_open_memory(&whole, plain.data(), plain.size());
    lzw_compressor_reset(&c);
    ASSERT_EQ(bit_writer_open_binary(&w, file), RC_OK);
    EXPECT_EQ(lzw_compress_step(&c, &whole, &w, UINT32_MAX, &written), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(bit_writer_close(&w), RC_UNABLE_TO_WRITE);
    file_services_faults_clear();
    EXPECT_EQ(binary_file_close(file), RC_OK);
    EXPECT_SAME_BYTES(read_host_file(dir.at("out.bin")), packed.substr(0, 70000));
    lzw_compressor_free(&c);

    // Decompressing a file whose second read fails: RC_UNABLE_TO_READ from the step and
    // from the end of the input, with the bytes of the codes read before.
    file_services_fail_on(HOST_OP_READ, "/packed.bin", EIO, 1);
    ASSERT_EQ(binary_file_open(&file, engine_path(dir.at("packed.bin")), BINARY_READ), RC_OK);
    LzwDecompressor d;
    lzw_decompressor_init(&d);
    BitReader r;
    ASSERT_EQ(bit_reader_open_binary(&r, file), RC_OK);
    std::string back(300000, '\0');
    ByteSink sink;
    byte_sink_open_memory(&sink, back.data(), back.size());
    EXPECT_EQ(lzw_decompress_step(&d, &r, &sink, UINT32_MAX, &written), RC_UNABLE_TO_READ);
    EXPECT_EQ(lzw_decompress_finish(&d), RC_UNABLE_TO_READ);
    ASSERT_GT(sink.used, 0u);
    EXPECT_SAME_BYTES(back.substr(0, sink.used), plain.substr(0, sink.used));
    bit_reader_close(&r);
    lzw_decompressor_free(&d);
    EXPECT_EQ(binary_file_close(file), RC_OK);
    file_services_faults_clear();

    // Decompressing into a file whose disk fills after 60000 bytes: RC_UNABLE_TO_WRITE
    // from the step and again from the closing flush, and the file holds
    // the first 60000 bytes of the original.
    ASSERT_EQ(binary_file_open(&file, engine_path(dir.at("back.bin")), BINARY_WRITE), RC_OK);
    file_services_fail_writes_after(60000, ENOSPC);
    lzw_decompressor_init(&d);
    bit_reader_open_memory(&r, packed.data(), packed.size());
    ASSERT_EQ(byte_sink_open_binary(&sink, file), RC_OK);
    EXPECT_EQ(lzw_decompress_step(&d, &r, &sink, UINT32_MAX, &written), RC_UNABLE_TO_WRITE);
    EXPECT_EQ(byte_sink_close(&sink), RC_UNABLE_TO_WRITE);
    bit_reader_close(&r);
    lzw_decompressor_free(&d);
    file_services_faults_clear();
    EXPECT_EQ(binary_file_close(file), RC_OK);
    EXPECT_SAME_BYTES(read_host_file(dir.at("back.bin")), plain.substr(0, 60000));
}
