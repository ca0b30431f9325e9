// Times scans through the real program: starts Tallyfield.exe, picks a drive
// in its drive chooser, clicks the chooser's icon (which sends Go) and waits
// for the file count to appear in the status bar, the run's last text.
// Not a test; scripts/time-scan.sh maps the drive and runs it.
//
//   scantime <Tallyfield.exe> <drive letter> [runs]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resource.h"

namespace {

struct Target {
    DWORD pid;
    HWND main;
    HWND status;
    HWND combo;
    HWND drives;
    HANDLE process;
    char* remote;  // a buffer in the program's own memory for texts
};

BOOL CALLBACK FindMain(HWND hwnd, LPARAM lParam) {
    Target* t = reinterpret_cast<Target*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char title[64] = "";
    GetWindowTextA(hwnd, title, sizeof title);
    if (pid == t->pid && std::strncmp(title, "Tallyfield", 10) == 0 && IsWindowVisible(hwnd)) {
        t->main = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindChildren(HWND hwnd, LPARAM lParam) {
    Target* t = reinterpret_cast<Target*>(lParam);
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpiA(cls, STATUSCLASSNAMEA) == 0) t->status = hwnd;
    if (lstrcmpiA(cls, "ComboBox") == 0) t->combo = hwnd;
    return TRUE;
}

// Status text of one part, read through the program's own memory.
void StatusText(Target* t, int part, char* out, size_t size) {
    char zero[1] = {0};
    WriteProcessMemory(t->process, t->remote, zero, 1, nullptr);
    SendMessageA(t->status, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(t->remote));
    SIZE_T got = 0;
    ReadProcessMemory(t->process, t->remote, out, size - 1, &got);
    out[got < size ? got : size - 1] = '\0';
    out[size - 1] = '\0';
}

void SetStatusText(Target* t, int part, const char* text) {
    WriteProcessMemory(t->process, t->remote, text, std::strlen(text) + 1, nullptr);
    SendMessageA(t->status, SB_SETTEXTA, part, reinterpret_cast<LPARAM>(t->remote));
}

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

bool WaitForText(Target* t, int part, char* out, size_t size, double timeoutMs) {
    double start = Now();
    for (;;) {
        StatusText(t, part, out, size);
        if (out[0]) return true;
        if (Now() - start > timeoutMs) return false;
        Sleep(2);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: scantime <Tallyfield.exe> <drive letter> [runs]\n");
        return 2;
    }
    int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    char item[8];
    std::snprintf(item, sizeof item, "[-%c-]", argv[2][0] | 0x20);

    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    char cmd[MAX_PATH + 4];
    std::snprintf(cmd, sizeof cmd, "\"%s\"", argv[1]);
    if (!CreateProcessA(argv[1], cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "cannot start %s\n", argv[1]);
        return 1;
    }
    Target t = {pi.dwProcessId, nullptr, nullptr, nullptr, nullptr, pi.hProcess, nullptr};
    for (int i = 0; i < 1000 && !t.main; i++) {
        EnumWindows(FindMain, reinterpret_cast<LPARAM>(&t));
        if (!t.main) Sleep(10);
    }
    if (!t.main) {
        std::fprintf(stderr, "no main window\n");
        TerminateProcess(pi.hProcess, 1);
        return 1;
    }
    EnumChildWindows(t.main, FindChildren, reinterpret_cast<LPARAM>(&t));
    t.drives = t.combo ? GetParent(t.combo) : nullptr;
    t.remote = static_cast<char*>(VirtualAllocEx(pi.hProcess, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    if (!t.status || !t.drives || !t.remote) {
        std::fprintf(stderr, "status bar, drive chooser or remote buffer missing\n");
        TerminateProcess(pi.hProcess, 1);
        return 1;
    }

    char files[256], mb[256];
    // The start-up scan of the program's own surroundings ends first.
    WaitForText(&t, 1, files, sizeof files, 120000);
    // Combo box messages are below WM_USER: the system carries their texts
    // across, unlike the status bar's, which need the buffer over there.
    SendMessageA(t.combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(item));
    if (SendMessageA(t.combo, CB_GETCURSEL, 0, 0) < 0) {
        std::fprintf(stderr, "drive %s not listed\n", item);
        PostMessageA(t.main, WM_CLOSE, 0, 0);
        return 1;
    }
    HWND icon = GetDlgItem(t.drives, IDC_DRIVEGO);
    int rc = 0;
    for (int run = 1; run <= runs; run++) {
        SetStatusText(&t, 1, "");
        double start = Now();
        SendMessageA(t.drives, WM_COMMAND, MAKEWPARAM(IDC_DRIVEGO, STN_CLICKED), reinterpret_cast<LPARAM>(icon));
        if (!WaitForText(&t, 1, files, sizeof files, 1800000)) {
            std::fprintf(stderr, "run %d: no result\n", run);
            rc = 1;
            break;
        }
        double ms = Now() - start;
        StatusText(&t, 0, mb, sizeof mb);
        std::printf("run %d: %.0f ms from Go to \"%s\" (\"%s\")\n", run, ms, files, mb);
        std::fflush(stdout);
    }
    PostMessageA(t.main, WM_CLOSE, 0, 0);
    WaitForSingleObject(pi.hProcess, 30000);
    return rc;
}
