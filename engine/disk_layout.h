// The disk layout that an assignment leaves for the front ends: per disk,
// the files and pieces put on it (disk-1 files included) with the bytes
// used and left, and its rendering as the console's layout table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sys/result_code.h"

struct LayoutFile {
    std::string source;  // the component's Source, or the path of a disk-1 file
    std::string name;    // the name on the disk: compressed or piece name as written
    uint32_t bytes = 0;  // bytes of the file (or of this piece) on the disk
    uint32_t piece = 0;  // 0 for a whole file, else the piece number from 1
    uint32_t pieces = 1;
    std::string refusal;  // why the piece has no name on the disk, when it has none
};

struct LayoutDisk {
    uint32_t number = 0;
    std::vector<LayoutFile> files;
    uint64_t bytes_used = 0;  // bytes of every file and piece on the disk
    uint64_t bytes_left = 0;  // room not taken by whole clusters, slop included
};

struct ProductLayout {
    std::string product;   // the product's name
    std::string map_file;  // the path of its product map file
    std::vector<LayoutDisk> disks;
};

// Disk `number` (from 1) of the layout, made with the disks before it when
// missing.
LayoutDisk* layout_disk(ProductLayout* layout, uint32_t number);
// Adds a file or piece to disk `number`.
void layout_add(ProductLayout* layout, uint32_t number, LayoutFile file);

// Whether every piece of the file `name` written in `pieces` pieces has a
// name on the disks. RC_OK; RC_TOO_MANY_SEGMENTS (*problem "File has too many split file
// segments", *piece the first without a name) when the digits run out; RC_INVALID_FILE_NAME
// (*problem "No name for piece N") when the name has no character a digit
// can replace.
ResultCode layout_piece_names_check(std::string_view name, uint32_t pieces, uint32_t* piece,
                                    std::string* problem);

// The layout as a table: a heading line for the product, then one line per
// disk ("Disk N: U bytes used, R bytes left, F files") and an indented line
// per file with its name on the disk, its bytes, its Source and, for a
// piece, "piece I of P" (a piece without a name shows "-" and, after a
// colon, why). Lines end with "\n".
std::string layout_text(const ProductLayout& layout);
