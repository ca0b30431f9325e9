// Per-folder summary record and the name filter shared by every listing pass.
#pragma once

#include <cstdint>

enum { kLargestCount = 10, kNameSize = 264, kPathLimit = 259 };

struct LargeFile {
    char name[kNameSize];  // the file's own name, no folder part
    uint64_t bytes;        // 0 marks the entry as empty
};

struct FolderSummary {
    char name[kNameSize];  // full path of the subfolder (set by the breakdown)
    uint64_t totalBytes;
    uint32_t fileCount;
    uint32_t dirCount;     // folders below, the folder itself not included
    int32_t shareMille;
    int32_t barLeft;
    int32_t barRight;
    uint32_t color;        // 0x00BBGGRR
    LargeFile largest[kLargestCount];
};

// True for the entries that are never counted, entered or listed.
bool IsSkippedName(const char* name);

// Ranking of the ten largest files, kept in descending order of bytes with
// the empty entries (bytes 0) at the end.
void RankFile(LargeFile* largest, const char* name, uint64_t bytes);
void MergeRanking(LargeFile* largest, const LargeFile* other);

// Bounded copy that always terminates and never cuts a UTF-8 sequence in two.
void CopyName(char* dst, int dstSize, const char* src);
