// The scan with workers reading ahead cannot be told from the scan without:
// the same records on random trees for any number of workers, alone or with
// other scans at the same time, and after a stop at any moment a result that
// the sequential scan gives for a stop at some entry.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "scan.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using fixture::Join;
using fixture::MakeDir;
using fixture::MakeFile;
using fixture::TempDir;

namespace {

StopFlag g_noStop(0);

// A tree of random shape from the seed: folders hang below random earlier
// ones (often the latest, so some chains run deep), files land anywhere,
// with empty files, equal sizes (ties in the ranking), sparse large ones and
// the skipped names mixed in.
void MakeRandomTree(const std::string& root, unsigned seed, int folders, int files) {
    std::mt19937 rng(seed);
    std::vector<std::string> dirs{root};
    for (int i = 0; i < folders; i++) {
        size_t parent = rng() % 3 == 0 ? dirs.size() - 1 : rng() % dirs.size();
        std::string name = "d" + std::to_string(i);
        if (rng() % 25 == 0) name = "RECYCLER";
        dirs.push_back(Join(dirs[parent], name));
        MakeDir(dirs.back());
    }
    for (int i = 0; i < files; i++) {
        const std::string& dir = dirs[rng() % dirs.size()];
        uint64_t bytes;
        switch (rng() % 6) {
            case 0: bytes = 0; break;
            case 1: bytes = 2048; break;
            case 2: bytes = (1ull << 20) + rng() % 100000; break;
            default: bytes = 1 + rng() % 4000; break;
        }
        std::string name = rng() % 40 == 0 ? "System Volume Information" : "f" + std::to_string(i);
        MakeFile(Join(dir, name), bytes);
    }
}

// One wide folder somewhere in the tree, so large that its sizes are read
// by several workers at once, with folders mixed in among its files.
void AddWideFolder(const std::string& root, unsigned seed, int files) {
    std::mt19937 rng(seed);
    std::string wide = Join(Join(root, "d1"), "wide");
    for (int i = 0; i < files; i++) {
        if (i % 40 == 7) {
            MakeFile(Join(Join(wide, "sub" + std::to_string(i)), "x"), rng() % 3000);
        } else {
            MakeFile(Join(wide, "w" + std::to_string(i)), rng() % 6 == 0 ? 0 : 1 + rng() % 9000);
        }
    }
}

void Describe(std::string* out, const FolderSummary& s) {
    char line[400];
    std::snprintf(line, sizeof line, "%llu %u %u |", static_cast<unsigned long long>(s.totalBytes), s.fileCount,
                  s.dirCount);
    *out += line;
    for (const LargeFile& f : s.largest) {
        std::snprintf(line, sizeof line, " %s=%llu", f.bytes ? f.name : "", static_cast<unsigned long long>(f.bytes));
        *out += line;
    }
    *out += '\n';
}

// Everything a breakdown holds, as text: equal text, equal results.
std::string Describe(const Breakdown& b) {
    std::string out = std::to_string(b.folderCount) + " " + std::to_string(b.totalBytes) + "\n";
    for (int i = 0; i < b.folderCount; i++) {
        out += b.folders[i].name;
        out += ": ";
        Describe(&out, b.folders[i]);
    }
    return out;
}

std::string BreakdownText(const std::string& path, int threads, const StopFlag& stop = g_noStop) {
    Breakdown b = BuildBreakdown(path.c_str(), ScanEnv{&stop, nullptr, nullptr, threads});
    std::string text = Describe(b);
    ReleaseFolders(b.folders);
    return text;
}

std::string TreeText(const std::string& path, int threads) {
    std::string out;
    Describe(&out, ScanFolderTree(path.c_str(), ScanEnv{&g_noStop, nullptr, nullptr, threads}));
    return out;
}

// The sequential scan with the stop flag set as the k-th entry of the
// filling pass that the name filter lets through is delivered.
struct StopAt {
    int k = 0;
    int seen = 0;
    int roots = 0;
    StopFlag* stop = nullptr;
};
StopAt* g_stopAt = nullptr;

ListContext* SBegin(void*) { return PlatformListing()->begin(PlatformListing()->user); }
void SEnd(ListContext* c) { PlatformListing()->end(c); }
bool SPushPath(ListContext* c, const char* path, int mode) {
    g_stopAt->roots++;
    return PlatformListing()->pushPath(c, path, mode);
}
bool SPushChild(ListContext* c, int mode) { return PlatformListing()->pushChild(c, mode); }
bool SNext(ListContext* c, ListEntry* e) {
    if (!PlatformListing()->next(c, e)) return false;
    // The first root is the counting pass, which never reads the flag.
    if (g_stopAt->roots >= 2 && !IsSkippedName(e->name) && ++g_stopAt->seen == g_stopAt->k) g_stopAt->stop->store(1);
    return true;
}
void SPop(ListContext* c) { PlatformListing()->pop(c); }
const ListingOps kStopAt = {SBegin, SEnd, SPushPath, SPushChild, SNext, SPop, nullptr};

// Every result the sequential scan can give after a stop, for a stop at
// each entry in turn (k = 0 never stops).
std::set<std::string> SequentialStops(const std::string& path) {
    std::set<std::string> results;
    for (int k = 0;; k++) {
        StopFlag stop(0);
        StopAt at;
        at.k = k;
        at.stop = &stop;
        g_stopAt = &at;
        Breakdown b = BuildBreakdown(path.c_str(), ScanEnv{&stop, &kStopAt, nullptr, 0});
        results.insert(Describe(b));
        ReleaseFolders(b.folders);
        g_stopAt = nullptr;
        if (k > 0 && at.seen < k) break;  // past the last entry
    }
    return results;
}

}  // namespace

