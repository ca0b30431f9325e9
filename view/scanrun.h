// The scan run: one worker thread per Go builds a breakdown of its own copy
// of the path and hands it to the main thread, which makes it the shared
// breakdown state. Only the main thread reads or releases that state.
#pragma once

#include "globals.h"

// Sent (never posted) by a worker to the main window with lParam pointing
// at a ScanPublication; the main window's procedure answers with
// OnScanPublish.
enum { WM_SCAN_PUBLISH = WM_APP + 1 };

struct ScanPublication {
    FolderSummary* folders;
    int32_t folderCount;
    uint64_t totalBytes;
    int accepted;  // set by the main thread once the state is the worker's
};

// What one run works on: its windows and the path as it was at its Go.
struct ScanJob {
    HWND main;
    HWND status;
    char path[MAX_PATH];
};

// A heap job for ScanThreadProc, or null when out of memory. Counts as a
// running scan until the thread ends or the job is freed unused.
ScanJob* NewScanJob(HWND main, HWND status, const char* path);
void FreeScanJob(ScanJob* job);

// The worker's start routine: runs the job and frees it.
DWORD WINAPI ScanThreadProc(LPVOID job);
// The job itself; returns 1.
int RunScan(const ScanJob* job);

// Main thread. Sets up the empty breakdown (room for one record, count 0)
// and accepts publications until CloseBreakdownState releases it; after
// that, workers keep their arrays and free them themselves.
void InitBreakdownState();
void CloseBreakdownState();
INT_PTR OnScanPublish(LPARAM lParam);

// Scans started and not yet ended (tests wait on it).
int RunningScans();
// The listing that runs use; null: the platform's. Set it while no scan runs.
void SetScanListing(const ListingOps* listing);
