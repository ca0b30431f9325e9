// The folder bar on screen: GDI drawing, pointer tracking, drill-down and
// the tooltip. The arithmetic is in barlogic.cpp.
#include "barview.h"

#include "barlogic.h"
#include "resource.h"

namespace {

// Fills (left, 70, left + width, 100) with a fresh brush and the default pen.
void FillSegment(HDC hdc, int left, int width, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    HGDIOBJ old = SelectObject(hdc, brush);
    Rectangle(hdc, left, kBarTop, left + width, kBarBottom);
    SelectObject(hdc, old);
    DeleteObject(brush);
}

// Keeps every stroke of the bar inside its rows, whatever the records say:
// bad extents or shares must not paint over the panel or other controls.
int ClipToBarRows(HDC hdc) {
    int saved = SaveDC(hdc);
    IntersectClipRect(hdc, kBarStart, kBarTop, static_cast<int>(kBarCoordLimit), kBarBottom);
    return saved;
}

void Line(HDC hdc, int x1, int y1, int x2, int y2) {
    MoveToEx(hdc, x1, y1, nullptr);
    LineTo(hdc, x2, y2);
}

}  // namespace

void DrawBar(HDC hdc, const RECT* client, int skip) {
    if (g_folderCount <= 0 || g_folders == nullptr) return;
    int saved = ClipToBarRows(hdc);
    BarLayout layout;
    BarLayoutStart(&layout, client->left, client->right, g_folderCount);
    for (int i = 0; i < g_folderCount; i++) {
        int left, width;
        if (!BarPlaceSegment(&layout, &g_folders[i], &left, &width)) continue;
        if (i != skip && width > 0) FillSegment(hdc, left, width, g_folders[i].color);
    }
    int left, width;
    if (BarFiller(&layout, &left, &width)) FillSegment(hdc, left, width, kFillerColor);
    RestoreDC(hdc, saved);
}

void HighlightSegment(HDC hdc, const RECT* client, int index) {
    if (!HoverIsValid(index, g_folderCount) || g_folders == nullptr) return;
    const FolderSummary* r = &g_folders[index];
    int left, right;
    int saved = ClipToBarRows(hdc);
    if (SegmentColumns(r, &left, &right)) FillSegment(hdc, left, right + 1 - left, HighlightColor(r->color));
    RestoreDC(hdc, saved);

    DrawBar(hdc, client, index);

    // White border over the black outline, with the extents just stored;
    // each LineTo leaves its end point out, so the last line runs to row 100.
    if (!SegmentColumns(r, &left, &right)) return;
    saved = ClipToBarRows(hdc);
    HPEN pen = CreatePen(PS_SOLID, 1, kFillerColor);
    HGDIOBJ old = SelectObject(hdc, pen);
    Line(hdc, left, kBarTop, right, kBarTop);
    Line(hdc, left, kBarBottom - 1, right, kBarBottom - 1);
    Line(hdc, left, kBarTop, left, kBarBottom - 1);
    Line(hdc, right, kBarTop, right, kBarBottom);
    SelectObject(hdc, old);
    DeleteObject(pen);
    RestoreDC(hdc, saved);
}

void PaintBar(HDC hdc, const RECT* client) {
    int right = client->right - kPanelInset;
    if (right > kPanelInset) {
        HBRUSH brush = CreateSolidBrush(kPanelColor);
        HGDIOBJ old = SelectObject(hdc, brush);
        Rectangle(hdc, kPanelInset, kPanelTop, right, kPanelBottom);
        SelectObject(hdc, old);
        DeleteObject(brush);
    }
    DrawBar(hdc, client, -1);
}

