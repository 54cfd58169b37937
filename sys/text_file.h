// The text-file writer: text mode (line feed becomes CR LF), written to a
// temporary file that replaces the target only after every write succeeded.
// A file on a drive provider's disk is written there at the close. Also a
// writer into memory, and the replacing of a file only when its bytes change.
// Needs sys/paths, sys/host_paths, sys/host_io, sys/drive_providers and
// sys/files; owns its handles.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "sys/paths.h"
#include "sys/result_code.h"

struct TextFile;

// Opens the file named by the four parts for writing (its former contents
// are replaced when it is closed) and hands the handle out in *file. An empty
// joined path writes to standard output. Returns RC_OK; RC_INVALID_FILE_NAME for a path over 260
// characters; RC_PERMISSION_DENIED when the file is marked read-only or its directory may not
// be written; RC_UNABLE_TO_WRITE on a read-only file system or a full disk; RC_NO_OBJECT when
// memory runs out; the host error's code otherwise.
ResultCode text_file_open_write(TextFile** file, std::string_view absolute,
                                std::string_view relative, std::string_view base,
                                std::string_view extension);
// The same, keeping the former contents and writing after them.
ResultCode text_file_open_append(TextFile** file, std::string_view absolute,
                                 std::string_view relative, std::string_view base,
                                 std::string_view extension);

// The writes. Each returns RC_OK; RC_OS_ERROR without a handle; after a failed write, the
// failure's code (RC_UNABLE_TO_WRITE for no space or a failing disk, else the host error's). Writes
// are buffered, so a failure may show only at a later write or at the close.
ResultCode text_file_write_char(TextFile* file, char c);
ResultCode text_file_write_line_end(TextFile* file);
ResultCode text_file_write_space(TextFile* file);
ResultCode text_file_write_text(TextFile* file, std::string_view text);
ResultCode text_file_write_u16(TextFile* file, uint16_t value);
ResultCode text_file_write_u32(TextFile* file, uint32_t value);
// Writes bytes as they are, line feeds untranslated (for copies of files).
ResultCode text_file_write_bytes(TextFile* file, std::string_view bytes);
// Writes `text` and then spaces up to `width` characters (none when the text
// is as long or longer).
ResultCode text_file_write_padded(TextFile* file, std::string_view text, size_t width);

// The four parts the file was opened with, and their joined path.
const PathParts& text_file_parts(const TextFile* file);
const std::string& text_file_path(const TextFile* file);

// When set, closing the file deletes it (the former file too) instead of
// keeping what was written.
void text_file_set_delete_on_close(TextFile* file, bool delete_on_close);

// Opens the file named by `parts` for writing, has `write` fill it and
// closes it. The first failure: of the open, of `write`, or of the close.
ResultCode text_file_write_whole(const PathParts& parts,
                                 const std::function<ResultCode(TextFile*)>& write);

// Finishes the file: the written text replaces the former file. Returns RC_OK;
// RC_OS_ERROR without a handle; when any write or the replacing failed, the failure's
// code (RC_UNABLE_TO_WRITE for no space, else the host error's), the former file left
// whole. Frees the handle in every case.
ResultCode text_file_close(TextFile* file);

// Room for `bytes` more bytes in a text gathered in memory, so that a large
// text is not copied again and again as it grows; nothing for other files.
void text_file_reserve(TextFile* file, size_t bytes);

// A writer that only gathers the text (line ends already CR LF), for
// text_file_contents; closing it frees it. RC_OK, or RC_NO_OBJECT when memory runs out.
ResultCode text_file_open_memory(TextFile** file);
// The text a memory writer has gathered; empty for any other handle.
const std::string& text_file_contents(const TextFile* file);
// Has `write` fill a memory writer and hands its text out in *bytes.
ResultCode text_file_render(const std::function<ResultCode(TextFile*)>& write, std::string* bytes);

// Puts `bytes` (the file's text as it is to stand on the disk) in place of
// the file named by `parts`, unless the file already holds exactly these
// bytes: then neither it nor its ".old" is touched and its times stay. With
// `keep_old`, once the new text is written out (beside the file), the former
// contents are kept under the base name with the extension "old", with the
// former file's times; a text that cannot be written leaves both alone. *rewritten (may be
// null) tells whether the file was written. RC_OK; the code of the former
// file's read when it exists but cannot be read whole (nothing is written);
// the back-up's code; the writer's code.
ResultCode text_file_replace(const PathParts& parts, std::string_view bytes, bool keep_old,
                             bool* rewritten);

// True when `name` is one of the writer's own temporary files
// (".NAME.~PID-COUNT"), with the writing process's number in *pid (may be
// null). A writer removes those of its target that processes no longer
// running left behind before it writes.
bool text_file_is_temporary_name(std::string_view name, long* pid);
// A fresh temporary name for a file `name` written by other means than this
// writer (".NAME.~PID-COUNT", so that the scans pass over it too).
std::string text_file_temporary_name(std::string_view name);
// The engine path of a fresh temporary file beside the file at the engine
// path `path`, named as text_file_temporary_name names it.
std::string text_file_temporary_path(std::string_view path);
// Makes something new under a temporary name beside the host path `target`:
// `make` (the host call, given the host path) is tried with fresh names
// until one is free. Its answer (-1 with errno when it failed), with the
// host path in *temporary.
int text_file_temporary_beside(const std::string& target, std::string* temporary,
                               const std::function<int(const char*)>& make);
// Removes every temporary file of ours in the directory `directory` (an
// engine path) whose process no longer runs, whatever file it was to
// become: what a run that was killed while it wrote there left behind.
// Those of running processes, this one's included, stay. A directory that
// cannot be read, or a file that cannot be removed, is passed over.
void text_file_remove_stale_temporaries(std::string_view directory);
// The same for the host folder `host_directory` (a host path), for folders
// that a drive provider stands for, such as a folder of disk images.
void text_file_remove_stale_host_temporaries(const std::string& host_directory);
