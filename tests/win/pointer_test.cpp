// The bar on the real main window after real scans: pointer moves, cursor,
// highlight, drill-down, the tooltip's text, the command bar in place; and
// one run of the program itself, pointed at and clicked with the real pointer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "barlogic.h"
#include "barview.h"
#include "fixture.h"
#include "main_dialog.h"
#include "main_window.h"
#include "resource.h"
#include "scanrun.h"

namespace {

const uint64_t kMiB = 1024 * 1024;

using mainwindow::Pump;

// Pumps messages (a scan publishes through the main thread) until done.
bool PumpUntil(const std::function<bool()>& done, int ms) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > static_cast<DWORD>(ms)) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        Pump();
    }
    Pump();
    return true;
}

bool WaitForScans() {
    return PumpUntil([] { return RunningScans() == 0; }, 60000);
}

HCURSOR Arrow() { return LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); }
HCURSOR Hand() { return LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)); }

std::string Leaf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// The tree the tests scan:
//   alpha: big.raw 2 MiB, note.txt 1000 bytes, sub/ (empty)   share 666
//   beta:  empty.txt 0 bytes, x/ (empty)                      share 1
//   gamma: c.bin 1 MiB                                        share 333
void MakeTree(const fixture::TempDir& dir) {
    fixture::MakeFile(dir / "alpha/big.raw", 2 * kMiB);
    fixture::MakeFile(dir / "alpha/note.txt", 1000);
    fixture::MakeDir(dir / "alpha/sub");
    fixture::MakeFile(dir / "beta/empty.txt", 0);
    fixture::MakeDir(dir / "beta/x");
    fixture::MakeFile(dir / "gamma/c.bin", kMiB);
}

const char kAlphaTip[] =
    "2 MB (2048 kB)\r\n2 files, 1 dirs\r\n\r\nLargest files\r\n\r\n2 MB\t\tbig.raw\r\n0 MB\t\tnote.txt\r\n";
const char kBetaTip[] = "0 MB (0 kB)\r\n1 files, 1 dirs\r\n\r\nLargest files\r\n\r\n";

std::string WindowText(HWND hwnd) {
    char text[2048] = "";
    SendMessageA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

class RealDialog : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_COOL_CLASSES};
        InitCommonControlsEx(&classes);
    }
    void SetUp() override {
        hwnd_ = CreateMainWindow();
        ASSERT_NE(hwnd_, nullptr);
        // The start folder's scan is not ours.
        SendMessageA(hwnd_, WM_COMMAND, IDM_STOP, 0);
        ASSERT_TRUE(WaitForScans());
        SetWindowPos(hwnd_, HWND_TOP, 0, 0, 640, kMainWindowHeight, SWP_SHOWWINDOW);
        // Keep the real pointer away from the window.
        SetCursorPos(1020, 760);
        Pump();
        MakeTree(tree_);
        Scan(tree_.path());
        GetClientRect(hwnd_, &client_);
    }
    void TearDown() override {
        SendMessageA(hwnd_, WM_COMMAND, IDM_STOP, 0);
        WaitForScans();
        SendMessageA(hwnd_, WM_CLOSE, 0, 0);
        DestroyWindow(hwnd_);
        Pump();
        g_hwndMain = nullptr;
        g_hoverIndex = -1;
    }
    void Scan(const std::string& path) {
        std::snprintf(g_currentPath, sizeof g_currentPath, "%s", path.c_str());
        SendMessageA(hwnd_, WM_COMMAND, IDM_GO, 0);
        ASSERT_TRUE(WaitForScans());
    }
    // A pointer move as the system delivers it: the cursor is reset to the
    // window's own first, then the move arrives.
    void Move(int x, int y) {
        SendMessageA(hwnd_, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd_), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        SendMessageA(hwnd_, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    }
    void Click() { SendMessageA(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1)); }
    COLORREF Pixel(int x, int y) {
        HDC dc = GetDC(hwnd_);
        COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(hwnd_, dc);
        return c;
    }
    // The tooltip's request for text, answered by the window's procedure.
    INT_PTR Request(NMTTDISPINFOA* info) {
        ZeroMemory(info, sizeof *info);
        info->hdr.hwndFrom = g_hwndTip;
        info->hdr.idFrom = ID_BARTOOL;
        info->hdr.code = TTN_GETDISPINFOA;
        info->lpszText = const_cast<char*>("unchanged");
        return MainDialogProc(hwnd_, WM_NOTIFY, ID_BARTOOL, reinterpret_cast<LPARAM>(info));
    }
    // What the window tells the tooltip: title, icon and width, seen by a
    // spy in front of the tooltip's own procedure.
    void SpyOnTip() {
        s_tipProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(g_hwndTip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TipSpy)));
        s_title = "none";
        s_titleIcon = -1;
        s_maxWidth = -1;
    }
    static LRESULT CALLBACK TipSpy(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == TTM_SETTITLEA) {
            s_title = reinterpret_cast<const char*>(lParam);
            s_titleIcon = static_cast<int>(wParam);
        } else if (msg == TTM_SETMAXTIPWIDTH) {
            s_maxWidth = static_cast<int>(lParam);
        }
        return CallWindowProcA(s_tipProc, hwnd, msg, wParam, lParam);
    }
    static WNDPROC s_tipProc;
    static std::string s_title;
    static int s_titleIcon;
    static int s_maxWidth;

    fixture::TempDir tree_;
    HWND hwnd_ = nullptr;
    RECT client_ = {0, 0, 0, 0};
};

