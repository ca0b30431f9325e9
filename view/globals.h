// The window program's shared state (main thread, except where noted).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>

#include "scan.h"
#include "state.h"

#define PROGRAM_TITLE "Tallyfield 0.1"

// The published breakdown: replaced as a whole by each scan run.
extern FolderSummary* g_folders;
extern int g_folderCount;
extern unsigned long long g_totalBytes;

extern char g_currentPath[MAX_PATH];  // the current folder
extern int g_hoverIndex;              // highlighted segment, -1 for none

extern HWND g_hwndMain;
extern HWND g_hwndStatus;
extern HWND g_hwndRebar;
extern HWND g_hwndDrives;
extern HWND g_hwndDriveCombo;
extern HWND g_hwndTip;
extern HIMAGELIST g_imageList;

extern char* g_tipText;  // 4096 bytes: the finished tooltip text
extern char* g_tipList;  // 4096 bytes: the largest-files lines
