// The command bar: a rebar holding the toolbar and the drive chooser.
#pragma once

#include "globals.h"

HWND CreateRebar(HWND parent);
void CreateCommandBar(HWND parent);
INT_PTR CALLBACK DriveDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
