// Layouts of the blank floppy volumes. Each row leaves exactly the medium's
// capacity as data clusters: the 3.5UD row needs a 16-bit FAT because its
// 5694 clusters exceed what a 12-bit FAT can address, and the two Japanese
// rows use 1024-byte sectors with a root of 192 entries.
#include "media/fat_geometry.h"

#include "sys/text.h"

namespace {

// medium, sectors, bytes/sector, sectors/cluster, reserved, FATs, FAT sectors,
// root entries, media byte, sectors/track, heads, 16-bit FAT
constexpr FatGeometry GEOMETRIES[] = {
    {"3.5HD", 2880, 512, 1, 1, 2, 9, 224, 0xF0, 18, 2, false},
    {"3.5LD", 1440, 512, 2, 1, 2, 3, 112, 0xF9, 9, 2, false},
    {"3.5JHD", 1232, 1024, 1, 1, 2, 2, 192, 0xFE, 8, 2, false},
    {"3.5UD", 5760, 512, 1, 1, 2, 25, 240, 0xF0, 36, 2, true},
    {"5.25HD", 2400, 512, 1, 1, 2, 7, 224, 0xF9, 15, 2, false},
    {"5.25LD", 720, 512, 2, 1, 2, 2, 112, 0xFD, 9, 2, false},
    {"5.25JHD", 1232, 1024, 1, 1, 2, 2, 192, 0xFE, 8, 2, false},
};

}  // namespace

const FatGeometry* fat_geometry_find(std::string_view medium) {
    for (const FatGeometry& g : GEOMETRIES) {
        if (text_equal_nocase(medium, g.medium)) return &g;
    }
    return nullptr;
}
