// Tool runs and whole-file helpers for the FAT volume tests.
#include "media/fat_test_tools.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "media/fat_file.h"
#include "sys/host_paths.h"

ToolRun run_tool(const std::string& command) {
    setenv("MTOOLS_SKIP_CHECK", "1", 1);
    ToolRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

void require_tool(const char* name) {
    ToolRun run = run_tool(std::string("command -v ") + name);
    ASSERT_EQ(run.status, 0)
        << name << " is not installed; run scripts/setup (packages mtools, dosfstools)";
}

ToolRun mdir(const std::string& image, const std::string& path) {
    return run_tool("mdir -i '" + image + "' '::" + path + "'");
}

std::string mtype(const std::string& image, const std::string& path) {
    return run_tool("mtype -i '" + image + "' '::" + path + "'").output;
}

ToolRun fsck(const std::string& image) {
    return run_tool("fsck.fat -n '" + image + "'");
}

ResultCode put_file(FatVolume* volume, std::string_view path, const std::string& bytes) {
    FatFile file;
    ResultCode rc = fat_file_open(volume, path, FAT_OPEN_WRITE, &file);
    if (rc != RC_OK) return rc;
    for (size_t at = 0; at < bytes.size() && rc == RC_OK; at += 49152) {
        size_t written = 0;
        size_t chunk = std::min<size_t>(49152, bytes.size() - at);
        rc = fat_file_write(&file, bytes.data() + at, chunk, &written);
    }
    ResultCode closed = fat_file_close(&file);
    return rc != RC_OK ? rc : closed;
}

std::string get_file(FatVolume* volume, std::string_view path) {
    FatFile file;
    std::string bytes;
    if (fat_file_open(volume, path, FAT_OPEN_READ, &file) != RC_OK) return "<cannot open>";
    char buffer[49152];
    size_t got = 0;
    while (fat_file_read(&file, buffer, sizeof buffer, &got) == RC_OK && got > 0)
        bytes.append(buffer, got);
    fat_file_close(&file);
    return bytes;
}

std::string pattern_bytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 16);
    }
    return bytes;
}

std::string folder_names(const std::string& folder) {
    std::vector<std::string> names;
    host_directory_read(folder, &names);
    std::string out;
    for (const std::string& name : names) out += name + "|";
    return out;
}
