// The main window and its commands, driven with messages as the program runs
// them: scans on worker threads, the title, the status texts and the layout.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "../fixture.h"
#include "main_window.h"

using fixture::MakeDir;
using fixture::MakeFile;
using fixture::TempDir;
using mainwindow::MainWindowTest;
using mainwindow::Pump;
using mainwindow::SetPath;
using mainwindow::StatusText;
using mainwindow::WaitFor;
using mainwindow::WaitForScans;
using mainwindow::WindowText;

namespace {

const uint64_t KiB = 1024;
const uint64_t MiB = 1024 * KiB;

std::string Leaf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

// The published state is whole: a count that belongs to the array, a total
// that is its sum, shares that fill the bar, colours within range.
void ExpectConsistentState() {
    uint64_t total = 0;
    int64_t shares = 0;
    for (int i = 0; i < g_folderCount; i++) {
        total += g_folders[i].totalBytes;
        shares += g_folders[i].shareMille;
        for (int shift : {0, 8, 16}) EXPECT_LE((g_folders[i].color >> shift) & 0xFF, 239u);
        EXPECT_EQ(g_folders[i].color >> 24, 0u);
    }
    EXPECT_EQ(total, g_totalBytes);
    if (g_folderCount > 0) {
        EXPECT_EQ(shares, 1000);
    }
}

std::set<std::string> RecordNames() {
    std::set<std::string> names;
    for (int i = 0; i < g_folderCount; i++) names.insert(g_folders[i].name);
    return names;
}

// A folder with three subfolders (3.5 MiB, 3 files) and files of its own,
// which the breakdown leaves out.
void MakeThreeFolders(const TempDir& dir) {
    MakeFile(dir / "A/a.bin", 2 * MiB);
    MakeFile(dir / "A/deep/x.bin", 1 * MiB);
    MakeFile(dir / "B/b.bin", 512 * KiB);
    MakeDir(dir / "C");
    MakeFile(dir / "own.bin", 5 * MiB);
}

// A listing around the platform's that lets a test stop or hold a run at a
// chosen entry, on the worker's own thread.
struct Hook {
    std::atomic<int> filesListed{0};
    int stopAtFile = 0;           // Stop is sent to the window when this file is listed
    std::string holdRoot;         // the run that opens this folder is held...
    std::atomic<DWORD> holdThread{0};
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);     // ...and says so...
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // ...until this is set
    ~Hook() {
        CloseHandle(held);
        CloseHandle(release);
    }
};
Hook* g_hook = nullptr;

const ListingOps* Platform() { return PlatformListing(); }
ListContext* HBegin(void*) { return Platform()->begin(Platform()->user); }
void HEnd(ListContext* c) { Platform()->end(c); }
bool HPushPath(ListContext* c, const char* path, int mode) {
    if (!g_hook->holdRoot.empty() && g_hook->holdRoot == path) g_hook->holdThread = GetCurrentThreadId();
    return Platform()->pushPath(c, path, mode);
}
bool HPushChild(ListContext* c, int mode) { return Platform()->pushChild(c, mode); }
void HPop(ListContext* c) { Platform()->pop(c); }
bool HNext(ListContext* c, ListEntry* e) {
    if (!Platform()->next(c, e)) return false;
    if (g_hook->holdThread == GetCurrentThreadId()) {
        g_hook->holdThread = 0;
        SetEvent(g_hook->held);
        WaitForSingleObject(g_hook->release, 60000);
    }
    if (e->kind == kListFile && g_hook->stopAtFile && ++g_hook->filesListed == g_hook->stopAtFile) {
        SendMessageA(g_hwndMain, WM_COMMAND, IDM_STOP, 0);
    }
    return true;
}
const ListingOps kHookListing = {HBegin, HEnd, HPushPath, HPushChild, HNext, HPop, nullptr};

