// The floppy drive table, the disk in each drive, and the folder of images
// behind a folder drive.
#include "media/floppy_drives.h"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "media/fat_format.h"
#include "media/fat_root.h"
#include "media/floppy_provider.h"
#include "media/media_table.h"
#include "sys/drive_providers.h"
#include "sys/files.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"
#include "sys/paths.h"
#include "sys/text.h"
#include "sys/text_file.h"

// A letter or two and the folder -D names are all a run binds.
constexpr size_t DRIVE_LIMIT = 8;

static FloppyDrive* drive_table() {
    static FloppyDrive drives[DRIVE_LIMIT];
    return drives;
}

FloppyDrive* floppy_drive_find(std::string_view root) {
    std::string wanted = path_root_form(root);
    for (size_t i = 0; i < DRIVE_LIMIT; ++i) {
        FloppyDrive& drive = drive_table()[i];
        if (!drive.root.empty() && text_equal_nocase(drive.root, wanted)) return &drive;
    }
    return nullptr;
}

static bool host_is(const std::string& path, mode_t type) {
    struct stat info;
    return host_stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == type;
}

static void drive_release(FloppyDrive* drive) {
    if (drive->users > 0) fat_volume_close(&drive->volume);
    file_lock_release(drive->set_lock);
    drive_provider_unregister(drive->root);
    *drive = FloppyDrive{};
}

ResultCode floppy_drive_bind(std::string_view root, FloppyBinding binding,
                             const std::string& host_path) {
    std::string key = path_root_form(root);
    if (key.empty() || binding == FLOPPY_UNBOUND) return RC_INVALID_FILE_NAME;
    struct stat info;
    if (host_stat(host_path.c_str(), &info) != 0) return host_error_code(errno);
    FloppyDrive* drive = floppy_drive_find(key);
    for (size_t i = 0; !drive && i < DRIVE_LIMIT; ++i)
        if (drive_table()[i].root.empty()) drive = &drive_table()[i];
    if (!drive) return RC_OS_ERROR;
    if (!drive->root.empty()) drive_release(drive);
    drive->root = key;
    drive->binding = binding;
    drive->host_path = host_path;
    drive->disk = binding == FLOPPY_FOLDER ? std::string() : host_path;
    ResultCode rc = drive_provider_register(key, floppy_provider(), drive);
    if (rc != RC_OK) *drive = FloppyDrive{};
    return rc;
}

void floppy_drive_unbind(std::string_view root) {
    FloppyDrive* drive = floppy_drive_find(root);
    if (drive) drive_release(drive);
}

static bool name_is_image(const std::string& name) {
    return name.size() > 4 &&
           text_equal_nocase(std::string_view(name).substr(name.size() - 4), ".img");
}

// Whether the host folder holds disk images and nothing else (or nothing at
// all): only such a folder is taken for a drive, so that a -D naming a
// folder of other files (a staging area, the current directory) leaves
// those files to the host.
static bool folder_holds_only_images(const std::string& folder) {
    std::vector<std::string> names;
    if (host_directory_read(folder, &names) != 0) return false;
    for (const std::string& name : names) {
        // A new image a run is writing, or one a killed run left behind.
        if (text_file_is_temporary_name(name, nullptr)) continue;
        if (!name_is_image(name) || !host_is(folder + "/" + name, S_IFREG)) return false;
    }
    return true;
}

// The root the drives last followed (-D, or a disk prompt that moved the
// root), to be unbound when they follow another.
static std::string& followed_root() {
    static std::string root;
    return root;
}

// Whether floppy_drives_follow binds folders and images: once the drives
// are started.
static bool& following() {
    static bool on = false;
    return on;
}

void floppy_drives_follow(const std::string& root) {
    if (!following()) return;
    if (!followed_root().empty()) floppy_drive_unbind(followed_root());
    followed_root().clear();
    const DriveProvider* provider = nullptr;
    void* context = nullptr;
    std::string inner;
    if (drive_provider_find(root, &provider, &context, &inner))
        return;  // already on a floppy drive
    std::string host;
    if (host_path_resolve(root, &host) != RC_OK) return;
    FloppyBinding binding = FLOPPY_UNBOUND;
    if (host_is(host, S_IFDIR) && folder_holds_only_images(host)) binding = FLOPPY_FOLDER;
    if (host_is(host, S_IFREG) && name_is_image(host)) binding = FLOPPY_IMAGE;
    if (binding == FLOPPY_UNBOUND) return;
    if (floppy_drive_bind(root, binding, host) == RC_OK) followed_root() = root;
}

