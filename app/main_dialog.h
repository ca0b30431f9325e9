// The main window: a modeless dialog of fixed height.
#pragma once

#include "globals.h"

enum { kMainWindowHeight = 170 };

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Creates the hidden main window from IDD_MAIN of the executable and stores
// it in g_hwndMain; its initialisation starts the first scan.
HWND CreateMainWindow();