class MainWindow : public MainWindowTest {
protected:
    void UseHook() {
        g_hook = &hook_;
        SetScanListing(&kHookListing);
    }
    void TearDown() override {
        SetEvent(hook_.release);
        MainWindowTest::TearDown();
        g_hook = nullptr;
    }
    Hook hook_;
};

TEST_F(MainWindow, ScanShowsTitleStatusTextsAndBreakdown) {
    TempDir dir;
    MakeThreeFolders(dir);
    Scan(dir.path());
    EXPECT_EQ(WindowText(hwnd_), "Tallyfield 0.1 - " + Leaf(dir.path()));
    EXPECT_EQ(StatusText(0), "3 MB");
    EXPECT_EQ(StatusText(1), "3 files");
    EXPECT_EQ(StatusText(2), dir.path());
    ASSERT_EQ(g_folderCount, 3);
    EXPECT_EQ(RecordNames(), (std::set<std::string>{dir / "A", dir / "B", dir / "C"}));
    EXPECT_EQ(g_totalBytes, 3 * MiB + 512 * KiB);
    ExpectConsistentState();

    // The same folder named with a trailing backslash, as the browser gives a
    // drive root: an empty last component, subfolders below a doubled one.
    Scan(dir.path() + "\\");
    EXPECT_EQ(WindowText(hwnd_), "Tallyfield 0.1 - ");
    EXPECT_EQ(StatusText(2), dir.path() + "\\");
    EXPECT_EQ(StatusText(0), "3 MB");
    ASSERT_EQ(g_folderCount, 3);
    EXPECT_EQ(RecordNames().count(dir.path() + "\\\\A"), 1u);
    ExpectConsistentState();
}

TEST_F(MainWindow, FolderWithoutSubfoldersShowsItsOwnTotals) {
    TempDir dir;
    MakeFile(dir / "one.bin", MiB + MiB / 2);
    MakeFile(dir / "two.bin", 1);
    Scan(dir.path());
    EXPECT_EQ(g_folderCount, 0);
    EXPECT_EQ(StatusText(0), "1 MB");
    EXPECT_EQ(StatusText(1), "2 files");
    EXPECT_EQ(StatusText(2), dir.path());
}

TEST_F(MainWindow, DriveRootKeepsTheTitle) {
    // Under Wine z: is the Linux root; elsewhere the drive of the temp folder.
    TempDir dir;
    std::string drive = (GetLogicalDrives() & (1u << 25)) ? "z:" : dir.path().substr(0, 2);
    SetWindowTextA(hwnd_, "before");
    SetPath(drive);
    Command(IDM_GO);
    // The run waits for this thread to answer its first status text, so a
    // Stop here comes before it lists anything below the root.
    g_stopScan.store(1);
    ASSERT_TRUE(WaitForScans());
    EXPECT_EQ(WindowText(hwnd_), "before");
    EXPECT_EQ(StatusText(2), drive);
    EXPECT_EQ(StatusText(0), "0 MB");
    EXPECT_EQ(StatusText(1), "0 files");
    // Every subfolder of the root still has its record, named "z:\<name>".
    ASSERT_GT(g_folderCount, 0);
    for (int i = 0; i < g_folderCount; i++) {
        std::string name = g_folders[i].name;
        EXPECT_EQ(name.compare(0, 3, drive + "\\"), 0) << name;
        EXPECT_EQ(name.find('\\', 3), std::string::npos) << name;
    }
    ExpectConsistentState();
}

TEST_F(MainWindow, GoTwiceRunsTwoScansThatAgree) {
    TempDir dir;
    MakeThreeFolders(dir);
    SetPath(dir.path());
    Command(IDM_GO);
    Command(IDM_GO);
    EXPECT_EQ(RunningScans(), 2);
    ASSERT_TRUE(WaitForScans());
    ASSERT_EQ(g_folderCount, 3);
    EXPECT_EQ(StatusText(0), "3 MB");
    EXPECT_EQ(StatusText(1), "3 files");
    ExpectConsistentState();
}

