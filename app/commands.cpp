#include "commands.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>

#include "navigation.h"
#include "resource.h"
#include "scanrun.h"

namespace {

void OnGo(HWND hwnd) {
    g_stopScan.store(0, std::memory_order_relaxed);
    // The run gets its own copy: the path may change while it scans.
    ScanJob* job = NewScanJob(hwnd, g_hwndStatus, g_currentPath);
    if (!job) return;
    DWORD id;
    HANDLE thread = CreateThread(nullptr, 0, ScanThreadProc, job, 0, &id);
    if (thread) {
        CloseHandle(thread);
    } else {
        FreeScanJob(job);
    }
}

void OnStop() { g_stopScan.store(1, std::memory_order_relaxed); }

void OnOpen(HWND hwnd) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.lpszTitle = "Select the folder you would like to open.";
    info.ulFlags = BIF_DONTGOBELOWDOMAIN;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info);
    if (item) {
        char path[MAX_PATH];
        if (SHGetPathFromIDListA(item, path)) {
            std::snprintf(g_currentPath, sizeof g_currentPath, "%s", path);
            SendMessageA(hwnd, WM_COMMAND, IDM_GO, 0);
        }
        IMalloc* shellMalloc = nullptr;
        if (SUCCEEDED(SHGetMalloc(&shellMalloc))) {
            shellMalloc->Free(item);
            shellMalloc->Release();
        }
    }
    CoUninitialize();
}

void OnBack(HWND hwnd) {
    if (BackPath(g_currentPath)) SendMessageA(hwnd, WM_COMMAND, IDM_GO, 0);
}

}  // namespace

INT_PTR OnCommand(HWND hwnd, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDM_GO:
        OnGo(hwnd);
        break;
    case IDM_STOP:
        OnStop();
        break;
    case IDM_OPEN:
        OnOpen(hwnd);
        break;
    case IDM_BACK:
        OnBack(hwnd);
        break;
    default:
        break;
    }
    return TRUE;
}
