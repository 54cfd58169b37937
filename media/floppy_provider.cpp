// Each operation takes the volume of the disk in the drive for its own time;
// an open file keeps it until the file is closed.
#include "media/floppy_provider.h"

#include "media/fat_file.h"
#include "media/fat_paths.h"
#include "media/fat_root.h"
#include "media/floppy_drives.h"

struct DriveFile {
    FloppyDrive* drive = nullptr;
    FatFile file;
};

// Runs `operation` on the volume of the drive `context`.
template <typename Operation>
static ResultCode with_volume(void* context, Operation operation) {
    FloppyDrive* drive = static_cast<FloppyDrive*>(context);
    FatVolume* volume = nullptr;
    ResultCode rc = floppy_volume_acquire(drive, &volume);
    if (rc != RC_OK) return rc;
    rc = operation(drive, volume);
    floppy_volume_release(drive);
    return rc;
}

static struct timespec from_time(time_t t) {
    return {t, 0};
}

static DriveEntry entry_from(const FatInfo& info) {
    DriveEntry entry;
    entry.name = info.name;
    entry.size = info.size;
    entry.is_directory = info.is_directory;
    entry.access_time = from_time(info.write_time);
    entry.write_time = from_time(info.write_time);
    return entry;
}

static ResultCode floppy_stat(void* context, std::string_view path, DriveEntry* out) {
    return with_volume(context, [&](FloppyDrive*, FatVolume* volume) {
        FatInfo info;
        ResultCode rc = fat_path_stat(*volume, path, &info);
        if (rc == RC_OK) *out = entry_from(info);
        return rc;
    });
}

static ResultCode floppy_list(void* context, std::string_view path, std::vector<DriveEntry>* out) {
    return with_volume(context, [&](FloppyDrive*, FatVolume* volume) {
        std::vector<FatInfo> infos;
        ResultCode rc = fat_path_list(*volume, path, &infos);
        out->clear();
        for (const FatInfo& info : infos) out->push_back(entry_from(info));
        return rc;
    });
}

static ResultCode floppy_remove(void* context, std::string_view path) {
    return with_volume(context, [&](FloppyDrive*, FatVolume* volume) {
        ResultCode rc = fat_path_make_writable(volume, path);
        return rc != RC_OK ? rc : fat_path_delete(volume, path);
    });
}

static ResultCode floppy_make_directory(void* context, std::string_view path) {
    return with_volume(context, [&](FloppyDrive*, FatVolume* volume) {
        return fat_path_make_directory(volume, path);
    });
}

static ResultCode floppy_set_times(void* context, std::string_view path,
                                   const struct timespec times[2]) {
    return with_volume(context, [&](FloppyDrive*, FatVolume* volume) {
        return fat_path_set_times(volume, path, times[0].tv_sec, times[1].tv_sec);
    });
}

static FatOpenMode open_mode(DriveOpenMode mode) {
    if (mode == DRIVE_OPEN_WRITE) return FAT_OPEN_WRITE;
    return mode == DRIVE_OPEN_APPEND ? FAT_OPEN_APPEND : FAT_OPEN_READ;
}

static ResultCode floppy_open(void* context, std::string_view path, DriveOpenMode mode,
                              DriveFile** out) {
    FloppyDrive* drive = static_cast<FloppyDrive*>(context);
    FatVolume* volume = nullptr;
    ResultCode rc = floppy_volume_acquire(drive, &volume);
    if (rc != RC_OK) return rc;
    DriveFile* file = new DriveFile;
    file->drive = drive;
    rc = fat_file_open(volume, path, open_mode(mode), &file->file);
    if (rc != RC_OK) {
        delete file;
        floppy_volume_release(drive);
        return rc;
    }
    *out = file;
    return RC_OK;
}

static ResultCode floppy_read(DriveFile* file, void* buffer, size_t size, size_t* got) {
    return fat_file_read(&file->file, buffer, size, got);
}

static ResultCode floppy_write(DriveFile* file, const void* buffer, size_t size) {
    size_t written = 0;
    return fat_file_write(&file->file, buffer, size, &written);
}

static ResultCode floppy_close(DriveFile* file) {
    ResultCode rc = fat_file_close(&file->file);
    floppy_volume_release(file->drive);
    delete file;
    return rc;
}

static ResultCode floppy_space(void* context, uint32_t* free_bytes, uint32_t* cluster_size) {
    return with_volume(context, [&](FloppyDrive*, FatVolume* volume) {
        *free_bytes = fat_volume_free_bytes(*volume);
        *cluster_size = fat_volume_cluster_bytes(*volume);
        return RC_OK;
    });
}

static ResultCode floppy_label(void* context, std::string* label) {
    return with_volume(
        context, [&](FloppyDrive*, FatVolume* volume) { return fat_volume_label(*volume, label); });
}

// The label goes on the volume; in a folder the image then takes its name.
static ResultCode floppy_set_label(void* context, std::string_view label) {
    return with_volume(context, [&](FloppyDrive* drive, FatVolume* volume) {
        ResultCode rc = fat_volume_set_label(volume, label);
        return rc != RC_OK ? rc : floppy_drive_name_disk(drive, label);
    });
}

static ResultCode floppy_insert_labelled(void* context, std::string_view label) {
    return floppy_drive_insert_labelled(static_cast<FloppyDrive*>(context), label);
}

const DriveProvider* floppy_provider() {
    static constexpr DriveProvider PROVIDER = {
        floppy_stat,
        floppy_list,
        floppy_remove,
        floppy_make_directory,
        floppy_set_times,
        floppy_open,
        floppy_read,
        floppy_write,
        floppy_close,
        floppy_space,
        floppy_label,
        floppy_set_label,
        floppy_insert_labelled,
    };
    return &PROVIDER;
}
