// Closing the main window while a scan runs ends the program through its
// own entry point, with exit code 0, without waiting for the scan.
#include <cstdio>

#include "main_dialog.h"
#include "scanrun.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

namespace {

HANDLE g_scanning = nullptr;

// The platform's listing, slowed down so the scan is still running at exit.
const ListingOps* Platform() { return PlatformListing(); }
ListContext* SBegin(void*) { return Platform()->begin(Platform()->user); }
void SEnd(ListContext* c) { Platform()->end(c); }
bool SPushPath(ListContext* c, const char* path, int mode) { return Platform()->pushPath(c, path, mode); }
bool SPushChild(ListContext* c, int mode) { return Platform()->pushChild(c, mode); }
void SPop(ListContext* c) { Platform()->pop(c); }
bool SNext(ListContext* c, ListEntry* e) {
    SetEvent(g_scanning);
    Sleep(20);
    return Platform()->next(c, e);
}
const ListingOps kSlowListing = {SBegin, SEnd, SPushPath, SPushChild, SNext, SPop, nullptr};

DWORD WINAPI CloseWhenScanning(LPVOID) {
    WaitForSingleObject(g_scanning, INFINITE);
    PostMessageA(g_hwndMain, WM_CLOSE, 0, 0);
    return 0;
}

}  // namespace

int main() {
    g_scanning = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetScanListing(&kSlowListing);
    HANDLE closer = CreateThread(nullptr, 0, CloseWhenScanning, nullptr, 0, nullptr);
    int rc = WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOW);
    WaitForSingleObject(closer, INFINITE);
    std::printf("WinMain returned %d with %d scan(s) still running\n", rc, RunningScans());
    std::fflush(stdout);
    if (RunningScans() == 0) return 2;  // the scan ended first: nothing was tested
    return rc;
}