void floppy_drives_start(const std::string& dev_root) {
    std::string device = dev_root + "/fd0";
    if (host_is(device, S_IFBLK) || host_is(device, S_IFREG))
        floppy_drive_bind("A:\\", FLOPPY_DEVICE, device);
    following() = true;
}

void floppy_drives_stop_following() {
    following() = false;
}

std::string floppy_image_name(std::string_view label) {
    if (label.empty()) return std::string();
    std::string name;
    for (char c : label) {
        bool kept = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
        if (c >= 'a' && c <= 'z')
            c = upper_char(c);
        else if (!kept)
            c = '_';
        name += c;
    }
    return name + ".img";
}

ResultCode floppy_volume_acquire(FloppyDrive* drive, FatVolume** volume) {
    if (drive->disk.empty()) return RC_DEVICE_NOT_READY;
    if (drive->users == 0) {
        ResultCode rc = fat_volume_open(drive->disk, &drive->volume);
        if (rc == RC_FILE_NOT_FOUND) return RC_DEVICE_NOT_READY;
        if (rc != RC_OK) return rc;
    }
    ++drive->users;
    *volume = &drive->volume;
    return RC_OK;
}

void floppy_volume_release(FloppyDrive* drive) {
    if (drive->users > 0 && --drive->users == 0) fat_volume_close(&drive->volume);
}

std::string floppy_set_image_name(std::string_view set_name, std::string_view label) {
    std::string name = floppy_image_name(label);
    if (set_name.empty() || name.empty()) return name;
    std::string set = floppy_image_name(set_name);
    return set.substr(0, set.size() - 4) + "." + name;
}

ResultCode floppy_drive_disk_size(std::string_view root, uint32_t* blank_free, uint32_t* cluster) {
    FloppyDrive* drive = floppy_drive_find(root);
    if (!drive) return RC_FILE_NOT_FOUND;
    FatVolume* volume = nullptr;
    ResultCode rc = floppy_volume_acquire(drive, &volume);
    if (rc != RC_OK) return rc;
    *cluster = fat_volume_cluster_bytes(*volume);
    // Bad clusters stay bad when the disk is emptied.
    uint32_t usable = 0;
    for (uint32_t c = 2; c < volume->table.cluster_count + 2; ++c)
        if (fat_table_get(volume->table, c) != FAT_BAD) ++usable;
    *blank_free = usable * *cluster;
    floppy_volume_release(drive);
    return RC_OK;
}

ResultCode floppy_drive_empty_disk(std::string_view root) {
    FloppyDrive* drive = floppy_drive_find(root);
    if (!drive) return RC_FILE_NOT_FOUND;
    FatVolume* volume = nullptr;
    ResultCode rc = floppy_volume_acquire(drive, &volume);
    if (rc != RC_OK) return rc;
    rc = fat_volume_empty(volume);
    floppy_volume_release(drive);
    return rc;
}

// The label of the image file `image`; false when it is not a readable volume.
static bool image_label(const std::string& image, std::string* label) {
    FatVolume volume;
    if (fat_volume_open(image, &volume) != RC_OK) return false;
    bool read = fat_volume_label(volume, label) == RC_OK;
    fat_volume_close(&volume);
    return read;
}

static bool image_has_label(const std::string& image, std::string_view label) {
    std::string found;
    return image_label(image, &found) && text_equal_nocase(found, label);
}

// The image of the folder labelled `label`: the one named after the label
// first, else the first in delivery order. Empty when there is none.
static std::string folder_find_label(const std::string& folder, std::string_view label) {
    std::string named = folder + "/" + floppy_image_name(label);
    if (host_is(named, S_IFREG) && image_has_label(named, label)) return named;
    std::vector<std::string> names;
    host_directory_read(folder, &names);
    for (const std::string& name : names) {
        std::string image = folder + "/" + name;
        if (name_is_image(name) && host_is(image, S_IFREG) && image_has_label(image, label))
            return image;
    }
    return std::string();
}

// The image of `label` in the drive's set: while the set is written, one of
// its new images (empty when it has none yet); afterwards the image of the
// set's name for the label, when it holds that label.
static std::string set_find_label(const FloppyDrive& drive, std::string_view label) {
    if (drive.set_writing) {
        for (const PendingImage& image : drive.pending)
            if (text_equal_nocase(image.label, label)) return image.path;
        return std::string();
    }
    std::string named = drive.host_path + "/" + floppy_set_image_name(drive.set_name, label);
    return host_is(named, S_IFREG) && image_has_label(named, label) ? named : std::string();
}

