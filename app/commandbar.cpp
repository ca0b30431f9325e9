// Placeholder until the command bar lands.
#include "commandbar.h"

HWND CreateRebar(HWND) { return nullptr; }
void CreateCommandBar(HWND) {}
INT_PTR CALLBACK DriveDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
