// Resource numbers shared by the resource script and the program.
#pragma once

// String table
#define IDS_CLASS_NAME 1
#define IDS_WINDOW_TITLE 2
#define IDS_TIP_SELECT 3
#define IDS_TIP_CLEAN 4
#define IDS_TIP_ABOUT 5
#define IDS_TIP_QUIT 6

// Bitmaps
#define IDB_BACKGROUND 101
#define IDB_FRAME_WIDE_FOCUSED 115
#define IDB_FRAME_WIDE_UNFOCUSED 116
#define IDB_CLEAN_DISABLED 117
#define IDB_CLEAN_NORMAL 118
#define IDB_CLEAN_PRESSED 119
#define IDB_SELECT_DISABLED 120
#define IDB_SELECT_NORMAL 121
#define IDB_SELECT_PRESSED 122
#define IDB_QUIT_PRESSED 123
#define IDB_ABOUT_DISABLED 124
#define IDB_ABOUT_NORMAL 125
#define IDB_ABOUT_PRESSED 126
#define IDB_FRAME_NARROW_FOCUSED 127
#define IDB_FRAME_NARROW_UNFOCUSED 128
#define IDB_QUIT_DISABLED 129
#define IDB_QUIT_NORMAL 130

// Icon group and the About dialog
#define IDI_APPLICATION_ICON 102
#define IDD_ABOUT 131

// Control identifiers of the four command buttons (and of the About dialog's OK button)
#define IDC_SELECT 1000
#define IDC_CLEAN 1001
#define IDC_ABOUT 1002
#define IDC_QUIT 1003
#define IDC_ABOUT_OK 1000
