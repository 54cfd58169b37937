// The text-file writer: text mode (line feed becomes CR LF), written to a
// temporary file that replaces the target only after every write succeeded.
// A file on a drive provider's disk is written there at the close.
// Needs sys/paths, sys/host_paths, sys/host_io, sys/drive_providers; owns its handles.
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
// joined path writes to standard output. Returns 0; 23 for a path over 260
// characters; 27 when the file is marked read-only; 29 when the file cannot
// be opened.
ResultCode text_file_open_write(TextFile** file, std::string_view absolute,
                                std::string_view relative, std::string_view base,
                                std::string_view extension);
// The same, keeping the former contents and writing after them.
ResultCode text_file_open_append(TextFile** file, std::string_view absolute,
                                 std::string_view relative, std::string_view base,
                                 std::string_view extension);

// The writes. Each returns 0; 29 without a handle; after a failed write, the
// failure's code (21 for no space, else 29). Writes are buffered, so a
// failure may show only at a later write or at the close.
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

// Finishes the file: the written text replaces the former file. Returns 0;
// 29 without a handle; when any write or the replacing failed, the failure's
// code (21 for no space, else 29), the former file left whole. Frees the
// handle in every case.
ResultCode text_file_close(TextFile* file);
