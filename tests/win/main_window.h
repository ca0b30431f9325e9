// The real main window, created as the entry point creates it, and the means
// to drive it with messages while its scans run on worker threads.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "main_dialog.h"
#include "resource.h"
#include "scanrun.h"

namespace mainwindow {

// Handles every pending message, sent ones from workers included. A WM_QUIT
// left by a closed window is dropped so that later modal loops still run.
inline void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Pumps until the condition holds or the time runs out; true if it held.
inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 30000, HANDLE event = nullptr) {
    DWORD start = GetTickCount();
    for (;;) {
        Pump();
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(event ? 1 : 0, event ? &event : nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

inline bool WaitForScans(DWORD timeoutMs = 30000) {
    return WaitFor([] { return RunningScans() == 0; }, timeoutMs);
}

inline std::string StatusText(int part) {
    char text[1024] = "";
    LRESULT length = SendMessageA(g_hwndStatus, SB_GETTEXTLENGTHA, part, 0);
    if (LOWORD(length) < sizeof text) SendMessageA(g_hwndStatus, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
    return text;
}

inline std::string WindowText(HWND hwnd) {
    char text[1024] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

inline void SetPath(const std::string& path) { std::snprintf(g_currentPath, sizeof g_currentPath, "%s", path.c_str()); }

// One main window per test. Its start-up scan (of the folder above the test
// program) is stopped at once and waited for, so each test starts quiet.
class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        static bool classes = [] {
            INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_COOL_CLASSES};
            return InitCommonControlsEx(&icc) != FALSE;
        }();
        (void)classes;
        hwnd_ = CreateMainWindow();
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_EQ(g_hwndMain, hwnd_);
        ShowWindow(hwnd_, SW_SHOW);
        g_stopScan.store(1);
        ASSERT_TRUE(WaitForScans());
    }
    void TearDown() override {
        g_stopScan.store(1);
        EXPECT_TRUE(WaitForScans());
        SendMessageA(hwnd_, WM_CLOSE, 0, 0);
        DestroyWindow(hwnd_);
        Pump();
        SetScanListing(nullptr);
    }

    // Scans the path as a click or Open would, and waits for the run to end.
    void Scan(const std::string& path) {
        SetPath(path);
        SendMessageA(hwnd_, WM_COMMAND, IDM_GO, 0);
        ASSERT_TRUE(WaitForScans());
    }
    LRESULT Command(WPARAM command) { return SendMessageA(hwnd_, WM_COMMAND, command, 0); }

    HWND hwnd_ = nullptr;
};

}  // namespace mainwindow