ResultCode floppy_drive_insert_labelled(FloppyDrive* drive, std::string_view label) {
    if (drive->binding != FLOPPY_FOLDER || label.empty()) return RC_OK;
    if (drive->set_writing || !drive->set_name.empty()) {
        std::string image = set_find_label(*drive, label);
        if (image.empty() || image == drive->disk) return RC_OK;
        if (drive->users > 0) return RC_SHARING_VIOLATION;
        drive->disk = image;
        return RC_OK;
    }
    if (!drive->disk.empty() && drive->users == 0 && image_has_label(drive->disk, label))
        return RC_OK;
    std::string image = folder_find_label(drive->host_path, label);
    if (image.empty() || image == drive->disk) return RC_OK;
    if (drive->users > 0) return RC_SHARING_VIOLATION;
    drive->disk = image;
    return RC_OK;
}

// The first of `stem`, `stem`~2, `stem`~3 ... ".img" that is free in `folder`.
static std::string folder_free_name(const std::string& folder, const std::string& stem,
                                    const char* mark) {
    std::string name = folder + "/" + stem + ".img";
    for (unsigned n = 2; host_is(name, S_IFREG) || host_is(name, S_IFDIR); ++n)
        name = folder + "/" + stem + mark + std::to_string(n) + ".img";
    return name;
}

// The new image of the set that is in the drive, or nullptr.
static PendingImage* pending_in_drive(FloppyDrive* drive) {
    for (PendingImage& image : drive->pending)
        if (image.path == drive->disk) return &image;
    return nullptr;
}

ResultCode floppy_drive_name_disk(FloppyDrive* drive, std::string_view label) {
    std::string name = floppy_image_name(label);
    if (drive->binding != FLOPPY_FOLDER || name.empty()) return RC_OK;
    // A new image of a set keeps its temporary name until the set is whole.
    if (drive->set_writing) {
        if (PendingImage* image = pending_in_drive(drive)) {
            image->label = std::string(label);
            return RC_OK;
        }
    }
    std::string target = drive->host_path + "/" + name;
    if (target == drive->disk) return RC_OK;
    std::string aside;
    if (host_is(target, S_IFREG)) {
        aside = folder_free_name(drive->host_path, name.substr(0, name.size() - 4), "~");
        if (host_rename(target.c_str(), aside.c_str()) != 0) return host_write_error_code(errno);
    }
    if (host_rename(drive->disk.c_str(), target.c_str()) != 0) {
        ResultCode rc = host_write_error_code(errno);
        // The older image takes its name back, so that the folder holds
        // what it held before.
        if (!aside.empty()) host_rename(aside.c_str(), target.c_str());
        return rc;
    }
    drive->disk = target;
    return RC_OK;
}

// A serial number for a new volume: the time, made different for each disk of a run.
static uint32_t new_serial() {
    static uint32_t count = 0;
    return uint32_t(time(nullptr)) ^ (++count * 0x9E3779B9u);
}

ResultCode floppy_drive_insert_blank(std::string_view root, std::string_view medium) {
    FloppyDrive* drive = floppy_drive_find(root);
    if (!drive) return RC_FILE_NOT_FOUND;
    if (!media_find(medium)) return RC_INVALID_MEDIA_SIZE;
    if (drive->binding == FLOPPY_DEVICE) return RC_DEVICE_NOT_READY;
    if (drive->users > 0) return RC_SHARING_VIOLATION;
    std::string image;
    if (drive->binding == FLOPPY_IMAGE)
        image = drive->host_path;
    else if (drive->set_writing)
        image = drive->host_path + "/" +
                text_file_temporary_name(floppy_set_image_name(drive->set_name, "NEW"));
    else
        image = folder_free_name(drive->host_path, "BLANK", "-");
    ResultCode rc = fat_format_image(image, medium, "", new_serial());
    if (rc != RC_OK) {
        // A new image that could not be made whole is not left behind.
        if (drive->set_writing) (void)host_unlink(image.c_str());
        return rc;
    }
    drive->disk = image;
    if (drive->set_writing) drive->pending.push_back(PendingImage{image, ""});
    return RC_OK;
}

