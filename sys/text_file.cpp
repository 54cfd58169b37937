// The text-file writer: a buffer, a temporary file beside the target, and a
// rename over the target at the close.
#include "sys/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <new>
#include <vector>

#include "sys/drive_providers.h"
#include "sys/files.h"
#include "sys/host_io.h"
#include "sys/host_paths.h"

// How much text is gathered before it goes to the host.
constexpr size_t BUFFER_LIMIT = 65536;

struct TextFile {
    PathParts parts;
    std::string path;       // the joined engine path; empty for standard output
    std::string target;     // the host file that the text replaces
    std::string temporary;  // the host file being written; empty for standard output
    int fd = -1;
    bool standard_output = false;
    std::string buffer;
    bool memory = false;  // the text is only gathered, for text_file_contents
    ResultCode failure = RC_OK;
    bool delete_on_close = false;
    // A file on a drive provider's disk: the whole text is kept in `buffer`
    // and written to the disk at the close.
    const DriveProvider* provider = nullptr;
    void* provider_context = nullptr;
    std::string inner;
};

// The writer's code for a failed provider operation: RC_OK, RC_UNABLE_TO_WRITE, else RC_OS_ERROR.
static ResultCode write_failure_code_of(ResultCode rc) {
    return rc == RC_OK || rc == RC_UNABLE_TO_WRITE ? rc : RC_OS_ERROR;
}

// The host file to replace: the file a symbolic link points to, so that the
// link stays a link.
static std::string target_of(const std::string& host_path) {
    struct stat info;
    if (host_lstat(host_path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return host_path;
    char* real = realpath(host_path.c_str(), nullptr);
    if (!real) return host_path;
    std::string out = real;
    free(real);
    return out;
}

// The start of the names of the temporary files of `name`: a dot, the name
// (cut short enough to stay within the host's limit on a name) and ".~".
static std::string temporary_prefix(std::string_view name) {
    return "." + std::string(name.substr(0, 200)) + ".~";
}

bool text_file_is_temporary_name(std::string_view name, long* pid) {
    // ".NAME.~PID-COUNT"
    size_t mark = name.rfind(".~");
    if (name.size() < 2 || name[0] != '.' || mark == std::string_view::npos || mark < 2)
        return false;
    std::string_view tail = name.substr(mark + 2);
    size_t dash = tail.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == tail.size()) return false;
    long number = 0;
    for (size_t i = 0; i < tail.size(); ++i) {
        if (i == dash) continue;
        if (tail[i] < '0' || tail[i] > '9') return false;
        if (i < dash && number < 100000000) number = number * 10 + (tail[i] - '0');
    }
    if (pid) *pid = number;
    return true;
}

// Numbers the temporary files this process makes, on whichever thread.
static std::atomic<unsigned> temporary_counter{0};

std::string text_file_temporary_name(std::string_view name) {
    return temporary_prefix(name) + std::to_string(getpid()) + "-" +
           std::to_string(temporary_counter.fetch_add(1) + 1);
}

std::string text_file_temporary_path(std::string_view path) {
    PathParts parts = path_split(path);
    return path_join(parts.absolute, parts.relative,
                     text_file_temporary_name(path_join("", "", parts.base, parts.extension)), "");
}

// Removes the temporary files in the host directory `directory` (empty, or
// ending in "/") that processes no longer running left behind (a run that
// was killed while it wrote): those of `name`, or every one when `name` is
// empty.
static void stale_temporaries_remove(const std::string& directory, std::string_view name) {
    std::vector<std::string> names;
    if (host_directory_read(directory.empty() ? "." : directory, &names) != 0) return;
    std::string prefix = name.empty() ? std::string() : temporary_prefix(name);
    const long own = long(getpid());
    for (const std::string& entry : names) {
        long pid = 0;
        if (entry.compare(0, prefix.size(), prefix) != 0 ||
            !text_file_is_temporary_name(entry, &pid) || pid == own || host_process_alive(pid))
            continue;
        // Another run may have removed it first; either way it is gone.
        (void)host_unlink((directory + entry).c_str());
    }
}

void text_file_remove_stale_temporaries(std::string_view directory) {
    ProvidedPath on;
    std::string host;
    if (drive_provider_find(directory, &on) || host_path_resolve(directory, &host) != RC_OK ||
        host.empty())
        return;
    text_file_remove_stale_host_temporaries(host);
}

void text_file_remove_stale_host_temporaries(const std::string& host_directory) {
    if (host_directory.empty()) return;
    stale_temporaries_remove(host_directory.back() == '/' ? host_directory : host_directory + "/",
                             "");
}

// Creates a new, empty temporary file beside `target`, named after it.
// Returns the descriptor (or -1 with errno set) and the name in *temporary.
static int temporary_create(const std::string& target, std::string* temporary) {
    size_t slash = target.rfind('/');
    stale_temporaries_remove(target.substr(0, slash + 1),
                             std::string_view(target).substr(slash + 1));
    return text_file_temporary_beside(target, temporary, [](const char* path) {
        return host_open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    });
}

int text_file_temporary_beside(const std::string& target, std::string* temporary,
                               const std::function<int(const char*)>& make) {
    size_t slash = target.rfind('/');
    std::string directory = target.substr(0, slash + 1);
    std::string_view name = std::string_view(target).substr(slash + 1);
    // A name left by a process whose number has come round again is taken.
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary = directory + text_file_temporary_name(name);
        int answer = make(temporary->c_str());
        if (answer >= 0 || errno != EEXIST) return answer;
    }
    return -1;
}

