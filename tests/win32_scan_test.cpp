// The Win32 listing with every path shape the program writes, and trees
// deeper than the classic path limit.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "scan.h"

using fixture::MakeFile;
using fixture::TempDir;

namespace {

StopFlag g_noStop(0);

// The kinds of the named entries in the folder's listing; -1 when absent.
std::vector<int> KindsOf(const char* path, const std::vector<std::string>& names) {
    std::vector<int> kinds(names.size(), -1);
    const ListingOps* ops = PlatformListing();
    ListContext* c = ops->begin(ops->user);
    if (ops->pushPath(c, path, kListFull)) {
        ListEntry e;
        while (ops->next(c, &e)) {
            for (size_t i = 0; i < names.size(); i++) {
                if (_stricmp(e.name, names[i].c_str()) == 0) kinds[i] = e.kind;
            }
        }
        ops->pop(c);
    }
    ops->end(c);
    return kinds;
}

std::wstring Wide(const std::string& s) {
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

}  // namespace

TEST(Win32Paths, DriveShapesListTheRoot) {
    // Z: is the Unix root under Wine, C: the prefix's drive.
    struct Case {
        const char* path;
        const char* entry;  // a folder the root holds
    } cases[] = {
        {"z:", "tmp"}, {"Z:\\", "tmp"}, {"c:", "windows"}, {"C:\\", "windows"}, {"c:/", "windows"},
    };
    for (const Case& c : cases) {
        std::vector<int> k = KindsOf(c.path, {c.entry});
        EXPECT_EQ(k[0], kListDir) << c.path;
    }
    EXPECT_EQ(CountSubfolders("z:"), CountSubfolders("Z:\\"));
    EXPECT_GT(CountSubfolders("c:"), 0);
}

TEST(Win32Paths, DoubledBackslashAfterTheDriveNamesTheSameFolder) {
    TempDir t;
    MakeFile(t / "sub/f", 40);
    MakeFile(t / "g", 2);
    std::string plain = t.path();
    ASSERT_GE(plain.size(), 3u);
    ASSERT_EQ(plain[1], ':');
    // C:\x\y as a folder below a root the folder browser returned: C:\\x\y.
    std::string doubled = plain.substr(0, 2) + "\\" + plain.substr(2);
    for (const std::string& p : {plain, doubled, plain + "\\"}) {
        FolderSummary s = ScanFolderTree(p.c_str(), g_noStop);
        EXPECT_EQ(s.totalBytes, 42u) << p;
        EXPECT_EQ(s.fileCount, 2u) << p;
        EXPECT_EQ(s.dirCount, 1u) << p;
    }
    Breakdown b = BuildBreakdown(doubled.c_str(), g_noStop);
    ASSERT_EQ(b.folderCount, 1);
    EXPECT_EQ(std::string(b.folders[0].name), doubled + "\\sub");  // the path as given, joined once
    EXPECT_EQ(b.folders[0].totalBytes, 40u);
    ReleaseFolders(b.folders);
}

TEST(Win32Paths, TreesDeeperThanTheClassicPathLimit) {
    TempDir t;
    // About 2,500 characters of path: far beyond 260, within what Wine maps to Unix paths.
    const int depth = 120;
    std::wstring p = L"\\\\?\\" + Wide(t.path());
    for (int i = 0; i < depth; i++) {
        p += L"\\level-of-twenty-chr";
        ASSERT_TRUE(CreateDirectoryW(p.c_str(), nullptr)) << "level " << i << " error " << GetLastError();
    }
    HANDLE h = CreateFileW((p + L"\\bottom").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, "0123456789", 10, &written, nullptr));
    CloseHandle(h);

    FolderSummary s = ScanFolderTree(t.path().c_str(), g_noStop);
    EXPECT_EQ(s.dirCount, static_cast<uint32_t>(depth));
    EXPECT_EQ(s.fileCount, 1u);
    EXPECT_EQ(s.totalBytes, 10u);
    EXPECT_STREQ(s.largest[0].name, "bottom");

    // Clean up from the bottom: the folders are too deep for ordinary paths.
    DeleteFileW((p + L"\\bottom").c_str());
    for (int i = 0; i < depth; i++) {
        RemoveDirectoryW(p.c_str());
        p.resize(p.size() - std::wcslen(L"\\level-of-twenty-chr"));
    }
}
