#include "engine/disk_placement.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

// Whole-value comparison and printing of the placement structs, found by
// argument-dependent lookup from the assertions.
static bool operator==(const DiskState& a, const DiskState& b) {
    return std::tie(a.disk_number, a.bytes_left, a.bytes_used, a.files_on_disk, a.disk_full) ==
           std::tie(b.disk_number, b.bytes_left, b.bytes_used, b.files_on_disk, b.disk_full);
}

static void PrintTo(const DiskState& d, std::ostream* os) {
    *os << "{disk " << d.disk_number << ", left " << d.bytes_left << ", used " << d.bytes_used
        << ", files " << d.files_on_disk << (d.disk_full ? ", full}" : ", not full}");
}

static bool operator==(const Placement& a, const Placement& b) {
    return a.start_disk == b.start_disk && a.disk_count == b.disk_count && a.segments == b.segments;
}

static void PrintTo(const Placement& p, std::ostream* os) {
    *os << "{start " << p.start_disk << ", count " << p.disk_count << ", segments {";
    for (size_t i = 0; i < p.segments.size(); ++i) *os << (i ? ", " : "") << p.segments[i];
    *os << "}}";
}

namespace {

PlacementParameters medium(uint32_t capacity, uint32_t cluster, uint32_t entries) {
    PlacementParameters p;
    p.media_capacity = capacity;
    p.cluster_size = cluster;
    p.max_root_entries = entries;
    return p;
}

PlacementParameters hd35() {
    return medium(1457664, 512, 223);
}
PlacementParameters ld35() {
    return medium(730112, 1024, 111);
}

DiskState state(uint32_t number, uint32_t left, uint32_t used, uint32_t files, bool full) {
    DiskState d;
    d.disk_number = number;
    d.bytes_left = left;
    d.bytes_used = used;
    d.files_on_disk = files;
    d.disk_full = full;
    return d;
}

Placement placement(uint32_t start, uint32_t count, std::vector<uint32_t> segments) {
    Placement p;
    p.start_disk = start;
    p.disk_count = count;
    p.segments = std::move(segments);
    return p;
}

DiskState fresh(const PlacementParameters& p) {
    DiskState d;
    disk_state_start(&d, p);
    return d;
}

// Places one file and hands back the placement, for the examples that
// expect success.
Placement place_ok(DiskState* disk, const PlacementParameters& p, uint32_t size,
                   bool compressed = true) {
    Placement out;
    EXPECT_EQ(disk_place(disk, p, size, compressed, &out), RC_OK) << "size " << size;
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// The disk state

TEST(DiskPlacementState, StartIsDiskOneWithTheMediumLessTheSlop) {
    PlacementParameters p = hd35();
    DiskState d = state(7, 5, 6, 8, true);
    disk_state_start(&d, p);
    EXPECT_EQ(d, state(1, 1457664, 0, 0, false));

    p.slop = 10240;
    disk_state_start(&d, p);
    EXPECT_EQ(d, state(1, 1447424, 0, 0, false));

    p.slop = 1457664;
    disk_state_start(&d, p);
    EXPECT_EQ(d, state(1, 0, 0, 0, false));

    p.slop = 1457665;
    disk_state_start(&d, p);
    EXPECT_EQ(d, state(1, 0, 0, 0, false));
}

TEST(DiskPlacementState, NextDiskCountsOnAndLeavesTheFullMarkAlone) {
    PlacementParameters p = ld35();
    p.slop = 2048;
    DiskState d = state(4, 0, 900, 12, true);
    disk_state_next(&d, p);
    EXPECT_EQ(d, state(5, 728064, 0, 0, true));

    d = state(1, 100, 5, 3, false);
    disk_state_next(&d, p);
    EXPECT_EQ(d, state(2, 728064, 0, 0, false));

    p.slop = 800000;
    disk_state_next(&d, p);
    EXPECT_EQ(d, state(3, 0, 0, 0, false));
}

// ---------------------------------------------------------------------------
// The disk-1 reservation

TEST(DiskPlacementReserve, CountsFilesOntoAFreshDiskOne) {
    DiskState d = state(9, 1, 2, 3, true);
    ASSERT_EQ(disk_reserve(&d, hd35(), {1000, 0, 512, 513}), RC_OK);
    // 1024 + 0 + 512 + 1024 rounded bytes.
    EXPECT_EQ(d, state(1, 1455104, 2025, 4, false));

    ASSERT_EQ(disk_reserve(&d, hd35(), {}), RC_OK);
    EXPECT_EQ(d, state(1, 1457664, 0, 0, false));
}

TEST(DiskPlacementReserve, RoundedTotalExactlyTheRoomLeavesNothing) {
    DiskState d;
    // 1000448 + 457216 rounded bytes: the whole disk.
    ASSERT_EQ(disk_reserve(&d, hd35(), {1000000, 457000}), RC_OK);
    EXPECT_EQ(d, state(1, 0, 1457000, 2, false));
}

TEST(DiskPlacementReserve, OneClusterMoreThanTheRoomFailsAndLeavesAFreshDisk) {
    DiskState d = state(3, 10, 20, 30, true);
    EXPECT_EQ(disk_reserve(&d, hd35(), {1000000, 457000, 1}), RC_NO_SPACE_WITHOUT_SPLITTING);
    EXPECT_EQ(d, state(1, 1457664, 0, 0, false));
}

TEST(DiskPlacementReserve, TheSlopIsHeldBack) {
    PlacementParameters p = hd35();
    p.slop = 10240;
    DiskState d;
    ASSERT_EQ(disk_reserve(&d, p, {1447424}), RC_OK);
    EXPECT_EQ(d, state(1, 0, 1447424, 1, false));
    EXPECT_EQ(disk_reserve(&d, p, {1447425}), RC_NO_SPACE_WITHOUT_SPLITTING);
    EXPECT_EQ(d, state(1, 1447424, 0, 0, false));
}

TEST(DiskPlacementReserve, MoreFilesThanRootEntriesFail) {
    DiskState d;
    std::vector<uint32_t> sizes(223, 1);
    ASSERT_EQ(disk_reserve(&d, hd35(), sizes), RC_OK);
    EXPECT_EQ(d, state(1, 1457664 - 223 * 512, 223, 223, false));

    sizes.push_back(0);
    EXPECT_EQ(disk_reserve(&d, hd35(), sizes), RC_NO_SPACE_WITHOUT_SPLITTING);
    EXPECT_EQ(d, state(1, 1457664, 0, 0, false));
}

TEST(DiskPlacementReserve, SizesPastThirtyTwoBitsFail) {
    DiskState d;
    EXPECT_EQ(disk_reserve(&d, hd35(), {4294967295u, 4294967295u}), RC_NO_SPACE_WITHOUT_SPLITTING);
    EXPECT_EQ(d, state(1, 1457664, 0, 0, false));
    // One size that rounds up past 32 bits on its own.
    EXPECT_EQ(disk_reserve(&d, hd35(), {4294967295u}), RC_NO_SPACE_WITHOUT_SPLITTING);
    EXPECT_EQ(d, state(1, 1457664, 0, 0, false));
    // A medium as large as 32 bits allow, where the rounded total would
    // wrap to a small number in 32-bit arithmetic.
    PlacementParameters big = medium(4294966784u, 512, 223);
    EXPECT_EQ(disk_reserve(&d, big, {4294966784u, 512}), RC_NO_SPACE_WITHOUT_SPLITTING);
    EXPECT_EQ(d, state(1, 4294966784u, 0, 0, false));
}

// ---------------------------------------------------------------------------
// Whole files

TEST(DiskPlacementWhole, ZeroByteFileTakesNoRoomButAnEntry) {
    PlacementParameters p = hd35();
    DiskState d = fresh(p);
    Placement out = placement(9, 9, {1, 2, 3});
    ASSERT_EQ(disk_place(&d, p, 0, false, &out), RC_OK);
    EXPECT_EQ(out, placement(1, 1, {0}));
    EXPECT_EQ(d, state(1, 1457664, 0, 1, false));
}

TEST(DiskPlacementWhole, FilesFollowOneAnotherWhileTheyFit) {
    PlacementParameters p = hd35();
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 1000), placement(1, 1, {1024}));
    EXPECT_EQ(place_ok(&d, p, 513, false), placement(1, 1, {1024}));
    EXPECT_EQ(place_ok(&d, p, 512), placement(1, 1, {512}));
    EXPECT_EQ(d, state(1, 1455104, 2025, 3, false));
}

