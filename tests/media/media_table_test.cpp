#include "media/media_table.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "media/fat_geometry.h"

TEST(MediaTable, RowsMatchTheirClusterCountsAndSuffixesFollowCapacity) {
    const MediaRow* rows = MEDIA_ROWS;
    const size_t count = std::size(MEDIA_ROWS);
    ASSERT_EQ(count, 7u);
    EXPECT_STREQ(rows[0].name, "3.5HD");
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(rows[i].media_capacity % rows[i].cluster_size, 0u) << rows[i].name;
        // The other density's capacity names a density too.
        std::string suffix;
        EXPECT_TRUE(media_density_suffix(rows[i].other_capacity, &suffix)) << rows[i].name;
    }
    EXPECT_EQ(media_find("5.25ld")->media_capacity, 362496u);
    EXPECT_EQ(media_find("3.5UD")->max_root_entries, 111u);
    // No medium promises more files than its formatted root holds beside the
    // volume label, nor more room than its clusters.
    for (size_t i = 0; i < count; ++i) {
        const FatGeometry* g = fat_geometry_find(rows[i].name);
        ASSERT_NE(g, nullptr) << rows[i].name;
        EXPECT_LE(rows[i].max_root_entries, g->root_entries - 1u) << rows[i].name;
        EXPECT_EQ(rows[i].cluster_size, uint32_t(g->bytes_per_sector) * g->sectors_per_cluster)
            << rows[i].name;
    }
    EXPECT_EQ(media_find("2.88"), nullptr);

    std::string suffix = "keep";
    EXPECT_FALSE(media_density_suffix(1440000, &suffix));
    EXPECT_EQ(suffix, "keep");
    EXPECT_TRUE(media_density_suffix(730112, &suffix));
    EXPECT_EQ(suffix, "3ld");
    EXPECT_TRUE(media_density_suffix(media_find("3.5JHD")->media_capacity, &suffix));
    EXPECT_EQ(suffix, "jhd");
    // Every medium's capacity names its density; the Japanese media share one.
    std::vector<std::string> suffixes;
    for (size_t i = 0; i < count; ++i) {
        suffix.clear();
        EXPECT_TRUE(media_density_suffix(rows[i].media_capacity, &suffix));
        suffixes.push_back(rows[i].name + std::string("=") + suffix);
    }
    EXPECT_EQ(suffixes,
              (std::vector<std::string>{"3.5HD=3hd", "3.5LD=3ld", "3.5JHD=jhd", "3.5UD=3ud",
                                        "5.25HD=5hd", "5.25LD=5ld", "5.25JHD=jhd"}));
}

TEST(MediaTable, RoundsToWholeClusters) {
    EXPECT_EQ(media_round_to_cluster(0, 512), 0u);
    EXPECT_EQ(media_round_to_cluster(1, 512), 512u);
    EXPECT_EQ(media_round_to_cluster(512, 512), 512u);
    EXPECT_EQ(media_round_to_cluster(1025, 1024), 2048u);
    EXPECT_EQ(media_round_to_cluster(4294967295u, 512), 4294967296ull);
}
