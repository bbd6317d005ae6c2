// Resource ids of Quillmere.
#pragma once

// Dialog templates
#define IDD_CALENDAR_DIALOG 102
#define IDD_REMINDER 131
#define IDD_NEW_APPOINTMENT 137
#define IDD_SETTINGS 150
#define IDD_SPLASH 151
#define IDD_ABOUTBOX 152

// Menus
#define IDR_TRAY_MENU 128
#define IDR_LIST_MENU 136
#define IDR_MAIN_MENU 149
#define IDR_REMINDER_MENU 170

// Shortcut keys of the main window
#define IDR_MAIN_ACCELERATORS 149

// Icons
#define IDI_QUILLMERE 128
#define IDI_REMINDER 165

// Bitmaps
#define IDB_EVENTS_COMBO 147
#define IDB_SAVE_NOTES 155
#define IDB_OPTIONS 161
#define IDB_NEXT_DAY 166
#define IDB_PREV_DAY 167
#define IDB_EVENTS_LIST 168
// The four button pictures drawn larger, with alpha, for higher DPIs: the
// 16-pixel picture's id plus 2000 (20 pixels), 3000 (24) or 4000 (32).
#define IDB_SAVE_NOTES_20 2155
#define IDB_SAVE_NOTES_24 3155
#define IDB_SAVE_NOTES_32 4155
#define IDB_OPTIONS_20 2161
#define IDB_OPTIONS_24 3161
#define IDB_OPTIONS_32 4161
#define IDB_NEXT_DAY_20 2166
#define IDB_NEXT_DAY_24 3166
#define IDB_NEXT_DAY_32 4166
#define IDB_PREV_DAY_20 2167
#define IDB_PREV_DAY_24 3167
#define IDB_PREV_DAY_32 4167

// Strings
#define IDS_ABOUTBOX 101
#define IDS_APP_TITLE 0xE000
#define IDS_HELP_TEXT 0xE001

// System menu item
#define IDM_ABOUTBOX 0x0010

// Main window controls
#define IDC_MONTHCAL 1000
#define IDC_DETAIL_NOTES 1001
#define IDC_APPOINTMENT_LIST 1004
#define IDC_DETAIL_NOTES_LABEL 1005
#define IDC_SEARCH_EVENTS_LABEL 1012
#define IDC_OPTIONS 1018
#define IDC_NEXT_DAY 1021
#define IDC_PREV_DAY 1022
#define IDC_GO_TODAY 1023
#define IDC_SAVE_NOTES 1037

// New Appointment dialog controls
#define IDC_NOTES_EDIT 1001
#define IDC_NOTES_LABEL 1005
#define IDC_EVENTS 1009
#define IDC_EVENTS_LABEL 1012
#define IDC_FROM_PICKER 1013
#define IDC_FROM_LABEL 1014
#define IDC_TO_LABEL 1015
#define IDC_TO_PICKER 1016

// Reminder pop-up controls
#define IDC_REMINDER_TEXT 1005
#define IDC_REMINDER_ICON 1006
#define IDC_REMINDER_CLOSE 1038

// Settings dialog controls
#define IDC_INTERVAL_SPIN 1026
#define IDC_INTERVAL_EDIT 1027
#define IDC_DELETE_OUTDATED 1029
#define IDC_SHOW_SPLASH 1030
#define IDC_EVENT_OPTIONS_GROUP 1031
#define IDC_SPIN_BUDDY 1034
#define IDC_INTERVAL_LABEL 1035

// Splash card and About box controls
#define IDC_PRODUCT_NAME 1031
#define IDC_MAKER_NAME 1032
#define IDC_MAKER_WEB 1033

// Commands
#define ID_TRAY_UNLOAD 32772
#define ID_TRAY_MINIMIZE 32773
#define ID_TRAY_CALENDAR_NOTES 32774
#define ID_LIST_NEW 32775
#define ID_LIST_DELETE 32776
#define ID_TRAY_ABOUT 32778
#define ID_FILE_NEW_APPOINTMENT 32779
#define ID_FILE_SETTINGS 32783
#define ID_FILE_MINIMIZE 32784
#define ID_FILE_UNLOAD 32785
#define ID_ABOUT 32792
#define ID_TRAY_SETTINGS 32793
#define ID_TRAY_SHOW_REMINDER 32794
#define ID_FILE_EXPORT 32795
#define ID_FILE_IMPORT 32796
#define ID_REMINDER_SNOOZE_SHORT 32800
#define ID_REMINDER_SNOOZE_LONG 32801
#define ID_REMINDER_DISMISS_TODAY 32802
#define ID_HELP 0xE146