TEST(DiskPlacementWhole, FileFillingTheDiskExactlySendsTheNextOneToANewDisk) {
    PlacementParameters p = hd35();
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 1000), placement(1, 1, {1024}));
    EXPECT_EQ(place_ok(&d, p, 1456640), placement(1, 1, {1456640}));
    EXPECT_EQ(d, state(1, 0, 1457640, 2, true));
    // Even a file of 0 bytes, which would need no room, starts disk 2.
    EXPECT_EQ(place_ok(&d, p, 0), placement(2, 1, {0}));
    EXPECT_EQ(d, state(2, 1457664, 0, 1, false));
}

TEST(DiskPlacementWhole, FileFillingAFreshDiskMarksItFull) {
    PlacementParameters p = ld35();
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 730112, false), placement(1, 1, {730112}));
    EXPECT_EQ(d, state(1, 0, 730112, 1, true));
    EXPECT_EQ(place_ok(&d, p, 1), placement(2, 1, {1024}));
    EXPECT_EQ(d, state(2, 729088, 1, 1, false));
}

// ---------------------------------------------------------------------------
// Root entries

TEST(DiskPlacementEntries, FileAfterTheLastEntryStartsTheNextDiskWhole) {
    PlacementParameters p = hd35();
    DiskState d = fresh(p);
    for (int i = 0; i < 223; ++i) ASSERT_EQ(place_ok(&d, p, 1000), placement(1, 1, {1024})) << i;
    EXPECT_EQ(d, state(1, 1229312, 223000, 223, false));
    // Space is left on disk 1, so the file is not split but moves on.
    EXPECT_EQ(place_ok(&d, p, 1000), placement(2, 1, {1024}));
    EXPECT_EQ(d, state(2, 1456640, 1000, 1, false));
}