WNDPROC RealDialog::s_tipProc = nullptr;
std::string RealDialog::s_title;
int RealDialog::s_titleIcon = -1;
int RealDialog::s_maxWidth = -1;

TEST_F(RealDialog, ScanGivesThreeSegmentsDrawnWithTheirExtents) {
    ASSERT_EQ(g_folderCount, 3);
    EXPECT_EQ(Leaf(g_folders[0].name), "alpha");
    EXPECT_EQ(g_folders[0].shareMille, 666);
    EXPECT_EQ(g_folders[1].shareMille, 1);
    EXPECT_EQ(g_folders[2].shareMille, 333);
    // The size handler's repaint stored the extents.
    double w = static_cast<double>(client_.right - 44);
    EXPECT_EQ(g_folders[0].barLeft, 20);
    EXPECT_EQ(g_folders[0].barRight, 20 + static_cast<int>(666 * w * 0.001) - 1);
    EXPECT_EQ(Pixel(20, 70), RGB(0, 0, 0));
    EXPECT_EQ(Pixel(30, 85), static_cast<COLORREF>(g_folders[0].color));
    EXPECT_EQ(Pixel(15, 85), RGB(224, 224, 224));
}

TEST_F(RealDialog, PointerAtTheBandEdges) {
    ASSERT_EQ(g_folderCount, 3);
    const FolderSummary& a = g_folders[0];
    const FolderSummary& g = g_folders[2];
    int right = client_.right;
    ASSERT_LT(g.barRight, right - 21) << "the band's last column must lie after the last segment";

    struct Step {
        int x, y;
        int hover;       // g_hoverIndex after the move
        bool hand;       // hand cursor, else arrow
    } steps[] = {
        {a.barLeft + 5, 71, 0, true},       // top row inside the band
        {a.barLeft + 5, 70, -1, false},     // the bar's top edge is outside
        {a.barLeft, 80, 0, true},           // first column of a segment
        {19, 80, -1, false},                // left of the band
        {20, 99, 0, true},                  // x 20 is inside; the bottom row too
        {a.barLeft + 5, 100, -1, false},    // below the band
        {g.barRight, 80, 2, true},          // last column of a segment
        {g.barRight + 1, 80, 2, false},     // after it, inside the band: highlight stays
        {right - 21, 80, 2, false},         // the band's last column
        {right - 20, 80, -1, false},        // outside
        {g.barLeft, 80, 2, true},
        {g.barLeft - 1, 80, 2, false},      // the gap: highlight stays, arrow cursor
        {a.barRight, 80, 0, true},
        {a.barRight + 1, 80, 0, false},
        {g_folders[1].barLeft, 80, 0, false},  // a width-0 segment is never hit
    };
    for (const Step& s : steps) {
        Move(s.x, s.y);
        EXPECT_EQ(g_hoverIndex, s.hover) << s.x << "," << s.y;
        EXPECT_EQ(GetCursor(), s.hand ? Hand() : Arrow()) << s.x << "," << s.y;
    }
}

