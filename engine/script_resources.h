// Installer scripts and the language resource file: the nls() texts of a
// product's script files, collected per set of scripts that share a base
// name, written to the set's ".prn" file in the product's working
// subdirectory when a script is newer than it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/run_context.h"
#include "sys/paths.h"

struct NlsPair {
    std::string key;
    std::string text;  // backslashes doubled
};

// Handles the product's script sets in order; stops at the first failure,
// which has been reported under the file it concerns.
ResultCode write_script_resources(RunContext* run, Value product,
                                  std::string_view product_directory, int depth);

// The base names of the resource files that the product's script sets
// write (B.prn in its working subdirectory), in set order, each once.
std::vector<std::string> script_resource_bases(RunContext* run, Value product);

// Collects the nls() pairs of one script file into `pairs` (first key wins)
// and raises `width` to the longest key. Failures are reported under the
// script file: the open's code when it cannot be opened (RC_FILE_NOT_FOUND when it is
// missing, RC_PERMISSION_DENIED without permission, RC_UNABLE_TO_READ when it cannot be read), the
// read's code (RC_UNABLE_TO_READ) when it cannot be read whole, RC_TEXT_TOO_LONG ("Text Too Long")
// when a text grows beyond 2048 characters.
ResultCode collect_nls_strings(RunContext* run, std::string_view directory, std::string_view base,
                               std::string_view extension, std::vector<NlsPair>* pairs,
                               size_t* width, int depth);

// The length the installer counts for a text: "\\" and "\n" count as one.
size_t nls_text_length(std::string_view text);

// Writes the resource file's lines to the file named by `out`.
ResultCode write_resource_file(const PathParts& out, std::string_view title,
                               const std::vector<NlsPair>& pairs, size_t width);