TEST(DiskPlacementEntries, ZeroByteFileAfterTheLastEntryStartsTheNextDisk) {
    PlacementParameters p = ld35();
    DiskState d = fresh(p);
    for (int i = 0; i < 111; ++i) ASSERT_EQ(place_ok(&d, p, 0), placement(1, 1, {0})) << i;
    EXPECT_EQ(place_ok(&d, p, 0), placement(2, 1, {0}));
    EXPECT_EQ(d, state(2, 730112, 0, 1, false));
}

TEST(DiskPlacementEntries, FileTooLargeForTheRestBeginsOnTheNextDiskWhenNoEntryIsLeft) {
    PlacementParameters p = hd35();
    DiskState d = fresh(p);
    for (int i = 0; i < 223; ++i) ASSERT_EQ(place_ok(&d, p, 1000), placement(1, 1, {1024})) << i;
    // 1300480 rounded bytes do not fit the 1229312 left, and no entry is
    // free for a first segment: the whole file goes on disk 2.
    EXPECT_EQ(place_ok(&d, p, 1300000), placement(2, 1, {1300480}));
    EXPECT_EQ(d, state(2, 157184, 1300000, 1, false));
}

// ---------------------------------------------------------------------------
// Files that may not be split

TEST(DiskPlacementNoSplit, UncompressedFileGoesWholeOntoAFreshDiskWithoutMarkingItFull) {
    PlacementParameters p = hd35();
    p.no_split = true;
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 1000, false), placement(1, 1, {1024}));
    EXPECT_EQ(place_ok(&d, p, 1457664, false), placement(2, 1, {1457664}));
    EXPECT_EQ(d, state(2, 0, 1457664, 1, false));
    // Disk 2 is not marked full, so a file of 0 bytes still joins it; that
    // placement leaves 0 and marks it.
    EXPECT_EQ(place_ok(&d, p, 0, false), placement(2, 1, {0}));
    EXPECT_EQ(d, state(2, 0, 1457664, 2, true));
    EXPECT_EQ(place_ok(&d, p, 1, false), placement(3, 1, {512}));
    EXPECT_EQ(d, state(3, 1457152, 1, 1, false));
}

TEST(DiskPlacementNoSplit, UncompressedFileLargerThanAFreshDiskFails) {
    PlacementParameters p = hd35();
    p.no_split = true;
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 1000, false), placement(1, 1, {1024}));
    Placement out;
    EXPECT_EQ(disk_place(&d, p, 1457665, false, &out), RC_NO_SPACE_WITHOUT_SPLITTING);

    d = fresh(p);
    EXPECT_EQ(disk_place(&d, p, 1457665, false, &out), RC_NO_SPACE_WITHOUT_SPLITTING);
}

TEST(DiskPlacementNoSplit, CompressedFileIsSplitAsUsual) {
    PlacementParameters p = hd35();
    p.no_split = true;
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 1000, false), placement(1, 1, {1024}));
    EXPECT_EQ(place_ok(&d, p, 1457664, true), placement(1, 2, {1456640, 1024}));
    EXPECT_EQ(d, state(2, 1456640, 1024, 1, false));
    EXPECT_EQ(place_ok(&d, p, 1457665, true), placement(2, 2, {1456640, 1536}));
    EXPECT_EQ(d, state(3, 1456128, 1025, 1, false));
}

