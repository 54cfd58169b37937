// Shared by the FAT volume tests: running the Debian disk tools (mtools and
// dosfstools) on an image, and small helpers that write and read whole
// files through the volume module.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "media/fat_volume.h"

// Output and exit status of a shell command (standard error folded in).
struct ToolRun {
    int status = -1;
    std::string output;
};

// Runs `command` with MTOOLS_SKIP_CHECK=1 set; a missing tool shows as a
// failed run, and require_tool makes the calling test fail with its name.
ToolRun run_tool(const std::string& command);
void require_tool(const char* name);

// `mdir -i image ::path` and `mtype -i image ::path`.
ToolRun mdir(const std::string& image, const std::string& path = "");
std::string mtype(const std::string& image, const std::string& path);
// `fsck.fat -n image`; status 0 means no error was found.
ToolRun fsck(const std::string& image);

// Writes `bytes` to `path` in one call per 49152 bytes; returns the first
// failure (RC_OK when all went well). Reads a whole file back.
ResultCode put_file(FatVolume* volume, std::string_view path, const std::string& bytes);
std::string get_file(FatVolume* volume, std::string_view path);

// Bytes of a recognisable pattern, different for each seed.
std::string pattern_bytes(size_t size, unsigned seed);

// The names in a host folder in listing order, each followed by "|".
std::string folder_names(const std::string& folder);

// Compares two byte strings, such as whole files, without printing them: on a
// mismatch it gives both sizes and the offset of the first differing byte.
inline ::testing::AssertionResult same_bytes(const char* actual_expr, const char* expected_expr,
                                             const std::string& actual,
                                             const std::string& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    size_t common = std::min(actual.size(), expected.size());
    size_t at =
        size_t(std::mismatch(actual.begin(), actual.begin() + common, expected.begin()).first -
               actual.begin());
    return ::testing::AssertionFailure()
           << actual_expr << " and " << expected_expr << " differ: sizes " << actual.size()
           << " and " << expected.size() << ", first difference at byte " << at;
}
#define EXPECT_SAME_BYTES(actual, expected) EXPECT_PRED_FORMAT2(same_bytes, actual, expected)
