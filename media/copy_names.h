// Names of copied files on disks: the compressed name of a file and the
// names of the pieces of a split file, on which the installer relies when it
// reads the disks back. Pure text work; needs sys/paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sys/result_code.h"

// Piece names use one digit: pieces 1 to 9 at most get "1" to "9" (one
// fewer when the replaced character already is "1") and the last gets "0".
constexpr uint32_t COPY_MOST_PIECES = 10;

// The path of the compressed form of `path`: its base name marked with "_"
// ("setup.exe" gives "_setup.exe", "abcdefgh.dll" gives "_bcdefgh.dll").
std::string copy_compressed_name(std::string_view path);

// The path of piece `piece` (counted from 1) of the file `path`; the last
// piece is named with "0" whatever its number. RC_INVALID_FILE_NAME when the base name has no
// character to replace or the piece would need a character beyond "9".
ResultCode copy_piece_name(std::string_view path, uint32_t piece, bool last,
                           std::string* piece_path);

// RC_OK when a file named `path` can be written in `pieces` pieces (one piece
// keeps the file's own name, so it always can); else RC_INVALID_FILE_NAME.
ResultCode copy_pieces_check(std::string_view path, uint32_t pieces);