TEST_F(MainWindow, StopDuringAScanKeepsPartialTotals) {
    TempDir dir;
    for (int d = 0; d < 5; d++) {
        for (int f = 0; f < 400; f++) MakeFile(dir / ("d" + std::to_string(d) + "/f" + std::to_string(f)), 0);
    }
    UseHook();
    hook_.stopAtFile = 1000;
    Scan(dir.path());
    // The 1000th file is listed after the Stop and not counted: two folders
    // complete, the third cut short, the last two empty but still there.
    EXPECT_EQ(StatusText(1), "999 files");
    ASSERT_EQ(g_folderCount, 5);
    std::vector<uint32_t> files;
    for (int i = 0; i < 5; i++) files.push_back(g_folders[i].fileCount);
    EXPECT_EQ(files, (std::vector<uint32_t>{400, 400, 199, 0, 0}));
    ExpectConsistentState();
    EXPECT_EQ(g_stopScan.load(), 1);

    // The next Go clears the flag and counts everything.
    hook_.stopAtFile = 0;
    Scan(dir.path());
    EXPECT_EQ(StatusText(1), "2000 files");
}

TEST_F(MainWindow, BackThroughThePathShapes) {
    TempDir dir;
    MakeDir(dir / "A/B");
    std::string drive = dir.path().substr(0, 2);
    struct Case {
        std::string path, after;
        bool scans;
        std::string title;  // empty: the caption stays as it was
    } cases[] = {
        {"z:", "z:", false, ""},
        {"z:\\", "z:", true, ""},
        {drive + "\\\\" + "users", drive + "\\", true, "Tallyfield 0.1 - "},
        {dir / "A/B", dir / "A", true, "Tallyfield 0.1 - A"},
        {dir / "A", dir.path(), true, "Tallyfield 0.1 - " + Leaf(dir.path())},
    };
    for (const Case& c : cases) {
        SetWindowTextA(hwnd_, "before");
        SendMessageA(g_hwndStatus, SB_SETTEXTA, 2, reinterpret_cast<LPARAM>("before"));
        SetPath(c.path);
        Command(IDM_BACK);
        EXPECT_EQ(RunningScans(), c.scans ? 1 : 0) << c.path;
        EXPECT_STREQ(g_currentPath, c.after.c_str()) << c.path;
        g_stopScan.store(1);  // only the texts matter here: keep drive roots quick
        ASSERT_TRUE(WaitForScans());
        EXPECT_EQ(WindowText(hwnd_), c.title.empty() ? "before" : c.title) << c.path;
        EXPECT_EQ(StatusText(2), c.scans ? c.after : "before") << c.path;
    }
}

TEST_F(MainWindow, HeightStaysAt170) {
    RECT r;
    GetWindowRect(hwnd_, &r);
    EXPECT_EQ(r.bottom - r.top, 170);

    struct Case {
        RECT drag;
    } cases[] = {{{100, 50, 500, 400}}, {{100, -30, 300, 10}}, {{0, 200, 800, 230}}};
    for (const Case& c : cases) {
        RECT drag = c.drag;
        EXPECT_EQ(MainDialogProc(hwnd_, WM_SIZING, WMSZ_BOTTOM, reinterpret_cast<LPARAM>(&drag)), TRUE);
        EXPECT_EQ(drag.left, c.drag.left);
        EXPECT_EQ(drag.top, c.drag.top);
        EXPECT_EQ(drag.right, c.drag.right);
        EXPECT_EQ(drag.bottom, c.drag.top + 170);
    }
    // Sent as the window manager sends it.
    RECT drag = {10, 10, 610, 510};
    SendMessageA(hwnd_, WM_SIZING, WMSZ_TOP, reinterpret_cast<LPARAM>(&drag));
    EXPECT_EQ(drag.bottom - drag.top, 170);
}