TEST(DiskPlacementNoSplit, WithoutTheOptionUncompressedFilesAreSplitToo) {
    PlacementParameters p = hd35();
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 1000, false), placement(1, 1, {1024}));
    EXPECT_EQ(place_ok(&d, p, 1457665, false), placement(1, 2, {1456640, 1536}));
    EXPECT_EQ(d, state(2, 1456128, 1025, 1, false));
}

// ---------------------------------------------------------------------------
// Split files

TEST(DiskPlacementSplit, FirstSegmentFillsTheRestOfTheDisk) {
    PlacementParameters p = hd35();
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 1355264), placement(1, 1, {1355264}));
    EXPECT_EQ(d, state(1, 102400, 1355264, 1, false));
    // 1500000 bytes are 1500160 rounded.
    EXPECT_EQ(place_ok(&d, p, 1500000), placement(1, 2, {102400, 1397760}));
    EXPECT_EQ(d, state(2, 59904, 1397600, 1, false));
}

TEST(DiskPlacementSplit, TooLittleRoomForAFirstSegmentStartsTheFileOnTheNextDisk) {
    PlacementParameters p = hd35();
    p.min_split_space = 204800;
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 1355264), placement(1, 1, {1355264}));
    EXPECT_EQ(place_ok(&d, p, 1500000), placement(2, 2, {1457664, 42496}));
    EXPECT_EQ(d, state(3, 1415168, 42336, 1, false));
}

TEST(DiskPlacementSplit, SlopCountsTowardsTheMinimumSplitSpace) {
    PlacementParameters p = hd35();
    p.slop = 10240;
    p.min_split_space = 112640;  // exactly the 102400 left plus the slop
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 1345024), placement(1, 1, {1345024}));
    EXPECT_EQ(d, state(1, 102400, 1345024, 1, false));
    DiskState again = d;
    EXPECT_EQ(place_ok(&d, p, 1500000), placement(1, 2, {102400, 1397760}));
    EXPECT_EQ(d, state(2, 49664, 1397600, 1, false));

    p.min_split_space = 113664;  // one KiB more
    EXPECT_EQ(place_ok(&again, p, 1500000), placement(2, 2, {1447424, 52736}));
    EXPECT_EQ(again, state(3, 1394688, 52576, 1, false));
}

TEST(DiskPlacementSplit, SegmentsSpanSeveralDisks) {
    PlacementParameters p = ld35();
    DiskState d = fresh(p);
    // 2000000 bytes are 2000896 rounded to 1024.
    EXPECT_EQ(place_ok(&d, p, 2000000, false), placement(1, 3, {730112, 730112, 540672}));
    EXPECT_EQ(d, state(3, 189440, 539776, 1, false));
}

TEST(DiskPlacementSplit, LastSegmentFillingItsDiskSendsTheNextFileOn) {
    PlacementParameters p = hd35();
    DiskState d = fresh(p);
    EXPECT_EQ(place_ok(&d, p, 2915328), placement(1, 2, {1457664, 1457664}));
    EXPECT_EQ(d, state(2, 0, 1457664, 1, true));
    EXPECT_EQ(place_ok(&d, p, 0), placement(3, 1, {0}));
    EXPECT_EQ(d, state(3, 1457664, 0, 1, false));
}

TEST(DiskPlacementSplit, NoZeroByteSegmentOnADiskWithNoRoomLeft) {
    PlacementParameters p = hd35();
    p.no_split = true;
    DiskState d = fresh(p);
    // Fills disk 2 through the no-split path, which leaves it unmarked.
    EXPECT_EQ(place_ok(&d, p, 1000, false), placement(1, 1, {1024}));
    EXPECT_EQ(place_ok(&d, p, 1457664, false), placement(2, 1, {1457664}));
    EXPECT_EQ(place_ok(&d, p, 1457665, true), placement(3, 2, {1457664, 512}));
    EXPECT_EQ(d, state(4, 1457152, 1, 1, false));
}

TEST(DiskPlacementSplit, EachDiskHoldsBackTheSlop) {
    PlacementParameters p = hd35();
    p.slop = 10240;
    DiskState d = fresh(p);
    EXPECT_EQ(d, state(1, 1447424, 0, 0, false));
    // 3000000 bytes are 3000320 rounded.
    EXPECT_EQ(place_ok(&d, p, 3000000), placement(1, 3, {1447424, 1447424, 105472}));
    EXPECT_EQ(d, state(3, 1341952, 105152, 1, false));
    // The bytes remaining count the slop again: 1341952 + 10240.
    EXPECT_EQ(disk_summary_text(d, p),
              "3 disks required.  105152 bytes used on disk 3.  1352192 bytes remain on disk 3.");
}

