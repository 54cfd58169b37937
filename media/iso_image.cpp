// CD-ROM images written by libisofs.
#include "media/iso_image.h"

// The burn_source record is libburn's; libisofs declares its own copy of it
// for programs that do not use libburn.
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs/libisofs.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "sys/binary_file.h"
#include "sys/files.h"
#include "sys/host_paths.h"
#include "sys/paths.h"
#include "sys/text_file.h"

namespace {

// Every file and directory of an image shows these, whoever wrote it.
constexpr mode_t FILE_MODE = 0644;
constexpr mode_t DIRECTORY_MODE = 0755;
// Bytes taken from libisofs at a time: one block, as a burner takes them
// (a larger read may lose the image's last part block).
constexpr int READ_CHUNK = 2048;

// libisofs is started once per process. Its messages are queued, never
// printed: the report is the engine's alone; a trouble worth a "SORRY"
// (a file that could not be read while the image was made) fails the image.
bool library_ready() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        // Bit 0: the process's locale is left alone.
        ready = iso_init_with_flag(1) >= 0;
        if (!ready) return;
        iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
        iso_set_msgs_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                                const_cast<char*>("diskward"));
    });
    return ready;
}

// Empties the message queue; true when it held a failure.
bool messages_drain() {
    bool failed = false;
    int code = 0, image = 0;
    char text[ISO_MSGS_MESSAGE_LEN];
    char severity[80];
    while (iso_obtain_msgs(const_cast<char*>("SORRY"), &code, &image, text, severity) > 0)
        failed = true;
    return failed;
}

// libisofs's error numbers are unsigned constants that it hands out as int.
bool is_error(int iso_error, unsigned constant) {
    return unsigned(iso_error) == constant;
}

ResultCode code_of(int iso_error) {
    if (is_error(iso_error, ISO_OUT_OF_MEM)) return RC_NO_OBJECT;
    if (is_error(iso_error, ISO_NODE_NAME_NOT_UNIQUE) || is_error(iso_error, ISO_WRONG_ARG_VALUE))
        return RC_INVALID_FILE_NAME;
    if (is_error(iso_error, ISO_FILE_DOESNT_EXIST)) return RC_FILE_NOT_FOUND;
    if (is_error(iso_error, ISO_FILE_ACCESS_DENIED)) return RC_PERMISSION_DENIED;
    return RC_UNABLE_TO_READ;
}

void node_settle(IsoNode* node, mode_t mode, time_t time) {
    iso_node_set_permissions(node, mode);
    iso_node_set_uid(node, 0);
    iso_node_set_gid(node, 0);
    iso_node_set_mtime(node, time);
    iso_node_set_atime(node, time);
    iso_node_set_ctime(node, time);
}

// The directories of an image made so far, by their path in it.
struct TreeBuild {
    IsoImage* image = nullptr;
    time_t time = 0;
    std::map<std::string, IsoDir*> directories;
};

// The directory `path` ("" for the root), made with its parents.
ResultCode directory_of(TreeBuild* tree, const std::string& path, IsoDir** out) {
    auto found = tree->directories.find(path);
    if (found != tree->directories.end()) {
        *out = found->second;
        return RC_OK;
    }
    size_t slash = path.rfind('/');
    std::string parent_path = slash == std::string::npos ? "" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    IsoDir* parent = nullptr;
    ResultCode code = directory_of(tree, parent_path, &parent);
    if (code != RC_OK) return code;
    if (name.empty()) return RC_INVALID_FILE_NAME;
    IsoDir* made = nullptr;
    int result = iso_tree_add_new_dir(parent, name.c_str(), &made);
    if (result < 0) return code_of(result);
    node_settle(reinterpret_cast<IsoNode*>(made), S_IFDIR | DIRECTORY_MODE, tree->time);
    tree->directories[path] = made;
    *out = made;
    return RC_OK;
}

// Adds one file, read from the host when the image is written.
ResultCode entry_add(TreeBuild* tree, const IsoEntry& entry) {
    FileStatus status;
    ResultCode code = file_status(entry.source, &status);
    if (code != RC_OK) return code;
    if (!status.exists) return RC_FILE_NOT_FOUND;
    if (status.is_directory) return RC_OS_ERROR;
    if (status.is_other) return RC_UNABLE_TO_READ;
    std::string host;
    if ((code = host_path_resolve(entry.source, &host)) != RC_OK) return code;
    const std::string& path = entry.image_path;
    size_t slash = path.rfind('/');
    IsoDir* parent = nullptr;
    code = directory_of(tree, slash == std::string::npos ? "" : path.substr(0, slash), &parent);
    if (code != RC_OK) return code;
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return RC_INVALID_FILE_NAME;
    IsoNode* node = nullptr;
    int result = iso_tree_add_new_node(tree->image, parent, name.c_str(), host.c_str(), &node);
    if (result < 0) return code_of(result);
    node_settle(node, S_IFREG | FILE_MODE, entry.modified);
    return RC_OK;
}

