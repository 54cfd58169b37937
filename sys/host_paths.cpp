// Host paths: drive table, engine-to-host path resolution and back.
#include "sys/host_paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "sys/host_io.h"
#include "sys/paths.h"
#include "sys/text.h"

// The drive table: one host directory per letter, empty when unbound.
struct DriveTable {
    std::string directory[26];
};

static DriveTable make_drive_table() {
    DriveTable table;
    table.directory['Z' - 'A'] = "/";
    return table;
}

static DriveTable& drives() {
    static DriveTable table = make_drive_table();
    return table;
}

// The table slot of a drive letter, or -1.
static int drive_index(char letter) {
    char upper = upper_char(letter);
    if (upper < 'A' || upper > 'Z') return -1;
    return upper - 'A';
}

static bool is_separator(char c) { return c == '\\' || c == '/'; }

std::string host_current_directory() {
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) return std::string();
    return buffer;
}

ResultCode drive_bind(char letter, std::string_view host_directory) {
    int index = drive_index(letter);
    if (index < 0 || index == 'Z' - 'A' || host_directory.empty()) return RC_INVALID_FILE_NAME;
    std::string directory(host_directory);
    if (directory[0] != '/') directory = host_current_directory() + "/" + directory;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    drives().directory[index] = directory;
    return RC_OK;
}

void drive_unbind(char letter) {
    int index = drive_index(letter);
    if (index < 0 || index == 'Z' - 'A') return;
    drives().directory[index].clear();
}

bool drive_host_directory(char letter, std::string* host_directory) {
    int index = drive_index(letter);
    if (index < 0 || drives().directory[index].empty()) return false;
    if (host_directory) *host_directory = drives().directory[index];
    return true;
}

bool host_name_before(const std::string& a, const std::string& b) {
    int order = text_compare_nocase(a, b);
    if (order != 0) return order < 0;
    return a < b;
}

int host_directory_read(const std::string& host_directory, std::vector<std::string>* names) {
    names->clear();
    DIR* dir = host_opendir(host_directory.c_str());
    if (!dir) return errno;
    while (dirent* entry = host_readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names->push_back(name);
    }
    int error = errno;
    host_closedir(dir);
    // Sorted on folded copies made once, not folded again at every comparison.
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(names->size());
    for (std::string& name : *names) keyed.emplace_back(text_fold(name), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    for (size_t i = 0; i < keyed.size(); ++i) (*names)[i] = std::move(keyed[i].second);
    return error;
}

static std::string host_child(const std::string& directory, std::string_view name) {
    std::string out = directory;
    if (out.back() != '/') out += '/';
    out += name;
    return out;
}

// The spelling of `name` inside host directory `directory`: as written when
// it exists so, else the first entry equal to it without regard to case, in
// delivery order. Empty when neither exists.
static std::string component_lookup(const std::string& directory, std::string_view name) {
    struct stat info;
    if (host_lstat(host_child(directory, name).c_str(), &info) == 0) return std::string(name);
    if (errno != ENOENT) return std::string();
    DIR* dir = host_opendir(directory.c_str());
    if (!dir) return std::string();
    std::string first;
    while (dirent* entry = host_readdir(dir)) {
        std::string_view entry_name = entry->d_name;
        if (!text_equal_nocase(entry_name, name)) continue;
        if (first.empty() || entry_name < first) first = entry_name;
    }
    // A lookup whose names could not all be read may have missed the first
    // match: the component then counts as not found.
    if (errno != 0) first.clear();
    host_closedir(dir);
    return first;
}

// Strips the last component of `path`, never going above `floor`.
static void host_parent(std::string* path, const std::string& floor) {
    size_t slash = path->rfind('/');
    path->resize(slash == 0 ? 1 : slash);
    if (path->size() < floor.size()) *path = floor;
}

// Walks the components of `rest` from `path` (the start directory).
static void host_walk(std::string_view rest, const std::string& floor, std::string* path) {
    bool found = true;  // every component so far exists on the host
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = start;
        while (end < rest.size() && !is_separator(rest[end])) ++end;
        std::string_view name = rest.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            host_parent(path, floor);
            continue;
        }
        std::string spelling = found ? component_lookup(*path, name) : std::string();
        if (spelling.empty()) {
            found = false;
            spelling = name;
        }
        *path = host_child(*path, spelling);
    }
}

ResultCode host_path_locate(std::string_view engine_path, HostLocation* location) {
    if (engine_path.size() > size_t(PATH_LIMIT)) return RC_INVALID_FILE_NAME;
    if (engine_path.find('\0') != std::string_view::npos) return RC_INVALID_FILE_NAME;

    HostLocation found;
    std::string_view rest = engine_path;
    bool relative_to_cwd = true;
    if (path_has_drive(engine_path)) {
        found.drive = char(drive_index(engine_path[0]) + 'A');
        rest = engine_path.substr(2);
        // "Z:name" is relative to the current directory (Z: is the current
        // drive); "A:name" to the root of A:.
        relative_to_cwd = found.drive == 'Z' && (rest.empty() || !is_separator(rest[0]));
    } else if (!engine_path.empty() && is_separator(engine_path[0])) {
        relative_to_cwd = false;
    }
    if (!drive_host_directory(found.drive, &found.root)) return RC_FILE_NOT_FOUND;

    if (relative_to_cwd) {
        found.root = "/";
        found.path = host_current_directory();
        if (found.path.empty()) return RC_OS_ERROR;
    } else {
        found.path = found.root;
    }
    host_walk(rest, found.root, &found.path);
    *location = found;
    return RC_OK;
}

ResultCode host_path_resolve(std::string_view engine_path, std::string* host_path) {
    HostLocation location;
    ResultCode rc = host_path_locate(engine_path, &location);
    if (rc != RC_OK) return rc;
    *host_path = location.path;
    return RC_OK;
}

static std::string backslashed(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

std::string host_location_engine_path(const HostLocation& location) {
    std::string_view below = location.path;
    below.remove_prefix(std::min(location.root.size(), below.size()));
    while (!below.empty() && below[0] == '/') below.remove_prefix(1);
    std::string out{location.drive, ':', '\\'};
    return out + backslashed(below);
}

std::string host_path_to_engine(std::string_view host_path) {
    if (host_path.empty() || host_path[0] != '/') return backslashed(host_path);
    return "Z:" + backslashed(host_path);
}

std::string console_convert_argument(std::string_view word) {
    if (word.size() == 2 && (word[0] == '-' || word[0] == '/')) return std::string(word);
    if (word.size() > 2 && word[0] == '/') return "Z:" + backslashed(word);
    return backslashed(word);
}
