// Shares, colours and status texts of a scan run, and the shell's path
// rules: pure functions, natively and under Wine alike.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "navigation.h"
#include "shares.h"

namespace {

const uint64_t KiB = 1024;
const uint64_t MiB = 1024 * KiB;
const uint64_t GiB = 1024 * MiB;
const uint64_t TiB = 1024 * GiB;

// A rand-like source that counts its draws and returns 0, 1, 2, ...
int g_draws = 0;
int CountingRand() { return g_draws++; }

std::vector<FolderSummary> Records(const std::vector<uint64_t>& bytes) {
    std::vector<FolderSummary> r(bytes.size());
    for (size_t i = 0; i < bytes.size(); i++) {
        std::memset(&r[i], 0, sizeof r[i]);
        r[i].totalBytes = bytes[i];
    }
    return r;
}

std::vector<int32_t> Shares(const std::vector<uint64_t>& bytes) {
    std::vector<FolderSummary> r = Records(bytes);
    uint64_t total = 0;
    for (uint64_t b : bytes) total += b;
    AssignShares(r.data(), static_cast<int32_t>(r.size()), total, CountingRand);
    std::vector<int32_t> out;
    for (const FolderSummary& f : r) out.push_back(f.shareMille);
    return out;
}

int64_t Sum(const std::vector<int32_t>& v) {
    int64_t s = 0;
    for (int32_t x : v) s += x;
    return s;
}

TEST(Shares, WorkedTable) {
    struct Case {
        std::vector<uint64_t> kib;
        std::vector<int32_t> shares;
    } cases[] = {
        {{300, 100}, {750, 250}},
        {{100, 100, 100}, {334, 333, 333}},          // short by 1, none below 100: index 0
        {{300, 200, 7}, {591, 394, 15}},              // short by 2: the smallest
        {{990, 0, 0, 0, 0}, {996, 1, 1, 1, 1}},       // raised zeros: the largest gives up 4
        {{0, 0, 0}, {998, 1, 1}},                     // total below 1 KiB
    };
    for (const Case& c : cases) {
        std::vector<uint64_t> bytes;
        for (uint64_t k : c.kib) bytes.push_back(k * KiB);
        EXPECT_EQ(Shares(bytes), c.shares) << "first size " << c.kib[0] << " KiB";
    }
}

TEST(Shares, EdgeCases) {
    // A single folder takes the whole bar whatever its size.
    for (uint64_t b : {uint64_t(0), uint64_t(1), 5 * GiB, 3 * TiB}) EXPECT_EQ(Shares({b}), std::vector<int32_t>{1000});

    // Below 1 KiB in all: each gets 1, the first the rest, from either side of 1000.
    for (int n : {2, 5, 999, 1000, 1001, 1500}) {
        std::vector<int32_t> s = Shares(std::vector<uint64_t>(n, 10));
        EXPECT_EQ(s[0], 1000 - (n - 1)) << n;
        EXPECT_EQ(Sum(s), 1000) << n;
        for (int i = 1; i < n; i++) ASSERT_EQ(s[i], 1) << n;
    }

    // Equal largest shares: the first gives up the excess.
    std::vector<uint64_t> ties = {500 * KiB, 500 * KiB, 0, 0};
    EXPECT_EQ(Shares(ties), (std::vector<int32_t>{498, 500, 1, 1}));

    // Sub-kilobyte remainders are dropped before dividing.
    EXPECT_EQ(ShareMille(1023, 4 * KiB), 1);
    EXPECT_EQ(ShareMille(2 * KiB + 1023, 4 * KiB + 1023), 500);
}

TEST(Shares, WholeSixtyFourBitSizes) {
    // Kilobyte counts of 2^31 and more: no low-32-bit truncation.
    EXPECT_EQ(Shares({3 * TiB, 1 * TiB}), (std::vector<int32_t>{750, 250}));
    EXPECT_EQ(Shares({2 * TiB, 2 * TiB}), (std::vector<int32_t>{500, 500}));
    EXPECT_EQ(Shares({4096 * TiB, 4096 * TiB, 8192 * TiB}), (std::vector<int32_t>{250, 250, 500}));
    // An inconsistent total never gives more than the whole bar.
    EXPECT_EQ(ShareMille(10 * GiB, 1 * GiB), 1000);
}

TEST(Shares, FixUpKeepsTheSumWithNegativeAndEmptyInput) {
    FixShares(nullptr, 0);  // no records: nothing to touch
    std::vector<FolderSummary> r = Records({0, 0, 0});
    r[0].shareMille = -5;
    r[1].shareMille = 400;
    r[2].shareMille = 400;
    FixShares(r.data(), 3);  // short by 205: the smallest (signed) gets it
    EXPECT_EQ(r[0].shareMille, 200);
    EXPECT_EQ(r[1].shareMille + r[2].shareMille, 800);
}

TEST(Colours, ThreeDrawsPerRecordBlueGreenRed) {
    g_draws = 0;
    std::vector<FolderSummary> r = Records({KiB, KiB, KiB});
    AssignShares(r.data(), 3, 3 * KiB, CountingRand);
    EXPECT_EQ(g_draws, 9);
    // Record k draws 3k, 3k+1, 3k+2: blue, green, red.
    for (uint32_t k = 0; k < 3; k++) EXPECT_EQ(r[k].color, (3 * k) * 65536 + (3 * k + 1) * 256 + (3 * k + 2)) << k;

    // Every channel stays at 239 or below, for any draw.
    for (int draw : {239, 240, 479, 32767, 2147483647, -1, -241}) {
        g_draws = draw;
        uint32_t c = RandomColor([] { return g_draws; });
        EXPECT_EQ(c >> 24, 0u);
        for (int shift : {0, 8, 16}) EXPECT_LE((c >> shift) & 0xFF, 239u) << draw;
    }
    g_draws = 0;
}

TEST(StatusTexts, TruncatedMegabytesAndWideCounts) {
    struct Case {
        uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 MB"},
        {1048575, "0 MB"},
        {MiB, "1 MB"},
        {GiB + GiB / 2, "1536 MB"},
        {3 * TiB, "3145728 MB"},
        {3 * 1024 * TiB, "3221225472 MB"},  // past 2^31 MB: no wrap
    };
    char text[64];
    for (const Case& c : cases) {
        FormatMegabytes(text, sizeof text, c.bytes);
        EXPECT_STREQ(text, c.text);
    }
    std::vector<FolderSummary> r = Records({0, 0, 0});
    r[0].fileCount = 3000000000u;
    r[1].fileCount = 3000000000u;
    r[2].fileCount = 7;
    EXPECT_EQ(SumFileCounts(r.data(), 3), 6000000007ull);
    FormatFileCount(text, sizeof text, SumFileCounts(r.data(), 3));
    EXPECT_STREQ(text, "6000000007 files");
    FormatFileCount(text, 5, 123456);  // bounded
    EXPECT_STREQ(text, "1234");
}

TEST(Navigation, StartFolder) {
    struct Case {
        const char* module;
        const char* folder;
    } cases[] = {
        {"C:\\Tools\\Disk\\tool.exe", "C:\\Tools"},
        {"C:\\Tools\\tool.exe", "C:"},
        {"C:\\tool.exe", "C:"},
        {"C:\\100%sure\\bin\\tool.exe", "C:\\100%sure"},
        {"\\\\server\\share\\bin\\tool.exe", "\\\\server\\share"},
        {"tool.exe", "tool.exe"},  // no backslash at all: nothing to cut
    };
    char out[260];
    for (const Case& c : cases) {
        StartFolder(out, sizeof out, c.module);
        EXPECT_STREQ(out, c.folder) << c.module;
    }
    // A module path longer than the buffer is cut, never overrun.
    std::string longPath = "C:\\" + std::string(300, 'a') + "\\b\\tool.exe";
    char small[16];
    StartFolder(small, sizeof small, longPath.c_str());
    EXPECT_LT(std::strlen(small), sizeof small);
}

TEST(Navigation, BackAndTitleThroughEveryPathShape) {
    struct Case {
        const char* path;
        const char* after;  // null: unchanged, no scan
        const char* title;  // null: the caption stays as it was
    } cases[] = {
        {"C:", nullptr, nullptr},
        {"C:\\", "C:", nullptr},
        {"C:\\Data", "C:", nullptr},
        {"C:\\Data\\Music", "C:\\Data", "Tallyfield 0.1 - Data"},
        {"C:\\\\Data", "C:\\", "Tallyfield 0.1 - "},
        {"\\\\server\\share\\folder", "\\\\server\\share", "Tallyfield 0.1 - share"},
        {"\\\\server\\share", "\\\\server", "Tallyfield 0.1 - server"},
        {"\\\\server", "\\", nullptr},
        {"\\", nullptr, nullptr},
        {"abc", nullptr, "Tallyfield 0.1 - abc"},  // no backslash: Back keeps it
    };
    for (const Case& c : cases) {
        char path[260];
        std::snprintf(path, sizeof path, "%s", c.path);
        bool scans = BackPath(path);
        EXPECT_EQ(scans, c.after != nullptr) << c.path;
        EXPECT_STREQ(path, c.after ? c.after : c.path) << c.path;
        if (!scans) continue;
        char title[300] = "unchanged";
        bool titled = FormatScanTitle(title, sizeof title, "Tallyfield 0.1", path);
        EXPECT_EQ(titled, c.title != nullptr) << c.path;
        EXPECT_STREQ(title, c.title ? c.title : "unchanged") << c.path;
    }
    EXPECT_STREQ(LastComponent("C:\\Data\\Music"), "Music");
    EXPECT_STREQ(LastComponent("C:\\"), "");
    char title[300];
    ASSERT_TRUE(FormatScanTitle(title, sizeof title, "Tallyfield 0.1", "C:\\100%s\\%n"));
    EXPECT_STREQ(title, "Tallyfield 0.1 - %n");
}

}  // namespace
