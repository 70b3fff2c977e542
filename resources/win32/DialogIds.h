// Identifiers of the Windows resources and of the controls the views bind.
#pragma once

#define IDI_PELLUXUPDATE 1

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_WINUIDLG 103
#define IDD_UPDATESELECTFILEDLG 104

// Main dialog
#define IDC_FIRMWARE 1000
#define IDC_FPGA 1001
#define IDC_INITIALIZE 1002
#define IDC_MACHINE_TYPE 1003
#define IDC_ONLINE_UPDATE 1004
#define IDC_PORT 1005
#define IDC_ONLINE_UPDATE_SELECTABLE 1006
#define IDC_APPLICATION 1007
#define IDC_LOCAL_UPDATE 1008
#define IDC_DOWNLOAD_ONLINE_FILES 1009
#define IDC_UPDATE_SETTING 1010
#define IDC_SERVO_DRIVER_SETTING 1011
#define IDC_STEP_DRIVER_SETTING 1012
#define IDC_EXTEND_SETTING 1013
#define IDC_RESCAN 1021
// Both dialogs: why there is nothing to choose (hidden when there is no reason)
#define IDC_STATUS_LINE 1022

// File selection dialog
#define IDC_RUN_SELECTED 1005
#define IDC_FILE_LIST 1006