// Copies the former contents of the target to the temporary file. A failed
// write is kept as the file's failure, for the close to answer; a failed
// read is the answer (RC_UNABLE_TO_READ for an input/output error), so that nothing is
// written from a former file that could not be read whole.
static ResultCode contents_copy(TextFile* file) {
    std::string former;
    ResultCode rc = file_read_all(file->path, &former);
    if (rc != RC_OK) return rc;
    int error = host_write_all(file->fd, former.data(), former.size());
    if (error != 0) file->failure = host_write_error_code(error);
    return RC_OK;
}

// Opens the temporary file of `file`, with the former file's permissions
// and, when appending, its contents.
static ResultCode file_prepare(TextFile* file, bool append) {
    struct stat former;
    bool has_former = host_stat(file->target.c_str(), &former) == 0;
    if (!has_former && errno != ENOENT) return host_error_code(errno);
    if (has_former && !S_ISREG(former.st_mode)) return RC_OS_ERROR;
    // A file marked read-only is not replaced behind its owner's back, even
    // where the directory would allow it.
    if (has_former && (former.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return RC_PERMISSION_DENIED;
    file->fd = temporary_create(file->target, &file->temporary);
    if (file->fd < 0) {
        // A read-only directory is RC_PERMISSION_DENIED, a read-only file
        // system or a full disk RC_UNABLE_TO_WRITE.
        ResultCode rc = host_write_error_code(errno);
        file->temporary.clear();
        return rc;
    }
    if (!has_former) return RC_OK;
    // The new file takes the former one's permissions and, where the host
    // allows it, its owner. Neither is a reason to refuse the write: only
    // the owner of a file (or root) may give it away, and some file systems
    // keep no permissions at all.
    (void)host_fchown(file->fd, former.st_uid, former.st_gid);
    (void)host_fchmod(file->fd, former.st_mode & 07777);
    return append ? contents_copy(file) : RC_OK;
}

static void file_discard(TextFile* file) {
    if (file->fd >= 0 && !file->standard_output) host_close(file->fd);
    if (!file->temporary.empty()) (void)host_unlink(file->temporary.c_str());
    delete file;
}

// Takes the former contents of a provider's file, when appending, into the buffer.
static ResultCode provided_prepare(TextFile* file, bool append) {
    if (!append) return RC_OK;
    ResultCode rc = file_read_all(file->path, &file->buffer);
    return rc == RC_FILE_NOT_FOUND ? RC_OK : rc;
}

// Whether the text fits on the disk in place of the former file, so that a
// full disk refuses the text before the former file is emptied.
static bool provided_text_fits(const TextFile* file) {
    uint32_t free_bytes = 0, cluster = 0;
    if (file->provider->space(file->provider_context, &free_bytes, &cluster) != RC_OK ||
        cluster == 0)
        return true;
    DriveEntry former;
    uint64_t available = free_bytes;
    if (file->provider->stat(file->provider_context, file->inner, &former) == RC_OK)
        available += (uint64_t(former.size) + cluster - 1) / cluster * cluster;
    return (uint64_t(file->buffer.size()) + cluster - 1) / cluster * cluster <= available;
}

// Writes the whole text of a provider's file in its place.
static ResultCode provided_publish(TextFile* file) {
    if (file->delete_on_close) {
        ResultCode rc = file->provider->remove(file->provider_context, file->inner);
        return rc == RC_FILE_NOT_FOUND ? RC_OK : rc;
    }
    if (file->failure != RC_OK) return file->failure;
    if (!provided_text_fits(file)) return RC_UNABLE_TO_WRITE;
    DriveFile* out = nullptr;
    ResultCode rc =
        file->provider->open(file->provider_context, file->inner, DRIVE_OPEN_WRITE, &out);
    if (rc != RC_OK) return write_failure_code_of(rc);
    rc = file->provider->write(out, file->buffer.data(), file->buffer.size());
    ResultCode closed = file->provider->close(out);
    return write_failure_code_of(rc != RC_OK ? rc : closed);
}

static ResultCode file_open(TextFile** file, const PathParts& parts, bool append) {
    *file = nullptr;
    TextFile* opened = new (std::nothrow) TextFile;
    if (!opened) return RC_NO_OBJECT;
    opened->parts = parts;
    opened->path = path_join(parts);
    if (opened->path.empty()) {
        opened->fd = STDOUT_FILENO;
        opened->standard_output = true;
        *file = opened;
        return RC_OK;
    }
    std::string host;
    ResultCode rc = RC_OK;
    if (drive_provider_find(opened->path, &opened->provider, &opened->provider_context,
                            &opened->inner)) {
        rc = provided_prepare(opened, append);
    } else if ((rc = host_path_resolve(opened->path, &host)) == RC_OK) {
        opened->target = target_of(host);
        rc = file_prepare(opened, append);
    } else if (rc != RC_INVALID_FILE_NAME) {
        rc = RC_OS_ERROR;
    }
    if (rc != RC_OK) {
        file_discard(opened);
        return rc;
    }
    *file = opened;
    return RC_OK;
}

ResultCode text_file_open_write(TextFile** file, std::string_view absolute,
                                std::string_view relative, std::string_view base,
                                std::string_view extension) {
    PathParts parts{std::string(absolute), std::string(relative), std::string(base),
                    std::string(extension)};
    return file_open(file, parts, false);
}

ResultCode text_file_open_append(TextFile** file, std::string_view absolute,
                                 std::string_view relative, std::string_view base,
                                 std::string_view extension) {
    PathParts parts{std::string(absolute), std::string(relative), std::string(base),
                    std::string(extension)};
    return file_open(file, parts, true);
}

// Hands the buffered text to the host; the first failure is kept.
// A text kept whole in `buffer` (gathered in memory, or for a drive
// provider's disk) is never flushed.
static bool gathers_whole(const TextFile* file) {
    return file->provider || file->memory;
}

static void buffer_flush(TextFile* file) {
    if (gathers_whole(file)) return;
    if (file->failure == RC_OK && !file->buffer.empty()) {
        int error = host_write_all(file->fd, file->buffer.data(), file->buffer.size());
        if (error != 0) file->failure = host_write_error_code(error);
    }
    file->buffer.clear();
}

static void buffer_flush_when_full(TextFile* file) {
    if (file->buffer.size() >= BUFFER_LIMIT && !gathers_whole(file)) buffer_flush(file);
}

// The next line feed at or after `start`, or npos. A short rest, as a
// table's field is, is searched in place rather than through a library call.
static inline size_t line_feed_at(std::string_view text, size_t start) {
    if (text.size() - start > 32) return text.find('\n', start);
    for (size_t i = start; i < text.size(); ++i)
        if (text[i] == '\n') return i;
    return std::string_view::npos;
}

ResultCode text_file_write_text(TextFile* file, std::string_view text) {
    if (!file) return RC_OS_ERROR;
    // Whole runs between line feeds are appended at once.
    for (size_t start = 0; start < text.size();) {
        size_t feed = line_feed_at(text, start);
        if (feed == std::string_view::npos) {
            file->buffer.append(text.substr(start));
            break;
        }
        file->buffer.append(text.substr(start, feed - start));
        file->buffer += "\r\n";
        start = feed + 1;
    }
    buffer_flush_when_full(file);
    return file->failure;
}

ResultCode text_file_write_bytes(TextFile* file, std::string_view bytes) {
    if (!file) return RC_OS_ERROR;
    // A long run goes to the host file as it stands, not through the buffer.
    if (bytes.size() >= BUFFER_LIMIT && file->fd >= 0 && !file->provider && !file->memory) {
        buffer_flush(file);
        if (file->failure == RC_OK) {
            int error = host_write_all(file->fd, bytes.data(), bytes.size());
            if (error != 0) file->failure = host_write_error_code(error);
        }
        return file->failure;
    }
    file->buffer += bytes;
    buffer_flush_when_full(file);
    return file->failure;
}

ResultCode text_file_write_char(TextFile* file, char c) {
    return text_file_write_text(file, std::string_view(&c, 1));
}

ResultCode text_file_write_line_end(TextFile* file) {
    return text_file_write_text(file, "\n");
}

ResultCode text_file_write_space(TextFile* file) {
    return text_file_write_text(file, " ");
}

ResultCode text_file_write_u32(TextFile* file, uint32_t value) {
    char digits[16];
    std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    return text_file_write_text(file, std::string_view(digits, size_t(end.ptr - digits)));
}

ResultCode text_file_write_u16(TextFile* file, uint16_t value) {
    return text_file_write_u32(file, value);
}

ResultCode text_file_write_padded(TextFile* file, std::string_view text, size_t width) {
    ResultCode rc = text_file_write_text(file, text);
    if (rc == RC_OK && text.size() < width) file->buffer.append(width - text.size(), ' ');
    return rc == RC_OK ? file->failure : rc;
}

const PathParts& text_file_parts(const TextFile* file) {
    static const PathParts none;
    return file ? file->parts : none;
}

const std::string& text_file_path(const TextFile* file) {
    static const std::string none;
    return file ? file->path : none;
}

void text_file_set_delete_on_close(TextFile* file, bool delete_on_close) {
    if (file) file->delete_on_close = delete_on_close;
}

// Makes the written text durable and puts it in the target's place.
static ResultCode file_publish(TextFile* file) {
    if (host_fsync(file->fd) != 0) return host_write_error_code(errno);
    int fd = file->fd;
    file->fd = -1;
    if (host_close(fd) != 0) return host_write_error_code(errno);
    if (host_rename(file->temporary.c_str(), file->target.c_str()) != 0)
        return host_write_error_code(errno);
    file->temporary.clear();
    return RC_OK;
}

ResultCode text_file_close(TextFile* file) {
    if (!file) return RC_OS_ERROR;
    buffer_flush(file);
    ResultCode rc = file->failure;
    if (file->standard_output || file->memory) {  // never closed
        file_discard(file);
        return rc;
    }
    if (file->provider) {
        rc = provided_publish(file);
        file_discard(file);
        return rc;
    }
    if (file->delete_on_close) {
        if (host_unlink(file->target.c_str()) != 0 && errno != ENOENT)
            rc = host_error_code(errno);
        else
            rc = RC_OK;
    } else if (rc == RC_OK) {
        rc = file_publish(file);
    }
    file_discard(file);
    return rc;
}

ResultCode text_file_write_whole(const PathParts& parts,
                                 const std::function<ResultCode(TextFile*)>& write) {
    TextFile* file = nullptr;
    ResultCode rc = file_open(&file, parts, false);
    if (rc != RC_OK) return rc;
    rc = write(file);
    ResultCode closed = text_file_close(file);
    return rc != RC_OK ? rc : closed;
}

ResultCode text_file_open_memory(TextFile** file) {
    *file = nullptr;
    TextFile* opened = new (std::nothrow) TextFile;
    if (!opened) return RC_NO_OBJECT;
    opened->memory = true;
    *file = opened;
    return RC_OK;
}

void text_file_reserve(TextFile* file, size_t bytes) {
    if (file && file->memory) file->buffer.reserve(file->buffer.size() + bytes);
}

const std::string& text_file_contents(const TextFile* file) {
    static const std::string none;
    return file && file->memory ? file->buffer : none;
}

ResultCode text_file_render(const std::function<ResultCode(TextFile*)>& write, std::string* bytes) {
    TextFile* file = nullptr;
    ResultCode rc = text_file_open_memory(&file);
    if (rc != RC_OK) return rc;
    rc = write(file);
    if (rc == RC_OK) *bytes = std::move(file->buffer);
    text_file_close(file);
    return rc;
}

ResultCode text_file_replace(const PathParts& parts, std::string_view bytes, bool keep_old,
                             bool* rewritten) {
    if (rewritten) *rewritten = false;
    std::string path = path_join(parts);
    bool same = false;
    ResultCode rc = file_holds(path, bytes, &same);
    if (rc == RC_OK && same) return RC_OK;
    // A former file that cannot be read whole is neither replaced nor kept.
    if (rc != RC_OK && rc != RC_FILE_NOT_FOUND) return rc;
    bool had_former = rc == RC_OK;
    TextFile* file = nullptr;
    rc = file_open(&file, parts, false);
    if (rc != RC_OK) return rc;
    // The new text is written out before the back-up is made, so that a
    // file that may not be written, or a disk that is full, leaves an
    // earlier back-up as it was.
    text_file_write_bytes(file, bytes);
    buffer_flush(file);
    rc = file->failure;
    if (rc == RC_OK && had_former && keep_old) rc = file_keep_old_copy(parts);
    if (rc != RC_OK) {
        file_discard(file);
        return rc;
    }
    rc = text_file_close(file);
    if (rc == RC_OK && rewritten) *rewritten = true;
    return rc;
}