TEST(DiskPlacementSplit, MinimumSplitSpaceAboveAFreshDiskFails) {
    PlacementParameters p = hd35();
    p.min_split_space = 1457665;
    DiskState d = fresh(p);
    // A file that fits is not held to the minimum.
    EXPECT_EQ(place_ok(&d, p, 1000), placement(1, 1, {1024}));
    Placement out;
    EXPECT_EQ(disk_place(&d, p, 1457664, true, &out), RC_NO_SPACE_WITH_SPLIT_SIZE);
}

TEST(DiskPlacementSplit, FreshDiskWithoutRoomFailsInsteadOfLooping) {
    PlacementParameters p = hd35();
    p.slop = 1457664;
    DiskState d = fresh(p);
    Placement out;
    EXPECT_EQ(disk_place(&d, p, 1, true, &out), RC_NO_SPACE_WITH_SPLIT_SIZE);
    // No segment of 0 bytes was made on the way.
    EXPECT_EQ(out.segments, std::vector<uint32_t>{});

    p.no_split = true;
    d = fresh(p);
    EXPECT_EQ(disk_place(&d, p, 1, false, &out), RC_NO_SPACE_WITHOUT_SPLITTING);
}

TEST(DiskPlacementSplit, FileOfNearlyFourGibibytesRoundsPastThirtyTwoBits) {
    PlacementParameters p = hd35();
    DiskState d = fresh(p);
    // 4294967295 bytes are 4294967296 rounded: 2946 whole disks and 689152.
    std::vector<uint32_t> segments(2946, 1457664);
    segments.push_back(689152);
    EXPECT_EQ(place_ok(&d, p, 4294967295u), placement(1, 2947, segments));
    EXPECT_EQ(d, state(2947, 768512, 689151, 1, false));
}

TEST(DiskPlacementSplit, SlopOfNoWholeClustersNeverWraps) {
    PlacementParameters p = hd35();
    p.slop = 100;
    DiskState d = fresh(p);
    EXPECT_EQ(d, state(1, 1457564, 0, 0, false));
    // 1457500 bytes are 1457664 rounded; the first segment of 1457564 holds
    // all the data, so the final one of 100 adds none to the bytes used.
    EXPECT_EQ(place_ok(&d, p, 1457500), placement(1, 2, {1457564, 100}));
    EXPECT_EQ(d, state(2, 1457464, 0, 1, false));
    EXPECT_EQ(disk_summary_text(d, p),
              "2 disks required.  0 bytes used on disk 2.  1457564 bytes remain on disk 2.");
}

// ---------------------------------------------------------------------------
// The summary

TEST(DiskPlacementSummary, ReportsTheLastDisk) {
    PlacementParameters p = hd35();
    DiskState d = fresh(p);
    EXPECT_EQ(disk_summary_text(d, p),
              "1 disks required.  0 bytes used on disk 1.  1457664 bytes remain on disk 1.");

    p.min_split_space = 204800;
    EXPECT_EQ(place_ok(&d, p, 1355264), placement(1, 1, {1355264}));
    EXPECT_EQ(place_ok(&d, p, 1500000), placement(2, 2, {1457664, 42496}));
    EXPECT_EQ(disk_summary_text(d, p),
              "3 disks required.  42336 bytes used on disk 3.  1415168 bytes remain on disk 3.");
}

TEST(DiskPlacementSummary, RemainingBytesDoNotWrap) {
    PlacementParameters p = hd35();
    p.slop = 4294967295u;
    EXPECT_EQ(disk_summary_text(state(12, 4294967295u, 7, 1, false), p),
              "12 disks required.  7 bytes used on disk 12.  8589934590 bytes remain on disk 12.");
}

// ---------------------------------------------------------------------------
// Random products