TEST_F(MainWindow, LayoutPutsTheStatusBarAcrossTheBottom) {
    for (int width : {600, 350, 900}) {
        SetWindowPos(hwnd_, nullptr, 0, 0, width, 170, SWP_NOMOVE | SWP_NOZORDER);
        SendMessageA(hwnd_, WM_SIZE, SIZE_RESTORED, 0);  // as a finished scan sends it
        RECT client, status;
        GetClientRect(hwnd_, &client);
        GetWindowRect(g_hwndStatus, &status);
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&status), 2);
        EXPECT_EQ(status.left, 0) << width;
        EXPECT_EQ(status.right, client.right) << width;
        EXPECT_EQ(status.bottom, client.bottom) << width;
        EXPECT_GT(status.bottom - status.top, 10) << width;
        if (g_hwndRebar) {
            RECT rebar;
            GetWindowRect(g_hwndRebar, &rebar);
            MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&rebar), 2);
            EXPECT_LE(rebar.top, 0) << width;
            EXPECT_GE(rebar.right, client.right) << width;
        }
    }
    int edges[4] = {};
    EXPECT_EQ(SendMessageA(g_hwndStatus, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 3);
    EXPECT_EQ(edges[0], 70);
    EXPECT_EQ(edges[1], 140);
    EXPECT_EQ(edges[2], -1);
}

TEST_F(MainWindow, CommandsActOnTheLowWordAndIgnoreOtherNumbers) {
    TempDir dir;
    SetPath(dir.path());
    SetWindowTextA(hwnd_, "before");
    g_stopScan.store(0);
    for (WPARAM command : {0u, 40002u, 40007u, 3000u, 0xFFFFu, static_cast<unsigned>(MAKEWPARAM(40002, 40003))}) {
        EXPECT_EQ(MainDialogProc(hwnd_, WM_COMMAND, command, 0), TRUE) << command;
        EXPECT_EQ(RunningScans(), 0) << command;
        EXPECT_STREQ(g_currentPath, dir.path().c_str()) << command;
        EXPECT_EQ(g_stopScan.load(), 0) << command;
        EXPECT_EQ(WindowText(hwnd_), "before") << command;
    }
    // A toolbar click carries a notification code and the toolbar's window.
    EXPECT_EQ(MainDialogProc(hwnd_, WM_COMMAND, MAKEWPARAM(IDM_STOP, 1), reinterpret_cast<LPARAM>(hwnd_)), TRUE);
    EXPECT_EQ(g_stopScan.load(), 1);
    EXPECT_EQ(MainDialogProc(hwnd_, WM_COMMAND, MAKEWPARAM(IDM_GO, 1), reinterpret_cast<LPARAM>(hwnd_)), TRUE);
    EXPECT_EQ(g_stopScan.load(), 0);
    EXPECT_EQ(RunningScans(), 1);
    ASSERT_TRUE(WaitForScans());
    EXPECT_EQ(StatusText(2), dir.path());
}

// Finds a dialog box of this thread other than the main window, for tests
// that answer a modal box from inside its own message loop.
struct FoundDialog {
    HWND hwnd = nullptr;
    std::string title;
    std::vector<std::string> texts;
    HWND owner = nullptr;
    bool hasIcon = false;
};
FoundDialog g_found;
WPARAM g_answer = IDCANCEL;
int g_ticks = 0;

BOOL CALLBACK CollectChild(HWND child, LPARAM) {
    g_found.texts.push_back(WindowText(child));
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        char cls[32] = "";
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Static") == 0) g_found.hasIcon = true;
    }
    return TRUE;
}

BOOL CALLBACK FindBox(HWND hwnd, LPARAM) {
    char cls[32] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (hwnd == g_hwndMain || std::strcmp(cls, "#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    g_found.hwnd = hwnd;
    return FALSE;
}

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), FindBox, 0);
    // Give up after a while so that a missing box shows as a failure.
    if (!g_found.hwnd && ++g_ticks < 200) return;
    KillTimer(nullptr, timer);
    if (!g_found.hwnd) return;
    g_found.title = WindowText(g_found.hwnd);
    g_found.owner = GetWindow(g_found.hwnd, GW_OWNER);
    EnumChildWindows(g_found.hwnd, CollectChild, 0);
    PostMessageA(g_found.hwnd, WM_COMMAND, g_answer, 0);
}

