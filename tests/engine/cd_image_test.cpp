// CD-ROM images end to end: the sample kit checked and written as an ISO
// 9660 image, judged by xorriso, osirrox and isoinfo; the products chosen
// with -N; the same bytes from two runs; and the failures that leave no
// image behind.
#include "engine/cd_image.h"

#include <cerrno>
#include <filesystem>
#include <map>
#include <sstream>

#include "kit_fixture.h"
#include "media/fat_test_tools.h"

namespace {

namespace fs = std::filesystem;

class CdImageTest : public ::testing::Test {
protected:
    TempDir work;
    EngineRun e;
    std::string kit_host = work.at("kit");
    std::string kit = engine_path(kit_host);
    std::string image_host = work.at("out/kit.iso");
    std::string image = engine_path(image_host);

    void SetUp() override {
        require_tool("xorriso");
        require_tool("osirrox");
        require_tool("isoinfo");
        sample_kit_copy(kit_host);
        fs::create_directories(work.at("out"));
    }
    void TearDown() override { file_services_faults_clear(); }

    // The check alone, twice, so that the kit is settled (sizes corrected,
    // CD-ROM map and resource files written); the report of the second.
    std::string settle(const std::vector<std::string>& extra = {}) {
        e.context.front_end.cd_image.clear();
        std::vector<std::string> words{kit, "-o", "win95"};
        words.insert(words.end(), extra.begin(), extra.end());
        e.run(words);
        EXPECT_EQ(e.run(words), RC_OK) << e.output;
        return e.output;
    }
    ResultCode run_image(const std::vector<std::string>& extra = {},
                         const std::string& label = "") {
        e.context.front_end.cd_image = image;
        e.context.front_end.cd_image_label = label;
        std::vector<std::string> words{kit, "-o", "win95"};
        words.insert(words.end(), extra.begin(), extra.end());
        return e.run(words);
    }
    // Every path in the image, as `xorriso -find` lists it, sorted.
    std::vector<std::string> listing() {
        ToolRun run = run_tool("(xorriso -indev '" + image_host + "' -find 2>/dev/null)");
        EXPECT_EQ(run.status, 0) << run.output;
        std::vector<std::string> paths;
        std::istringstream lines(run.output);
        for (std::string line; std::getline(lines, line);) paths.push_back(line);
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    std::string volume_id() {
        ToolRun run = run_tool("(isoinfo -d -i '" + image_host + "' 2>/dev/null)");
        std::istringstream lines(run.output);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("Volume id: ", 0) == 0) return line.substr(11);
        return "<none>";
    }
    // Every file of host folder `folder` with its bytes.
    static std::map<std::string, std::string> files_in(const std::string& folder) {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                files[entry.path().string().substr(folder.size() + 1)] =
                    read_host_file(entry.path());
        return files;
    }
    // The image extracted by osirrox, file by file.
    std::map<std::string, std::string> extracted() {
        std::string into = work.at("extracted");
        fs::remove_all(into);
        ToolRun run =
            run_tool("(osirrox -indev '" + image_host + "' -extract / '" + into + "' 2>/dev/null)");
        EXPECT_EQ(run.status, 0) << run.output;
        return files_in(into);
    }
    // The paths of `files` whose bytes differ from the staging area's
    // file of that path (or that it has not).
    std::vector<std::string> differing(const std::map<std::string, std::string>& files) {
        std::vector<std::string> paths;
        for (const auto& [path, bytes] : files)
            if (!host_exists(kit_host + "/" + path) ||
                read_host_file(kit_host + "/" + path) != bytes)
                paths.push_back(path);
        return paths;
    }
    std::string size_line() {
        return "  " + image + ": " + std::to_string(fs::file_size(image_host)) + " bytes\r\n";
    }
};

// The paths of the whole sample kit's image, as xorriso lists them.
const std::vector<std::string> kWholeKit = {
    "'.'",
    "'./apps'",
    "'./apps/core'",
    "'./apps/core/core.dll'",
    "'./apps/core/core.ins'",
    "'./apps/core/core.map'",
    "'./apps/core/core.nls'",
    "'./apps/core/core.vrf'",
    "'./apps/core/diskward'",
    "'./apps/core/diskward/core.cdr'",
    "'./apps/core/help'",
    "'./apps/core/help/core.hlp'",
    "'./apps/core/help/index.txt'",
    "'./apps/core/readme.txt'",
    "'./apps/tools'",
    "'./apps/tools/diskward'",
    "'./apps/tools/diskward/tools.cdr'",
    "'./apps/tools/diskward/tools.prn'",
    "'./apps/tools/tools.cab'",
    "'./apps/tools/tools.exe'",
    "'./apps/tools/tools.ini'",
    "'./apps/tools/tools.ins'",
    "'./apps/tools/tools.map'",
    "'./apps/tools/tools.vrf'",
    "'./docs'",
    "'./docs/diskward'",
    "'./docs/diskward/docs.cdr'",
    "'./docs/docs.map'",
    "'./docs/docs.vrf'",
    "'./docs/guide.txt'",
    "'./install'",
    "'./install/diskward'",
    "'./install/diskward/user.prn'",
    "'./install/diskward/w95inst.cdr'",
    "'./install/diskward/win95.prn'",
    "'./install/setup.exe'",
    "'./install/user.stp'",
    "'./install/w95inst.map'",
    "'./install/w95inst.vrf'",
    "'./install/win95.stp'",
    "'./kit.usr'",
    "'./user.nls'",
    "'./user.stp'",
    "'./win95.prd'",
};

TEST_F(CdImageTest, SampleKitImageHoldsWhatAnInstallerReadsAndNothingElse) {
    // What a kit gathers that no CD needs: a superfluous file, back-ups,
    // compressed copies and density map files.
    write_host_file(kit_host + "/apps/core/scratch.tmp", "left over");
    write_host_file(kit_host + "/docs/notes.old", "an old back-up");
    ASSERT_EQ(e.run({kit, "-o", "win95", "-n", "core", "-a", "-c"}), RC_OK) << e.output;
    ASSERT_TRUE(host_exists(kit_host + "/apps/core/diskward/_core.dll"));
    ASSERT_TRUE(host_exists(kit_host + "/apps/core/core.old"));
    std::string report = settle();

    ASSERT_EQ(run_image(), RC_OK) << e.output;
    // The image adds one line to the check's report: its size.
    EXPECT_EQ(e.output, report + size_line());
    EXPECT_EQ(listing(), kWholeKit);
    EXPECT_EQ(volume_id(), "WIN95");
    std::map<std::string, std::string> files = extracted();
    EXPECT_EQ(files.size(), 33u);
    EXPECT_EQ(differing(files), std::vector<std::string>{});
    EXPECT_EQ(names_in(work.at("out")), std::vector<std::string>{"kit.iso"});
}

TEST_F(CdImageTest, TwoRunsOverAnUnchangedKitGiveTheSameBytes) {
    settle();
    ASSERT_EQ(run_image(), RC_OK) << e.output;
    std::string first = read_host_file(image_host);
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(run_image(), RC_OK) << e.output;
    EXPECT_TRUE(read_host_file(image_host) == first);
    // A file touched later moves the volume's dates, and so the bytes.
    fs::last_write_time(kit_host + "/kit.usr",
                        fs::last_write_time(kit_host + "/kit.usr") + std::chrono::hours(1));
    ASSERT_EQ(run_image(), RC_OK) << e.output;
    EXPECT_FALSE(read_host_file(image_host) == first);
}

TEST_F(CdImageTest, NamedProductsTakeWhatTheyNeedAndTheLabelIsTheVolumeId) {
    settle();
    // tools needs core; the installer's own product always goes along;
    // docs stays out.
    ASSERT_EQ(run_image({"-n", "tools"}, "KIT_DISC_1"), RC_OK) << e.output;
    std::vector<std::string> expected;
    for (const std::string& path : kWholeKit)
        if (path.find("./docs") == std::string::npos) expected.push_back(path);
    EXPECT_EQ(listing(), expected);
    EXPECT_EQ(volume_id(), "KIT_DISC_1");
    std::map<std::string, std::string> files = extracted();
    EXPECT_EQ(differing(files), std::vector<std::string>{});

    // A label over 32 characters is refused, and nothing is written.
    fs::remove(image_host);
    std::string label(33, 'L');
    EXPECT_EQ(run_image({}, label), RC_INVALID_VOLUME_LABEL);
    EXPECT_EQ(e.output.substr(e.output.rfind("\r\n", e.output.size() - 3) + 2),
              "  " + image + ": Invalid Volume Label\r\n");
    EXPECT_TRUE(names_in(work.at("out")).empty());
    EXPECT_TRUE(cd_image_label_valid(std::string(32, 'L')));
}

TEST_F(CdImageTest, FailuresLeaveNoImageAndTheFormerOneWhole) {
    std::string report = settle();
    const std::string former = "the image of an earlier run";
    write_host_file(image_host, former);
    auto untouched = [&] {
        EXPECT_EQ(read_host_file(image_host), former);
        EXPECT_EQ(names_in(work.at("out")), std::vector<std::string>{"kit.iso"});
    };

    // A disk that fills up while the image is written (the settled kit's
    // check writes nothing).
    file_services_fail_writes_after(100000, ENOSPC);
    EXPECT_EQ(run_image(), RC_UNABLE_TO_WRITE);
    file_services_faults_clear();
    EXPECT_EQ(e.output, report + "  " + image + ": Unable to Write\r\n");
    untouched();

    // The image cannot be moved into place.
    file_services_fail_on(HOST_OP_RENAME, "kit.iso", EIO);
    EXPECT_EQ(run_image(), RC_UNABLE_TO_WRITE);
    file_services_faults_clear();
    untouched();

    // A check that fails for a selected product writes no image.
    fs::remove(kit_host + "/apps/core/core.dll");
    EXPECT_EQ(run_image({"-n", "tools"}), RC_FILE_NOT_FOUND);
    EXPECT_EQ(e.output.find(image), std::string::npos) << e.output;
    untouched();
    // One that fails for a product left out does not stand in the way.
    EXPECT_EQ(run_image({"-n", "docs"}), RC_OK) << e.output;
    EXPECT_NE(read_host_file(image_host), former);
}

TEST(CdImageSize, WarnsPastEachCdCapacity) {
    EXPECT_EQ(cd_image_size_warning(CD_74_MINUTES), "");
    EXPECT_EQ(cd_image_size_warning(CD_74_MINUTES + 1),
              "WARNING: Larger than a 74-minute CD (681984000 bytes)");
    EXPECT_EQ(cd_image_size_warning(CD_80_MINUTES),
              "WARNING: Larger than a 74-minute CD (681984000 bytes)");
    EXPECT_EQ(cd_image_size_warning(CD_80_MINUTES + 1),
              "WARNING: Larger than an 80-minute CD (737280000 bytes)");
}

}  // namespace
