// Helpers shared by the tests: a temporary folder that removes itself, and
// small file utilities for building staging areas and comparing results.
#pragma once

#include <string>
#include <vector>

// True in a build under the address or thread sanitizer, whose checks make
// every call several times slower: tests leave their timing bounds out
// there and keep the rest.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder's host path, without a trailing slash.
    const std::string& path() const { return path_; }
    // The host path of `relative` inside the folder.
    std::string at(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

// Writes `bytes` to the host file `path`, creating parent folders.
void write_host_file(const std::string& path, const std::string& bytes);
// Reads the host file `path` whole; empty when it cannot be read.
std::string read_host_file(const std::string& path);
// True when the host path exists.
bool host_exists(const std::string& path);
// The names in host folder `folder`, sorted.
std::vector<std::string> names_in(const std::string& folder);
// The engine's form of a host absolute path: "/a/b" becomes "Z:\a\b".
std::string engine_path(const std::string& host_path);
// Bytes that do not compress, and text that does, as scripts/demo makes
// the sample kit's larger files: `n` bytes each.
std::string demo_noise(size_t n, unsigned seed);
std::string demo_lines(size_t n, const std::string& word);
// A fresh copy of the sample kit at host path `to`, with the larger files
// the repository leaves out made as the demo makes them.
void sample_kit_copy(const std::string& to);

// A Unix socket bound at the host path `path` (no one ever connects): its
// descriptor, for the caller to close, or -1 when it cannot be made.
int bound_socket(const std::string& path);
