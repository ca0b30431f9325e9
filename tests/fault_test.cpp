// Failures that real folders cannot be made to show on demand (the tests run
// as root, so permissions deny nothing), through a listing that wraps the
// platform's and fails where a test says.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fixture.h"
#include "scan.h"

using fixture::MakeDir;
using fixture::MakeFile;
using fixture::TempDir;

namespace {

struct Faults {
    std::string denyOpen;          // a folder of this name cannot be opened
    std::string failListingOf;     // the listing of this folder fails...
    int failAfter = 0;             // ...after this many entries
    std::string stopAt;            // the stop flag is set when this entry is listed
    StopFlag* stop = nullptr;
    std::function<void()> beforeSecondRootOpen;  // runs between the breakdown's two passes

    // Observed state.
    std::vector<std::string> stack;  // names of the open folders
    std::vector<int> delivered;      // entries delivered per open folder
    std::string current;             // the top's current entry
    int rootOpens = 0;
};

Faults* g_faults = nullptr;

ListContext* FBegin(void*) { return PlatformListing()->begin(PlatformListing()->user); }
void FEnd(ListContext* c) { PlatformListing()->end(c); }

bool FPushPath(ListContext* c, const char* path, int mode) {
    Faults& f = *g_faults;
    if (++f.rootOpens == 2 && f.beforeSecondRootOpen) f.beforeSecondRootOpen();
    if (!PlatformListing()->pushPath(c, path, mode)) return false;
    f.stack.push_back(path);
    f.delivered.push_back(0);
    return true;
}

bool FPushChild(ListContext* c, int mode) {
    Faults& f = *g_faults;
    if (f.current == f.denyOpen) return false;
    if (!PlatformListing()->pushChild(c, mode)) return false;
    f.stack.push_back(f.current);
    f.delivered.push_back(0);
    return true;
}

bool FNext(ListContext* c, ListEntry* e) {
    Faults& f = *g_faults;
    if (!f.stack.empty() && f.stack.back() == f.failListingOf && f.delivered.back() >= f.failAfter) return false;
    if (!PlatformListing()->next(c, e)) return false;
    if (!f.delivered.empty()) f.delivered.back()++;
    f.current = e->name;
    if (!f.stopAt.empty() && f.current == f.stopAt) f.stop->store(1);
    return true;
}

void FPop(ListContext* c) {
    Faults& f = *g_faults;
    PlatformListing()->pop(c);
    f.stack.pop_back();
    f.delivered.pop_back();
}

int g_filesListed = 0;

bool CountingNext(ListContext* c, ListEntry* e) {
    if (!FNext(c, e)) return false;
    if (!IsSkippedName(e->name) && e->kind == kListFile && ++g_filesListed == 6) g_faults->stop->store(1);
    return true;
}

const ListingOps kFaulty = {FBegin, FEnd, FPushPath, FPushChild, FNext, FPop, nullptr};

class FaultTest : public testing::Test {
protected:
    void SetUp() override { g_faults = &faults; }
    void TearDown() override { g_faults = nullptr; }
    ScanEnv Env() {
        faults.stop = &stop;
        return ScanEnv{&stop, &kFaulty, nullptr, 0};
    }
    Faults faults;
    StopFlag stop{0};
    TempDir t;
};

}  // namespace

TEST_F(FaultTest, FolderThatCannotBeOpenedCountsAsOneFolder) {
    MakeDir(t / "sub/locked/inner");
    MakeFile(t / "sub/locked/inner/f", 500);
    MakeFile(t / "sub/g", 7);
    faults.denyOpen = "locked";
    FolderSummary s = ScanFolderTree((t / "sub").c_str(), Env());
    EXPECT_EQ(s.totalBytes, 7u);
    EXPECT_EQ(s.fileCount, 1u);
    EXPECT_EQ(s.dirCount, 1u);

    // As a breakdown record: name, zero totals, one folder below.
    Breakdown b = BuildBreakdown(t.path().c_str(), Env());
    ASSERT_EQ(b.folderCount, 1);
    EXPECT_EQ(b.folders[0].totalBytes, 7u);
    faults.denyOpen = "sub";
    Breakdown d = BuildBreakdown(t.path().c_str(), Env());
    ASSERT_EQ(d.folderCount, 1);
    EXPECT_EQ(d.folders[0].name, fixture::Join(t.path(), "sub"));
    EXPECT_EQ(d.folders[0].totalBytes, 0u);
    EXPECT_EQ(d.folders[0].fileCount, 0u);
    EXPECT_EQ(d.folders[0].dirCount, 0u);
    EXPECT_EQ(d.totalBytes, 0u);
    ReleaseFolders(b.folders);
    ReleaseFolders(d.folders);
}

