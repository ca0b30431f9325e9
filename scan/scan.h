// Recursive folder scan and the breakdown of a folder into its subfolders.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "listing.h"
#include "summary.h"

// 1 asks every running scan to stop; read relaxed before each entry.
typedef std::atomic<unsigned char> StopFlag;

struct ScanEnv {
    const StopFlag* stop;                 // required
    const ListingOps* listing;            // null: the platform's listing
    void* (*allocRecords)(size_t bytes);  // null: malloc; the array is released with free
    int threads;                          // 1: no threads; N: N workers read ahead; 0: the default
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
