// The folder bar's arithmetic: layout, hit testing and the tooltip text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "barlogic.h"

namespace {

std::vector<FolderSummary> Records(const std::vector<int32_t>& shares) {
    std::vector<FolderSummary> v(shares.size() + 1);  // room for one more, as the breakdown gives
    for (size_t i = 0; i < shares.size(); i++) {
        std::memset(&v[i], 0, sizeof v[i]);
        v[i].shareMille = shares[i];
        v[i].barLeft = -7;  // marks extents that no drawing has set
        v[i].barRight = -9;
    }
    return v;
}

FolderSummary Record(const char* name, uint64_t bytes, uint32_t files, uint32_t dirs) {
    FolderSummary r;
    std::memset(&r, 0, sizeof r);
    std::snprintf(r.name, sizeof r.name, "%s", name);
    r.totalBytes = bytes;
    r.fileCount = files;
    r.dirCount = dirs;
    return r;
}

void AddLarge(FolderSummary* r, int i, const char* name, uint64_t bytes) {
    std::snprintf(r->largest[i].name, sizeof r->largest[i].name, "%s", name);
    r->largest[i].bytes = bytes;
}

std::string Tip(const FolderSummary& r) {
    std::vector<char> list(4096), text(4096);
    ComposeTipList(list.data(), 4096, r.largest);
    ComposeTipText(text.data(), 4096, &r, list.data());
    return text.data();
}

const uint64_t kMiB = 1024 * 1024;

}  // namespace

TEST(BarLayout, FiveHundredPixelsFourRecords) {
    auto recs = Records({500, 250, 200, 50});
    EXPECT_EQ(BarAvailableWidth(0, 500, 4), 454);
    int fillerLeft = 0;
    EXPECT_EQ(LayoutBar(recs.data(), 4, 0, 500, &fillerLeft), 0);
    const int want[4][2] = {{20, 246}, {249, 361}, {364, 453}, {456, 477}};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(recs[i].barLeft, want[i][0]) << i;
        EXPECT_EQ(recs[i].barRight, want[i][1]) << i;
    }
    // The last segment stays inside the pointer band.
    EXPECT_LE(recs[3].barRight, 500 - 21);
    EXPECT_EQ(fillerLeft, 480);
}

TEST(BarLayout, NarrowClientFortyRecordsGivesWhiteFiller) {
    std::vector<int32_t> shares = {75, 75};
    for (int i = 0; i < 38; i++) shares.push_back(i < 14 ? 23 : 22);
    int sum = 0;
    for (int s : shares) sum += s;
    ASSERT_EQ(sum, 1000);
    auto recs = Records(shares);
    recs[0].barLeft = 30;  // an earlier drawing's extents
    recs[0].barRight = 40;
    EXPECT_EQ(BarAvailableWidth(0, 100, 40), -18);
    EXPECT_EQ(SegmentWidth(75, -18.0), -1);
    EXPECT_EQ(SegmentWidth(23, -18.0), 0);

    int fillerLeft = 0;
    EXPECT_EQ(LayoutBar(recs.data(), 40, 0, 100, &fillerLeft), 22);
    EXPECT_EQ(fillerLeft, 96);
    // No segment for width -1: extents kept from before.
    EXPECT_EQ(recs[0].barLeft, 30);
    EXPECT_EQ(recs[0].barRight, 40);
    EXPECT_EQ(recs[1].barLeft, -7);
    // Width 0: an empty range, and the next one two columns on.
    for (int i = 2; i < 40; i++) {
        EXPECT_EQ(recs[i].barLeft, 20 + 2 * (i - 2)) << i;
        EXPECT_EQ(recs[i].barRight, recs[i].barLeft - 1) << i;
    }
}