TEST_F(RealDialog, HighlightDrawnOnceAndClearedOutsideTheBand) {
    ASSERT_EQ(g_folderCount, 3);
    const FolderSummary& g = g_folders[2];
    int mid = (g.barLeft + g.barRight) / 2;
    Move(mid, 85);
    ASSERT_EQ(g_hoverIndex, 2);
    EXPECT_EQ(Pixel(mid, 85), static_cast<COLORREF>(HighlightColor(g.color)));
    EXPECT_EQ(Pixel(g.barRight, 70), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(g.barRight, 99), RGB(255, 255, 255));

    // A mark inside the highlighted segment survives moves within it: nothing is redrawn.
    HDC dc = GetDC(hwnd_);
    SetPixel(dc, mid, 80, RGB(1, 2, 3));
    ReleaseDC(hwnd_, dc);
    Move(mid + 3, 82);
    Move(g.barLeft, 90);
    EXPECT_EQ(Pixel(mid, 80), RGB(1, 2, 3));

    // Leaving the band redraws the bar plain.
    Move(mid, 120);
    EXPECT_EQ(g_hoverIndex, -1);
    EXPECT_EQ(Pixel(mid, 80), static_cast<COLORREF>(g.color));
    EXPECT_EQ(Pixel(g.barRight, 70), RGB(0, 0, 0));
}

TEST_F(RealDialog, ClickDrillsDownIntoTheHighlightedFolder) {
    ASSERT_EQ(g_folderCount, 3);
    std::string alpha = g_folders[0].name;
    // Nothing highlighted: nothing happens.
    Move(100, 120);
    Click();
    EXPECT_EQ(RunningScans(), 0);
    EXPECT_EQ(std::string(g_currentPath), tree_.path());

    // Highlight alpha, then move into the gap after it: the click still enters alpha.
    Move(30, 85);
    Move(g_folders[0].barRight + 1, 85);
    ASSERT_EQ(g_hoverIndex, 0);
    Click();
    EXPECT_EQ(g_hoverIndex, -1);
    EXPECT_EQ(std::string(g_currentPath), alpha);
    ASSERT_TRUE(WaitForScans());
    char title[300];
    GetWindowTextA(hwnd_, title, sizeof title);
    EXPECT_STREQ(title, "Tallyfield 0.1 - alpha");
    ASSERT_EQ(g_folderCount, 1);
    EXPECT_EQ(Leaf(g_folders[0].name), "sub");
    EXPECT_EQ(g_folders[0].shareMille, 1000);
}

TEST_F(RealDialog, TooltipTextForTheHighlightedFolder) {
    ASSERT_EQ(g_folderCount, 3);
    SpyOnTip();
    NMTTDISPINFOA info;
    // Nothing highlighted: no title, no text.
    EXPECT_EQ(Request(&info), FALSE);
    EXPECT_STREQ(info.lpszText, "unchanged");
    EXPECT_EQ(s_title, "none");

    Move(30, 85);
    ASSERT_EQ(g_hoverIndex, 0);
    EXPECT_EQ(Request(&info), FALSE);
    EXPECT_EQ(info.lpszText, g_tipText);
    EXPECT_STREQ(info.lpszText, kAlphaTip);
    EXPECT_EQ(s_title, "alpha");
    EXPECT_EQ(s_titleIcon, TTI_INFO);
    EXPECT_EQ(s_maxWidth, 600);

    // Beta is too narrow to point at; the request reads whatever is highlighted.
    g_hoverIndex = 1;
    EXPECT_EQ(Request(&info), FALSE);
    EXPECT_STREQ(info.lpszText, kBetaTip);
    EXPECT_EQ(s_title, "beta");

    // Other notifications are not the bar's.
    NMHDR other = {g_hwndTip, ID_BARTOOL, static_cast<UINT>(TTN_SHOW)};
    EXPECT_EQ(MainDialogProc(hwnd_, WM_NOTIFY, ID_BARTOOL, reinterpret_cast<LPARAM>(&other)), TRUE);
    other.code = TTN_GETDISPINFOA;
    other.idFrom = 7;
    EXPECT_EQ(MainDialogProc(hwnd_, WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&other)), TRUE);
}

