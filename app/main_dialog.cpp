#include "main_dialog.h"

#include <cstdlib>

#include "barview.h"
#include "commandbar.h"
#include "commands.h"
#include "navigation.h"
#include "resource.h"
#include "scanrun.h"

namespace {

const char kAboutText[] =
    PROGRAM_TITLE " shows where the disk space below a folder goes.\n"
    "Written by the Tallyfield developers <tallyfield@example.org>.\n"
    "\n"
    "Icons drawn for Tallyfield by its own icon script.";

void CreateStatusBar(HWND hwnd) {
    g_hwndStatus = CreateWindowExA(0, STATUSCLASSNAMEA, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS)),
                                   GetModuleHandleA(nullptr), nullptr);
    int edges[3] = {70, 140, -1};
    SendMessageA(g_hwndStatus, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
}

void SetSmallIcon(HWND hwnd) {
    HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 16, 16,
                             LR_DEFAULTCOLOR);
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

char* NewTextBuffer() {
    char* text = static_cast<char*>(std::malloc(4096));
    if (text) text[0] = '\0';
    return text;
}

INT_PTR OnInitDialog(HWND hwnd) {
    // Stored before anything can start a scan or send to it.
    g_hwndMain = hwnd;
    SetWindowTextA(hwnd, PROGRAM_TITLE);
    CreateStatusBar(hwnd);
    CreateCommandBar(hwnd);
    CreateBarTooltip(hwnd);
    SetSmallIcon(hwnd);
    InitBreakdownState();

    // Outer height fixed; the width stays what the client area had.
    RECT client;
    GetClientRect(hwnd, &client);
    SetWindowPos(hwnd, nullptr, 0, 0, client.right - client.left, kMainWindowHeight, SWP_NOMOVE | SWP_NOZORDER);
    SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, 0);

    g_tipText = NewTextBuffer();
    g_tipList = NewTextBuffer();

    HMENU menu = GetSystemMenu(hwnd, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, "About");

    char module[MAX_PATH];
    DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), module, sizeof module);
    module[n < sizeof module ? n : sizeof module - 1] = '\0';
    StartFolder(g_currentPath, sizeof g_currentPath, module);

    SendMessageA(hwnd, WM_COMMAND, IDM_GO, 0);
    return TRUE;
}

INT_PTR OnSize(HWND hwnd, LPARAM lParam) {
    RECT client;
    GetClientRect(hwnd, &client);

    // Only the bar's strip: erasing the whole client area would wipe the
    // rebar's children.
    RECT strip = {20, 70, client.right, 100};
    InvalidateRect(hwnd, &strip, TRUE);
    UpdateWindow(hwnd);

    MoveBarTool(hwnd, &client);

    // Any size change makes the status bar place itself across the bottom
    // at its own height; a width of 0 always is a change.
    RECT bar = {0, 0, 0, 0};
    GetWindowRect(g_hwndStatus, &bar);
    SetWindowPos(g_hwndStatus, nullptr, 0, 0, client.left, client.bottom - (bar.bottom - bar.top),
                 SWP_NOMOVE | SWP_NOZORDER);
    // Likewise the rebar, across the top at the height of its bands.
    MoveWindow(g_hwndRebar, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
    return TRUE;
}

INT_PTR OnSizing(LPARAM lParam) {
    RECT* r = reinterpret_cast<RECT*>(lParam);
    r->bottom = r->top + kMainWindowHeight;
    return TRUE;
}

INT_PTR OnSysCommand(HWND hwnd, WPARAM wParam) {
    if (wParam == IDM_ABOUT) MessageBoxA(hwnd, kAboutText, PROGRAM_TITLE, MB_ICONINFORMATION);
    // The default handling carries out every system command and ignores ours.
    return FALSE;
}

INT_PTR OnPaint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    PaintBar(hdc, &client);
    EndPaint(hwnd, &ps);
    return TRUE;
}

INT_PTR OnClose(HWND hwnd) {
    std::free(g_tipList);
    g_tipList = nullptr;
    std::free(g_tipText);
    g_tipText = nullptr;
    DestroyWindow(g_hwndTip);
    g_hwndTip = nullptr;
    // A scan still running keeps its own result and frees it itself.
    CloseBreakdownState();
    EndDialog(hwnd, 0);
    PostQuitMessage(0);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog(hwnd);
    case WM_SIZE:
        return OnSize(hwnd, lParam);
    case WM_SIZING:
        return OnSizing(lParam);
    case WM_CLOSE:
        return OnClose(hwnd);
    case WM_SYSCOMMAND:
        return OnSysCommand(hwnd, wParam);
    case WM_PAINT:
        return OnPaint(hwnd);
    case WM_MOUSEMOVE:
        return OnBarMouseMove(hwnd, lParam);
    case WM_LBUTTONDOWN:
        return OnBarLButtonDown(hwnd);
    case WM_NOTIFY:
        return OnBarNotify(hwnd, wParam, lParam);
    case WM_COMMAND:
        return OnCommand(hwnd, wParam);
    case WM_SCAN_PUBLISH:
        return OnScanPublish(lParam);
    default:
        return FALSE;
    }
}

HWND CreateMainWindow() {
    g_hwndMain = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                    MainDialogProc, 0);
    return g_hwndMain;
}
