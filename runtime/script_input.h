// The input file a reader reads: opened from four path parts, read one
// character at a time with one character of push-back. A file shorter than
// 65534 bytes is read into memory whole; a longer one is read through a
// fixed buffer. The CR of every CR LF pair is dropped, as in text mode. A
// failed host read is kept as the input's failure, never taken for the end.
// Needs sys/paths, sys/files, sys/host_paths, sys/host_io and
// sys/drive_providers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sys/paths.h"
#include "sys/result_code.h"

// Files below this size are read into memory whole.
constexpr uint32_t INPUT_MEMORY_LIMIT = 65534;
// The buffer of a file read as a stream (one byte kept for push-back).
constexpr size_t INPUT_CHUNK = 16384;

struct ScriptInput {
    PathParts parts;     // the four parts the file was opened with
    std::string bytes;   // the whole text, or the stream's current chunk
    size_t position;     // next byte of `bytes` to deliver
    int fd;              // the host file of a stream; -1 in memory
    ResultCode failure;  // 0, or the code of the stream read that failed
    bool ended;          // a stream has delivered its last chunk
};

// Opens the file named by the four parts. Returns RC_OK with the input in
// *input; else *input is none and the answer is the open's code (RC_FILE_NOT_FOUND when
// the file is missing, RC_PERMISSION_DENIED without permission, and the other codes of
// host_error_code), RC_UNABLE_TO_READ for anything that is not a regular file (a
// directory, a FIFO, a socket, a device; a symbolic link to a regular file
// is fine), for a file of 4 GiB or more and when reading it fails with an
// input/output error (another failed read gives host_read_error_code's
// code), RC_OS_ERROR when memory runs out. A FIFO answers at once, never waiting for
// a writer. A file on a drive provider's drive answers the codes of
// file_size and file_read_all.
ResultCode input_open(ScriptInput** input, std::string_view directory,
                      std::string_view subdirectory, std::string_view base,
                      std::string_view extension);
// Closes the file and frees the input; RC_OK also for none.
ResultCode input_close(ScriptInput* input);

// Reads one character into *c: RC_OK when one was read, RC_END_OF_FILE at the end of the
// input (every time), the failure's code after a read error (every time:
// RC_UNABLE_TO_READ for an input/output error).
ResultCode input_read_slow(ScriptInput* input, char* c);
inline ResultCode input_read(ScriptInput* input, char* c) {
    // The common case: a byte in the buffer that is not a CR.
    if (input->position < input->bytes.size() && input->bytes[input->position] != '\r') {
        *c = input->bytes[input->position++];
        return RC_OK;
    }
    return input_read_slow(input, c);
}
// Takes back the character just read, so that the next read delivers it
// again: RC_OK, or RC_OS_ERROR at the start of the text (a stream keeps its current
// chunk and the one byte before it).
ResultCode input_unread(ScriptInput* input);

// RC_OK while every read of the input has succeeded; else the code of the read
// that failed (RC_UNABLE_TO_READ for an input/output error). RC_NO_OBJECT for none.
ResultCode input_failure(const ScriptInput* input);
