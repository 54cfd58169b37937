// Helpers shared by the tests.
#include "support/test_support.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "diskward-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    path_ = made;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make everything writable again so that read-only test files go too.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void write_host_file(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string read_host_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool host_exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string engine_path(const std::string& host_path) {
    std::string out = "Z:";
    for (char c : host_path) out += (c == '/') ? '\\' : c;
    return out;
}

int bound_socket(const std::string& path) {
    struct sockaddr_un address = {};
    if (path.size() >= sizeof address.sun_path) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string demo_noise(size_t n, unsigned seed) {
    std::string bytes;
    for (unsigned x = seed; bytes.size() < n;) {
        x = (x * 75 + 74) % 65537;
        bytes += char(x % 256);
    }
    return bytes;
}

std::string demo_lines(size_t n, const std::string& word) {
    std::string text;
    for (int i = 1; text.size() < n; ++i) text += word + " " + std::to_string(i) + " of the kit\n";
    return text.substr(0, n);
}

void sample_kit_copy(const std::string& to) {
    std::filesystem::remove_all(to);
    std::filesystem::copy(std::string(DISKWARD_SOURCE_DIR) + "/examples/kit", to,
                          std::filesystem::copy_options::recursive);
    write_host_file(to + "/install/setup.exe", demo_noise(23456, 1));
    write_host_file(to + "/apps/core/core.dll", demo_lines(81920, "core entry"));
    write_host_file(to + "/apps/core/help/core.hlp", demo_noise(15000, 2));
    write_host_file(to + "/apps/tools/tools.exe", demo_lines(40000, "tool"));
    write_host_file(to + "/apps/tools/tools.cab", demo_noise(600000, 3));
    write_host_file(to + "/docs/guide.txt", demo_lines(12596, "guide"));
}
