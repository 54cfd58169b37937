// The message table and report lines.
#include "engine/messages.h"

namespace {

struct Message {
    int32_t code;
    const char* text;
};

// Code 24, which has no name, and RC_MAP_FILE_SIZE_CHANGED have no words of their own on purpose.
constexpr Message MESSAGES[] = {
    {RC_TEXT_TOO_LONG, "Text Too Long"},
    {RC_USER_CANCELLED, "User Cancelled"},
    {RC_UNABLE_TO_READ, "Unable To Read"},
    {RC_UNABLE_TO_WRITE, "Unable to Write"},
    {RC_FILE_NOT_FOUND, "File Not Found"},
    {RC_INVALID_FILE_NAME, "Invalid File Name"},
    {RC_WRITE_PROTECTED, "Write Protected"},
    {RC_DEVICE_NOT_READY, "Device Not Ready"},
    {RC_PERMISSION_DENIED, "Permission Denied"},
    {RC_DISK_FULL, "Disk Full"},
    {RC_OS_ERROR, "Operating System Error"},
    {RC_SHARING_VIOLATION, "Sharing Violation"},
    {RC_UNABLE_TO_PARSE, "Unable to Parse"},
    {RC_EMPTY, "Empty"},
    {RC_INVALID_SLOP_SIZE, "Invalid Slop Size. Using default size of 0"},
    {RC_INVALID_MEDIA_SIZE, "Invalid Media Size."},
    {RC_INVALID_SPLIT_SIZE, "Invalid Split Size. Using default size of 0"},
    {RC_NO_SPACE_WITH_SPLIT_SIZE, "Insufficient Space with this Split Size"},
    {RC_NO_SPACE_WITHOUT_SPLITTING, "Insufficient Space Without File Splitting"},
    {RC_TOO_MANY_SEGMENTS, "File has too many split file segments"},
    {RC_NO_VOLUME_LABEL, "No Volume Label Specified"},
    {RC_ILLEGAL_NLS_CALL, "Illegal nls() Call"},
    {RC_DEPENDENT_PRODUCT_ERROR, "Dependent Product Error"},
    {RC_INVALID_THRESHOLD_SIZE, "Invalid Threshold Compress Size. Using default size"},
    {RC_UNKNOWN_PRODUCT_NAME, "Unknown Product Name"},
    {RC_WARN_PRD_INCLUDED, "WARNING: Should not include PRD file"},
    {RC_WARN_ENGINE_OUT_OF_DATE,
     "WARNING: Version of Diskward appears to be out of date with respect to PRD"},
    {RC_WARN_INSTALLER_OUT_OF_DATE,
     "WARNING: Version of Installer appears to be out of date with respect to Diskward"},
    {RC_NO_DISKWARD_SUBDIR, "Cannot create Diskward subdirectory"},
    {RC_INVALID_TARGET_LOCATION, "Invalid target location relative to source"},
    {RC_SIZE_TOO_LARGE, "Size Does Not Fit 32 Bits"},
    {RC_INVALID_VOLUME_LABEL, "Invalid Volume Label"},
    {RC_TARGET_NOT_A_DIRECTORY, "Target is not a directory"},
};

}  // namespace

std::string_view engine_message(int32_t code) {
    for (const Message& m : MESSAGES)
        if (m.code == code) return m.text;
    return "Unexpected Error";
}

void engine_report_text(OutputLog* log, int depth, std::string_view path, std::string_view message,
                        int32_t line) {
    log_depth(log, depth);
    log_text(log, path);
    log_text(log, ": ");
    for (size_t start = 0;;) {
        size_t feed = message.find('\n', start);
        log_text(log, message.substr(start, feed - start));
        if (feed == std::string_view::npos) break;
        log_end_line(log);
        log_depth(log, depth + int(path.size()) + 2);
        start = feed + 1;
    }
    if (line < NO_LINE) {
        log_text(log, " on line ");
        log_int(log, line);
    }
    log_end_line(log);
}

void engine_report(OutputLog* log, std::string_view absolute, std::string_view relative,
                   std::string_view base, std::string_view extension, int32_t line, int depth,
                   int32_t code) {
    engine_report_text(log, depth, path_join(absolute, relative, base, extension),
                       engine_message(code), line);
}

void engine_report(OutputLog* log, const PathParts& parts, int32_t line, int depth, int32_t code) {
    engine_report(log, parts.absolute, parts.relative, parts.base, parts.extension, line, depth,
                  code);
}

void engine_report_note(OutputLog* log, int depth, std::string_view path, std::string_view note) {
    log_depth(log, depth);
    log_text(log, path);
    if (!note.empty()) {
        log_text(log, " ");
        log_text(log, note);
    }
    log_end_line(log);
}

void engine_report_size_change(OutputLog* log, int depth, std::string_view path, uint32_t old_size,
                               uint32_t new_size) {
    log_depth(log, depth);
    log_text(log, path);
    log_text(log, " ");
    log_unsigned(log, old_size);
    log_text(log, " --> ");
    log_unsigned(log, new_size);
    log_end_line(log);
}
