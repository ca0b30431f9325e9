// The command bar: a rebar with the toolbar band and the drive chooser band.
#include "commandbar.h"

#include <cstdio>

#include "resource.h"

namespace {

const int kToolbarBandLength = 178;
const int kDriveBandLength = 130;

// The drive chooser's icon: make the chosen drive the current folder and scan it.
void OnDriveGo() {
    LRESULT sel = SendMessageA(g_hwndDriveCombo, CB_GETCURSEL, 0, 0);
    if (sel < 0) return;
    // CB_GETLBTEXT takes no buffer size: check the length first.
    LRESULT len = SendMessageA(g_hwndDriveCombo, CB_GETLBTEXTLEN, sel, 0);
    char item[256];
    if (len < 3 || len >= static_cast<LRESULT>(sizeof item)) return;
    if (SendMessageA(g_hwndDriveCombo, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(item)) < 3) return;
    // Items read "[-c-]": the third character is the drive letter.
    std::snprintf(g_currentPath, sizeof g_currentPath, "%c:", item[2]);
    SendMessageA(g_hwndMain, WM_COMMAND, IDM_GO, 0);
}

INT_PTR OnDriveCommand(WPARAM wParam) {
    if (LOWORD(wParam) == IDC_DRIVEGO) OnDriveGo();
    return TRUE;
}

INT_PTR OnDriveClose() {
    EndDialog(g_hwndMain, 0);
    PostQuitMessage(0);
    return TRUE;
}

int ButtonHeight(HWND toolbar) {
    return HIWORD(static_cast<DWORD>(SendMessageA(toolbar, TB_GETBUTTONSIZE, 0, 0)));
}

}  // namespace

HWND CreateRebar(HWND parent) {
    HWND rebar = CreateWindowExA(WS_EX_TOOLWINDOW, REBARCLASSNAMEA, nullptr,
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER |
                                     RBS_BANDBORDERS,
                                 0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_REBAR)),
                                 GetModuleHandleA(nullptr), nullptr);
    if (rebar == nullptr) return nullptr;
    REBARINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof(REBARINFO);
    info.fMask = 0;
    info.himl = nullptr;
    SendMessageA(rebar, RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&info));
    return rebar;
}

void CreateCommandBar(HWND parent) {
    HINSTANCE module = GetModuleHandleA(nullptr);
    g_imageList = ImageList_Create(32, 32, ILC_COLOR24 | ILC_MASK, 3, 0);
    const int icons[4] = {IDI_OPEN, IDI_BACK, IDI_GO, IDI_STOP};
    int image[4];
    for (int i = 0; i < 4; i++) {
        HICON icon = LoadIconA(module, MAKEINTRESOURCEA(icons[i]));
        image[i] = ImageList_ReplaceIcon(g_imageList, -1, icon);
    }

    g_hwndRebar = CreateRebar(parent);

    REBARBANDINFOA band;
    ZeroMemory(&band, sizeof band);
    band.cbSize = REBARBANDINFOA_V6_SIZE;
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE;
    band.fStyle = RBBS_CHILDEDGE | RBBS_GRIPPERALWAYS;

    HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                                   WS_CHILD | WS_VISIBLE | TBSTYLE_TRANSPARENT | TBSTYLE_FLAT | CCS_NODIVIDER |
                                       CCS_NORESIZE,
                                   0, 0, 0, 0, g_hwndRebar,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBAR)), module, nullptr);
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(g_imageList));

    TBBUTTON buttons[5];
    ZeroMemory(buttons, sizeof buttons);
    const int commands[5] = {IDM_OPEN, 0, IDM_BACK, IDM_GO, IDM_STOP};
    const int images[5] = {image[0], 0, image[1], image[2], image[3]};
    for (int i = 0; i < 5; i++) {
        buttons[i].iBitmap = images[i];
        buttons[i].idCommand = commands[i];
        buttons[i].fsState = commands[i] ? TBSTATE_ENABLED : 0;
        buttons[i].fsStyle = commands[i] ? TBSTYLE_BUTTON : TBSTYLE_SEP;
    }
    SendMessageA(toolbar, TB_ADDBUTTONSA, 5, reinterpret_cast<LPARAM>(buttons));
    SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);

    band.hwndChild = toolbar;
    band.cyMinChild = ButtonHeight(toolbar);
    band.cx = kToolbarBandLength;
    SendMessageA(g_hwndRebar, RB_INSERTBANDA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));

    g_hwndDrives = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_DRIVES), g_hwndRebar, DriveDialogProc, 0);
    g_hwndDriveCombo = GetDlgItem(g_hwndDrives, IDC_DRIVECOMBO);
    SendMessageA(g_hwndDriveCombo, CB_DIR, DDL_DRIVES | DDL_EXCLUSIVE, reinterpret_cast<LPARAM>("*.*"));

    band.hwndChild = g_hwndDrives;
    band.cyMinChild = ButtonHeight(toolbar);
    band.cx = kDriveBandLength;
    SendMessageA(g_hwndRebar, RB_INSERTBANDA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
}

INT_PTR CALLBACK DriveDialogProc(HWND, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        return OnDriveCommand(wParam);
    case WM_CLOSE:
        return OnDriveClose();
    default:
        return FALSE;
    }
}
