#include "shares.h"

#include <cstdio>

int32_t ShareMille(uint64_t folderBytes, uint64_t totalBytes) {
    uint64_t a = folderBytes / 1024;
    uint64_t b = totalBytes / 1024;
    if (b == 0) return 1;
    double share = static_cast<double>(a) / static_cast<double>(b) * 1000.0;
    // A folder is never more than the total it is part of; guard anyway, so
    // the conversion below always has a value in range.
    if (share > 1000.0) share = 1000.0;
    int32_t mille = static_cast<int32_t>(share);
    return mille == 0 ? 1 : mille;
}

void FixShares(FolderSummary* folders, int32_t count) {
    if (count <= 0) return;
    // 64 bits: a raise to 1 for each of very many records must not overflow.
    int64_t sum = 0;
    int32_t smallest = 100, smallestAt = 0;
    int32_t largest = 0, largestAt = 0;
    for (int32_t i = 0; i < count; i++) {
        int32_t s = folders[i].shareMille;
        sum += s;
        if (s < smallest) {
            smallest = s;
            smallestAt = i;
        }
        if (s > largest) {
            largest = s;
            largestAt = i;
        }
    }
    if (sum == 1000) return;
    int32_t at = sum > 1000 ? largestAt : smallestAt;
    int64_t fixed = static_cast<int64_t>(folders[at].shareMille) + (1000 - sum);
    if (fixed < INT32_MIN) fixed = INT32_MIN;
    folders[at].shareMille = static_cast<int32_t>(fixed);
}

namespace {

// 0..239 also for a source that breaks its promise of non-negative values.
uint32_t Channel(int draw) {
    int c = draw % 240;
    return static_cast<uint32_t>(c < 0 ? c + 240 : c);
}

}  // namespace

uint32_t RandomColor(RandomFn rnd) {
    // One draw per statement: the order of the channels is fixed.
    uint32_t blue = Channel(rnd());
    uint32_t green = Channel(rnd());
    uint32_t red = Channel(rnd());
    return blue * 65536 + green * 256 + red;
}

void AssignShares(FolderSummary* folders, int32_t count, uint64_t totalBytes, RandomFn rnd) {
    for (int32_t i = 0; i < count; i++) {
        folders[i].shareMille = ShareMille(folders[i].totalBytes, totalBytes);
        folders[i].color = RandomColor(rnd);
    }
    FixShares(folders, count);
}

uint64_t SumFileCounts(const FolderSummary* folders, int32_t count) {
    uint64_t files = 0;
    for (int32_t i = 0; i < count; i++) files += folders[i].fileCount;
    return files;
}

void FormatMegabytes(char* out, size_t size, uint64_t bytes) {
    std::snprintf(out, size, "%llu MB", static_cast<unsigned long long>(bytes / 1024 / 1024));
}

void FormatFileCount(char* out, size_t size, uint64_t files) {
    std::snprintf(out, size, "%llu files", static_cast<unsigned long long>(files));
}
