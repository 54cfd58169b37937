// The layout record and its table.
#include "engine/disk_layout.h"

#include <algorithm>

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

std::string layout_text(const ProductLayout& layout) {
    std::string out = layout.product + " (" + layout.map_file + "): " +
                      std::to_string(layout.disks.size()) +
                      (layout.disks.size() == 1 ? " disk\n" : " disks\n");
    size_t name_width = 0, bytes_width = 0;
    for (const LayoutDisk& disk : layout.disks)
        for (const LayoutFile& file : disk.files) {
            name_width = std::max(name_width, file.name.size());
            bytes_width = std::max(bytes_width, std::to_string(file.bytes).size());
        }
    for (const LayoutDisk& disk : layout.disks) {
        out += "  Disk " + std::to_string(disk.number) + ": " + std::to_string(disk.bytes_used) +
               " bytes used, " + std::to_string(disk.bytes_left) + " bytes left, " +
               std::to_string(disk.files.size()) +
               (disk.files.size() == 1 ? " file\n" : " files\n");
        for (const LayoutFile& file : disk.files) {
            std::string bytes = std::to_string(file.bytes);
            std::string line = "    " + file.name + std::string(name_width - file.name.size(), ' ') +
                               "  " + std::string(bytes_width - bytes.size(), ' ') + bytes + "  " +
                               file.source;
            if (file.piece != 0)
                line += "  piece " + std::to_string(file.piece) + " of " +
                        std::to_string(file.pieces);
            out += line + "\n";
        }
    }
    return out;
}
