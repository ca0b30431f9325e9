// Arithmetic of the folder bar, free of any window code: segment layout,
// hit testing and the tooltip text. The Win32 side (barview.cpp) only draws
// what these compute.
#pragma once

#include <cstdint>

#include "summary.h"

// Bar geometry in client pixels; a rectangle covers left..right-1, top..bottom-1.
enum {
    kPanelInset = 10,      // grey panel (10, 60, right - 10, 110)
    kPanelTop = 60,
    kPanelBottom = 110,
    kBarTop = 70,          // segment rows 70..99
    kBarBottom = 100,
    kBarStart = 20,        // first segment's left edge
    kSegmentGap = 2,
    kBandEdge = 20,        // pointer band: 20 <= x < right - 20
    kTipTextLimit = 1023,  // longest tooltip body
    kTipBufferSize = 4096  // g_tipText and g_tipList
};

// Columns beyond any screen: positions are clamped here so that bad shares
// can never overflow a coordinate.
const int64_t kBarCoordLimit = 1 << 26;

const uint32_t kPanelColor = 0xE0E0E0;
const uint32_t kFillerColor = 0xFFFFFF;
const uint32_t kHighlightLift = 0x101010;

// Walk over the records of one drawing.
struct BarLayout {
    double available;  // W, converted once
    int64_t nextX;     // left edge of the next segment
    int64_t filler;    // the white filler's counter
};

// W = right - (2n + 38) - left: signed, negative when the client is narrow.
int64_t BarAvailableWidth(int clientLeft, int clientRight, int count);
// shareMille * W * 0.001 truncated toward zero, of which the low 32 bits count.
int32_t SegmentWidth(int32_t shareMille, double available);

void BarLayoutStart(BarLayout* layout, int clientLeft, int clientRight, int count);
// Places the next record: a negative width gives no segment (false; extents
// kept, filler counter grows by width + 2); otherwise the extents are stored,
// *left and *width say where to fill, and the next x moves on.
bool BarPlaceSegment(BarLayout* layout, FolderSummary* record, int* left, int* width);
// The white filler after the last record, when its counter exceeds 20.
bool BarFiller(const BarLayout* layout, int* left, int* width);
// A record's stored columns barLeft..barRight, clamped to drawable
// coordinates; false when they hold no column.
bool SegmentColumns(const FolderSummary* record, int* left, int* right);

// Lays out all records, storing their extents; returns the filler width
// (0 for none) and its left edge in *fillerLeft. Tests and callers that do
// not draw use this.
int LayoutBar(FolderSummary* folders, int count, int clientLeft, int clientRight, int* fillerLeft);

// The pointer band: 20 <= x < clientRight - 20 and 70 < y < 100.
bool InBarBand(int x, int y, int clientRight);
// Pointer coordinates from a mouse message's lParam, each unsigned 16-bit.
void PointerFromParam(uint32_t lParam, int* x, int* y);
// First record from index `from` on whose extents hold x, or -1.
int NextSegmentHit(const FolderSummary* folders, int count, int from, int x);
// A highlight that indexes the current records; a stale one counts as none.
bool HoverIsValid(int hover, int count);
// Fill colour of a highlighted segment.
uint32_t HighlightColor(uint32_t color);

// The tooltip title: the text after the last backslash, read within the name's field.
// Copies it bounded into title.
void TipTitle(char* title, int titleSize, const FolderSummary* record);
// The largest-files lines, one per non-empty entry up to the first empty one.
void ComposeTipList(char* list, int listSize, const LargeFile* largest);
// The body from the record and the list, cut after 1023 characters.
void ComposeTipText(char* text, int textSize, const FolderSummary* record, const char* list);
// Bounded copy of a record's path into a path buffer (drill-down).
void CopyRecordPath(char* path, int pathSize, const FolderSummary* record);
