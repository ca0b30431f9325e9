#include "scanrun.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "navigation.h"
#include "shares.h"

namespace {

std::atomic<int> s_running(0);
const ListingOps* s_listing = nullptr;
bool s_accepting = false;  // main thread only

int LibraryRand() { return std::rand(); }

void SetStatus(HWND status, int part, const char* text) {
    SendMessageA(status, SB_SETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
}

void ShowTotals(HWND status, uint64_t bytes, uint64_t files) {
    char text[64];
    FormatMegabytes(text, sizeof text, bytes);
    SetStatus(status, 0, text);
    FormatFileCount(text, sizeof text, files);
    SetStatus(status, 1, text);
}

}  // namespace

ScanJob* NewScanJob(HWND main, HWND status, const char* path) {
    ScanJob* job = static_cast<ScanJob*>(std::malloc(sizeof(ScanJob)));
    if (!job) return nullptr;
    job->main = main;
    job->status = status;
    CopyName(job->path, sizeof job->path, path);
    s_running.fetch_add(1);
    return job;
}

void FreeScanJob(ScanJob* job) {
    if (!job) return;
    std::free(job);
    s_running.fetch_sub(1);
}

DWORD WINAPI ScanThreadProc(LPVOID job) {
    ScanJob* j = static_cast<ScanJob*>(job);
    if (j) RunScan(j);
    FreeScanJob(j);
    return 0;
}

int RunScan(const ScanJob* job) {
    SetStatus(job->status, 2, job->path);
    char title[MAX_PATH + 32];
    if (FormatScanTitle(title, sizeof title, PROGRAM_TITLE, job->path)) SetWindowTextA(job->main, title);

    // The breakdown stays private until it is complete, shares and colours
    // included; then the main thread swaps it in.
    ScanEnv env = {&g_stopScan, s_listing, nullptr, 0};
    Breakdown b = BuildBreakdown(job->path, env);
    std::srand(GetTickCount());
    AssignShares(b.folders, b.folderCount, b.totalBytes, LibraryRand);
    // Once published, the array is the main thread's: a later run may free it.
    uint64_t files = SumFileCounts(b.folders, b.folderCount);

    ScanPublication pub = {b.folders, b.folderCount, b.totalBytes, 0};
    SendMessageA(job->main, WM_SCAN_PUBLISH, 0, reinterpret_cast<LPARAM>(&pub));
    if (!pub.accepted) {
        // The window has closed: nobody else will ever see this array.
        ReleaseFolders(b.folders);
        return 1;
    }
    SendMessageA(job->main, WM_SIZE, SIZE_RESTORED, 0);
    ShowTotals(job->status, b.totalBytes, files);
    if (b.folderCount == 0) {
        FolderSummary self = ScanFolderTree(job->path, env);
        ShowTotals(job->status, self.totalBytes, self.fileCount);
    }
    return 1;
}

void InitBreakdownState() {
    // Room for one record that nothing reads while the count is 0.
    g_folders = static_cast<FolderSummary*>(std::malloc(sizeof(FolderSummary)));
    g_folderCount = 0;
    g_totalBytes = 0;
    s_accepting = true;
}

void CloseBreakdownState() {
    s_accepting = false;
    ReleaseFolders(g_folders);
    g_folders = nullptr;
    g_folderCount = 0;
    g_totalBytes = 0;
}

INT_PTR OnScanPublish(LPARAM lParam) {
    ScanPublication* pub = reinterpret_cast<ScanPublication*>(lParam);
    if (!pub || !s_accepting) return TRUE;
    // Every reader runs on this thread, so none is between its reads now.
    FolderSummary* old = g_folders;
    g_folders = pub->folders;
    g_folderCount = pub->folderCount;
    g_totalBytes = pub->totalBytes;
    pub->accepted = 1;
    ReleaseFolders(old);
    return TRUE;
}

int RunningScans() { return s_running.load(); }

void SetScanListing(const ListingOps* listing) { s_listing = listing; }