namespace {

void FillToolInfo(TOOLINFOA* ti, HWND hwndMain, const RECT* client) {
    ZeroMemory(ti, sizeof *ti);
    ti->cbSize = TTTOOLINFOA_V2_SIZE;
    ti->uFlags = TTF_SUBCLASS;
    ti->hwnd = hwndMain;
    ti->uId = ID_BARTOOL;
    ti->rect.left = kBandEdge;
    ti->rect.top = kBarTop;
    ti->rect.right = client->right - kBandEdge;
    ti->rect.bottom = kBarBottom;
    ti->hinst = GetModuleHandleA(nullptr);
    ti->lpszText = LPSTR_TEXTCALLBACKA;
}

}  // namespace

void CreateBarTooltip(HWND hwndMain) {
    g_hwndTip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwndMain, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    SetWindowPos(g_hwndTip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(hwndMain, &client);
    TOOLINFOA ti;
    FillToolInfo(&ti, hwndMain, &client);
    SendMessageA(g_hwndTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
}

void MoveBarTool(HWND hwndMain, const RECT* client) {
    // Only the rectangle moves: a record read back and stored again would
    // lose the text callback on some tooltip implementations.
    TOOLINFOA ti;
    FillToolInfo(&ti, hwndMain, client);
    SendMessageA(g_hwndTip, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&ti));
}

INT_PTR OnBarMouseMove(HWND hwnd, LPARAM lParam) {
    int x, y;
    PointerFromParam(static_cast<uint32_t>(lParam), &x, &y);
    RECT client;
    GetClientRect(hwnd, &client);
    HDC hdc = GetDC(hwnd);
    if (!InBarBand(x, y, client.right)) {
        SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));  // IDC_ARROW
        DrawBar(hdc, &client, -1);
        g_hoverIndex = -1;
    } else {
        // Every segment under the pointer in turn; the last one stays.
        for (int i = NextSegmentHit(g_folders, g_folderCount, 0, x); i >= 0;
             i = NextSegmentHit(g_folders, g_folderCount, i + 1, x)) {
            SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
            if (i != g_hoverIndex) {
                HighlightSegment(hdc, &client, i);
                g_hoverIndex = i;
            }
        }
    }
    ReleaseDC(hwnd, hdc);
    return TRUE;
}

INT_PTR OnBarLButtonDown(HWND hwnd) {
    // An index left from an earlier breakdown counts as no highlight.
    if (!HoverIsValid(g_hoverIndex, g_folderCount) || g_folders == nullptr) {
        g_hoverIndex = -1;
        return TRUE;
    }
    SendMessageA(g_hwndTip, TTM_ACTIVATE, FALSE, 0);
    CopyRecordPath(g_currentPath, static_cast<int>(sizeof g_currentPath), &g_folders[g_hoverIndex]);
    g_hoverIndex = -1;
    SendMessageA(hwnd, WM_COMMAND, IDM_GO, 0);
    SendMessageA(g_hwndTip, TTM_ACTIVATE, TRUE, 0);
    return TRUE;
}

INT_PTR OnBarNotify(HWND, WPARAM wParam, LPARAM lParam) {
    const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lParam);
    if (wParam != ID_BARTOOL || hdr == nullptr || hdr->code != TTN_GETDISPINFOA) return TRUE;
    if (!HoverIsValid(g_hoverIndex, g_folderCount) || g_folders == nullptr || g_tipText == nullptr ||
        g_tipList == nullptr) {
        return FALSE;
    }
    const FolderSummary* r = &g_folders[g_hoverIndex];
    char title[kNameSize];
    TipTitle(title, sizeof title, r);
    SendMessageA(g_hwndTip, TTM_SETTITLEA, TTI_INFO, reinterpret_cast<LPARAM>(title));
    ComposeTipList(g_tipList, kTipBufferSize, r->largest);
    ComposeTipText(g_tipText, kTipBufferSize, r, g_tipList);
    SendMessageA(hdr->hwndFrom, TTM_SETMAXTIPWIDTH, 0, 600);
    reinterpret_cast<NMTTDISPINFOA*>(lParam)->lpszText = g_tipText;
    return FALSE;
}