TEST_F(RealDialog, StaleHighlightAfterASmallerScanCountsAsNone) {
    ASSERT_EQ(g_folderCount, 3);
    Move(g_folders[2].barLeft + 2, 85);
    ASSERT_EQ(g_hoverIndex, 2);
    std::string alpha = g_folders[0].name;
    Scan(alpha);  // one subfolder
    ASSERT_EQ(g_folderCount, 1);
    EXPECT_EQ(g_hoverIndex, 2) << "a scan leaves the highlight index alone";

    NMTTDISPINFOA info;
    EXPECT_EQ(Request(&info), FALSE);
    EXPECT_STREQ(info.lpszText, "unchanged");
    Click();
    EXPECT_EQ(RunningScans(), 0);
    EXPECT_EQ(std::string(g_currentPath), alpha);
}

TEST_F(RealDialog, NoRecordsMovesChangeNothing) {
    Scan(tree_ / "gamma");  // files only
    ASSERT_EQ(g_folderCount, 0);
    for (int x : {20, 100, 300, static_cast<int>(client_.right) - 21}) {
        Move(x, 85);
        EXPECT_EQ(g_hoverIndex, -1);
        EXPECT_EQ(Pixel(x + 1, 85), RGB(224, 224, 224)) << x;
    }
    Click();
    EXPECT_EQ(RunningScans(), 0);
}

TEST_F(RealDialog, CommandBarInPlaceAfterResizesAndScans) {
    HWND toolbar = GetDlgItem(g_hwndRebar, IDC_TOOLBAR);
    ASSERT_NE(toolbar, nullptr);
    for (int width : {640, 420, 900, 640}) {
        SetWindowPos(hwnd_, nullptr, 0, 0, width, kMainWindowHeight, SWP_NOMOVE | SWP_NOZORDER);
        Pump();
        if (width == 900) Scan(tree_.path());
        RECT client, bar, status;
        GetClientRect(hwnd_, &client);
        GetWindowRect(g_hwndRebar, &bar);
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&bar), 2);
        GetWindowRect(g_hwndStatus, &status);
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&status), 2);
        EXPECT_LE(bar.top, 0) << width;
        EXPECT_LE(bar.left, 0) << width;
        EXPECT_GE(bar.right, client.right) << width;
        EXPECT_LT(bar.bottom, 70) << width << ": above the bar";
        EXPECT_EQ(status.bottom, client.bottom) << width;
        EXPECT_GT(status.top, 100) << width << ": below the bar";
        // The tool follows the width.
        TOOLINFOA ti;
        ZeroMemory(&ti, sizeof ti);
        ti.cbSize = TTTOOLINFOA_V2_SIZE;
        ti.hwnd = hwnd_;
        ti.uId = ID_BARTOOL;
        ASSERT_TRUE(SendMessageA(g_hwndTip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti)));
        EXPECT_EQ(ti.rect.left, 20);
        EXPECT_EQ(ti.rect.top, 70);
        EXPECT_EQ(ti.rect.right, client.right - 20) << width;
        EXPECT_EQ(ti.rect.bottom, 100);
    }
}