TEST(BarLayout, NegativeWidthsMoveTheFillerCounter) {
    // The client is sized so that W is 958: shares of -2, -3, -4 give widths -1, -2, -3.
    struct Row {
        std::vector<int32_t> shares;
        int width;  // at W = 958
        int filler;
    } rows[] = {
        {{-2}, -1, 21},
        {{-2, -2}, -1, 22},
        {{-3, -3}, -2, 0},
        {{-4, -2}, -3, 0},           // -3 takes one away, -1 adds it back
        {{-2, -2, -2, -4}, -1, 22},  // 3 * +1 - 1
        {{0}, 0, 0},
    };
    for (const Row& row : rows) {
        int n = static_cast<int>(row.shares.size());
        int right = 958 + 2 * n + 38;
        EXPECT_EQ(SegmentWidth(row.shares[0], static_cast<double>(BarAvailableWidth(0, right, n))), row.width);
        auto recs = Records(row.shares);
        int fillerLeft = 0;
        EXPECT_EQ(LayoutBar(recs.data(), n, 0, right, &fillerLeft), row.filler) << row.shares[0] << " n " << n;
    }
}

TEST(BarLayout, WidthsAtZeroAndNegativeAvailableWidth) {
    // W = 0: every width 0, no filler.
    auto recs = Records({600, 400});
    int fillerLeft = 0;
    EXPECT_EQ(LayoutBar(recs.data(), 2, 0, 42, &fillerLeft), 0);
    EXPECT_EQ(recs[0].barLeft, 20);
    EXPECT_EQ(recs[0].barRight, 19);
    EXPECT_EQ(recs[1].barLeft, 22);
    EXPECT_EQ(fillerLeft, 24);
    // A client left edge other than 0 enters W.
    EXPECT_EQ(BarAvailableWidth(10, 500, 4), 444);
    // No records: nothing changes.
    auto none = Records({});
    EXPECT_EQ(LayoutBar(none.data(), 0, 0, 500, &fillerLeft), 0);
    EXPECT_EQ(LayoutBar(nullptr, 3, 0, 500, &fillerLeft), 0);
}

TEST(BarLayout, WidthKeepsTheLowThirtyTwoBits) {
    // Truncation toward zero, then the low 32 bits read as signed.
    EXPECT_EQ(SegmentWidth(999, 1.0), 0);
    EXPECT_EQ(SegmentWidth(-999, 1.0), 0);
    EXPECT_EQ(SegmentWidth(1000, 454.0), 454);
    // 2,000,000 * 2,200,000 * 0.001 = 4.4e9, past 2^32: 4.4e9 - 2^32 = 105032704.
    EXPECT_EQ(SegmentWidth(2000000, 2200000.0), 105032704);
    // 3e9 wraps into the negative half.
    EXPECT_EQ(SegmentWidth(3000000, 1000000.0), static_cast<int32_t>(3000000000u));
}

TEST(BarLayout, HugeSharesNeverOverflowAPosition) {
    // Bad shares that give widths near 2^31: positions stay ordered and bounded
    // (the sanitizer build fails on a signed overflow).
    std::vector<int32_t> shares(3000, 2000000);
    shares.push_back(INT32_MIN);
    shares.push_back(INT32_MAX);
    auto recs = Records(shares);
    int n = static_cast<int>(shares.size());
    int fillerLeft = 0;
    int filler = LayoutBar(recs.data(), n, 0, 1000000 + 2 * n + 38, &fillerLeft);
    EXPECT_GE(filler, 0);
    int64_t prev = 0;
    for (int i = 0; i < n; i++) {
        if (recs[i].barLeft == -7) continue;
        EXPECT_GE(recs[i].barLeft, prev) << i;
        EXPECT_GE(recs[i].barRight, recs[i].barLeft - 1) << i;
        EXPECT_LE(recs[i].barRight, kBarCoordLimit) << i;
        prev = recs[i].barLeft;
    }
    // Thousands of records with negative widths: the counter stays bounded.
    std::vector<int32_t> neg(5000, -1000000);
    auto negRecs = Records(neg);
    EXPECT_EQ(LayoutBar(negRecs.data(), 5000, 0, 500, &fillerLeft), 0);
    std::vector<int32_t> pos(5000, 1000000);
    auto posRecs = Records(pos);  // W < 0: widths of -9 million each, never drawn
    EXPECT_EQ(LayoutBar(posRecs.data(), 5000, 0, 500, &fillerLeft), 0);
}

