// The folder bar on the main window: drawing, pointer tracking, drill-down
// and the tooltip. Win32 side; the arithmetic lives in barlogic.h.
#pragma once

#include "globals.h"

// Draws every segment but the one at skip (-1: none) and stores the extents.
void DrawBar(HDC hdc, const RECT* client, int skip);
// Draws segment index highlighted and the others plain.
void HighlightSegment(HDC hdc, const RECT* client, int index);
// The WM_PAINT body: grey panel, then the segments.
void PaintBar(HDC hdc, const RECT* client);

// WM_INITDIALOG step: creates g_hwndTip and registers the bar tool.
void CreateBarTooltip(HWND hwndMain);
// Layout step: moves the bar tool's rectangle to the new client width.
void MoveBarTool(HWND hwndMain, const RECT* client);

// Message handlers of the main window for the bar.
INT_PTR OnBarMouseMove(HWND hwnd, LPARAM lParam);
INT_PTR OnBarLButtonDown(HWND hwnd);
INT_PTR OnBarNotify(HWND hwnd, WPARAM wParam, LPARAM lParam);
