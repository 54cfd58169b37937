// The compression pass tells the run's compression progress of each file
// it compresses, and of nothing when the copies are current.
#include <set>

#include "kit_fixture.h"

namespace {

struct Heard {
    std::set<std::string> files;
    uint64_t bytes = 0;
    uint32_t size = 0;
};
Heard heard;

void hear(void* user, uint32_t bytes) {
    const RunContext* run = static_cast<const RunContext*>(user);
    heard.files.insert(run->compressing);
    heard.size = run->compressing_size;
    heard.bytes += bytes;
}

}  // namespace

TEST_F(KitTest, CompressionProgressHearsEachFileCompressed) {
    file("win95.prd",
         "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 "
         "false false false \"\" \"\"\n" +
             product_row(1, "core", "root", "core"));
    file("core/big.dat", std::string(5000, 'x'));
    file("core/core.vrf", "");
    file("core/core.map", kMapHeader + map_row("G", "big.dat", 5000));
    heard = Heard{};
    e.context.front_end.compress_progress = hear;
    ASSERT_EQ(run({"-n", "core", "-a", "-c"}), RC_OK) << e.output;
    EXPECT_EQ(heard.files, std::set<std::string>{"big.dat"});
    EXPECT_EQ(heard.size, 5000u);
    EXPECT_GT(heard.bytes, 0u);
    EXPECT_TRUE(e.context.compressing.empty());  // cleared once the file is done
    heard = Heard{};
    ASSERT_EQ(run({"-n", "core", "-a", "-c"}), RC_OK) << e.output;
    EXPECT_TRUE(heard.files.empty());
}
