// Binary files on the host.
#include "sys/binary_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "sys/host_io.h"
#include "sys/host_paths.h"

struct BinaryFile {
    int fd = -1;
};

ResultCode binary_file_open(BinaryFile** file, std::string_view path, BinaryMode mode) {
    if (!file) return RC_NO_OBJECT;
    *file = nullptr;
    std::string host;
    ResultCode rc = host_path_resolve(path, &host);
    if (rc != RC_OK) return rc;
    int flags = mode == BINARY_READ ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
    int fd = host_open(host.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) return host_error_code(errno);
    *file = new BinaryFile{fd};
    return RC_OK;
}

ResultCode binary_file_read(BinaryFile* file, void* buffer, size_t size, size_t* got) {
    if (!file || !got) return RC_NO_OBJECT;
    *got = 0;
    long n = host_read(file->fd, static_cast<char*>(buffer), size);
    if (n < 0) return RC_UNABLE_TO_READ;
    *got = size_t(n);
    return RC_OK;
}

ResultCode binary_file_write(BinaryFile* file, const void* buffer, size_t size) {
    if (!file) return RC_NO_OBJECT;
    int error = host_write_all(file->fd, static_cast<const char*>(buffer), size);
    if (error == 0) return RC_OK;
    ResultCode rc = host_write_error_code(error);
    return rc == RC_UNABLE_TO_WRITE ? rc : RC_OS_ERROR;
}

ResultCode binary_file_close(BinaryFile* file) {
    if (!file) return RC_NO_OBJECT;
    int result = close(file->fd);
    int error = errno;
    delete file;
    return result == 0 ? RC_OK : host_write_error_code(error);
}