void ExpectBoxAnswered(WPARAM answer) {
    g_found = FoundDialog();
    g_answer = answer;
    g_ticks = 0;
    SetTimer(nullptr, 0, 50, AnswerBox);
}

bool HasText(const std::string& text) {
    for (const std::string& t : g_found.texts) {
        if (t == text) return true;
    }
    return false;
}

TEST_F(MainWindow, OpenCancelledChangesNothing) {
    TempDir dir;
    MakeThreeFolders(dir);
    Scan(dir.path());
    std::string title = WindowText(hwnd_);
    FolderSummary* folders = g_folders;

    ExpectBoxAnswered(IDCANCEL);
    EXPECT_EQ(Command(IDM_OPEN), 0);
    ASSERT_NE(g_found.hwnd, nullptr) << "no folder browser";
    EXPECT_EQ(g_found.owner, nullptr);  // the main window stays usable
    EXPECT_TRUE(HasText("Select the folder you would like to open."));
    EXPECT_EQ(RunningScans(), 0);
    EXPECT_STREQ(g_currentPath, dir.path().c_str());
    EXPECT_EQ(WindowText(hwnd_), title);
    EXPECT_EQ(StatusText(2), dir.path());
    EXPECT_EQ(g_folders, folders);
    EXPECT_EQ(g_folderCount, 3);
}

TEST_F(MainWindow, AboutFromTheSystemMenu) {
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    int n = GetMenuItemCount(menu);
    ASSERT_GE(n, 2);
    EXPECT_EQ(GetMenuItemID(menu, n - 1), static_cast<UINT>(IDM_ABOUT));
    char text[64] = "";
    GetMenuStringA(menu, n - 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "About");
    EXPECT_TRUE(GetMenuState(menu, n - 2, MF_BYPOSITION) & MF_SEPARATOR);

    ExpectBoxAnswered(IDOK);
    EXPECT_EQ(MainDialogProc(hwnd_, WM_SYSCOMMAND, IDM_ABOUT, 0), FALSE);
    ASSERT_NE(g_found.hwnd, nullptr) << "no message box";
    EXPECT_EQ(g_found.title, "Tallyfield 0.1");
    EXPECT_EQ(g_found.owner, hwnd_);
    EXPECT_TRUE(g_found.hasIcon);
    bool credits = false;
    for (const std::string& t : g_found.texts) credits = credits || t.find("\n\n") != std::string::npos;
    EXPECT_TRUE(credits) << "two paragraphs of credits";

    // Other system commands still reach the default handling.
    EXPECT_EQ(MainDialogProc(hwnd_, WM_SYSCOMMAND, SC_MINIMIZE, 0), FALSE);
}

TEST_F(MainWindow, ClosingDuringAScanLeavesTheRecordsAlone) {
    TempDir dir;
    MakeThreeFolders(dir);
    UseHook();
    hook_.holdRoot = dir.path();
    SendMessageA(g_hwndStatus, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("before"));
    SetPath(dir.path());
    Command(IDM_GO);
    ASSERT_TRUE(WaitFor([&] { return WaitForSingleObject(hook_.held, 0) == WAIT_OBJECT_0; }, 30000, hook_.held));

    EXPECT_EQ(MainDialogProc(hwnd_, WM_CLOSE, 0, 0), TRUE);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(g_folders, nullptr);
    EXPECT_EQ(g_hwndTip, nullptr);
    SetEvent(hook_.release);
    ASSERT_TRUE(WaitForScans());
    // The run kept and freed its own result and wrote no totals.
    EXPECT_EQ(g_folders, nullptr);
    EXPECT_EQ(g_folderCount, 0);
    EXPECT_EQ(StatusText(0), "before");
}

