// Which provider answers a path, and what part of the path it gets.
#include "sys/drive_providers.h"

#include <gtest/gtest.h>

#include "sys/volumes.h"

namespace {

// A provider that answers every question with its own context's number, so
// a test sees which registration a path reached.
ResultCode label_of(void* context, std::string* label) {
    *label = std::to_string(*static_cast<int*>(context));
    return RC_OK;
}

const DriveProvider* numbered_provider() {
    static DriveProvider provider{};
    provider.label = label_of;
    return &provider;
}

// "context number:inner part", or "none".
std::string reached(std::string_view path) {
    const DriveProvider* provider = nullptr;
    void* context = nullptr;
    std::string inner;
    if (!drive_provider_find(path, &provider, &context, &inner)) return "none";
    return std::to_string(*static_cast<int*>(context)) + ":" + inner;
}

}  // namespace

TEST(DriveProviders, APathGoesToTheLongestRootAboveIt) {
    static int drive_a = 1, folder = 2, inner_folder = 3;
    ASSERT_EQ(drive_provider_register("a:\\", numbered_provider(), &drive_a), RC_OK);
    ASSERT_EQ(drive_provider_register("Z:\\tmp\\Floppies\\", numbered_provider(), &folder), RC_OK);
    ASSERT_EQ(drive_provider_register("\\tmp\\floppies\\inner", numbered_provider(), &inner_folder),
              RC_OK);

    EXPECT_EQ(reached("A:\\SETUP.EXE"), "1:\\SETUP.EXE");
    EXPECT_EQ(reached("a:SETUP.EXE"), "1:SETUP.EXE");
    EXPECT_EQ(reached("A:"), "1:");
    EXPECT_EQ(reached("B:\\SETUP.EXE"), "none");
    EXPECT_EQ(reached("z:/TMP/floppies/x/y"), "2:/x/y");
    EXPECT_EQ(reached("\\tmp\\floppies"), "2:");
    EXPECT_EQ(reached("\\tmp\\floppies\\INNER\\a"), "3:\\a");
    EXPECT_EQ(reached("\\tmp\\floppiesX\\a"), "none");  // a sibling that shares the prefix
    EXPECT_EQ(reached("tmp\\floppies\\a"), "none");     // relative paths stay on the host
    EXPECT_EQ(reached("A:\\" + std::string(300, 'x')), "none");

    // The volume services ask the provider.
    std::string label;
    ASSERT_EQ(volume_label("Z:\\tmp\\floppies\\inner\\file", &label), RC_OK);
    EXPECT_EQ(label, "3");

    // Registering a root again replaces it; unregistering frees it.
    static int again = 4;
    ASSERT_EQ(drive_provider_register("A:/", numbered_provider(), &again), RC_OK);
    EXPECT_EQ(reached("A:\\X"), "4:\\X");
    drive_provider_unregister("A:\\");
    drive_provider_unregister("\\tmp\\floppies");
    drive_provider_unregister("\\tmp\\floppies\\inner");
    EXPECT_EQ(reached("A:\\X"), "none");
    EXPECT_EQ(reached("\\tmp\\floppies\\inner\\a"), "none");
    EXPECT_EQ(drive_provider_register("", numbered_provider(), &again), RC_INVALID_FILE_NAME);
}
