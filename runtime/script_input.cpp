// The reader's input file: whole in memory or through a fixed buffer.
#include "runtime/script_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <new>

#include "sys/files.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"

namespace {

// Drops the CR of every CR LF pair in place.
void drop_carriage_returns(std::string* text) {
    size_t kept = 0;
    for (size_t i = 0; i < text->size(); ++i) {
        char c = (*text)[i];
        if (c == '\r' && i + 1 < text->size() && (*text)[i + 1] == '\n') continue;
        (*text)[kept++] = c;
    }
    text->resize(kept);
}

ResultCode open_in_memory(ScriptInput* input, const std::string& path) {
    if (file_read_all(path, &input->bytes) != RC_OK) return RC_OS_ERROR;
    drop_carriage_returns(&input->bytes);
    return RC_OK;
}

ResultCode open_stream(ScriptInput* input, const std::string& path) {
    std::string host_path;
    if (host_path_resolve(path, &host_path) != RC_OK) return RC_OS_ERROR;
    input->fd = host_open(host_path.c_str(), O_RDONLY, 0);
    if (input->fd < 0) return RC_OS_ERROR;
    input->bytes.reserve(INPUT_CHUNK + 1);
    return RC_OK;
}

// Reads the next chunk of a stream behind the last byte of the previous
// one, which stays in front so that it can be pushed back.
void refill(ScriptInput* input) {
    std::string& bytes = input->bytes;
    size_t keep = bytes.empty() ? 0 : 1;
    if (keep) bytes[0] = bytes.back();
    bytes.resize(keep + INPUT_CHUNK);
    long count = host_read(input->fd, bytes.data() + keep, INPUT_CHUNK);
    if (count < 0) input->failed = true;
    if (count == 0) input->ended = true;
    bytes.resize(keep + (count > 0 ? size_t(count) : 0));
    input->position = keep;
}

bool at_buffer_end(ScriptInput* input) {
    if (input->position < input->bytes.size()) return false;
    if (input->fd < 0 || input->ended || input->failed) return true;
    refill(input);
    return input->position >= input->bytes.size();
}

}  // namespace

ResultCode input_open(ScriptInput** input, std::string_view directory,
                      std::string_view subdirectory, std::string_view base,
                      std::string_view extension) {
    if (!input) return RC_NO_OBJECT;
    *input = nullptr;
    std::string path = path_join(directory, subdirectory, base, extension);
    uint32_t size = 0;
    ResultCode rc = file_size(path, &size);
    if (rc != RC_OK) return rc;
    ScriptInput* made = new (std::nothrow) ScriptInput{
        PathParts{std::string(directory), std::string(subdirectory), std::string(base),
                  std::string(extension)},
        std::string(), 0, -1, false, false};
    if (!made) return RC_OS_ERROR;
    rc = size < INPUT_MEMORY_LIMIT ? open_in_memory(made, path) : open_stream(made, path);
    if (rc != RC_OK) {
        input_close(made);
        return rc;
    }
    *input = made;
    return RC_OK;
}

ResultCode input_close(ScriptInput* input) {
    if (!input) return RC_OK;
    bool close_failed = input->fd >= 0 && close(input->fd) != 0;
    delete input;
    return close_failed ? RC_OS_ERROR : RC_OK;
}

ResultCode input_read_slow(ScriptInput* input, char* c) {
    if (input->failed) return RC_OS_ERROR;
    if (at_buffer_end(input)) return input->failed ? RC_OS_ERROR : RC_END_OF_FILE;
    char next = input->bytes[input->position++];
    // In memory the pairs are already gone; a stream looks one byte ahead.
    if (next == '\r' && input->fd >= 0 && !at_buffer_end(input) &&
        input->bytes[input->position] == '\n') {
        next = '\n';
        ++input->position;
    }
    *c = next;
    return RC_OK;
}

ResultCode input_unread(ScriptInput* input) {
    if (!input || input->position == 0) return RC_OS_ERROR;
    --input->position;
    return RC_OK;
}
