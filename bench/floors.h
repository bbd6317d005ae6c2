#pragma once

#include "calendar/date_text.h"
#include "framework/unique_handle.h"

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// The least the machine must do for each measured job, written without the
// program's layers, so that the program can be held against it.

// The scan's floor: one open per key, each relative to its parent's handle,
// names by index until the registry has no more, and only the values the
// scan needs (FROM and TO, NOTES of a current appointment). `purge`: deletes
// the appointments whose range has ended instead of collecting notes.
// `alerts`: also reads REMIND BEFORE of each current or coming appointment,
// and TIME where it is there, as the walk that keeps the alerts must.
std::vector<std::string> BareWalk(bool purge, const CalendarDate& today, bool alerts = false);

// The same walk, but every key opened by its full path from
// HKEY_LOCAL_MACHINE: what relative opens save.
std::vector<std::string> FullPathWalk(const CalendarDate& today);

// The day list's floor: the same reads as the program's list (EVENT INDEX,
// EVENT, NOTES of each appointment of the day) inserted as rows of `list`
// with redraw held off, then one paint. `holdRedraw` false: the list
// redraws as each row goes in, to show what holding it off saves.
void BareListFill(HWND list, const std::string& dateText, bool holdRedraw = true);

// A list view like the main window's (styles, size, colours, columns and the
// same picture strip), in a window of its own. Owns both windows.
class FloorListWindow {
public:
    FloorListWindow(int width, int height);
    ~FloorListWindow();
    FloorListWindow(const FloorListWindow&) = delete;
    FloorListWindow& operator=(const FloorListWindow&) = delete;
    HWND List() const { return m_list; }

private:
    HWND m_frame = nullptr;
    HWND m_list = nullptr;
    fw::unique_himagelist m_images;
};

} // namespace bench