TEST_F(MainWindow, OverlappingRunsLastPublicationWins) {
    TempDir x, y;
    MakeThreeFolders(x);
    MakeFile(y / "Only/f.bin", 3 * MiB);
    UseHook();
    hook_.holdRoot = x.path();

    // The run of X is held inside its listing while the path moves on and a
    // run of Y starts, finishes and publishes.
    SetPath(x.path());
    Command(IDM_GO);
    ASSERT_TRUE(WaitFor([&] { return WaitForSingleObject(hook_.held, 0) == WAIT_OBJECT_0; }, 30000, hook_.held));
    SetPath(y.path());
    Command(IDM_GO);
    ASSERT_TRUE(WaitFor([] { return RunningScans() == 1; }));
    ASSERT_EQ(g_folderCount, 1);
    EXPECT_EQ(RecordNames(), std::set<std::string>{y / "Only"});
    EXPECT_EQ(StatusText(0), "3 MB");

    // X publishes last: its breakdown stays, scanned from the path of its
    // own Go although the current path changed meanwhile.
    SetEvent(hook_.release);
    ASSERT_TRUE(WaitForScans());
    ASSERT_EQ(g_folderCount, 3);
    EXPECT_EQ(RecordNames(), (std::set<std::string>{x / "A", x / "B", x / "C"}));
    EXPECT_EQ(StatusText(1), "3 files");
    EXPECT_EQ(StatusText(2), y.path());  // the texts written last
    EXPECT_STREQ(g_currentPath, y.path().c_str());
    ExpectConsistentState();
}

TEST_F(MainWindow, StressOverlappingCommands) {
    TempDir dir;
    for (const char* sub : {"A/C", "A/D", "B/E", "B/F/G"}) {
        for (int f = 0; f < 20; f++) MakeFile(dir / (std::string(sub) + "/f" + std::to_string(f)), 100 * f);
    }
    SetPath(dir.path());
    unsigned seed = 12345;
    for (int i = 0; i < 300; i++) {
        seed = seed * 1103515245u + 12345u;
        switch ((seed >> 16) % 6) {
        case 0:
        case 1:
            Command(IDM_GO);
            break;
        case 2:
            Command(IDM_STOP);
            break;
        case 3:
            // Back, but never above the test's folder.
            if (std::strlen(g_currentPath) > dir.path().size()) Command(IDM_BACK);
            break;
        case 4:
            // A click on the first segment.
            if (g_folderCount > 0) {
                SetPath(g_folders[0].name);
                Command(IDM_GO);
            }
            break;
        default:
            SendMessageA(hwnd_, WM_SIZE, SIZE_RESTORED, 0);
            break;
        }
        if (i % 3 == 0) Pump();
        ASSERT_GE(g_folderCount, 0);
        if (g_folderCount > 0) {
            ASSERT_NE(g_folders, nullptr);
        }
    }
    ASSERT_TRUE(WaitForScans(60000));
    ExpectConsistentState();

    // Once everything has ended, one more run is the last to publish.
    Scan(dir.path());
    EXPECT_EQ(RecordNames(), (std::set<std::string>{dir / "A", dir / "B"}));
    EXPECT_EQ(StatusText(1), "80 files");
    ExpectConsistentState();
}

}  // namespace

namespace {

TEST(Resources, ManifestAndVersion) {
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC res = FindResourceA(self, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(res, nullptr);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(self, res))), SizeofResource(self, res));
    for (const char* part : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", ">UTF-8</activeCodePage>",
                             ">true</longPathAware>"}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
    // The manifest is in force: file names reach the 8-bit code as UTF-8.
    EXPECT_EQ(GetACP(), 65001u);
    EXPECT_NE(FindResourceA(self, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)), nullptr);  // VERSIONINFO
    HICON icon = static_cast<HICON>(LoadImageA(self, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr);
    if (icon) DestroyIcon(icon);
}

}  // namespace
