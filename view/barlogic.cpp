#include "barlogic.h"

#include <cstdio>
#include <cstring>

namespace {

int64_t ClampCoord(int64_t v) {
    if (v > kBarCoordLimit) return kBarCoordLimit;
    if (v < -kBarCoordLimit) return -kBarCoordLimit;
    return v;
}

// Length of a text held in a fixed field that may lack its terminator.
int BoundedLength(const char* s, int fieldSize) {
    const void* end = std::memchr(s, '\0', static_cast<size_t>(fieldSize));
    return end ? static_cast<int>(static_cast<const char*>(end) - s) : fieldSize;
}

}  // namespace

int64_t BarAvailableWidth(int clientLeft, int clientRight, int count) {
    return static_cast<int64_t>(clientRight) - (2 * static_cast<int64_t>(count) + 38) - clientLeft;
}

int32_t SegmentWidth(int32_t shareMille, double available) {
    double w = (shareMille * available) * 0.001;
    // |w| < 2^31 * 2^33 * 0.001, well inside int64: the truncation is defined.
    int64_t whole = static_cast<int64_t>(w);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(whole)));
}

void BarLayoutStart(BarLayout* layout, int clientLeft, int clientRight, int count) {
    layout->available = static_cast<double>(BarAvailableWidth(clientLeft, clientRight, count));
    layout->nextX = kBarStart;
    layout->filler = kBarStart;
}

bool BarPlaceSegment(BarLayout* layout, FolderSummary* record, int* left, int* width) {
    int32_t w = SegmentWidth(record->shareMille, layout->available);
    if (w < 0) {
        // Bounded so that thousands of bad records cannot overflow the counter.
        layout->filler = ClampCoord(layout->filler + w + kSegmentGap);
        return false;
    }
    int64_t x = layout->nextX;
    int64_t right = ClampCoord(x + w);
    *left = static_cast<int>(x);
    *width = static_cast<int>(right - x);
    record->barLeft = static_cast<int32_t>(x);
    record->barRight = static_cast<int32_t>(right - 1);
    layout->nextX = ClampCoord(right + kSegmentGap);
    return true;
}

bool BarFiller(const BarLayout* layout, int* left, int* width) {
    if (layout->filler <= kBarStart) return false;
    *left = static_cast<int>(layout->nextX);
    *width = static_cast<int>(ClampCoord(layout->nextX + layout->filler) - layout->nextX);
    return true;
}

bool SegmentColumns(const FolderSummary* record, int* left, int* right) {
    *left = static_cast<int>(ClampCoord(record->barLeft));
    *right = static_cast<int>(ClampCoord(record->barRight));
    return *right >= *left;
}

int LayoutBar(FolderSummary* folders, int count, int clientLeft, int clientRight, int* fillerLeft) {
    *fillerLeft = kBarStart;
    if (count <= 0 || folders == nullptr) return 0;
    BarLayout layout;
    BarLayoutStart(&layout, clientLeft, clientRight, count);
    for (int i = 0; i < count; i++) {
        int left, width;
        BarPlaceSegment(&layout, &folders[i], &left, &width);
    }
    int left, width;
    *fillerLeft = static_cast<int>(layout.nextX);
    if (!BarFiller(&layout, &left, &width)) return 0;
    return width;
}

bool InBarBand(int x, int y, int clientRight) {
    return x >= kBandEdge && x < clientRight - kBandEdge && y > kBarTop && y < kBarBottom;
}

void PointerFromParam(uint32_t lParam, int* x, int* y) {
    *x = static_cast<int>(lParam & 0xFFFF);
    *y = static_cast<int>((lParam >> 16) & 0xFFFF);
}

int NextSegmentHit(const FolderSummary* folders, int count, int from, int x) {
    if (folders == nullptr) return -1;
    for (int i = from < 0 ? 0 : from; i < count; i++) {
        if (folders[i].barLeft <= x && x <= folders[i].barRight) return i;
    }
    return -1;
}

bool HoverIsValid(int hover, int count) { return hover >= 0 && hover < count; }

uint32_t HighlightColor(uint32_t color) { return color + kHighlightLift; }

void TipTitle(char* title, int titleSize, const FolderSummary* record) {
    if (titleSize <= 0) return;
    int n = BoundedLength(record->name, kNameSize);
    int start = 0;
    for (int i = 0; i < n; i++) {
        if (record->name[i] == '\\') start = i + 1;
    }
    std::snprintf(title, static_cast<size_t>(titleSize), "%.*s", n - start, record->name + start);
}

void ComposeTipList(char* list, int listSize, const LargeFile* largest) {
    if (listSize <= 0) return;
    list[0] = '\0';
    int used = 0;
    for (int i = 0; i < kLargestCount && largest[i].bytes != 0; i++) {
        char line[400];
        long long mb = static_cast<long long>(largest[i].bytes / 1024 / 1024);
        int nameLen = BoundedLength(largest[i].name, kNameSize);
        int len = std::snprintf(line, sizeof line, "%lld MB\t\t%.*s\r\n", mb, nameLen, largest[i].name);
        if (len < 0) break;
        if (len >= static_cast<int>(sizeof line)) len = static_cast<int>(sizeof line) - 1;
        // Lines that do not fit whole are left out rather than cut.
        if (used + len >= listSize) break;
        std::memcpy(list + used, line, static_cast<size_t>(len) + 1);
        used += len;
    }
}

void ComposeTipText(char* text, int textSize, const FolderSummary* record, const char* list) {
    if (textSize <= 0) return;
    int size = textSize < kTipTextLimit + 1 ? textSize : kTipTextLimit + 1;
    long long kb = static_cast<long long>(record->totalBytes / 1024);
    int full = std::snprintf(text, static_cast<size_t>(size),
                             "%lld MB (%lld kB)\r\n%lld files, %lld dirs\r\n\r\nLargest files\r\n\r\n%s", kb / 1024,
                             kb, static_cast<long long>(record->fileCount),
                             static_cast<long long>(record->dirCount), list);
    if (full < size) return;
    // Cut: a multi-byte character (the code page is UTF-8) that lost its
    // tail would show as garbage, so it goes whole.
    int len = size - 1;
    int k = len;
    while (k > 0 && (static_cast<unsigned char>(text[k - 1]) & 0xC0) == 0x80) k--;
    if (k == 0) return;
    unsigned char lead = static_cast<unsigned char>(text[k - 1]);
    int need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (len - (k - 1) < need) text[k - 1] = '\0';
}

void CopyRecordPath(char* path, int pathSize, const FolderSummary* record) {
    if (pathSize <= 0) return;
    int n = BoundedLength(record->name, kNameSize);
    if (n > pathSize - 1) n = pathSize - 1;
    std::memcpy(path, record->name, static_cast<size_t>(n));
    path[n] = '\0';
}