TEST_F(FaultTest, ListingThatFailsMidwayKeepsWhatWasCounted) {
    MakeDir(t / "d");
    for (int i = 0; i < 6; i++) MakeFile(t / ("d/f" + std::to_string(i)), 10);
    faults.failListingOf = "d";
    faults.failAfter = 3;  // entries, "." and ".." included where the platform lists them
    FolderSummary s = ScanFolderTree(t.path().c_str(), Env());
    EXPECT_EQ(s.dirCount, 1u);
    EXPECT_GT(s.fileCount, 0u);
    EXPECT_LE(s.fileCount, 3u);
    EXPECT_EQ(s.totalBytes, 10u * s.fileCount);
}

TEST_F(FaultTest, StopMidwayGivesCompletePartialAndZeroRecords) {
    const char* names[] = {"s1", "s2", "s3", "s4", "s5"};
    for (const char* n : names) {
        for (int i = 0; i < 4; i++) MakeFile(t / (std::string(n) + "/f" + std::to_string(i)), 100);
    }
    // The file names repeat in every folder, so stop on a count: the sixth
    // file listed is the second of the second subfolder in listing order.
    g_filesListed = 0;
    const ListingOps counting = {FBegin, FEnd, FPushPath, FPushChild, CountingNext, FPop, nullptr};
    faults.stop = &stop;
    Breakdown b = BuildBreakdown(t.path().c_str(), ScanEnv{&stop, &counting, nullptr, 0});
    ASSERT_EQ(b.folderCount, 5);
    EXPECT_EQ(b.folders[0].fileCount, 4u);
    EXPECT_EQ(b.folders[0].totalBytes, 400u);
    EXPECT_EQ(b.folders[1].fileCount, 1u);  // the trigger itself is never counted
    EXPECT_EQ(b.folders[1].totalBytes, 100u);
    for (int i = 2; i < 5; i++) {
        EXPECT_EQ(b.folders[i].fileCount, 0u) << i;
        EXPECT_EQ(b.folders[i].totalBytes, 0u) << i;
    }
    EXPECT_EQ(b.totalBytes, 500u);
    ReleaseFolders(b.folders);
}

TEST_F(FaultTest, FoldersRemovedOrAddedBetweenThePasses) {
    for (const char* n : {"a", "b", "c"}) MakeFile(t / (std::string(n) + "/f"), 10);
    faults.beforeSecondRootOpen = [this] {
        MakeFile(t / "d/f", 10);
        MakeFile(t / "e/f", 10);
    };
    Breakdown more = BuildBreakdown(t.path().c_str(), Env());
    EXPECT_EQ(more.folderCount, 3);  // no room for the newcomers: left out
    EXPECT_EQ(more.totalBytes, 30u);
    ReleaseFolders(more.folders);

    faults.rootOpens = 0;
    faults.beforeSecondRootOpen = [this] {
        std::error_code ec;
        fixture::fs::remove_all(fixture::fs::u8path(t / "a"), ec);
        fixture::fs::remove_all(fixture::fs::u8path(t / "b"), ec);
    };
    Breakdown fewer = BuildBreakdown(t.path().c_str(), Env());
    EXPECT_EQ(fewer.folderCount, 3);  // c, d, e
    EXPECT_EQ(fewer.totalBytes, 30u);
    uint64_t sum = 0;
    for (int i = 0; i < fewer.folderCount; i++) sum += fewer.folders[i].totalBytes;
    EXPECT_EQ(sum, fewer.totalBytes);
    ReleaseFolders(fewer.folders);

    faults.rootOpens = 0;
    faults.beforeSecondRootOpen = [this] {
        std::error_code ec;
        fixture::fs::remove_all(fixture::fs::u8path(t / "c"), ec);
    };
    Breakdown gone = BuildBreakdown(t.path().c_str(), Env());
    EXPECT_EQ(gone.folderCount, 2);  // only the records filled are valid
    EXPECT_EQ(gone.totalBytes, 20u);
    ReleaseFolders(gone.folders);
}

TEST_F(FaultTest, FailedAllocationYieldsAnEmptyBreakdown) {
    MakeFile(t / "a/f", 10);
    static int calls;
    calls = 0;
    auto failFirst = [](size_t n) -> void* { return calls++ == 0 ? nullptr : std::malloc(n); };
    auto failAll = [](size_t) -> void* { return nullptr; };
    Breakdown b = BuildBreakdown(t.path().c_str(), ScanEnv{&stop, nullptr, +failFirst, 0});
    EXPECT_EQ(b.folderCount, 0);
    EXPECT_EQ(b.totalBytes, 0u);
    EXPECT_NE(b.folders, nullptr);
    ReleaseFolders(b.folders);
    Breakdown n = BuildBreakdown(t.path().c_str(), ScanEnv{&stop, nullptr, +failAll, 0});
    EXPECT_EQ(n.folderCount, 0);
    EXPECT_EQ(n.folders, nullptr);
    ReleaseFolders(n.folders);  // released like any other
}