namespace {

struct Medium {
    uint32_t capacity;
    uint32_t cluster;
    uint32_t entries;
};

constexpr Medium MEDIA[] = {
    {1457664, 512, 223},   // 3.5HD
    {730112, 1024, 111},   // 3.5LD
    {362496, 1024, 111},   // 5.25LD
    {2915328, 512, 111},   // 3.5UD
    {1250304, 1024, 223},  // JHD
};

class Random {
public:
    explicit Random(uint32_t seed) : gen_(seed) {}
    // 0 to n - 1.
    uint32_t below(uint32_t n) { return uint32_t((uint64_t(gen_()) * n) >> 32); }
    // 0 to n.
    uint32_t upto(uint32_t n) { return uint32_t((uint64_t(gen_()) * (uint64_t(n) + 1)) >> 32); }
    bool one_in(uint32_t n) { return below(n) == 0; }

private:
    std::mt19937 gen_;
};

struct ProductFile {
    uint32_t size = 0;
    bool compressed = false;
};

struct Product {
    PlacementParameters p;
    std::vector<uint32_t> reserved;
    std::vector<ProductFile> files;
};

uint64_t rounded(uint64_t size, uint32_t cluster) {
    return (size + cluster - 1) / cluster * cluster;
}

uint32_t room_of(const PlacementParameters& p) {
    return p.slop > p.media_capacity ? 0 : p.media_capacity - p.slop;
}

uint32_t minus(uint32_t a, uint32_t b) {
    return a > b ? a - b : 0;
}

// Sizes biased towards small files, whole clusters and the edges of a disk.
uint32_t random_size(Random* r, const PlacementParameters& p) {
    uint32_t cap = p.media_capacity;
    uint32_t cl = p.cluster_size;
    uint32_t room = room_of(p);
    switch (r->below(12)) {
        case 0:
            return 0;
        case 1:
        case 2:
        case 3:
            return r->upto(4096);
        case 4:
            return cl * r->upto(cap / cl);
        case 5:
            return cl * r->upto(8);
        case 6: {  // around the room of a disk, or around its whole capacity
            uint32_t base = r->one_in(2) ? room : cap;
            uint32_t delta = r->upto(2 * cl);
            return r->one_in(2) ? base + delta : minus(base, delta);
        }
        case 7: {  // around a few disks' worth
            uint32_t base = room * (1 + r->below(3));
            uint32_t delta = r->upto(cl);
            return r->one_in(2) ? base + delta : minus(base, delta);
        }
        case 8:
        case 9:
            return r->upto(cap);
        default:
            return cap + r->upto(4 * cap);
    }
}

Product random_product(Random* r) {
    Product prod;
    const Medium& m = MEDIA[r->below(5)];
    PlacementParameters& p = prod.p;
    p.media_capacity = m.capacity;
    p.cluster_size = m.cluster;
    p.max_root_entries = m.entries;

    // Mostly whole KiB up to a quarter of the disk; now and then a slop of
    // no whole clusters, or one that leaves no room at all.
    uint32_t s = r->below(32);
    if (s == 0)
        p.slop = m.capacity + 1024 * r->below(3);
    else if (s <= 2)
        p.slop = r->upto(m.capacity / 4);
    else
        p.slop = 1024 * r->upto(m.capacity / 4 / 1024);

    // Mostly whole KiB up to the capacity; now and then more than a fresh
    // disk offers, which no split can meet.
    uint32_t t = r->below(16);
    if (t <= 3)
        p.min_split_space = 0;
    else if (t == 4)
        p.min_split_space = m.capacity + 1024 * (1 + r->below(64));
    else
        p.min_split_space = 1024 * r->upto(m.capacity / 1024);

    p.no_split = r->one_in(2);

    switch (r->below(8)) {
        case 0:
        case 1:
        case 2:
        case 3:
            break;
        case 4:
        case 5: {  // many small files, sometimes one more than the disk has entries
            uint32_t n = r->upto(m.entries + 1);
            for (uint32_t i = 0; i < n; ++i)
                prod.reserved.push_back(r->one_in(4) ? 0 : r->upto(2048));
            break;
        }
        case 6: {
            uint32_t n = 1 + r->below(6);
            for (uint32_t i = 0; i < n; ++i) prod.reserved.push_back(random_size(r, p));
            break;
        }
        default: {
            uint32_t n = 1 + r->below(3);
            for (uint32_t i = 0; i < n; ++i)
                prod.reserved.push_back(r->one_in(2) ? 4294967295u - r->below(4096)
                                                     : r->upto(4096));
            break;
        }
    }

    if (r->one_in(8)) {  // enough small files to use up the entries of disks
        uint32_t n = m.entries + r->upto(2 * m.entries);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t size = r->one_in(3) ? 0 : (r->one_in(8) ? random_size(r, p) : r->upto(3000));
            prod.files.push_back({size, r->one_in(2)});
        }
    } else {
        uint32_t n = 1 + r->below(40);
        for (uint32_t i = 0; i < n; ++i) prod.files.push_back({random_size(r, p), r->one_in(2)});
    }
    return prod;
}