TEST(BarHit, BandEdges) {
    struct Case {
        int x, y, right;
        bool in;
    } cases[] = {
        {100, 70, 500, false}, {100, 71, 500, true}, {100, 99, 500, true}, {100, 100, 500, false},
        {19, 80, 500, false},  {20, 80, 500, true},  {479, 80, 500, true}, {480, 80, 500, false},
        {20, 80, 40, false},   {65535, 80, 500, false},
    };
    for (const Case& c : cases) EXPECT_EQ(InBarBand(c.x, c.y, c.right), c.in) << c.x << "," << c.y;
    int x, y;
    PointerFromParam(0xFFFF0010u, &x, &y);  // 16-bit halves, unsigned
    EXPECT_EQ(x, 16);
    EXPECT_EQ(y, 65535);
}

TEST(BarHit, SegmentsByStoredExtents) {
    auto recs = Records({500, 250, 200, 50});
    int fillerLeft;
    LayoutBar(recs.data(), 4, 0, 500, &fillerLeft);
    struct Case {
        int x, hit;
    } cases[] = {{20, 0}, {246, 0}, {247, -1}, {248, -1}, {249, 1}, {361, 1}, {456, 3}, {477, 3}, {478, -1}, {19, -1}};
    for (const Case& c : cases) EXPECT_EQ(NextSegmentHit(recs.data(), 4, 0, c.x), c.hit) << c.x;
    // A width-0 record is never hit.
    auto zero = Records({600, 400});
    LayoutBar(zero.data(), 2, 0, 42, &fillerLeft);
    for (int x = 0; x < 40; x++) EXPECT_EQ(NextSegmentHit(zero.data(), 2, 0, x), -1) << x;
    // Overlapping extents: the walk finds each in turn.
    recs[2].barLeft = 200;
    recs[2].barRight = 300;
    EXPECT_EQ(NextSegmentHit(recs.data(), 4, 0, 240), 0);
    EXPECT_EQ(NextSegmentHit(recs.data(), 4, 1, 240), 2);
    EXPECT_EQ(NextSegmentHit(recs.data(), 4, 3, 240), -1);
    EXPECT_EQ(NextSegmentHit(nullptr, 4, 0, 240), -1);
}

TEST(BarHit, StaleHoverCountsAsNone) {
    EXPECT_TRUE(HoverIsValid(0, 1));
    EXPECT_TRUE(HoverIsValid(4, 5));
    EXPECT_FALSE(HoverIsValid(-1, 5));
    EXPECT_FALSE(HoverIsValid(5, 5));
    EXPECT_FALSE(HoverIsValid(40, 3));
    EXPECT_FALSE(HoverIsValid(0, 0));
    EXPECT_FALSE(HoverIsValid(-2, 5));
    EXPECT_EQ(HighlightColor(0xEF10EF), 0xFF20FFu);
}

TEST(BarTip, TwoLargestFilesExactly) {
    FolderSummary r = Record("C:\\data\\photos", 3 * kMiB + kMiB / 2, 7, 2);
    AddLarge(&r, 0, "big.raw", 2 * kMiB);
    AddLarge(&r, 1, "note.txt", 1000);
    EXPECT_EQ(Tip(r),
              "3 MB (3584 kB)\r\n7 files, 2 dirs\r\n\r\nLargest files\r\n\r\n"
              "2 MB\t\tbig.raw\r\n0 MB\t\tnote.txt\r\n");
    char title[300];
    TipTitle(title, sizeof title, &r);
    EXPECT_STREQ(title, "photos");
}

TEST(BarTip, NoLargestFiles) {
    FolderSummary r = Record("Z:\\tmp\\empty", 0, 0, 0);
    EXPECT_EQ(Tip(r), "0 MB (0 kB)\r\n0 files, 0 dirs\r\n\r\nLargest files\r\n\r\n");
    // An entry after the first empty one is not listed.
    AddLarge(&r, 1, "ghost", 5 * kMiB);
    EXPECT_EQ(Tip(r), "0 MB (0 kB)\r\n0 files, 0 dirs\r\n\r\nLargest files\r\n\r\n");
}

TEST(BarTip, SixtyFourBitNumbers) {
    // 3 TiB folder, 5 GiB file, counts past 2^31.
    FolderSummary r = Record("C:\\huge", 3ull << 40, 3000000000u, 4000000000u);
    AddLarge(&r, 0, "disk.img", 5ull << 30);
    EXPECT_EQ(Tip(r),
              "3145728 MB (3221225472 kB)\r\n3000000000 files, 4000000000 dirs\r\n\r\nLargest files\r\n\r\n"
              "5120 MB\t\tdisk.img\r\n");
}

