// Opens arbitrary bytes as a FAT volume, lists and reads everything on it,
// then writes, deletes and relabels, and checks that the volume it leaves
// behind opens again. The first input byte picks how the rest is used: odd
// means the image is padded with zeros to 3 MB, so that short inputs can
// stand for whole floppies; even means the bytes are the whole image.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/fat_file.h"
#include "media/fat_paths.h"
#include "media/fat_root.h"
#include "media/fat_volume.h"

namespace {

constexpr off_t PADDED_BYTES = 3 * 1024 * 1024;

void read_whole(FatVolume* volume, const std::string& path) {
    FatFile file;
    if (fat_file_open(volume, path, FAT_OPEN_READ, &file) != RC_OK) return;
    static char buffer[49152];
    size_t got = 0;
    while (fat_file_read(&file, buffer, sizeof buffer, &got) == RC_OK && got > 0) {
    }
    fat_file_close(&file);
}

// Lists `path` and everything below it (a few levels deep), reading every
// file; remembers the first file found in *some_file.
void walk(FatVolume* volume, const std::string& path, int depth, std::string* some_file) {
    std::vector<FatInfo> list;
    if (depth > 4 || fat_path_list(*volume, path, &list) != RC_OK) return;
    for (const FatInfo& info : list) {
        std::string child = path + "\\" + info.name;
        FatInfo again;
        fat_path_stat(*volume, child, &again);
        if (info.is_directory) {
            walk(volume, child, depth + 1, some_file);
            continue;
        }
        if (some_file->empty()) *some_file = child;
        read_whole(volume, child);
    }
}

void change(FatVolume* volume, const std::string& some_file) {
    std::string data(3000, 'x');
    FatFile file;
    if (fat_file_open(volume, "Fuzzed file with a long name.txt", FAT_OPEN_WRITE, &file) == RC_OK) {
        size_t written = 0;
        fat_file_write(&file, data.data(), data.size(), &written);
        fat_file_close(&file);
    }
    fat_path_make_directory(volume, "NEWDIR");
    if (fat_file_open(volume, "newdir\\inside.bin", FAT_OPEN_WRITE, &file) == RC_OK) {
        size_t written = 0;
        fat_file_write(&file, data.data(), 700, &written);
        fat_file_close(&file);
    }
    if (!some_file.empty()) {
        fat_path_make_writable(volume, some_file);
        fat_path_delete(volume, some_file);
    }
    fat_volume_set_label(volume, "FUZZ 1");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    bool padded = data[0] & 1;
    int fd = memfd_create("fat_image", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (write(fd, data + 1, size - 1) != ssize_t(size - 1)) abort();
    if (padded && off_t(size - 1) < PADDED_BYTES && ftruncate(fd, PADDED_BYTES) != 0) abort();

    FatVolume volume;
    if (fat_volume_open_fd(fd, false, &volume) == RC_OK) {
        std::string label, some_file;
        bool empty = false;
        fat_volume_label(volume, &label);
        fat_volume_root_is_empty(volume, &empty);
        walk(&volume, "", 0, &some_file);
        change(&volume, some_file);
        fat_volume_close(&volume);
        // Whatever was accepted and then changed must still be sound.
        if (fat_volume_open_fd(fd, false, &volume) != RC_OK) abort();
        walk(&volume, "", 0, &some_file);
        fat_volume_close(&volume);
    }
    close(fd);
    return 0;
}
