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
// The Sort by submenu: the key (Date stands for date and time) and the direction.
#define CM_SORT_NAME 1070
#define CM_SORT_DATE 1071
#define CM_SORT_SIZE 1072
#define CM_SORT_PACKED 1073
#define CM_SORT_RATIO 1074
#define CM_SORT_ASCENDING 1075
#define CM_SORT_DESCENDING 1076

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

// Shared by several dialogs.
#define IDC_ARCHIVE_FIELD 1035
#define IDC_DRIVES 1045
#define IDC_FOLDERS 1046
#define IDC_OK_BUTTON 1044
#define IDC_YES_TO_ALL 1042
#define IDC_ANSWER_NO 1043
#define IDC_HELP_BUTTON 1053

// ProgressDlg
#define IDC_JOB_GAUGE 1029
#define IDC_FILE_GAUGE 1030
#define IDC_PROGRESS_BUTTON 1031
#define IDC_RESULT_LIST 1032
#define IDC_PROBLEM_LIST 1033
#define IDC_FILE_FIELD 1034
#define IDC_FILE_NUMBER 1037
#define IDC_WARNINGS 1038

// TDirSelectDlg
#define IDC_DESTINATION 1048
#define IDC_USE_FOLDER_NAMES 1049

// TOverWriteDlg and TReadOnlyDlg
#define IDC_REPLACE_PATH 1008
#define IDC_EXISTING_FILE 1009
#define IDC_MEMBER_FILE 1010

// TAddFileDlg
#define IDC_SPANNING 1020
#define IDC_INCLUDE 1040
#define IDC_EXCLUDE 1041
#define IDC_FILES 1047
#define IDC_SOURCE_FIELD 1050
#define IDC_ACTION 1051
#define IDC_COMPRESSION 1052
#define IDC_RECURSE 1054
#define IDC_FULL_PATHS 1055
#define IDC_DELETE_SOURCES 1056
#define IDC_EMPTY_FOLDERS 2043

// FreshenDlg
#define IDC_FRESHEN_NAME 1036

// EditCommentDlg
#define IDC_COMMENT_EDIT 1000
#define IDC_ERASE_COMMENT 1001
#define IDC_FORMAT_GROUP 1002
#define IDC_ADD_CRS 1003

// Posted to the main window by a view watcher whose program has ended.
#define WM_VIEW_WATCH_DONE (WM_APP + 1)

// ChooseInstallerDlg and ZRVSetupDlg
#define IDC_INSTALLER_LIST 2000
#define IDC_SETUP_HELP 1059
#define IDC_NO_UNINSTALL 1060