TEST_F(RealDialog, ToolbarButtonsReachTheCommands) {
    HWND toolbar = GetDlgItem(g_hwndRebar, IDC_TOOLBAR);
    ASSERT_NE(toolbar, nullptr);
    auto press = [&](int index) {
        RECT r;
        SendMessageA(toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageA(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(toolbar, WM_LBUTTONUP, 0, at);
    };
    // Back (index 2): the parent folder is scanned.
    Scan(tree_ / "alpha");
    press(2);
    EXPECT_EQ(std::string(g_currentPath), tree_.path());
    ASSERT_TRUE(WaitForScans());
    EXPECT_EQ(g_folderCount, 3);
    // Stop (index 4) sets the flag; Go (index 3) clears it and scans again.
    press(4);
    EXPECT_EQ(g_stopScan.load(), 1);
    g_folders[0].barLeft = 12345;
    press(3);
    EXPECT_EQ(g_stopScan.load(), 0);
    ASSERT_TRUE(WaitForScans());
    EXPECT_EQ(g_folderCount, 3);
    EXPECT_EQ(g_folders[0].barLeft, 20) << "a fresh breakdown, drawn";
}

TEST_F(RealDialog, DriveIconScansTheChosenDrive) {
    HWND icon = GetDlgItem(g_hwndDrives, IDC_DRIVEGO);
    ASSERT_NE(icon, nullptr);
    SendMessageA(icon, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(icon, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(RunningScans(), 0) << "no drive chosen";
    EXPECT_EQ(std::string(g_currentPath), tree_.path());

    LRESULT z = SendMessageA(g_hwndDriveCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>("[-z-]"));
    ASSERT_GE(z, 0);
    SendMessageA(g_hwndDriveCombo, CB_SETCURSEL, z, 0);
    SendMessageA(icon, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(icon, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_STREQ(g_currentPath, "z:");
    EXPECT_GE(RunningScans(), 1);
    // The whole of / is not what this test is about: the run shows its path, then stops.
    char part[300] = "";
    PumpUntil([&] {
        SendMessageA(g_hwndStatus, SB_GETTEXTA, 2, reinterpret_cast<LPARAM>(part));
        return std::strcmp(part, "z:") == 0;
    }, 10000);
    EXPECT_STREQ(part, "z:");
    SendMessageA(hwnd_, WM_COMMAND, IDM_STOP, 0);
    ASSERT_TRUE(WaitForScans());
    char title[300];
    GetWindowTextA(hwnd_, title, sizeof title);
    EXPECT_EQ(std::string(title), "Tallyfield 0.1 - " + Leaf(tree_.path())) << "a two-character path leaves the title";
}

TEST_F(RealDialog, RealPointerShowsTheTipAfterAResize) {
    ASSERT_EQ(g_folderCount, 3);
    // The tool must keep asking for its text after the layout moved it.
    SetWindowPos(hwnd_, nullptr, 0, 0, 500, kMainWindowHeight, SWP_NOMOVE | SWP_NOZORDER);
    SetWindowPos(hwnd_, nullptr, 0, 0, 640, kMainWindowHeight, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    POINT p = {40, 85};
    ClientToScreen(hwnd_, &p);
    SetCursorPos(p.x, p.y);
    bool shown = PumpUntil([&] { return IsWindowVisible(g_hwndTip) && WindowText(g_hwndTip) == kAlphaTip; }, 5000);
    POINT now;
    GetCursorPos(&now);
    EXPECT_TRUE(shown) << "tip text \"" << WindowText(g_hwndTip) << "\", visible " << IsWindowVisible(g_hwndTip)
                       << ", cursor at " << now.x << "," << now.y << " for " << p.x << "," << p.y;
    EXPECT_EQ(g_hoverIndex, 0);
    SetCursorPos(1020, 760);
    Pump();
}

// ---- The program itself ----------------------------------------------------

struct TipSearch {
    DWORD pid;
    HWND tip;
};

BOOL CALLBACK FindVisibleTip(HWND hwnd, LPARAM lParam) {
    TipSearch* s = reinterpret_cast<TipSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (pid == s->pid && std::strcmp(cls, TOOLTIPS_CLASSA) == 0 && IsWindowVisible(hwnd)) {
        s->tip = hwnd;
        return FALSE;
    }
    return TRUE;
}

COLORREF ScreenPixel(HWND hwnd, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(hwnd, &p);
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, p.x, p.y);
    ReleaseDC(nullptr, dc);
    return c;
}

std::string ProgramPath() {
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
    std::string s(self, n);
    s = s.substr(0, s.find_last_of('\\'));  // .../tests
    s = s.substr(0, s.find_last_of('\\'));  // the build folder
    return s + "\\app\\Tallyfield.exe";
}

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(Program, PointAtASegmentReadTheTipClickAndSeeTheSubfolder) {
    fixture::TempDir tree;
    fixture::MakeFile(tree / "alpha/big.bin", 200 * kMiB);
    fixture::MakeFile(tree / "alpha/deep/small.txt", 1000);
    std::string bin = tree / "bin";
    fixture::MakeDir(bin);
    std::string exe = bin + "\\Tallyfield.exe";
    ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), exe.c_str(), FALSE)) << ProgramPath();

    // Moving the real pointer needs a window of our own.
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TfPointerOwner";
    RegisterClassA(&wc);
    HWND own = CreateWindowExA(WS_EX_TOOLWINDOW, "TfPointerOwner", "", WS_POPUP | WS_VISIBLE, 1020, 0, 2, 2,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetCursorPos(1020, 760);

    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::string cmd = "\"" + exe + "\"";
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, bin.c_str(), &si, &pi));

    std::string title = std::string("Tallyfield 0.1 - ") + Leaf(tree.path());
    HWND main = nullptr;
    RECT client = {0, 0, 0, 0};
    bool drawn = PumpUntil([&] {
        if (!main) main = FindWindowA(nullptr, title.c_str());
        if (!main) return false;
        GetClientRect(main, &client);
        // The alpha segment fills most of the bar once the scan is drawn.
        return client.right > 100 && ScreenPixel(main, 20, 85) == RGB(0, 0, 0) &&
               ScreenPixel(main, 60, 85) != RGB(224, 224, 224);
    }, 30000);
    ASSERT_TRUE(drawn) << "window " << main;

    // Point at alpha: highlighted (white top edge) and the tip tells about it.
    POINT p = {60, 85};
    ClientToScreen(main, &p);
    SetCursorPos(p.x, p.y);
    TipSearch search = {pi.dwProcessId, nullptr};
    std::string tipText;
    bool shown = PumpUntil([&] {
        search.tip = nullptr;
        EnumWindows(FindVisibleTip, reinterpret_cast<LPARAM>(&search));
        if (!search.tip) return false;
        tipText = WindowText(search.tip);
        return !tipText.empty();
    }, 10000);
    EXPECT_TRUE(shown);
    EXPECT_EQ(tipText,
              "200 MB (204800 kB)\r\n2 files, 1 dirs\r\n\r\nLargest files\r\n\r\n"
              "200 MB\t\tbig.bin\r\n0 MB\t\tsmall.txt\r\n");
    EXPECT_EQ(ScreenPixel(main, 40, 70), RGB(255, 255, 255));

    // Click: alpha becomes the folder, and its one subfolder fills the bar.
    INPUT in[2];
    ZeroMemory(in, sizeof in);
    in[0].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].type = INPUT_MOUSE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
    bool entered = PumpUntil([&] {
        char t[300] = "";
        GetWindowTextA(main, t, sizeof t);
        return std::strcmp(t, "Tallyfield 0.1 - alpha") == 0;
    }, 10000);
    EXPECT_TRUE(entered);
    SetCursorPos(1020, 760);
    int last = client.right - 21;
    bool full = PumpUntil([&] {
        if (ScreenPixel(main, 20, 85) != RGB(0, 0, 0) || ScreenPixel(main, last, 85) != RGB(0, 0, 0)) return false;
        COLORREF fill = ScreenPixel(main, 21, 85);
        for (int x = 21; x < last; x += 7) {
            if (ScreenPixel(main, x, 85) != fill) return false;
        }
        return fill != RGB(224, 224, 224);
    }, 10000);
    EXPECT_TRUE(full) << "one segment from 20 to " << last;

    PostMessageA(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    DestroyWindow(own);
}

}  // namespace
