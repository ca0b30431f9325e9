#include "globals.h"

FolderSummary* g_folders = nullptr;
int g_folderCount = 0;
unsigned long long g_totalBytes = 0;

char g_currentPath[MAX_PATH];
int g_hoverIndex = -1;

HWND g_hwndMain = nullptr;
HWND g_hwndStatus = nullptr;
HWND g_hwndRebar = nullptr;
HWND g_hwndDrives = nullptr;
HWND g_hwndDriveCombo = nullptr;
HWND g_hwndTip = nullptr;
HIMAGELIST g_imageList = nullptr;

char* g_tipText = nullptr;
char* g_tipList = nullptr;