ResultCode floppy_drive_set_begin(std::string_view root, std::string_view set_name) {
    FloppyDrive* drive = floppy_drive_find(root);
    if (!drive) return RC_FILE_NOT_FOUND;
    if (drive->users > 0) return RC_SHARING_VIOLATION;
    file_lock_release(drive->set_lock);
    drive->set_lock = nullptr;
    ResultCode rc = file_lock_take_host(drive->host_path, &drive->set_lock);
    if (rc != RC_OK) return rc;
    drive->set_name = std::string(set_name);
    if (drive->binding != FLOPPY_FOLDER) return RC_OK;
    text_file_remove_stale_host_temporaries(drive->host_path);
    drive->set_writing = true;
    drive->pending.clear();
    drive->disk.clear();
    return RC_OK;
}

// True when the file `name` of a folder is an image of the set `set_name`
// ("<SET>.<anything>.img", letter case aside).
static bool name_is_set_image(const std::string& name, std::string_view set_name) {
    if (set_name.empty()) return false;
    std::string set = floppy_image_name(set_name);
    std::string prefix = set.substr(0, set.size() - 4) + ".";
    return name_is_image(name) && name.size() > prefix.size() + 4 &&
           text_equal_nocase(std::string_view(name).substr(0, prefix.size()), prefix);
}

// Ends the writing of the set: the lock goes.
static void set_end(FloppyDrive* drive) {
    drive->set_writing = false;
    drive->pending.clear();
    file_lock_release(drive->set_lock);
    drive->set_lock = nullptr;
}

ResultCode floppy_drive_set_commit(std::string_view root) {
    FloppyDrive* drive = floppy_drive_find(root);
    if (!drive) return RC_OK;
    if (!drive->set_writing) {
        set_end(drive);
        return RC_OK;
    }
    if (drive->users > 0) return RC_SHARING_VIOLATION;
    std::vector<std::string> kept;
    std::string in_drive;
    for (PendingImage& image : drive->pending) {
        if (image.label.empty()) {
            (void)host_unlink(image.path.c_str());
            continue;
        }
        std::string name = floppy_set_image_name(drive->set_name, image.label);
        std::string final_path = drive->host_path + "/" + name;
        // An image under the set's name that is no disk of that label is not
        // the set's: it is kept under a name of its own.
        if (host_is(final_path, S_IFREG) && !image_has_label(final_path, image.label)) {
            std::string aside =
                folder_free_name(drive->host_path, name.substr(0, name.size() - 4), "~");
            (void)host_rename(final_path.c_str(), aside.c_str());
        }
        if (host_rename(image.path.c_str(), final_path.c_str()) != 0) {
            ResultCode rc = host_write_error_code(errno);
            drive->disk.clear();
            set_end(drive);
            return rc;
        }
        if (image.path == drive->disk) in_drive = final_path;
        kept.push_back(name);
    }
    // The set's former images that the new set does not replace: an earlier,
    // longer set, or one under another label.
    std::vector<std::string> names;
    if (host_directory_read(drive->host_path, &names) == 0)
        for (const std::string& name : names) {
            if (!name_is_set_image(name, drive->set_name)) continue;
            bool is_new = false;
            for (const std::string& k : kept) is_new = is_new || k == name;
            // Only a disk of the set goes: one whose label gives its name.
            std::string path = drive->host_path + "/" + name, label;
            if (is_new || !image_label(path, &label) ||
                !text_equal_nocase(floppy_set_image_name(drive->set_name, label), name))
                continue;
            (void)host_unlink(path.c_str());
        }
    drive->disk = in_drive;
    set_end(drive);
    return RC_OK;
}

ResultCode floppy_drive_set_choose(std::string_view root, std::string_view set_name) {
    FloppyDrive* drive = floppy_drive_find(root);
    if (!drive) return RC_FILE_NOT_FOUND;
    if (!drive->set_writing) drive->set_name = std::string(set_name);
    return RC_OK;
}

void floppy_drive_set_discard(std::string_view root) {
    FloppyDrive* drive = floppy_drive_find(root);
    if (!drive) return;
    for (const PendingImage& image : drive->pending) (void)host_unlink(image.path.c_str());
    if (drive->set_writing && drive->users == 0) drive->disk.clear();
    set_end(drive);
}

ResultCode floppy_folder_make(const std::string& host_path) {
    if (host_path.empty() || (host_path.size() >= 2 && host_path[1] == ':')) return RC_OK;
    if (name_is_image(host_path)) return RC_OK;
    for (size_t at = 1; at <= host_path.size(); ++at) {
        if (at < host_path.size() && host_path[at] != '/') continue;
        std::string folder = host_path.substr(0, at);
        if (host_is(folder, S_IFDIR)) continue;
        if (host_mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return host_error_code(errno);
    }
    return RC_OK;
}
