// The output log: the caller-owned, line-oriented log through which the
// engine says everything it has to say. One pending line is built up; it
// reaches the reader only when it is ended, with CR LF, through `publish`.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "sys/result_code.h"

struct OutputLog {
    std::string pending;
    // Receives each ended line, CR LF included. May be empty (lines are dropped).
    std::function<void(const std::string& line)> publish;
};

// Each returns RC_OS_ERROR and does nothing when `log` is null, else RC_OK.
ResultCode log_indent(OutputLog* log);
ResultCode log_text(OutputLog* log, std::string_view text);
ResultCode log_int(OutputLog* log, int32_t number);
ResultCode log_unsigned(OutputLog* log, uint32_t number);
ResultCode log_end_line(OutputLog* log);

// Writes `depth` spaces.
void log_depth(OutputLog* log, int depth);
