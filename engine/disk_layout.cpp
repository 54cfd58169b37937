// The layout record and its table.
#include "engine/disk_layout.h"

#include <algorithm>

#include "engine/messages.h"
#include "media/copy_names.h"

LayoutDisk* layout_disk(ProductLayout* layout, uint32_t number) {
    while (layout->disks.size() < number) {
        LayoutDisk disk;
        disk.number = uint32_t(layout->disks.size() + 1);
        layout->disks.push_back(disk);
    }
    return &layout->disks[number - 1];
}

void layout_add(ProductLayout* layout, uint32_t number, LayoutFile file) {
    LayoutDisk* disk = layout_disk(layout, number);
    disk->bytes_used += file.bytes;
    disk->files.push_back(std::move(file));
}

ResultCode layout_piece_names_check(std::string_view name, uint32_t pieces, uint32_t* piece,
                                    std::string* problem) {
    if (pieces <= 1) return RC_OK;
    std::string named;
    for (uint32_t i = 1; i <= pieces; ++i) {
        if (copy_piece_name(name, i, i == pieces, &named) == RC_OK) continue;
        *piece = i;
        // The first piece always has a digit to take unless the name has no
        // character to replace.
        if (copy_piece_name(name, 1, false, &named) != RC_OK) {
            *problem = "No name for piece " + std::to_string(i);
            return RC_INVALID_FILE_NAME;
        }
        *problem = engine_message(RC_TOO_MANY_SEGMENTS);
        return RC_TOO_MANY_SEGMENTS;
    }
    return RC_OK;
}

std::string layout_text(const ProductLayout& layout) {
    std::string out = layout.product + " (" + layout.map_file +
                      "): " + std::to_string(layout.disks.size()) +
                      (layout.disks.size() == 1 ? " disk\n" : " disks\n");
    size_t name_width = 0, bytes_width = 0;
    for (const LayoutDisk& disk : layout.disks)
        for (const LayoutFile& file : disk.files) {
            name_width = std::max(name_width, std::max(file.name.size(), size_t(1)));
            bytes_width = std::max(bytes_width, std::to_string(file.bytes).size());
        }
    for (const LayoutDisk& disk : layout.disks) {
        out += "  Disk " + std::to_string(disk.number) + ": " + std::to_string(disk.bytes_used) +
               " bytes used, " + std::to_string(disk.bytes_left) + " bytes left, " +
               std::to_string(disk.files.size()) +
               (disk.files.size() == 1 ? " file\n" : " files\n");
        for (const LayoutFile& file : disk.files) {
            std::string bytes = std::to_string(file.bytes);
            std::string name = file.name.empty() ? "-" : file.name;
            std::string line = "    " + name + std::string(name_width - name.size(), ' ') + "  " +
                               std::string(bytes_width - bytes.size(), ' ') + bytes + "  " +
                               file.source;
            if (file.piece != 0)
                line +=
                    "  piece " + std::to_string(file.piece) + " of " + std::to_string(file.pieces);
            if (!file.refusal.empty()) line += ": " + file.refusal;
            out += line + "\n";
        }
    }
    return out;
}
