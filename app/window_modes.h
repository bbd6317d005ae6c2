#pragma once

// The main window's modes, as its named operations take them (ShowDay,
// ModifySelectedAppointment, ScanAppointments); the values are unique across
// the program. The store takes its own typed modes.
inline constexpr int MODIFY_SAVE_DETAIL = 4;
inline constexpr int MODIFY_DELETE = 5;
inline constexpr int SCAN_REMIND = 6;
inline constexpr int SCAN_PURGE = 7;
inline constexpr int LIST_SHOW_DETAIL = 8;
inline constexpr int LIST_FILL = 9;
