// The scan core on real folders, through the platform's listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fixture.h"
#include "scan.h"

using fixture::MakeDir;
using fixture::MakeFile;
using fixture::TempDir;

namespace {

StopFlag g_noStop(0);

std::vector<std::pair<std::string, uint64_t>> Ranking(const FolderSummary& s) {
    std::vector<std::pair<std::string, uint64_t>> out;
    for (const LargeFile& f : s.largest) {
        if (f.bytes == 0) break;
        out.emplace_back(f.name, f.bytes);
    }
    return out;
}

void ExpectEmptyTail(const FolderSummary& s, size_t from) {
    for (size_t i = from; i < kLargestCount; i++) EXPECT_EQ(s.largest[i].bytes, 0u) << i;
}

}  // namespace

TEST(IsSkippedName, ExactNamesOnly) {
    struct Case {
        const char* name;
        bool skipped;
    } cases[] = {
        {".", true},           {"..", true},           {"System Volume Information", true},
        {"RECYCLER", true},    {"...", false},         {".git", false},
        {"Recycler", false},   {"recycler", false},    {"RECYCLED", false},
        {"RECYCLER.old", false}, {"System Volume Information2", false}, {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsSkippedName(c.name), c.skipped) << '"' << c.name << '"';
}

TEST(Ranking, KeepsTheTrueTenLargestInDescendingOrder) {
    // The files of the placement example, then 55 KB: the 10 KB file is the one to go.
    LargeFile list[kLargestCount] = {};
    const uint64_t kb[] = {50, 10, 20, 30, 40, 60, 70, 80, 90, 100, 55};
    for (uint64_t k : kb) RankFile(list, ("f" + std::to_string(k)).c_str(), k * 1024);
    const uint64_t expect[] = {100, 90, 80, 70, 60, 55, 50, 40, 30, 20};
    for (int i = 0; i < kLargestCount; i++) EXPECT_EQ(list[i].bytes, expect[i] * 1024) << i;

    // Bytes, not kilobytes, decide: 2047 beats 1024..2046 within the same kilobyte.
    LargeFile same[kLargestCount] = {};
    for (int i = 0; i < 10; i++) RankFile(same, "k", 1024 + i);
    RankFile(same, "big", 2047);
    EXPECT_STREQ(same[0].name, "big");
    EXPECT_EQ(same[9].bytes, 1025u);

    // Zero-length files never enter.
    LargeFile zero[kLargestCount] = {};
    RankFile(zero, "empty", 0);
    EXPECT_EQ(zero[0].bytes, 0u);
}

TEST(Ranking, RandomFilesAndMergesMatchASort) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; round++) {
        LargeFile a[kLargestCount] = {}, b[kLargestCount] = {};
        std::vector<uint64_t> all;
        int na = static_cast<int>(rng() % 25), nb = static_cast<int>(rng() % 25);
        for (int i = 0; i < na + nb; i++) {
            uint64_t v = rng() % 5 == 0 ? 0 : (rng() % 3000) + (static_cast<uint64_t>(rng() % 3) << 32);
            RankFile(i < na ? a : b, "x", v);
            if (v) all.push_back(v);
        }
        MergeRanking(a, b);
        std::sort(all.rbegin(), all.rend());
        all.resize(std::min<size_t>(all.size(), kLargestCount));
        for (size_t i = 0; i < kLargestCount; i++) {
            EXPECT_EQ(a[i].bytes, i < all.size() ? all[i] : 0u) << "round " << round << " place " << i;
        }
    }
}

TEST(ScanFolderTree, TotalsAndRanking) {
    TempDir t;
    // R holds a (100), b (0) and S; S holds c (800) and an empty T.
    MakeFile(t / "a", 100);
    MakeFile(t / "b", 0);
    MakeDir(t / "S/T");
    MakeFile(t / "S/c", 800);
    FolderSummary r = ScanFolderTree(t.path().c_str(), g_noStop);
    EXPECT_EQ(r.totalBytes, 900u);
    EXPECT_EQ(r.fileCount, 3u);
    EXPECT_EQ(r.dirCount, 2u);
    auto rank = Ranking(r);
    ASSERT_EQ(rank.size(), 2u);
    EXPECT_EQ(rank[0], std::make_pair(std::string("c"), uint64_t(800)));
    EXPECT_EQ(rank[1], std::make_pair(std::string("a"), uint64_t(100)));
    ExpectEmptyTail(r, 2);
}

TEST(ScanFolderTree, EmptyMissingAndZeroLength) {
    TempDir t;
    MakeDir(t / "empty");
    MakeDir(t / "zeros");
    for (int i = 0; i < 3; i++) MakeFile(t / ("zeros/z" + std::to_string(i)), 0);

    FolderSummary e = ScanFolderTree((t / "empty").c_str(), g_noStop);
    EXPECT_EQ(e.totalBytes, 0u);
    EXPECT_EQ(e.fileCount, 0u);
    EXPECT_EQ(e.dirCount, 0u);
    ExpectEmptyTail(e, 0);

    FolderSummary z = ScanFolderTree((t / "zeros").c_str(), g_noStop);
    EXPECT_EQ(z.fileCount, 3u);
    EXPECT_EQ(z.totalBytes, 0u);
    ExpectEmptyTail(z, 0);

    FolderSummary m = ScanFolderTree((t / "missing").c_str(), g_noStop);
    EXPECT_EQ(m.fileCount + m.dirCount, 0u);
    FolderSummary f = ScanFolderTree((t / "zeros/z0").c_str(), g_noStop);  // a file, not a folder
    EXPECT_EQ(f.fileCount + f.dirCount, 0u);
}

