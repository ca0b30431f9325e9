// Recursive folder scan and the breakdown of a folder into its subfolders.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "listing.h"
#include "summary.h"

// 1 asks every running scan to stop; read relaxed before each entry.
typedef std::atomic<unsigned char> StopFlag;

// With the platform's listing, worker threads from a pool shared by all
// scans read folders ahead of the walk; the results are exactly those of the
// walk on its own. A caller's listing is only ever called from the thread
// that runs the scan, one folder at a time, as without workers.
struct ScanEnv {
    const StopFlag* stop;                 // required
    const ListingOps* listing;            // null: the platform's listing
    void* (*allocRecords)(size_t bytes);  // null: malloc; the array is released with free
    int threads;                          // 0: workers as the machine suits; 1: none; N: N workers
};

struct Breakdown {
    FolderSummary* folders;  // heap array (malloc), room for folderCount + 1; may be null
    int32_t folderCount;     // records filled
    uint64_t totalBytes;     // sum of the filled records' totalBytes
};

FolderSummary ScanFolderTree(const char* path, const ScanEnv& env);
int32_t CountSubfolders(const char* path, const ScanEnv& env);
Breakdown BuildBreakdown(const char* path, const ScanEnv& env);

// Shorthands on the platform's listing.
FolderSummary ScanFolderTree(const char* path, const StopFlag& stop);
int32_t CountSubfolders(const char* path);
Breakdown BuildBreakdown(const char* path, const StopFlag& stop);

// Releases a breakdown's array; safe on null.
void ReleaseFolders(FolderSummary* folders);
