#include "summary.h"

#include <cstring>

bool IsSkippedName(const char* name) {
    static const char* const kSkipped[] = {".", "..", "System Volume Information", "RECYCLER"};
    for (const char* skipped : kSkipped) {
        if (std::strcmp(name, skipped) == 0) return true;
    }
    return false;
}

void CopyName(char* dst, int dstSize, const char* src) {
    if (dstSize <= 0) return;
    int n = 0;
    while (n < dstSize - 1 && src[n] != '\0') n++;
    // Cutting inside a multi-byte sequence would leave invalid text: back up
    // to the start of the sequence that did not fit.
    if (src[n] != '\0') {
        int k = n;
        while (k > 0 && (static_cast<unsigned char>(src[k]) & 0xC0) == 0x80) k--;
        n = k;
    }
    std::memcpy(dst, src, static_cast<size_t>(n));
    dst[n] = '\0';
}

void RankFile(LargeFile* largest, const char* name, uint64_t bytes) {
    // Sorted descending with empties last, so the last entry is the smallest:
    // one comparison rejects almost every file.
    if (bytes == 0 || bytes <= largest[kLargestCount - 1].bytes) return;
    int i = kLargestCount - 1;
    while (i > 0 && largest[i - 1].bytes < bytes) {
        largest[i] = largest[i - 1];
        i--;
    }
    CopyName(largest[i].name, kNameSize, name);
    largest[i].bytes = bytes;
}

void MergeRanking(LargeFile* largest, const LargeFile* other) {
    if (other[0].bytes == 0) return;
    LargeFile merged[kLargestCount];
    int a = 0, b = 0;
    for (int k = 0; k < kLargestCount; k++) {
        // Ties keep this list's entry first.
        if (b >= kLargestCount || (a < kLargestCount && largest[a].bytes >= other[b].bytes)) {
            merged[k] = largest[a++];
        } else {
            merged[k] = other[b++];
        }
    }
    std::memcpy(largest, merged, sizeof merged);
}