TEST(ScanFolderTree, SkippedNamesAtAnyDepth) {
    TempDir t;
    MakeDir(t / "a/b/RECYCLER/deep");
    MakeFile(t / "a/b/RECYCLER/deep/big", 5000);
    MakeDir(t / "a/System Volume Information");
    MakeFile(t / "a/System Volume Information/x", 100);
    MakeFile(t / "a/b/RECYCLER.old", 7);
    MakeDir(t / "a/Recycler");
    MakeFile(t / "a/Recycler/y", 3);
    MakeFile(t / "RECYCLER", 11);  // a file of the name is skipped too
    FolderSummary s = ScanFolderTree(t.path().c_str(), g_noStop);
    EXPECT_EQ(s.totalBytes, 10u);
    EXPECT_EQ(s.fileCount, 2u);
    EXPECT_EQ(s.dirCount, 3u);  // a, a/b, a/Recycler
}

TEST(ScanFolderTree, FileSizesAreSixtyFourBit) {
    TempDir t;
    const uint64_t five = 5ull << 30;
    MakeDir(t / "sub");
    MakeFile(t / "sub/huge", five);
    MakeFile(t / "small", 10);
    FolderSummary s = ScanFolderTree(t.path().c_str(), g_noStop);
    EXPECT_EQ(s.totalBytes, five + 10);
    EXPECT_EQ(s.largest[0].bytes, five);
    EXPECT_STREQ(s.largest[0].name, "huge");
    EXPECT_EQ(s.largest[1].bytes, 10u);
}

TEST(ScanFolderTree, RanksAcrossTheTree) {
    // Fifteen files in three folders: the ten largest of the whole tree, sorted.
    TempDir t;
    std::vector<uint64_t> sizes;
    for (int i = 0; i < 15; i++) {
        uint64_t sz = 1000 + static_cast<uint64_t>((i * 7919) % 15) * 100;
        sizes.push_back(sz);
        MakeDir(t / ("d" + std::to_string(i % 3)));
        MakeFile(t / ("d" + std::to_string(i % 3) + "/f" + std::to_string(i)), sz);
    }
    FolderSummary s = ScanFolderTree(t.path().c_str(), g_noStop);
    std::sort(sizes.rbegin(), sizes.rend());
    for (int i = 0; i < kLargestCount; i++) EXPECT_EQ(s.largest[i].bytes, sizes[static_cast<size_t>(i)]) << i;
}

TEST(ScanFolderTree, StopAlreadySetYieldsZeros) {
    TempDir t;
    MakeDir(t / "x/y");
    MakeFile(t / "x/f", 10);
    MakeFile(t / "g", 10);
    StopFlag stop(1);
    FolderSummary s = ScanFolderTree(t.path().c_str(), stop);
    EXPECT_EQ(s.totalBytes, 0u);
    EXPECT_EQ(s.fileCount, 0u);
    EXPECT_EQ(s.dirCount, 0u);
}

TEST(Breakdown, SubfoldersInListingOrderWithFullNames) {
    TempDir t;
    MakeFile(t / "own", 1000);  // the folder's own files count nowhere
    const char* names[] = {"A", "B", "C"};
    uint64_t expect = 0;
    for (int i = 0; i < 3; i++) {
        MakeDir(t / (std::string(names[i]) + "/inner"));
        MakeFile(t / (std::string(names[i]) + "/inner/f"), 100u * (i + 1));
        expect += 100u * (i + 1);
    }
    MakeDir(t / "RECYCLER");
    MakeDir(t / "System Volume Information");
    EXPECT_EQ(CountSubfolders(t.path().c_str()), 3);
    Breakdown b = BuildBreakdown(t.path().c_str(), g_noStop);
    ASSERT_EQ(b.folderCount, 3);
    EXPECT_EQ(b.totalBytes, expect);
    std::vector<std::string> got;
    for (int i = 0; i < 3; i++) {
        got.push_back(b.folders[i].name);
        EXPECT_EQ(b.folders[i].dirCount, 1u);
        EXPECT_EQ(b.folders[i].fileCount, 1u);
    }
    std::vector<std::string> want;
    for (const char* n : names) want.push_back(fixture::Join(t.path(), n));
    // Listing order is the platform's; every record is named path, separator, name.
    std::vector<std::string> sorted = got;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, want);
    ReleaseFolders(b.folders);
}

TEST(Breakdown, FilesOnlyOrUnlistable) {
    TempDir t;
    MakeFile(t / "a", 10);
    MakeFile(t / "b", 20);
    Breakdown b = BuildBreakdown(t.path().c_str(), g_noStop);
    EXPECT_EQ(b.folderCount, 0);
    EXPECT_EQ(b.totalBytes, 0u);
    EXPECT_NE(b.folders, nullptr);  // room for one record even so
    ReleaseFolders(b.folders);

    Breakdown m = BuildBreakdown((t / "missing").c_str(), g_noStop);
    EXPECT_EQ(m.folderCount, 0);
    EXPECT_EQ(m.totalBytes, 0u);
    ReleaseFolders(m.folders);
}
