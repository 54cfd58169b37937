// The message table that turns a result code into words, and the one
// layout of a report line (`engine_report`): indentation, path, ": ",
// message and, where a line is known, " on line " and its number.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/output_log.h"
#include "sys/paths.h"
#include "sys/result_code.h"

// The note of an entry that is neither a file nor a directory (a FIFO, a
// socket, a device): it is never opened, as a read could wait on it for ever.
constexpr const char* NOT_REGULAR_FILE_NOTE = "Not a regular file";

// The message of `code`; "Unexpected Error" for every code without one.
std::string_view engine_message(int32_t code);

// A line of the check's own: indentation, the path and, when given, one
// space and a note ("Missing", "Superfluous", ...).
void engine_report_note(OutputLog* log, int depth, std::string_view path,
                        std::string_view note = {});
// A corrected size: indentation, the path, the old size, " --> ", the new.
void engine_report_size_change(OutputLog* log, int depth, std::string_view path, uint32_t old_size,
                               uint32_t new_size);

// Writes one report line: `depth` spaces, the path, ": ", the message and,
// when `line` is not NO_LINE, " on line " and its number. The lines of a
// message of several lines (parted by "\n") after the first stand under
// it: indented by the depth plus the path's length plus 2.
void engine_report_text(OutputLog* log, int depth, std::string_view path, std::string_view message,
                        int32_t line = NO_LINE);

// The same for a result code, with the path in four parts; the message is
// the code's. `line` of NO_LINE names no line.
void engine_report(OutputLog* log, std::string_view absolute, std::string_view relative,
                   std::string_view base, std::string_view extension, int32_t line, int depth,
                   int32_t code);
void engine_report(OutputLog* log, const PathParts& parts, int32_t line, int depth, int32_t code);
