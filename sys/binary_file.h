// Binary files: byte streams for the copies of staging files (plain,
// compressed or split), read and written in chunks with no translation.
// Written directly, so a copy that stops leaves what it wrote; the copy
// deletes a failed piece itself.
#pragma once

#include <cstddef>
#include <string_view>

#include "sys/result_code.h"

struct BinaryFile;

enum BinaryMode {
    BINARY_READ,     // an existing file from its start
    BINARY_WRITE,    // created, or emptied when it exists
    BINARY_APPEND,   // created, or written on after its last byte
    BINARY_REPLACE,  // created afresh: a file already there (read-only, or a
                     // link) is removed first, so it is replaced, never
                     // written through
};

// Opens the file at the engine path `path`. RC_OK; RC_FILE_NOT_FOUND when a file to read is
// missing; RC_UNABLE_TO_READ when a file to read is a FIFO, socket or device (never waited
// on) or cannot be read, RC_OS_ERROR when it is a directory; RC_PERMISSION_DENIED without
// permission; RC_INVALID_FILE_NAME for a path over 260 characters; the host error's code otherwise.
ResultCode binary_file_open(BinaryFile** file, std::string_view path, BinaryMode mode);
// Makes a file without a name in the directory of the engine path `place`,
// open for writing, which binary_file_place gives `place`'s name once it is
// whole: until then a file of that name stays as it was, and a copy that
// fails (or a run that is killed) leaves nothing behind. RC_OK with *file;
// RC_OK with *file nullptr where no such file can be made (a drive
// provider's disk, a file system or kernel that makes none); else the codes
// of binary_file_open.
ResultCode binary_file_make_unnamed(BinaryFile** file, std::string_view place);
// Gives the unnamed file its name, spelled as it was looked up (without
// regard to case) when the file was made, replacing a file of that name
// (through a temporary name beside it, so that the name never stands for a
// part of a file). The file stays open. RC_OK, or the host error's code.
ResultCode binary_file_place(BinaryFile* file);
// Reads up to `size` bytes; *got is 0 at the end of the file. RC_OK or RC_UNABLE_TO_READ.
ResultCode binary_file_read(BinaryFile* file, void* buffer, size_t size, size_t* got);
// Writes all `size` bytes. RC_OK, or RC_UNABLE_TO_WRITE when the disk is full or fails, RC_OS_ERROR
// otherwise.
ResultCode binary_file_write(BinaryFile* file, const void* buffer, size_t size);
// Copies up to `size` bytes from `from` to `to`, each at its current
// position, without passing them through the caller: *moved is 0 at the end
// of `from`. False when it cannot be done so (a drive provider's file, a
// file system or mode that does not allow it, an armed test failure, or a
// failure of the host): the caller then reads and writes the bytes itself,
// which reports any failure in the usual way.
bool binary_file_copy_range(BinaryFile* from, BinaryFile* to, size_t size, size_t* moved);
// Gives the open file `to` the access and modification times of the open
// file `from` (a host file opened for reading: those it had when opened). RC_OK; RC_OS_ERROR when
// either is a drive provider's file (its times are then set by path); the host error's code.
ResultCode binary_file_copy_times(BinaryFile* from, BinaryFile* to);
// Closes the file and frees the handle; the failure of the close, if any.
ResultCode binary_file_close(BinaryFile* file);