// How often the random products met each case, so that the run shows the
// generator reaches them all.
struct Coverage {
    int products_completed = 0;
    int whole = 0;
    int split = 0;
    int new_disk_for_entries = 0;
    int new_disk_after_full = 0;
    int first_segment_skipped = 0;
    int reserve_failed = 0;
    int failed_1005 = 0;
    int failed_1006 = 0;
};

// The rounded bytes, entries and unrounded bytes of every disk, rebuilt from
// the placements alone; index 0 is unused.
struct DiskTally {
    std::vector<uint64_t> bytes{0};
    std::vector<uint32_t> entries{0};
    std::vector<uint64_t> used{0};
    uint32_t last() const { return uint32_t(bytes.size() - 1); }
    void add_disk() {
        bytes.push_back(0);
        entries.push_back(0);
        used.push_back(0);
    }
};

void run_product(const Product& prod, Coverage* cov) {
    const PlacementParameters& p = prod.p;
    const uint32_t room = room_of(p);
    const bool fresh_disk_refuses_splits = uint64_t(room) + p.slop < p.min_split_space || room == 0;

    DiskTally tally;
    tally.add_disk();

    DiskState disk;
    ResultCode rc = disk_reserve(&disk, p, prod.reserved);
    uint64_t reserved_bytes = 0;
    uint64_t reserved_used = 0;
    for (uint32_t size : prod.reserved) {
        reserved_bytes += rounded(size, p.cluster_size);
        reserved_used += size;
    }
    bool reserve_fits = prod.reserved.size() <= p.max_root_entries && reserved_bytes <= room &&
                        reserved_used <= UINT32_MAX;
    ASSERT_EQ(rc, reserve_fits ? RC_OK : RC_NO_SPACE_WITHOUT_SPLITTING);
    if (!reserve_fits) {
        EXPECT_EQ(disk, state(1, room, 0, 0, false));
        ++cov->reserve_failed;
        return;
    }
    tally.bytes[1] = reserved_bytes;
    tally.entries[1] = uint32_t(prod.reserved.size());
    tally.used[1] = reserved_used;
    ASSERT_EQ(disk, state(1, uint32_t(room - reserved_bytes), uint32_t(reserved_used),
                          tally.entries[1], false));

    for (size_t f = 0; f < prod.files.size(); ++f) {
        SCOPED_TRACE("file " + std::to_string(f) + " of " + std::to_string(prod.files[f].size) +
                     " bytes" + (prod.files[f].compressed ? ", compressed" : ""));
        const uint32_t size = prod.files[f].size;
        const uint64_t c = rounded(size, p.cluster_size);
        const bool splittable = !(p.no_split && !prod.files[f].compressed);
        const DiskState before = disk;
        const uint32_t last = tally.last();
        ASSERT_EQ(before.disk_number, last);
        if (before.disk_full) {
            ASSERT_EQ(before.bytes_left, 0u);
        }

        Placement out;
        rc = disk_place(&disk, p, size, prod.files[f].compressed, &out);

        // A file that can never go whole onto a disk and may not be split
        // fails with RC_NO_SPACE_WITHOUT_SPLITTING; one that may be split, where no fresh disk
        // takes segments, fails with RC_NO_SPACE_WITH_SPLIT_SIZE. Nothing else fails.
        if (!splittable && c > room) {
            EXPECT_EQ(rc, RC_NO_SPACE_WITHOUT_SPLITTING);
        } else if (splittable && c > room && fresh_disk_refuses_splits) {
            EXPECT_EQ(rc, RC_NO_SPACE_WITH_SPLIT_SIZE);
        }
        if (rc == RC_NO_SPACE_WITHOUT_SPLITTING) {
            EXPECT_TRUE(!splittable && c > room);
            ++cov->failed_1006;
            return;
        }
        if (rc == RC_NO_SPACE_WITH_SPLIT_SIZE) {
            EXPECT_TRUE(splittable && fresh_disk_refuses_splits);
            // What was laid out before the failure holds no empty segment.
            for (uint32_t s : out.segments) EXPECT_GT(s, 0u);
            ++cov->failed_1005;
            return;
        }
        ASSERT_EQ(rc, RC_OK);

        // The segments make up the file, one per disk, none empty.
        ASSERT_EQ(out.disk_count, out.segments.size());
        uint64_t sum = 0;
        for (uint32_t s : out.segments) sum += s;
        EXPECT_EQ(sum, c);
        if (size == 0) {
            EXPECT_EQ(out.segments, std::vector<uint32_t>{0});
        } else {
            for (uint32_t s : out.segments) EXPECT_GT(s, 0u);
        }
        if (!splittable) {
            EXPECT_EQ(out.disk_count, 1u);
        }

        // The file starts on the disk in hand unless that disk is marked
        // full, has no entry left, or can take neither the whole file nor
        // a first segment of it.
        const uint64_t left = tally.bytes[last] <= room ? room - tally.bytes[last] : 0;
        const bool entries_used_up = tally.entries[last] >= p.max_root_entries;
        const bool first_segment_here =
            splittable && left > 0 && left + p.slop >= p.min_split_space;
        const bool needs_new_disk =
            before.disk_full || entries_used_up || (c > left && !first_segment_here);
        ASSERT_EQ(out.start_disk, needs_new_disk ? last + 1 : last);

        // Rebuild the disks from the segments.
        uint64_t data_before_last = 0;
        for (size_t i = 0; i < out.segments.size(); ++i) {
            uint32_t d = out.start_disk + uint32_t(i);
            if (d > tally.last()) {
                ASSERT_EQ(d, tally.last() + 1);
                tally.add_disk();
            }
            tally.bytes[d] += out.segments[i];
            tally.entries[d] += 1;
            EXPECT_LE(tally.bytes[d], room) << "disk " << d;
            EXPECT_LE(tally.entries[d], p.max_root_entries) << "disk " << d;
            if (i + 1 < out.segments.size()) {
                EXPECT_EQ(tally.bytes[d], room) << "a segment before the last fills disk " << d;
                data_before_last += out.segments[i];
            }
        }
        const uint32_t end = tally.last();
        ASSERT_EQ(end, out.start_disk + out.disk_count - 1);
        tally.used[end] += size > data_before_last ? size - data_before_last : 0;

        EXPECT_EQ(disk.disk_number, end);
        EXPECT_EQ(disk.bytes_left, room - tally.bytes[end]);
        EXPECT_EQ(disk.bytes_used, tally.used[end]);
        EXPECT_EQ(disk.files_on_disk, tally.entries[end]);
        if (disk.disk_full) {
            EXPECT_EQ(disk.bytes_left, 0u);
        }
        // Placed on the disk in hand, or closed by a last segment: the
        // disk is marked full exactly when nothing is left.
        if (out.disk_count > 1 || out.start_disk == last) {
            EXPECT_EQ(disk.disk_full, disk.bytes_left == 0);
        }
        if (::testing::Test::HasFailure()) return;

        if (out.disk_count > 1)
            ++cov->split;
        else
            ++cov->whole;
        if (out.start_disk != last) {
            if (before.disk_full)
                ++cov->new_disk_after_full;
            else if (entries_used_up)
                ++cov->new_disk_for_entries;
            else if (splittable && c > left && left > 0)
                ++cov->first_segment_skipped;
        }
    }

    const uint32_t end = tally.last();
    EXPECT_EQ(disk, state(end, uint32_t(room - tally.bytes[end]), uint32_t(tally.used[end]),
                          tally.entries[end], disk.disk_full));
    std::string n = std::to_string(end);
    EXPECT_EQ(disk_summary_text(disk, p),
              n + " disks required.  " + std::to_string(tally.used[end]) + " bytes used on disk " +
                  n + ".  " + std::to_string(room - tally.bytes[end] + p.slop) +
                  " bytes remain on disk " + n + ".");
    ++cov->products_completed;
}

}  // namespace

TEST(DiskPlacementProperty, RandomProductsKeepEveryDiskWithinItsLimits) {
    Random r(20240611);
    Coverage cov;
    for (int i = 0; i < 10000; ++i) {
        Product prod = random_product(&r);
        SCOPED_TRACE(
            "product " + std::to_string(i) + ": capacity " + std::to_string(prod.p.media_capacity) +
            ", slop " + std::to_string(prod.p.slop) + ", min split " +
            std::to_string(prod.p.min_split_space) + (prod.p.no_split ? ", no split" : ""));
        run_product(prod, &cov);
        if (::testing::Test::HasFailure()) break;
    }
    // Every case of the rule was met.
    EXPECT_GT(cov.products_completed, 2000);
    EXPECT_GT(cov.whole, 0);
    EXPECT_GT(cov.split, 0);
    EXPECT_GT(cov.new_disk_for_entries, 0);
    EXPECT_GT(cov.new_disk_after_full, 0);
    EXPECT_GT(cov.first_segment_skipped, 0);
    EXPECT_GT(cov.reserve_failed, 0);
    EXPECT_GT(cov.failed_1005, 0);
    EXPECT_GT(cov.failed_1006, 0);
}
