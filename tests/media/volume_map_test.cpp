#include "media/volume_map.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "runtime/namespaces.h"
#include "runtime/numbers.h"
#include "runtime/runtime_fixture.h"
#include "runtime/values.h"
#include "sys/text.h"

namespace {

class VolumeMapTest : public RuntimeTest {
protected:
    VolumeMapTest() { volume_map_register(rt); }

    // "C:\=100 D:\=200" style listing of a map's elements.
    std::string shown(Value map) {
        std::string out;
        for (VolumeMapElement* e = volume_map_elements(rt, map); e; e = e->next)
            out += (out.empty() ? "" : " ") + std::string(volume_map_label(e)) + "=" +
                   std::to_string(e->amount);
        return out;
    }
    Value make(std::initializer_list<std::pair<const char*, uint32_t>> adds) {
        Value m = volume_map_new(rt);
        for (auto& [path, amount] : adds) EXPECT_EQ(volume_map_add(rt, m, path, amount), RC_OK);
        return m;
    }
};

}  // namespace

TEST_F(VolumeMapTest, AddKeepsOneElementPerVolumeInLabelOrder) {
    Value m = make({{"D:\\app\\x.exe", 10},
                    {"C:\\win\\y.dll", 5},
                    {"d:\\other", 7},
                    {"%TARGET%\\z", 3},
                    {"C:\\zero", 0}});
    EXPECT_EQ(shown(m), "%TARGET%\\z=3 C:\\=5 D:\\=17");
    EXPECT_EQ(volume_map_total(rt, m), 25u);
    EXPECT_EQ(volume_map_count(rt, m), 3u);
    EXPECT_EQ(volume_map_amount(rt, m, "d:\\"), 17u);

    EXPECT_NE(volume_map_add(rt, m, "E:\\big", 4294967295u), RC_OK);
    EXPECT_EQ(shown(m), "%TARGET%\\z=3 C:\\=5 D:\\=17");  // unchanged by the overflow
    volume_map_free(rt, m);
}

TEST_F(VolumeMapTest, GrowAndShrinkSpreadExactlyTheAmount) {
    Value m = make({{"C:\\a", 100}, {"D:\\b", 200}});
    Value grown = volume_map_grow(rt, m, 10);
    EXPECT_EQ(shown(grown), "C:\\=103 D:\\=207");
    EXPECT_EQ(volume_map_total(rt, grown), 310u);
    Value shrunk = volume_map_shrink(rt, m, 7);
    EXPECT_EQ(shown(shrunk), "C:\\=98 D:\\=195");
    EXPECT_EQ(volume_map_shrink(rt, m, 301), 0u);
    Value empty = volume_map_new(rt);
    EXPECT_EQ(volume_map_grow(rt, empty, 5), 0u);
    for (Value v : {m, grown, shrunk, empty}) volume_map_free(rt, v);
}

TEST_F(VolumeMapTest, SumDifferenceProductAndQuotientNeverWrap) {
    Value a = make({{"C:\\", 100}, {"E:\\", 50}});
    Value b = make({{"C:\\", 30}, {"D:\\", 20}});
    Value sum = volume_map_sum(rt, a, b);
    EXPECT_EQ(shown(sum), "C:\\=130 D:\\=20 E:\\=50");
    EXPECT_EQ(volume_map_total(rt, sum), 200u);
    // b holds D: which a lacks, so a - b fails; sum - b succeeds.
    EXPECT_EQ(volume_map_difference(rt, a, b), 0u);
    Value back = volume_map_difference(rt, sum, b);
    EXPECT_EQ(shown(back), "C:\\=100 D:\\=0 E:\\=50");
    EXPECT_FALSE(volume_map_equal(rt, back, a));
    Value product = volume_map_product(rt, a, 3);
    EXPECT_EQ(shown(product), "C:\\=300 E:\\=150");
    EXPECT_EQ(volume_map_product(rt, a, 4294967295u), 0u);
    Value quotient = volume_map_quotient(rt, a, 7);
    EXPECT_EQ(shown(quotient), "C:\\=14 E:\\=7");
    EXPECT_EQ(volume_map_total(rt, quotient), 21u);  // 150 / 7
    EXPECT_EQ(volume_map_quotient(rt, a, 0), 0u);
    for (Value v : {a, b, sum, back, product, quotient}) volume_map_free(rt, v);
}

