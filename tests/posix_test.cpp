// Links, odd names, deep trees and long paths on the POSIX listing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fixture.h"
#include "scan.h"

using fixture::MakeDir;
using fixture::MakeFile;
using fixture::TempDir;

namespace {

StopFlag g_noStop(0);

void Link(const std::string& target, const std::string& at) {
    ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0) << at << ": " << std::strerror(errno);
}

// A chain of nested folders below dir, made relative to each open parent so
// that no path length limit applies; leaves one file of `bytes` at the bottom.
void MakeChain(const std::string& dir, int depth, const std::string& name, uint64_t bytes) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < depth; i++) {
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0) << "level " << i << ": " << std::strerror(errno);
        int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    int f = openat(fd, "bottom", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(f, 0);
    ASSERT_EQ(ftruncate(f, static_cast<off_t>(bytes)), 0);
    close(f);
    close(fd);
}

// Removes a tree of any depth (std::filesystem would form over-long paths).
void RemoveDeep(const std::string& dir) {
    std::string cmd = "rm -rf -- '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

class LowFileLimit {
public:
    explicit LowFileLimit(rlim_t n) {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit low = saved_;
        low.rlim_cur = n;
        setrlimit(RLIMIT_NOFILE, &low);
    }
    ~LowFileLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_;
};

}  // namespace

TEST(PosixLinks, AreCountedAsFilesAndNeverEntered) {
    TempDir outside;
    MakeFile(outside / "big", 1u << 20);
    TempDir t;
    MakeDir(t / "loop");
    MakeFile(t / "loop/f", 10);
    Link("..", t / "loop/up");                  // a cycle back to the tree's top
    Link(outside.path(), t / "elsewhere");      // a large folder outside the tree
    Link(t / "nowhere-at-all", t / "dangling");  // points at nothing
    FolderSummary s = ScanFolderTree(t.path().c_str(), g_noStop);
    uint64_t links = 2 + outside.path().size() + (t / "nowhere-at-all").size();
    EXPECT_EQ(s.fileCount, 4u);  // f and the three links
    EXPECT_EQ(s.totalBytes, 10u + links);
    EXPECT_EQ(s.dirCount, 1u);
    EXPECT_EQ(CountSubfolders(t.path().c_str()), 1);  // a link to a folder is no subfolder
}

TEST(PosixNames, OddNamesAreCountedAndNamedAsListed) {
    TempDir t;
    const char* names[] = {"100%sure", "%s%n%d", "with  spaces ", "caf\xC3\xA9 \xE2\x82\xAC", "-dash", "a\tb"};
    for (const char* n : names) MakeFile(t / (std::string(n) + "/" + n), 5);
    Breakdown b = BuildBreakdown(t.path().c_str(), g_noStop);
    ASSERT_EQ(b.folderCount, 6);
    EXPECT_EQ(b.totalBytes, 30u);
    for (int i = 0; i < b.folderCount; i++) {
        std::string name = b.folders[i].name;
        std::string leaf = name.substr(t.path().size() + 1);
        EXPECT_EQ(name, fixture::Join(t.path(), leaf));
        EXPECT_STREQ(b.folders[i].largest[0].name, leaf.c_str());
        EXPECT_EQ(b.folders[i].fileCount, 1u);
    }
    ReleaseFolders(b.folders);
}

TEST(PosixDepth, ThousandLevelsWithFewDescriptors) {
    TempDir t;
    MakeChain(t.path(), 1000, "d", 12345);
    FolderSummary s;
    {
        // Far fewer descriptors than levels: the walk must not depend on them.
        LowFileLimit limit(100);
        s = ScanFolderTree(t.path().c_str(), g_noStop);
    }
    EXPECT_EQ(s.dirCount, 1000u);
    EXPECT_EQ(s.fileCount, 1u);
    EXPECT_EQ(s.totalBytes, 12345u);
    EXPECT_STREQ(s.largest[0].name, "bottom");
    RemoveDeep(t / "d");
}

TEST(PosixDepth, PathsLongerThanTheSystemLimit) {
    TempDir t;
    std::string name(200, 'n');
    MakeChain(t.path(), 25, name, 777);  // about 5,000 bytes of path
    MakeFile(t / "beside", 1);
    FolderSummary s = ScanFolderTree(t.path().c_str(), g_noStop);
    EXPECT_EQ(s.dirCount, 25u);
    EXPECT_EQ(s.fileCount, 2u);
    EXPECT_EQ(s.totalBytes, 778u);
    Breakdown b = BuildBreakdown(t.path().c_str(), g_noStop);
    ASSERT_EQ(b.folderCount, 1);
    EXPECT_EQ(b.folders[0].totalBytes, 777u);
    EXPECT_EQ(b.folders[0].dirCount, 24u);
    ReleaseFolders(b.folders);
    RemoveDeep(t / name);
}

TEST(PosixDepth, SubfolderWhosePathWouldNotFitARecordIsLeftOut) {
    // Records hold 259 characters: a subfolder beyond that is left out of both passes.
    TempDir t;
    std::string base = t.path();
    std::string pad(std::max<int>(1, 250 - static_cast<int>(base.size())), 'p');
    MakeDir(t / pad);
    std::string parent = fixture::Join(base, pad);
    MakeFile(fixture::Join(fixture::Join(parent, "ok"), "f"), 3);
    MakeFile(fixture::Join(fixture::Join(parent, std::string(40, 'x')), "f"), 3);
    EXPECT_EQ(CountSubfolders(parent.c_str()), 1);
    Breakdown b = BuildBreakdown(parent.c_str(), g_noStop);
    ASSERT_EQ(b.folderCount, 1);
    EXPECT_EQ(std::string(b.folders[0].name), fixture::Join(parent, "ok"));
    ReleaseFolders(b.folders);
}

TEST(PosixPseudo, PseudoFileSystemsAreNotEntered) {
    const ListingOps* ops = PlatformListing();
    ListContext* c = ops->begin(ops->user);
    ASSERT_TRUE(ops->pushPath(c, "/", kListFull));
    ListEntry e;
    int seen = 0;
    while (ops->next(c, &e)) {
        if (std::strcmp(e.name, "proc") == 0 || std::strcmp(e.name, "sys") == 0) {
            EXPECT_EQ(e.kind, kListDirLeaf) << e.name;
            seen++;
        }
        if (std::strcmp(e.name, "usr") == 0) {
            EXPECT_EQ(e.kind, kListDir);
        }
    }
    ops->pop(c);
    ops->end(c);
    EXPECT_GE(seen, 1);
}
