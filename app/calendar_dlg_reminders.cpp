// The reminder cycle: the timer, the scan of all appointments, the start-up
// purge of outdated ones and the reminder threads.
#include "app/calendar_dlg.h"

#include "framework/clock.h"
#include "framework/unique_handle.h"
#include "store/calendar_registry.h"
#include "store/registry_value.h"
#include "store/store_walk.h"
#include "tray/reminder_dlg.h"

#include <vector>

void CCalendarDlg::OnTimer(UINT_PTR) {
    if (IsReminderBusy() == 0)
        StartReminderThread();
}

void CCalendarDlg::OnShowReminder() {
    if (IsReminderBusy() == 0)
        StartReminderThread();
}

void CCalendarDlg::StartReminderThread() {}

std::optional<LRESULT> CCalendarDlg::OnReminderClosed(WPARAM, LPARAM) {
    RestartReminderTimer();
    return 0;
}

void CCalendarDlg::PurgeOutdated() {
    ScanAppointments(SCAN_PURGE);
}

int CCalendarDlg::ScanAppointments(int mode) {
    fw::unique_hkey root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, KEY_READ, root.put()) !=
        ERROR_SUCCESS)
        return 1;
    const CalendarDate today = DateOf(fw::LocalNow());
    AppointmentFields fields;
    std::vector<std::string> lines;
    ForEachSubkey(root.get(), [&](const char* dayName) {
        fw::unique_hkey day;
        if (RegOpenKeyExA(root.get(), dayName, 0, KEY_READ, day.put()) != ERROR_SUCCESS)
            return SubkeyStep::Next;
        ForEachSubkey(day.get(), [&](const char* name) {
            {
                fw::unique_hkey appointment;
                if (RegOpenKeyExA(day.get(), name, 0, KEY_READ, appointment.put()) != ERROR_SUCCESS)
                    return SubkeyStep::Next;
                ReadTextValue(appointment.get(), kValueFrom, fields.from, sizeof fields.from);
                ReadTextValue(appointment.get(), kValueTo, fields.to, sizeof fields.to);
                const RangeState state = ClassifyRange(fields.from, fields.to, today);
                if (mode == SCAN_REMIND && state == RangeState::Current) {
                    ReadTextValue(appointment.get(), kValueNotes, fields.notes,
                                  sizeof fields.notes);
                    lines.emplace_back(fields.notes);
                }
                // Only an appointment whose range has ended is deleted; one that
                // is still to come, or whose dates cannot be read, is kept.
                if (mode != SCAN_PURGE || state != RangeState::Ended)
                    return SubkeyStep::Next;
            }
            return RegDeleteKeyA(day.get(), name) == ERROR_SUCCESS ? SubkeyStep::Removed
                                                                   : SubkeyStep::Next;
        });
        return SubkeyStep::Next;
    });
    return 1;
}