// The options that make the same tree give the same bytes: level 1 names,
// Joliet and Rock Ridge, no ACLs or extended attributes, no inode numbers,
// every time the nodes' own (recorded in UTC), and the volume's dates fixed.
ResultCode options_make(time_t volume_time, IsoWriteOpts** out) {
    IsoWriteOpts* opts = nullptr;
    if (iso_write_opts_new(&opts, 0) < 0) return RC_NO_OBJECT;
    iso_write_opts_set_iso_level(opts, 1);
    iso_write_opts_set_rockridge(opts, 1);
    iso_write_opts_set_joliet(opts, 1);
    iso_write_opts_set_aaip(opts, 0);
    // Rock Ridge 1.10 records carry no inode numbers, which libisofs counts
    // across the images of a process.
    iso_write_opts_set_rrip_version_1_10(opts, 1);
    iso_write_opts_set_rrip_1_10_px_ino(opts, 0);
    iso_write_opts_set_replace_timestamps(opts, 0);
    iso_write_opts_set_dir_rec_mtime(opts, 7);  // ISO 9660, Joliet and ISO 9660:1999 records
    iso_write_opts_set_always_gmt(opts, 1);
    iso_write_opts_set_pvd_times(opts, volume_time, volume_time, 0, volume_time,
                                 const_cast<char*>(""));
    *out = opts;
    return RC_OK;
}

// Takes the image's bytes from `burn` into the open file `out`.
ResultCode bytes_move(burn_source* burn, BinaryFile* out, uint64_t* size) {
    std::vector<unsigned char> chunk(READ_CHUNK);
    uint64_t expected = uint64_t(burn->get_size(burn));
    for (;;) {
        int got = burn->read_xt(burn, chunk.data(), READ_CHUNK);
        // An image that ends short of the size announced is not whole.
        if (got == 0) return *size == expected ? RC_OK : RC_UNABLE_TO_READ;
        if (got < 0) return RC_UNABLE_TO_READ;
        ResultCode code = binary_file_write(out, chunk.data(), size_t(got));
        if (code != RC_OK) return code;
        *size += uint64_t(got);
    }
}

// Writes the image of `image` to the temporary file `temporary`.
ResultCode image_stream(IsoImage* image, IsoWriteOpts* opts, const std::string& temporary,
                        uint64_t* size) {
    burn_source* burn = nullptr;
    if (iso_image_create_burn_source(image, opts, &burn) < 0) return RC_NO_OBJECT;
    BinaryFile* out = nullptr;
    ResultCode code = binary_file_open(&out, temporary, BINARY_WRITE);
    if (code == RC_OK) code = bytes_move(burn, out, size);
    if (code != RC_OK) burn->cancel(burn);
    burn->free_data(burn);
    std::free(burn);
    if (out) {
        ResultCode closed = binary_file_close(out);
        if (code == RC_OK) code = closed;
    }
    // A file that libisofs could not read whole is in the image as zeros.
    if (messages_drain() && code == RC_OK) code = RC_UNABLE_TO_READ;
    return code;
}

}  // namespace

ResultCode iso_image_write(const IsoImageContents& contents, std::string_view target,
                           uint64_t* size) {
    if (size) *size = 0;
    if (contents.volume_id.empty() || contents.volume_id.size() > ISO_VOLUME_ID_LIMIT)
        return RC_INVALID_VOLUME_LABEL;
    if (!library_ready()) return RC_NO_OBJECT;
    messages_drain();
    TreeBuild tree;
    tree.time = contents.volume_time;
    if (iso_image_new(contents.volume_id.c_str(), &tree.image) < 0) return RC_NO_OBJECT;
    // Nothing of the host's but the files' bytes goes in.
    iso_image_set_ignore_aclea(tree.image, 3);
    iso_tree_set_follow_symlinks(tree.image, 1);
    tree.directories[""] = iso_image_get_root(tree.image);
    node_settle(reinterpret_cast<IsoNode*>(tree.directories[""]), S_IFDIR | DIRECTORY_MODE,
                contents.volume_time);

    ResultCode code = RC_OK;
    for (size_t i = 0; code == RC_OK && i < contents.entries.size(); ++i)
        code = entry_add(&tree, contents.entries[i]);
    IsoWriteOpts* opts = nullptr;
    if (code == RC_OK) code = options_make(contents.volume_time, &opts);
    uint64_t written = 0;
    // What a run that was killed while it wrote an image here left behind.
    PathParts place = path_split(target);
    text_file_remove_stale_temporaries(path_join(place.absolute, place.relative, "", ""));
    std::string temporary = text_file_temporary_path(target);
    if (code == RC_OK) code = image_stream(tree.image, opts, temporary, &written);
    if (code == RC_OK) code = file_rename(temporary, target);
    if (code != RC_OK) (void)file_delete(temporary);
    if (opts) iso_write_opts_free(opts);
    iso_image_unref(tree.image);
    if (code == RC_OK && size) *size = written;
    return code;
}
