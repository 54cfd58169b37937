// Compressed names and piece names of files on disks.
#include "media/copy_names.h"

#include "sys/paths.h"

std::string copy_compressed_name(std::string_view path) {
    PathParts parts = path_split(path);
    parts.base = short_name_mark(parts.base);
    return path_join(parts);
}

// Where the piece digit goes: the second character of an 8-character base
// name, else the first; a "_" there passes the place to the next character.
// False when the base name is too short to have that character.
static bool piece_place(const std::string& base, size_t* place) {
    size_t at = base.size() == 8 ? 1 : 0;
    if (at < base.size() && base[at] == '_') ++at;
    if (at >= base.size()) return false;
    *place = at;
    return true;
}

ResultCode copy_piece_name(std::string_view path, uint32_t piece, bool last,
                           std::string* piece_path) {
    PathParts parts = path_split(path);
    size_t place = 0;
    if (piece == 0 || !piece_place(parts.base, &place)) return RC_INVALID_FILE_NAME;
    char first = parts.base[place] == '1' ? '2' : '1';
    uint32_t digit = uint32_t(first - '0') + piece - 1;
    if (last) digit = 0;
    if (digit > 9) return RC_INVALID_FILE_NAME;
    parts.base[place] = char('0' + digit);
    *piece_path = path_join(parts);
    return RC_OK;
}

ResultCode copy_pieces_check(std::string_view path, uint32_t pieces) {
    if (pieces <= 1) return RC_OK;
    std::string name;
    return copy_piece_name(path, pieces - 1, false, &name);
}
