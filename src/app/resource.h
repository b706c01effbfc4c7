// Ids of the archive manager's resources, commands and controls. Shared by
// the resource script and the code.
#pragma once

// Commands (menu, accelerators, tool bar; the hint of each is the string
// with the same id).
#define CM_SELECT_COMMENT 1004
#define CM_USE_FILE_COMMENT 1005
#define CM_HELP_CONTENTS 1015
#define CM_SELECT_ALL 1017
#define CM_NAME_FILTER 1018
#define CM_INVERT 1019
#define CM_NEW 1022
#define CM_OPEN 1023
#define CM_ADD 1024
#define CM_VIEW 1025
#define CM_EXTRACT 1026
#define CM_REMOVE 1027
#define CM_ABOUT 1028
#define CM_INSTALL 1057
#define CM_SETTINGS 1058

// Resources.
#define IDI_ZARVO 1021

// Controls of the main window.
#define IDC_MEMBER_LIST 5000
#define IDC_COMMENT_CAPTION 5001
#define IDC_COMMENT 5003

// TIniDlg
#define IDC_INSTALLER 1007
#define IDC_VIEWER 1011
#define IDC_PAUSE 1012

// TSelectNameDlg
#define IDC_CASE_SENSITIVE 1013
#define IDC_KEEP_PREVIOUS 1014
#define IDC_NAME_FILTER 1016