// The alert pop-up: template and menu 300-309, controls 1150-1199,
// commands 32820-32839.
#define IDD_ALERT 300
#define IDR_ALERT_MENU 301
#define IDC_ALERT_TEXT 1150
#define IDC_ALERT_ICON 1151
#define IDC_ALERT_CLOSE 1152
#define IDC_ALERT_DISMISS 1153
#define IDC_ALERT_SNOOZE 1154
#define ID_ALERT_SNOOZE_5 32820
#define ID_ALERT_SNOOZE_10 32821
#define ID_ALERT_SNOOZE_HOUR 32822
#define ID_ALERT_SNOOZE_UNTIL_START 32823
#define ID_ALERT_DISMISS 32824

// The progress of a long export or import
#define IDD_TRANSFER_PROGRESS 310
#define IDC_TRANSFER_EVENTS 1200
#define IDC_TRANSFER_FILED 1201
#define IDC_TRANSFER_BAR 1202

// A time of day and an alert in the New/Edit Appointment dialog, and the
// list's Edit command
#define IDC_ALL_DAY 1100
#define IDC_TIME_PICKER 1101
#define IDC_DURATION_LABEL 1102
#define IDC_DURATION 1103
#define IDC_REMIND_LABEL 1104
#define IDC_REMIND 1105
#define IDC_TIME_GROUP 1106
#define ID_LIST_EDIT 32810

// How an appointment repeats, in the New/Edit Appointment dialog
#define IDC_REPEAT_GROUP 1250
#define IDC_REPEAT 1251
#define IDC_REPEAT_MONTHDAY 1252
#define IDC_REPEAT_ORDINAL 1253
#define IDC_REPEAT_WEEKDAY 1254
#define IDC_REPEAT_INTERVAL 1255
#define IDC_REPEAT_UNIT 1256
#define IDC_REPEAT_STORED 1257
#define IDC_REPEAT_END 1258
#define IDC_REPEAT_UNTIL 1259
#define IDC_REPEAT_COUNT 1260
#define IDC_REPEAT_TIMES 1261
// The week's day boxes, by their place in the row (the user's first day of
// the week first)
#define IDC_REPEAT_DAY_FIRST 1262
#define IDC_REPEAT_DAY_LAST 1268

// Deleting an occurrence of a repeating appointment
#define IDD_DELETE_OCCURRENCE 320
#define IDC_DELETE_QUESTION 1270
#define IDC_DELETE_ONE 1271
#define IDC_DELETE_SERIES 1272

// The CalDAV account and its sync: template 330, controls 1300-1319, the
// File menu's command 32840
#define IDD_SYNC 330
#define IDC_SYNC_ADDRESS 1300
#define IDC_SYNC_USER 1301
#define IDC_SYNC_PASSWORD 1302
#define IDC_SYNC_PASSWORD_HINT 1303
#define IDC_SYNC_UNENCRYPTED 1304
#define IDC_SYNC_FIND 1305
#define IDC_SYNC_CALENDAR 1306
#define IDC_SYNC_INTERVAL 1307
#define IDC_SYNC_INTERVAL_SPIN 1308
#define IDC_SYNC_NOW 1309
#define IDC_SYNC_LAST 1310
#define IDC_SYNC_FIND_STATUS 1311
#define ID_FILE_SYNC 32840

// Find: template 340, controls 1320-1329, the File menu's command and the
// keys that step through what it found
#define IDD_FIND 340
#define IDC_FIND_TEXT 1320
#define IDC_FIND_RESULTS 1321
#define IDC_FIND_STATUS 1322
#define ID_FILE_FIND 32841
#define ID_FIND_NEXT 32842
#define ID_FIND_PREVIOUS 32843

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
