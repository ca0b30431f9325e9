// Resource, command and control numbers, shared by the .rc files and the code.
#pragma once

// Dialog templates and icons.
#define IDD_MAIN 101
#define IDI_APP 102
#define IDD_DRIVES 103
#define IDI_STOP 108
#define IDI_OPEN 109
#define IDI_BACK 110
#define IDI_DRIVEGO 114
#define IDI_GO 115

// Controls.
#define IDC_DRIVECOMBO 1006
#define IDC_DRIVEGO 1009
#define IDC_STATUS 1100
#define IDC_TOOLBAR 1101
#define IDC_REBAR 1102
#define ID_BARTOOL 1104

// Commands.
#define IDM_ABOUT 3000
#define IDM_GO 40003
#define IDM_STOP 40004
#define IDM_OPEN 40005
#define IDM_BACK 40006