TEST_F(VolumeMapTest, GenericOperationsCopyCompareAndReleaseMaps) {
    Namespace* ns = namespace_new(rt, nullptr, 7);
    Value m = make({{"C:\\a", 512}});
    Value copy = value_copy(rt, ns, m);  // owned by the namespace
    ASSERT_NE(copy, 0u);
    EXPECT_NE(copy, m);
    EXPECT_TRUE(volume_map_equal(rt, copy, m));
    Value n = value_set_type(rt, VT_NUMBER, number_new(rt, 512), false);
    EXPECT_TRUE(value_equal(rt, m, n));  // a map compares with a number by its total
    value_release(rt, n);
    value_release(rt, m);
    namespace_destroy(rt, ns, string_free, value_release);
}

TEST_F(VolumeMapTest, SpaceCheckHoldsBackASixteenthAndListsShortVolumes) {
    Value m = make({{"C:\\", 1600}, {"D:\\", 1600}, {"E:\\", 10}});
    auto query = [](void*, const std::string& label, uint32_t* free) -> ResultCode {
        if (label == "C:\\") *free = 1700;  // 1700 - 100 = 1600: just enough
        if (label == "D:\\") *free = 1699;  // 1599 left: one byte short
        if (label == "E:\\") return RC_FILE_NOT_FOUND;
        return RC_OK;
    };
    std::vector<VolumeShortfall> short_volumes;
    std::string failed;
    EXPECT_EQ(volume_map_check_space(rt, m, query, nullptr, &short_volumes, &failed),
              RC_FILE_NOT_FOUND);
    EXPECT_EQ(failed, "E:\\");
    ASSERT_EQ(short_volumes.size(), 1u);
    EXPECT_EQ(short_volumes[0].label, "D:\\");
    EXPECT_EQ(short_volumes[0].missing, 1u);
    volume_map_free(rt, m);
}

// Thousands of volumes, added in scrambled order, in several letter cases
// and again and again: the elements stay one per folded label, in label
// order, each under the spelling it was first added with, and a copy goes
// on growing the same way.
TEST_F(VolumeMapTest, ManyVolumesStayInLabelOrderUnderTheirFirstSpelling) {
    struct Expected {
        std::string spelling;
        uint32_t amount = 0;
    };
    std::map<std::string, Expected> expected;  // by folded label
    auto add = [&](Value map, const std::string& path, uint32_t amount) {
        ASSERT_EQ(volume_map_add(rt, map, path, amount), RC_OK);
        if (amount == 0) return;
        std::string label =
            path.find(':') == std::string::npos ? path : path.substr(0, path.find(':') + 1) + "\\";
        Expected& e = expected[text_fold(label)];
        if (e.spelling.empty()) e.spelling = label;
        e.amount += amount;
    };
    auto listing = [&]() {
        std::string out;
        for (const auto& [folded, e] : expected)
            out += (out.empty() ? "" : " ") + e.spelling + "=" + std::to_string(e.amount);
        return out;
    };
    auto path_of = [](int i) {
        int k = (i * 7919) % 2500;
        std::string name = k % 3 ? "%TARGET%\\f" : "%TARGET%\\F";
        if (k % 11 == 0)
            return std::string(1, char('A' + k % 26)) + ":\\dir\\f" + std::to_string(k);
        return name + std::to_string(k) + ".txt";
    };

    Value m = volume_map_new(rt);
    for (int i = 0; i < 6000; ++i) add(m, path_of(i), uint32_t(i % 7));
    EXPECT_EQ(shown(m), listing());
    EXPECT_EQ(volume_map_count(rt, m), expected.size());
    uint32_t total = 0;
    for (const auto& [folded, e] : expected) {
        EXPECT_EQ(volume_map_amount(rt, m, folded), e.amount) << folded;
        total += e.amount;
    }
    EXPECT_EQ(volume_map_total(rt, m), total);
    EXPECT_EQ(volume_map_amount(rt, m, "%TARGET%\\nowhere"), 0u);

    Value copy = volume_map_copy(rt, m);
    EXPECT_TRUE(volume_map_equal(rt, copy, m));
    for (int i = 6000; i < 9000; ++i) add(copy, path_of(i * 3 + 1) + "x", 2);
    EXPECT_EQ(shown(copy), listing());
    for (const auto& [folded, e] : expected)
        EXPECT_EQ(volume_map_amount(rt, copy, folded), e.amount) << folded;
    volume_map_free(rt, m);
    volume_map_free(rt, copy);
}