TEST(BarTip, TitleShapes) {
    struct Case {
        const char* name;
        const char* title;
    } cases[] = {{"C:\\a\\b", "b"}, {"plain", "plain"}, {"C:\\", ""}, {"\\\\server\\share\\x y", "x y"}};
    for (const Case& c : cases) {
        FolderSummary r = Record(c.name, 0, 0, 0);
        char title[300];
        TipTitle(title, sizeof title, &r);
        EXPECT_STREQ(title, c.title) << c.name;
    }
}

TEST(BarTip, BodyCutAfter1023Characters) {
    FolderSummary r = Record("C:\\long", 10 * kMiB, 10, 0);
    std::string full = "10 MB (10240 kB)\r\n10 files, 0 dirs\r\n\r\nLargest files\r\n\r\n";
    for (int i = 0; i < kLargestCount; i++) {
        std::string name(200, static_cast<char>('a' + i));
        AddLarge(&r, i, name.c_str(), (20 - i) * kMiB);
        full += std::to_string(20 - i) + " MB\t\t" + name + "\r\n";
    }
    ASSERT_GT(full.size(), 1023u);
    std::string tip = Tip(r);
    EXPECT_EQ(tip.size(), 1023u);
    EXPECT_EQ(tip, full.substr(0, 1023));
    // A smaller buffer is never overrun.
    char small[16];
    ComposeTipText(small, sizeof small, &r, "");
    EXPECT_STREQ(small, "10 MB (10240 kB");
}

TEST(BarTip, CutNeverSplitsAMultiByteCharacter) {
    // Ten names of 200 letters; the letters at 1022 and 1023 become one
    // two-byte character, which the cut after 1023 would split.
    FolderSummary r = Record("C:\\long", 10 * kMiB, 10, 0);
    std::string head = "10 MB (10240 kB)\r\n10 files, 0 dirs\r\n\r\nLargest files\r\n\r\n";
    std::vector<std::string> names(kLargestCount);
    size_t at = head.size();
    int entry = -1;
    size_t offset = 0;
    for (int i = 0; i < kLargestCount; i++) {
        names[i] = std::string(200, 'a');
        at += std::to_string(20 - i).size() + 5;  // " MB\t\t"
        if (entry < 0 && at + 200 > 1023) {
            entry = i;
            offset = 1022 - at;
        }
        at += 202;
    }
    ASSERT_GE(entry, 0);
    ASSERT_LT(offset + 1, 200u);
    names[entry].replace(offset, 2, "\xC3\xA9");
    std::string full = head;
    for (int i = 0; i < kLargestCount; i++) {
        AddLarge(&r, i, names[i].c_str(), (20 - i) * kMiB);
        full += std::to_string(20 - i) + " MB\t\t" + names[i] + "\r\n";
    }
    ASSERT_EQ(full.substr(1022, 2), "\xC3\xA9");
    EXPECT_EQ(Tip(r), full.substr(0, 1022));
}

TEST(BarTip, UnterminatedFieldsAreReadWithinTheRecord) {
    // Bad records: names filling their whole field without a terminator.
    FolderSummary r = Record("", kMiB, 1, 0);
    std::memset(r.name, 'n', sizeof r.name);
    r.name[100] = '\\';
    std::memset(r.largest[0].name, 'f', sizeof r.largest[0].name);
    r.largest[0].bytes = kMiB;
    char title[300];
    TipTitle(title, sizeof title, &r);
    EXPECT_EQ(std::strlen(title), static_cast<size_t>(kNameSize - 101));
    std::string tip = Tip(r);
    EXPECT_NE(tip.find("1 MB\t\t" + std::string(kNameSize, 'f') + "\r\n"), std::string::npos);

    // The drill-down copy never writes past a 260-byte path.
    char path[261];
    std::memset(path, '#', sizeof path);
    CopyRecordPath(path, 260, &r);
    EXPECT_EQ(std::strlen(path), 259u);
    EXPECT_EQ(path[260], '#');
    FolderSummary ok = Record("C:\\Users\\100%sure", 0, 0, 0);
    CopyRecordPath(path, 260, &ok);
    EXPECT_STREQ(path, "C:\\Users\\100%sure");
}
