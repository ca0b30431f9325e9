// The entry point: the main window and its message loop.
#include "main_dialog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&classes);
    g_hwndMain = CreateMainWindow();
    // Without a window there is nothing to wait for.
    if (!g_hwndMain) return 1;
    ShowWindow(g_hwndMain, SW_SHOW);
    // No dialog keyboard handling: Tab, arrows, Enter and Esc mean nothing here.
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
