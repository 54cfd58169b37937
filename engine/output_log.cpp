// The output log: pending line, publication of ended lines.
#include "engine/output_log.h"

ResultCode log_indent(OutputLog* log) {
    if (!log) return RC_OS_ERROR;
    log->pending += ' ';
    return RC_OK;
}

ResultCode log_text(OutputLog* log, std::string_view text) {
    if (!log) return RC_OS_ERROR;
    log->pending += text;
    return RC_OK;
}

ResultCode log_int(OutputLog* log, int32_t number) {
    if (!log) return RC_OS_ERROR;
    log->pending += std::to_string(number);
    return RC_OK;
}

ResultCode log_unsigned(OutputLog* log, uint32_t number) {
    if (!log) return RC_OS_ERROR;
    log->pending += std::to_string(number);
    return RC_OK;
}

ResultCode log_end_line(OutputLog* log) {
    if (!log) return RC_OS_ERROR;
    log->pending += "\r\n";
    std::string line;
    line.swap(log->pending);
    if (log->publish) log->publish(line);
    return RC_OK;
}

void log_depth(OutputLog* log, int depth) {
    for (int i = 0; i < depth; ++i) log_indent(log);
}
