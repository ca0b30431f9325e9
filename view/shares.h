// Shares of the folder bar, their fix-up to a whole bar, segment colours and
// the totals shown in the status bar. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "summary.h"

// A rand-like source of non-negative integers; the program passes the C
// library's generator, tests pass their own sequence.
typedef int (*RandomFn)();

// A folder's width in per mille of the whole bar, from whole kilobytes in
// 64 bits; 0 becomes 1, and a total below 1 KiB gives every folder 1.
int32_t ShareMille(uint64_t folderBytes, uint64_t totalBytes);

// Makes the shares add up to 1000: the excess comes off the first largest
// share, a shortfall goes to the first smallest share below 100 (or to the
// first record when none is below 100). No records: nothing changes.
void FixShares(FolderSummary* folders, int32_t count);

// Three draws: blue, green, red, each 0..239, as 0x00BBGGRR.
uint32_t RandomColor(RandomFn rnd);

// Sets share and colour of every record in array order, then fixes the shares.
void AssignShares(FolderSummary* folders, int32_t count, uint64_t totalBytes, RandomFn rnd);

// The files of all records, summed without wrapping.
uint64_t SumFileCounts(const FolderSummary* folders, int32_t count);

// Status texts: "<n> MB" (whole mebibytes, truncated) and "<n> files".
void FormatMegabytes(char* out, size_t size, uint64_t bytes);
void FormatFileCount(char* out, size_t size, uint64_t files);
