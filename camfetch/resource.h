// Resource and control ids of camfetch (read by the resource compiler and the code).
#pragma once

#define IDR_MAINFRAME 128  // application icon
#define IDI_PICTURE 132    // small icon of a still picture
#define IDI_FILMSTRIP 133  // small icon of a clip

#define IDD_ABOUTBOX 100
#define IDD_CAMFETCH_DIALOG 102
#define IDD_DIRECTORY_PICKER 130

#define IDM_ABOUTBOX 0x0010  // system-menu command of the About entry

#define IDS_ABOUTBOX 101
#define IDS_CONNECTING 102
#define IDS_NO_IMAGES 103
#define IDS_FAILED 104
#define IDS_FOLDER_NOT_MADE 105
#define IDS_FILE_NOT_CREATED 106
#define IDS_FILE_NOT_WRITTEN 107
#define IDS_FILE_NOT_COMPLETED 108
#define IDS_FILE_NOT_PLACED 109
#define IDS_CONNECTED 61221
#define IDS_CHOOSE_DIRECTORY 61222

// Main dialog.
#define IDC_MESSAGE 1000
#define IDC_COUNTDOWN_LABEL 1001
#define IDC_COUNTDOWN 1002
#define IDC_COUNTDOWN_UNIT 1003
#define IDC_DOWNLOAD_TO_LABEL 1004
#define IDC_CONVERT_AVI 1005
#define IDC_BROWSE 1071
#define IDC_FILE_LIST 1183
#define IDC_DOWNLOAD 1184
#define IDC_DELETE 1185
#define IDC_CANCEL_RUN 1186
#define IDC_SELECT_ALL 1187
#define IDC_DESELECT_ALL 1188
#define IDC_DOWNLOAD_FOLDER 1189
#define IDC_PROGRESS 1191
#define IDC_PERCENT 1192
#define IDC_STATUS_LINE 1193
#define IDC_REMAINING 1194
#define IDC_REMAINING_LABEL 1196
#define IDC_STORAGE_SOURCE 1202
#define IDC_STORAGE_SOURCE_LABEL 1203
#define IDC_HELP_BUTTON 57670

// Old-style directory picker: the ids the platform's file dialog gives its controls.
#define IDC_PICKER_FILE_NAME_LABEL 1090
#define IDC_PICKER_FILE_NAME 1152
#define IDC_PICKER_FILES 1120
#define IDC_PICKER_CURRENT_DIR 1088
#define IDC_PICKER_DIRECTORIES 1121
#define IDC_PICKER_TYPES_LABEL 1089
#define IDC_PICKER_TYPES 1136
#define IDC_PICKER_DRIVES_LABEL 1091
#define IDC_PICKER_DRIVES 1137
#define IDC_PICKER_HELP 1038
#define IDC_PICKER_READ_ONLY 1040
