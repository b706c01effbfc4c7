// Ids of the install monitor's resources and controls. Shared by the
// resource script and the code.
#pragma once

// Images
#define IDB_CHECKS 1019

// PickAppDlg
#define IDC_PICK_PATH 1008
#define IDC_PICK_DRIVES 1003
#define IDC_PICK_FOLDERS 1004
#define IDC_PICK_FILES 1005
#define IDC_PICK_RUN 1015
#define IDC_PICK_GUARD_ONLY 1042
#define IDC_PICK_HELP 1017

// WaitDlg
#define IDC_WAIT_OPTIONS 1033
#define IDC_WAIT_VIEW_CHANGES 1030
#define IDC_WAIT_NO_UNINSTALL 1031
#define IDC_WAIT_STATUS 1034

// ResultsDlg
#define IDC_RESULTS_TREE 1018
#define IDC_RESULTS_APP_UNINSTALL 1014
#define IDC_RESULTS_UNINSTALL 1021
#define IDC_RESULTS_REPORT 1016
#define IDC_RESULTS_HELP 1017
