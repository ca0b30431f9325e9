// The main window's commands: Go, Stop, Open and Back.
#pragma once

#include "globals.h"

// The WM_COMMAND case: acts on the low word of wParam alone; TRUE always.
INT_PTR OnCommand(HWND hwnd, WPARAM wParam);
