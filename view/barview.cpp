// Placeholder until the folder bar lands: the main window calls these.
#include "barview.h"

void DrawBar(HDC, const RECT*, int) {}
void HighlightSegment(HDC, const RECT*, int) {}
void PaintBar(HDC, const RECT*) {}
void CreateBarTooltip(HWND) {}
void MoveBarTool(HWND, const RECT*) {}
INT_PTR OnBarMouseMove(HWND, LPARAM) { return TRUE; }
INT_PTR OnBarLButtonDown(HWND) { return TRUE; }
INT_PTR OnBarNotify(HWND, WPARAM, LPARAM) { return TRUE; }
