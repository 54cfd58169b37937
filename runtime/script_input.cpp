// The reader's input file: whole in memory or through a fixed buffer.
#include "runtime/script_input.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cassert>
#include <cerrno>
#include <new>

#include "sys/drive_providers.h"
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

// A file on a provider's drive has no host descriptor: it is read whole
// through the file services, whatever its size.
ResultCode open_provided(ScriptInput* input, const std::string& path) {
    uint32_t size = 0;
    ResultCode rc = file_size(path, &size);
    if (rc == RC_OK) rc = file_read_all(path, &input->bytes);
    if (rc != RC_OK) return rc;
    drop_carriage_returns(&input->bytes);
    return RC_OK;
}

// Reads all `size` bytes of the open host file into the input; a file that
// ends early gives the bytes it had.
ResultCode read_whole(ScriptInput* input, int fd, size_t size) {
    std::string& bytes = input->bytes;
    bytes.resize(size);
    size_t got = 0;
    while (got < size) {
        long count = host_read(fd, bytes.data() + got, size - got);
        if (count < 0) return host_read_error_code(errno);
        if (count == 0) break;
        got += size_t(count);
    }
    bytes.resize(got);
    drop_carriage_returns(&bytes);
    return RC_OK;
}

// Opens a host file once, without waiting (a FIFO would block in open until
// a writer came), and takes it only when it is a regular file below 4 GiB:
// a small one is read whole from the descriptor, a larger one keeps the
// descriptor to be streamed.
ResultCode open_host(ScriptInput* input, const std::string& path) {
    std::string host_path;
    ResultCode rc = host_path_resolve(path, &host_path);
    if (rc != RC_OK) return rc;
    int fd = -1;
    struct stat info;
    rc = host_open_regular(host_path.c_str(), &fd, &info);
    // A directory, like any other file that is not a regular one, is no
    // table that can be read.
    if (rc != RC_OK) return rc == RC_OS_ERROR ? RC_UNABLE_TO_READ : rc;
    if (uint64_t(info.st_size) > UINT32_MAX) {
        rc = RC_UNABLE_TO_READ;
    } else if (uint64_t(info.st_size) < INPUT_MEMORY_LIMIT) {
        rc = read_whole(input, fd, size_t(info.st_size));
    } else {
        input->fd = fd;
        input->bytes.reserve(INPUT_CHUNK + 1);
        return RC_OK;
    }
    host_close(fd);
    return rc;
}

// Reads the next chunk of a stream behind the last byte of the previous
// one, which stays in front so that it can be pushed back.
void refill(ScriptInput* input) {
    std::string& bytes = input->bytes;
    size_t keep = bytes.empty() ? 0 : 1;
    if (keep) bytes[0] = bytes.back();
    bytes.resize(keep + INPUT_CHUNK);
    long count = host_read(input->fd, bytes.data() + keep, INPUT_CHUNK);
    if (count < 0) input->failure = host_read_error_code(errno);
    if (count == 0) input->ended = true;
    bytes.resize(keep + (count > 0 ? size_t(count) : 0));
    input->position = keep;
}

bool at_buffer_end(ScriptInput* input) {
    if (input->position < input->bytes.size()) return false;
    if (input->fd < 0 || input->ended || input->failure != RC_OK) return true;
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
    ScriptInput* made =
        new (std::nothrow) ScriptInput{PathParts{std::string(directory), std::string(subdirectory),
                                                 std::string(base), std::string(extension)},
                                       std::string(),
                                       0,
                                       -1,
                                       RC_OK,
                                       false};
    if (!made) return RC_OS_ERROR;
    ProvidedPath on;
    ResultCode rc =
        drive_provider_find(path, &on) ? open_provided(made, path) : open_host(made, path);
    if (rc != RC_OK) {
        input_close(made);
        return rc;
    }
    assert(made->failure == RC_OK);
    *input = made;
    return RC_OK;
}

ResultCode input_close(ScriptInput* input) {
    if (!input) return RC_OK;
    bool close_failed = input->fd >= 0 && host_close(input->fd) != 0;
    delete input;
    return close_failed ? RC_OS_ERROR : RC_OK;
}

ResultCode input_read_slow(ScriptInput* input, char* c) {
    if (input->failure != RC_OK) return input->failure;
    if (at_buffer_end(input)) return input->failure != RC_OK ? input->failure : RC_END_OF_FILE;
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
    // After a failure nothing is delivered again, not even a pushed-back byte.
    if (input->failure != RC_OK) return input->failure;
    --input->position;
    return RC_OK;
}

ResultCode input_failure(const ScriptInput* input) {
    return input ? input->failure : RC_NO_OBJECT;
}
