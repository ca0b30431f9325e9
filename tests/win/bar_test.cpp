// The folder bar drawn into a memory DC and read back pixel by pixel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "barlogic.h"
#include "barview.h"

namespace {

const COLORREF kSentinel = RGB(0x12, 0x34, 0x56);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kGrey = RGB(224, 224, 224);

// A top-down 32-bit DIB selected into a memory DC, filled with one colour.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
        BITMAPINFO bi;
        ZeroMemory(&bi, sizeof bi);
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        dc_ = CreateCompatibleDC(nullptr);
        bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<uint32_t*>(bits);
        old_ = SelectObject(dc_, bmp_);
        Fill(fill);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void Fill(COLORREF c) {
        GdiFlush();
        uint32_t v = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        for (int i = 0; i < width_ * height_; i++) bits_[i] = v;
    }
    COLORREF At(int x, int y) const {
        GdiFlush();
        uint32_t v = bits_[y * width_ + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bmp_;
    HGDIOBJ old_;
    uint32_t* bits_;
};

// Installs records as the published breakdown for one test.
class BarDrawing : public testing::Test {
protected:
    void SetUp() override {
        savedFolders_ = g_folders;
        savedCount_ = g_folderCount;
        savedHover_ = g_hoverIndex;
    }
    void TearDown() override {
        g_folders = savedFolders_;
        g_folderCount = savedCount_;
        g_hoverIndex = savedHover_;
    }
    void Use(const std::vector<int32_t>& shares, const std::vector<COLORREF>& colors) {
        records_.assign(shares.size() + 1, FolderSummary());
        for (size_t i = 0; i < shares.size(); i++) {
            std::memset(&records_[i], 0, sizeof records_[i]);
            records_[i].shareMille = shares[i];
            records_[i].color = colors.empty() ? RGB(10, 20, 30) : colors[i % colors.size()];
            records_[i].barLeft = -7;
            records_[i].barRight = -9;
        }
        g_folders = records_.data();
        g_folderCount = static_cast<int>(shares.size());
    }
    std::vector<FolderSummary> records_;

private:
    FolderSummary* savedFolders_;
    int savedCount_;
    int savedHover_;
};

const COLORREF kFour[4] = {RGB(200, 30, 40), RGB(30, 150, 60), RGB(20, 40, 220), RGB(239, 16, 239)};
const RECT kClient500 = {0, 0, 500, 130};

// What row 85 of the 500-pixel example shows: panel, outlines and fills.
COLORREF ExpectedRow85(int x, const FolderSummary* recs, int count, int highlight) {
    if (x < 10 || x >= 490) return kSentinel;
    if (x == 10 || x == 489) return kBlack;
    for (int i = 0; i < count; i++) {
        if (x < recs[i].barLeft || x > recs[i].barRight) continue;
        bool edge = x == recs[i].barLeft || x == recs[i].barRight;
        if (i == highlight) return edge ? kWhite : HighlightColor(recs[i].color);
        return edge ? kBlack : recs[i].color;
    }
    return kGrey;
}

}  // namespace

TEST_F(BarDrawing, PanelSegmentsAndOutlines) {
    Use({500, 250, 200, 50}, {kFour[0], kFour[1], kFour[2], kFour[3]});
    Canvas c(520, 130, kSentinel);
    PaintBar(c.dc(), &kClient500);

    // Panel corners and what lies just outside it.
    EXPECT_EQ(c.At(10, 60), kBlack);
    EXPECT_EQ(c.At(489, 60), kBlack);
    EXPECT_EQ(c.At(10, 109), kBlack);
    EXPECT_EQ(c.At(489, 109), kBlack);
    EXPECT_EQ(c.At(11, 61), kGrey);
    EXPECT_EQ(c.At(100, 65), kGrey);
    EXPECT_EQ(c.At(100, 59), kSentinel);
    EXPECT_EQ(c.At(100, 110), kSentinel);
    EXPECT_EQ(c.At(9, 80), kSentinel);
    EXPECT_EQ(c.At(490, 80), kSentinel);

    // Segment 0 spans 20..246, rows 70..99, with a black outline.
    EXPECT_EQ(c.At(20, 70), kBlack);
    EXPECT_EQ(c.At(246, 70), kBlack);
    EXPECT_EQ(c.At(20, 99), kBlack);
    EXPECT_EQ(c.At(246, 99), kBlack);
    EXPECT_EQ(c.At(21, 71), kFour[0]);
    EXPECT_EQ(c.At(245, 98), kFour[0]);
    EXPECT_EQ(c.At(100, 69), kGrey);
    EXPECT_EQ(c.At(100, 100), kGrey);

    for (int x = 0; x < c.width(); x++) {
        ASSERT_EQ(c.At(x, 85), ExpectedRow85(x, g_folders, 4, -1)) << "x " << x;
    }
    // After the last segment (477) the panel stays grey.
    EXPECT_EQ(c.At(478, 85), kGrey);
}

TEST_F(BarDrawing, NoRecordsDrawsOnlyThePanel) {
    Use({500, 500}, {});
    g_folderCount = 0;
    Canvas c(520, 130, kSentinel);
    PaintBar(c.dc(), &kClient500);
    EXPECT_EQ(c.At(20, 70), kGrey);
    EXPECT_EQ(c.At(100, 85), kGrey);
    EXPECT_EQ(records_[0].barLeft, -7);
    EXPECT_EQ(records_[0].barRight, -9);
}

TEST_F(BarDrawing, HighlightFillAndCompleteWhiteBorder) {
    Use({500, 250, 200, 50}, {kFour[0], kFour[1], kFour[2], kFour[3]});
    Canvas c(520, 130, kSentinel);
    PaintBar(c.dc(), &kClient500);
    HighlightSegment(c.dc(), &kClient500, 1);

    const FolderSummary& r = records_[1];
    ASSERT_EQ(r.barLeft, 249);
    ASSERT_EQ(r.barRight, 361);
    COLORREF lit = RGB(30 + 16, 150 + 16, 60 + 16);
    EXPECT_EQ(c.At(250, 71), lit);
    EXPECT_EQ(c.At(360, 98), lit);
    for (int x = r.barLeft; x <= r.barRight; x++) {
        ASSERT_EQ(c.At(x, 70), kWhite) << x;
        ASSERT_EQ(c.At(x, 99), kWhite) << x;
    }
    for (int y = 70; y <= 99; y++) {
        ASSERT_EQ(c.At(r.barLeft, y), kWhite) << y;
        ASSERT_EQ(c.At(r.barRight, y), kWhite) << y;
    }
    // The border stays in the segment's own rows and columns.
    EXPECT_EQ(c.At(r.barRight + 1, 80), kGrey);
    EXPECT_EQ(c.At(300, 100), kGrey);
    for (int x = 0; x < c.width(); x++) {
        ASSERT_EQ(c.At(x, 85), ExpectedRow85(x, g_folders, 4, 1)) << "x " << x;
    }

    // Moving on to the last segment clears the first highlight; 239/16/239 lifts to 255/32/255.
    HighlightSegment(c.dc(), &kClient500, 3);
    EXPECT_EQ(c.At(456, 70), kWhite);
    EXPECT_EQ(c.At(477, 99), kWhite);
    EXPECT_EQ(c.At(460, 85), RGB(255, 32, 255));
    for (int x = 0; x < c.width(); x++) {
        ASSERT_EQ(c.At(x, 85), ExpectedRow85(x, g_folders, 4, 3)) << "x " << x;
    }
    EXPECT_EQ(c.At(249, 70), kBlack);
    EXPECT_EQ(c.At(361, 99), kBlack);
}

TEST_F(BarDrawing, SkippedSegmentLeftUntouchedButStored) {
    Use({500, 250, 200, 50}, {kFour[0], kFour[1], kFour[2], kFour[3]});
    Canvas c(520, 130, kSentinel);
    DrawBar(c.dc(), &kClient500, 1);
    EXPECT_EQ(records_[1].barLeft, 249);
    EXPECT_EQ(records_[1].barRight, 361);
    for (int y = 70; y < 100; y++) {
        for (int x = 249; x <= 361; x++) ASSERT_EQ(c.At(x, y), kSentinel) << x << "," << y;
    }
    EXPECT_EQ(c.At(20, 70), kBlack);
    EXPECT_EQ(c.At(30, 80), kFour[0]);
    EXPECT_EQ(c.At(400, 80), kFour[2]);
}

TEST_F(BarDrawing, NarrowClientDrawsOnlyTheWhiteFiller) {
    std::vector<int32_t> shares = {75, 75};
    for (int i = 0; i < 38; i++) shares.push_back(i < 14 ? 23 : 22);
    Use(shares, {});
    Canvas c(200, 130, kSentinel);
    RECT client = {0, 0, 100, 130};
    DrawBar(c.dc(), &client, -1);
    // The filler: 22 columns from x 96, beyond the client's right edge; nothing else.
    for (int y = 0; y < c.height(); y++) {
        for (int x = 0; x < c.width(); x++) {
            COLORREF want = kSentinel;
            if (y >= 70 && y < 100 && x >= 96 && x < 118) {
                want = (x == 96 || x == 117 || y == 70 || y == 99) ? kBlack : kWhite;
            }
            ASSERT_EQ(c.At(x, y), want) << x << "," << y;
        }
    }
}

TEST_F(BarDrawing, BadSharesAndExtentsStayInTheBarRows) {
    // Thousands of records with shares of every sign and size, stale extents
    // anywhere: nothing is drawn outside rows 70..99 or left of column 20.
    std::vector<int32_t> shares;
    srand(7);
    for (int i = 0; i < 3000; i++) {
        int32_t s = static_cast<int32_t>((static_cast<uint32_t>(rand()) << 17) ^ static_cast<uint32_t>(rand()));
        if (i % 5 == 0) s = -s;
        if (i % 97 == 0) s = INT32_MIN;
        if (i % 89 == 0) s = INT32_MAX;
        shares.push_back(s);
    }
    Use(shares, {kFour[0], kFour[1], kFour[2]});
    Canvas c(700, 130, kSentinel);
    const RECT clients[] = {{0, 0, 600, 130}, {0, 0, 100, 130}, {0, 0, 7000, 130}, {0, 0, 2147483000, 130}};
    for (const RECT& client : clients) {
        DrawBar(c.dc(), &client, -1);
        records_[5].barLeft = -100000;
        records_[5].barRight = 2147483647;
        records_[6].barLeft = 0;
        records_[6].barRight = 0;
        HighlightSegment(c.dc(), &client, 5);
        HighlightSegment(c.dc(), &client, 6);
        HighlightSegment(c.dc(), &client, 2999);
        HighlightSegment(c.dc(), &client, 3000);  // not a record: nothing
        HighlightSegment(c.dc(), &client, -1);
    }
    for (int y = 0; y < c.height(); y++) {
        for (int x = 0; x < c.width(); x++) {
            if (y >= 70 && y < 100 && x >= 20) continue;
            ASSERT_EQ(c.At(x, y), kSentinel) << x << "," << y;
        }
    }
}

TEST_F(BarDrawing, ThousandsOfSmallSegmentsOnAWideClient) {
    // 3000 records of share 0 and one of 1000 on a client wide enough for all.
    std::vector<int32_t> shares(3000, 0);
    shares[1500] = 1000;
    Use(shares, {RGB(0, 200, 0)});
    int right = 2 * 3000 + 38 + 1000;  // W = 1000
    RECT client = {0, 0, right, 130};
    Canvas c(right + 10, 130, kSentinel);
    PaintBar(c.dc(), &client);
    EXPECT_EQ(records_[1500].barLeft, 20 + 2 * 1500);
    EXPECT_EQ(records_[1500].barRight, 20 + 2 * 1500 + 999);
    EXPECT_EQ(c.At(20 + 3000 + 500, 85), RGB(0, 200, 0));
    EXPECT_EQ(records_[2999].barLeft, 20 + 2 * 2999 + 1000);
    EXPECT_EQ(records_[2999].barRight, right - 21);
}