TEST(ParallelScan, SameResultsAsSequentialOnRandomTrees) {
    for (unsigned seed : {1u, 2u, 3u}) {
        TempDir t;
        MakeRandomTree(t.path(), seed, 60 + static_cast<int>(seed) * 20, 400);
        if (seed == 3) AddWideFolder(t.path(), seed, 1500);
        const std::string breakdown = BreakdownText(t.path(), 1);
        const std::string tree = TreeText(t.path(), 1);
        for (int threads : {2, 3, 8, 0}) {
            for (int round = 0; round < 3; round++) {
                EXPECT_EQ(BreakdownText(t.path(), threads), breakdown) << "seed " << seed << " threads " << threads;
                EXPECT_EQ(TreeText(t.path(), threads), tree) << "seed " << seed << " threads " << threads;
            }
        }
    }
}

TEST(ParallelScan, StopAtAnyMomentGivesWhatASequentialStopGives) {
    TempDir t;
    MakeRandomTree(t.path(), 11, 40, 250);
    AddWideFolder(t.path(), 11, 400);
    const std::set<std::string> possible = SequentialStops(t.path());
    ASSERT_GT(possible.size(), 100u);
    const std::string complete = BreakdownText(t.path(), 1);
    std::mt19937 rng(5);
    for (int threads : {2, 8}) {
        auto start = std::chrono::steady_clock::now();
        BreakdownText(t.path(), threads);
        long long full = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
                             .count();
        std::set<std::string> seen;
        for (int trial = 0; trial < 60; trial++) {
            StopFlag stop(0);
            long long delay = static_cast<long long>(rng() % static_cast<unsigned>(full + full / 4 + 1));
            std::thread stopper([&stop, delay] {
                std::this_thread::sleep_for(std::chrono::microseconds(delay));
                stop.store(1);
            });
            std::string got = BreakdownText(t.path(), threads, stop);
            stopper.join();
            EXPECT_EQ(possible.count(got), 1u) << "threads " << threads << " stop after " << delay << " us:\n"
                                               << got;
            seen.insert(got);
        }
        // Not a requirement of the scan, only of this test being worth its time.
        if (seen.size() < 3) std::printf("note: only %zu distinct stop results with %d threads\n", seen.size(), threads);
    }
    EXPECT_EQ(possible.count(complete), 1u);
}

TEST(ParallelScan, OverlappingScansShareThePool) {
    TempDir a, b;
    MakeRandomTree(a.path(), 21, 80, 300);
    MakeRandomTree(b.path(), 22, 50, 500);
    const std::string wantA = BreakdownText(a.path(), 1);
    const std::string wantB = BreakdownText(b.path(), 1);
    std::atomic<int> wrong(0);
    auto run = [&wrong](const std::string& path, const std::string& want, int threads) {
        for (int i = 0; i < 6; i++) {
            if (BreakdownText(path, threads) != want) wrong++;
        }
    };
    std::thread x(run, a.path(), wantA, 8);
    std::thread y(run, b.path(), wantB, 2);
    std::thread z(run, a.path(), wantA, 0);
    x.join();
    y.join();
    z.join();
    EXPECT_EQ(wrong.load(), 0);
}

#ifndef _WIN32
namespace {

// Levels of nested folders, each also holding a side folder with one file.
// The deep and the side folder swap names from level to level, so in any
// listing order half the levels keep a folder to open after the deep part:
// the read-ahead must give descriptors back and reopen folders through
// their parents.
void MakeBranchingChain(const std::string& dir, int depth) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < depth; i++) {
        const char* deep = i % 2 ? "x" : "d";
        const char* side = i % 2 ? "d" : "x";
        ASSERT_EQ(mkdirat(fd, side, 0755), 0);
        int s = openat(fd, side, O_RDONLY | O_DIRECTORY);
        ASSERT_GE(s, 0);
        int f = openat(s, "f", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(f, 0);
        ASSERT_EQ(ftruncate(f, i + 1), 0);
        close(f);
        close(s);
        ASSERT_EQ(mkdirat(fd, deep, 0755), 0);
        int next = openat(fd, deep, O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    close(fd);
}

}  // namespace

TEST(ParallelScan, DeepTreeWithFewDescriptors) {
    TempDir t;
    MakeBranchingChain(t.path(), 400);
    const std::string want = TreeText(t.path(), 1);
    const std::string wantBreakdown = BreakdownText(t.path(), 1);
    rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit low = saved;
    low.rlim_cur = 60;
    setrlimit(RLIMIT_NOFILE, &low);
    std::string got2 = TreeText(t.path(), 2);
    std::string got8 = TreeText(t.path(), 8);
    std::string gotBreakdown = BreakdownText(t.path(), 8);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(got2, want);
    EXPECT_EQ(got8, want);
    EXPECT_EQ(gotBreakdown, wantBreakdown);
    EXPECT_NE(want.find(" 400 800 |"), std::string::npos) << want;  // 400 files, 800 folders
    ASSERT_EQ(std::system(("rm -rf -- '" + t.path() + "/d' '" + t.path() + "/x'").c_str()), 0);
}
#endif
