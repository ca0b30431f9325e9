// The command bar on a plain parent window: toolbar, rebar bands, drive
// chooser and the icons.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commandbar.h"
#include "main_window.h"
#include "resource.h"

namespace {

std::vector<WPARAM> g_commands;  // WM_COMMAND wParams the parent received

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND) {
        g_commands.push_back(wParam);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND MakeParent() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc;
        ZeroMemory(&wc, sizeof wc);
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
        wc.lpszClassName = "TfCommandBarParent";
        RegisterClassA(&wc);
        registered = true;
    }
    HWND hwnd = CreateWindowExA(0, "TfCommandBarParent", "parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 600,
                                170, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    return hwnd;
}

using mainwindow::Pump;

class CommandBar : public testing::Test {
protected:
    void SetUp() override {
        saved_[0] = g_hwndMain;
        saved_[1] = g_hwndRebar;
        saved_[2] = g_hwndDrives;
        saved_[3] = g_hwndDriveCombo;
        savedImages_ = g_imageList;
        std::memcpy(savedPath_, g_currentPath, sizeof savedPath_);
        parent_ = MakeParent();
        ASSERT_NE(parent_, nullptr);
        CreateCommandBar(parent_);
        Pump();
        toolbar_ = GetDlgItem(g_hwndRebar, IDC_TOOLBAR);
        g_commands.clear();
    }
    void TearDown() override {
        DestroyWindow(parent_);
        Pump();
        g_hwndMain = saved_[0];
        g_hwndRebar = saved_[1];
        g_hwndDrives = saved_[2];
        g_hwndDriveCombo = saved_[3];
        g_imageList = savedImages_;
        std::memcpy(g_currentPath, savedPath_, sizeof savedPath_);
    }
    std::vector<std::string> DriveItems() {
        std::vector<std::string> items;
        int n = static_cast<int>(SendMessageA(g_hwndDriveCombo, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; i++) {
            char text[256] = "";
            if (SendMessageA(g_hwndDriveCombo, CB_GETLBTEXTLEN, i, 0) < 255) {
                SendMessageA(g_hwndDriveCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            }
            items.push_back(text);
        }
        return items;
    }
    HWND parent_ = nullptr;
    HWND toolbar_ = nullptr;

private:
    HWND saved_[4];
    HIMAGELIST savedImages_;
    char savedPath_[MAX_PATH];
};

void ClickAt(HWND hwnd, int x, int y) {
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

}  // namespace

TEST_F(CommandBar, ImageListAndToolbarButtons) {
    ASSERT_NE(g_imageList, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(g_imageList), 4);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(g_imageList, &cx, &cy);
    EXPECT_EQ(cx, 32);
    EXPECT_EQ(cy, 32);

    ASSERT_NE(toolbar_, nullptr);
    EXPECT_EQ(GetParent(toolbar_), g_hwndRebar);
    ASSERT_EQ(SendMessageA(toolbar_, TB_BUTTONCOUNT, 0, 0), 5);
    struct Want {
        int command, image;
        BYTE style;
    } want[5] = {{IDM_OPEN, 0, TBSTYLE_BUTTON}, {0, 0, TBSTYLE_SEP}, {IDM_BACK, 1, TBSTYLE_BUTTON},
                 {IDM_GO, 2, TBSTYLE_BUTTON}, {IDM_STOP, 3, TBSTYLE_BUTTON}};
    for (int i = 0; i < 5; i++) {
        TBBUTTON b;
        ZeroMemory(&b, sizeof b);
        ASSERT_TRUE(SendMessageA(toolbar_, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&b)));
        EXPECT_EQ(b.idCommand, want[i].command) << i;
        EXPECT_EQ(b.fsStyle & TBSTYLE_SEP, want[i].style & TBSTYLE_SEP) << i;
        if (want[i].command) {
            EXPECT_EQ(b.iBitmap, want[i].image) << i;
            EXPECT_EQ(b.fsState & TBSTATE_ENABLED, TBSTATE_ENABLED) << i;
        }
        EXPECT_LE(SendMessageA(toolbar_, TB_GETBUTTONTEXTA, b.idCommand, 0), 0) << i << ": no text";
    }
    // Room for a 32 x 32 image in every button.
    DWORD size = static_cast<DWORD>(SendMessageA(toolbar_, TB_GETBUTTONSIZE, 0, 0));
    EXPECT_GE(LOWORD(size), 32);
    EXPECT_GE(HIWORD(size), 32);
}

TEST_F(CommandBar, RebarBandsHoldToolbarAndDriveChooser) {
    ASSERT_NE(g_hwndRebar, nullptr);
    EXPECT_EQ(GetParent(g_hwndRebar), parent_);
    EXPECT_EQ(GetDlgCtrlID(g_hwndRebar), IDC_REBAR);
    EXPECT_TRUE(GetWindowLongA(g_hwndRebar, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    ASSERT_EQ(SendMessageA(g_hwndRebar, RB_GETBANDCOUNT, 0, 0), 2);
    int buttonHeight = HIWORD(static_cast<DWORD>(SendMessageA(toolbar_, TB_GETBUTTONSIZE, 0, 0)));
    HWND children[2] = {toolbar_, g_hwndDrives};
    UINT lengths[2] = {178, 130};
    for (int i = 0; i < 2; i++) {
        char text[64] = "unset";
        REBARBANDINFOA band;
        ZeroMemory(&band, sizeof band);
        band.cbSize = REBARBANDINFOA_V6_SIZE;
        band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_TEXT;
        band.lpText = text;
        band.cch = sizeof text;
        ASSERT_TRUE(SendMessageA(g_hwndRebar, RB_GETBANDINFOA, i, reinterpret_cast<LPARAM>(&band)));
        EXPECT_EQ(band.hwndChild, children[i]) << i;
        EXPECT_EQ(band.cx, lengths[i]) << i;
        EXPECT_EQ(band.cyMinChild, static_cast<UINT>(buttonHeight)) << i;
        EXPECT_EQ(band.cxMinChild, 0u) << i;
        EXPECT_EQ(band.fStyle & (RBBS_CHILDEDGE | RBBS_GRIPPERALWAYS), UINT(RBBS_CHILDEDGE | RBBS_GRIPPERALWAYS));
        EXPECT_STREQ(text, "") << "band " << i << " shows no label";
    }
    // The rebar shows the drive chooser as its band's child.
    EXPECT_EQ(GetParent(g_hwndDrives), g_hwndRebar);
    EXPECT_TRUE(IsWindowVisible(g_hwndDrives));
    EXPECT_EQ(g_hwndDriveCombo, GetDlgItem(g_hwndDrives, IDC_DRIVECOMBO));
}

TEST_F(CommandBar, ToolbarButtonsSendTheirCommandsThroughTheRebar) {
    const int expected[5] = {IDM_OPEN, 0, IDM_BACK, IDM_GO, IDM_STOP};
    for (int i = 0; i < 5; i++) {
        g_commands.clear();
        RECT r;
        ASSERT_TRUE(SendMessageA(toolbar_, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r)));
        ClickAt(toolbar_, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
        Pump();
        if (expected[i] == 0) {
            EXPECT_TRUE(g_commands.empty()) << "separator";
            continue;
        }
        ASSERT_EQ(g_commands.size(), 1u) << i;
        EXPECT_EQ(LOWORD(g_commands[0]), expected[i]) << i;
    }
}

TEST_F(CommandBar, DriveListHoldsOnlyDrivesInOrder) {
    std::vector<std::string> items = DriveItems();
    ASSERT_GE(items.size(), 2u);
    bool c = false, z = false;
    for (size_t i = 0; i < items.size(); i++) {
        const std::string& s = items[i];
        ASSERT_EQ(s.size(), 5u) << s;
        EXPECT_EQ(s.substr(0, 2), "[-") << s;
        EXPECT_EQ(s.substr(3), "-]") << s;
        EXPECT_TRUE(s[2] >= 'a' && s[2] <= 'z') << s;
        if (i > 0) {
            EXPECT_LT(items[i - 1], s);
        }
        c = c || s == "[-c-]";
        z = z || s == "[-z-]";
    }
    EXPECT_TRUE(c);
    EXPECT_TRUE(z);
    EXPECT_EQ(SendMessageA(g_hwndDriveCombo, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(CommandBar, DriveIconGoesToTheChosenDrive) {
    g_hwndMain = parent_;
    std::snprintf(g_currentPath, sizeof g_currentPath, "%s", "C:\\before");
    HWND icon = GetDlgItem(g_hwndDrives, IDC_DRIVEGO);
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(GetWindowLongA(icon, GWL_STYLE) & SS_NOTIFY);
    EXPECT_NE(SendMessageA(icon, STM_GETICON, 0, 0), 0);

    // Nothing chosen: nothing happens.
    ClickAt(icon, 5, 5);
    Pump();
    EXPECT_TRUE(g_commands.empty());
    EXPECT_STREQ(g_currentPath, "C:\\before");

    LRESULT z = SendMessageA(g_hwndDriveCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>("[-z-]"));
    ASSERT_GE(z, 0);
    SendMessageA(g_hwndDriveCombo, CB_SETCURSEL, z, 0);
    // Choosing alone does nothing; the icon acts.
    Pump();
    EXPECT_TRUE(g_commands.empty());
    ClickAt(icon, 5, 5);
    Pump();
    EXPECT_STREQ(g_currentPath, "z:");
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(g_commands[0], static_cast<WPARAM>(IDM_GO));

    // A double click reports twice, and Go goes twice.
    g_commands.clear();
    SendMessageA(icon, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(icon, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageA(icon, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    Pump();
    EXPECT_EQ(g_commands.size(), 2u);

    // Other controls of the chooser do nothing.
    g_commands.clear();
    SendMessageA(g_hwndDrives, WM_COMMAND, MAKEWPARAM(IDC_DRIVECOMBO, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(g_hwndDriveCombo));
    EXPECT_TRUE(g_commands.empty());
}

TEST_F(CommandBar, ClosingTheChooserEndsTheMessageLoop) {
    g_hwndMain = parent_;
    SendMessageA(g_hwndDrives, WM_CLOSE, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

TEST_F(CommandBar, RebarLiesAcrossTheTopAfterResizes) {
    const int widths[] = {600, 300, 900, 250, 700};
    for (int w : widths) {
        SetWindowPos(parent_, nullptr, 0, 0, w, 170, SWP_NOMOVE | SWP_NOZORDER);
        RECT client;
        GetClientRect(parent_, &client);
        // The layout moves it to the client size, or to 0 x 0 after a scan.
        for (int zero = 0; zero < 2; zero++) {
            int cw = zero ? 0 : client.right, ch = zero ? 0 : client.bottom;
            MoveWindow(g_hwndRebar, 0, 0, cw, ch, TRUE);
            Pump();
            RECT r;
            GetWindowRect(g_hwndRebar, &r);
            MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&r), 2);
            // Its border may lie just outside the client area.
            EXPECT_LE(r.left, 0) << w;
            EXPECT_GE(r.left, -4) << w;
            EXPECT_LE(r.top, 0) << w;
            EXPECT_GE(r.top, -4) << w;
            EXPECT_GE(r.right, client.right) << w;
            EXPECT_LE(r.right, client.right + 4) << w;
            EXPECT_GT(r.bottom, 30) << w;
            EXPECT_LT(r.bottom, client.bottom) << w;
        }
    }
}

namespace {

enum Hue { kYellow, kGreen, kBlue, kRed, kWhiteHue, kHueCount };

int HueOf(COLORREF c) {
    int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    if (r > 220 && g > 220 && b > 220) return kWhiteHue;
    if (r > 180 && g > 140 && b < 110) return kYellow;
    if (g > 120 && g > r + 40 && g > b + 40) return kGreen;
    if (b > 150 && b > r + 60 && b > g + 40) return kBlue;
    if (r > 150 && r > g + 80 && r > b + 80) return kRed;
    return -1;
}

}  // namespace

TEST(CommandBarIcons, ThirtyTwoPixelsInTwoHundredFiftySixColoursShowingTheirPictures) {
    HINSTANCE module = GetModuleHandleA(nullptr);
    struct Want {
        int id;
        int minCount[kHueCount];  // pixels of each hue at least
        int maxCount[kHueCount];
    } wants[] = {
        // yellow folder with a green plus
        {IDI_OPEN, {250, 40, 0, 0, 0}, {1024, 200, 10, 10, 10}},
        // blue arrow
        {IDI_BACK, {0, 0, 150, 0, 0}, {10, 10, 1024, 10, 10}},
        // green arrows
        {IDI_GO, {0, 150, 0, 0, 0}, {10, 1024, 10, 10, 10}},
        // red cross
        {IDI_STOP, {0, 0, 0, 150, 0}, {10, 10, 10, 1024, 10}},
        // green button with a white triangle
        {IDI_DRIVEGO, {0, 300, 0, 0, 40}, {10, 1024, 10, 10, 200}},
    };
    for (const Want& w : wants) {
        HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(w.id), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
        ASSERT_NE(group, nullptr) << w.id;
        const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
        ASSERT_NE(dir, nullptr);
        // GRPICONDIR: reserved, type, count; then entries of width, height, colours, ..., bit count.
        EXPECT_EQ(dir[4] | (dir[5] << 8), 1) << w.id << ": one image";
        EXPECT_EQ(dir[6], 32) << w.id;
        EXPECT_EQ(dir[7], 32) << w.id;
        EXPECT_EQ(dir[12] | (dir[13] << 8), 8) << w.id << ": 256 colours";

        HICON icon = LoadIconA(module, MAKEINTRESOURCEA(w.id));
        ASSERT_NE(icon, nullptr) << w.id;
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, 32, 32);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, bmp);
        const COLORREF background = RGB(128, 128, 128);
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, 32, 32};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
        int count[kHueCount] = {0};
        for (int y = 0; y < 32; y++) {
            for (int x = 0; x < 32; x++) {
                int h = HueOf(GetPixel(dc, x, y));
                if (h >= 0) count[h]++;
            }
        }
        // The corners are transparent.
        EXPECT_EQ(GetPixel(dc, 0, 0), background) << w.id;
        EXPECT_EQ(GetPixel(dc, 31, 31), background) << w.id;
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
        for (int h = 0; h < kHueCount; h++) {
            EXPECT_GE(count[h], w.minCount[h]) << "icon " << w.id << " hue " << h;
            EXPECT_LE(count[h], w.maxCount[h]) << "icon " << w.id << " hue " << h;
        }
    }
}
