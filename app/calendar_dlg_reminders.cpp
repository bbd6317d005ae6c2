// The reminder cycle: the timer, the scan of all appointments, the start-up
// purge of outdated ones and the reminder threads.
#include "app/calendar_dlg.h"

#include "framework/clock.h"
#include "framework/unique_handle.h"
#include "store/calendar_registry.h"
#include "store/registry_value.h"
#include "store/store_walk.h"
#include "store/system_time.h"
#include "tray/reminder_dlg.h"
#include "tray/reminder_lines.h"
#include "tray/thread_join.h"

void CCalendarDlg::OnTimer(UINT_PTR) {
    if (IsReminderBusy() == 0)
        StartReminderThread();
}

void CCalendarDlg::OnShowReminder() {
    if (IsReminderBusy() == 0)
        StartReminderThread();
}

void CCalendarDlg::StartReminderThread() {
    // The flag is claimed before the scan, not once it has found lines, so a
    // second trigger during a slow scan cannot open a second pop-up.
    if (m_bShuttingDown.load() || !TryClaimReminder())
        return;
    // Threads that have ended are joined here, so that a long run does not
    // collect them.
    for (auto it = m_reminderThreads.begin(); it != m_reminderThreads.end();) {
        if (it->finished.load()) {
            it->thread.join();
            it = m_reminderThreads.erase(it);
        } else {
            ++it;
        }
    }
    ReminderThread& slot = m_reminderThreads.emplace_back();
    ++m_nActiveReminders;
    try {
        slot.thread = std::thread(&CCalendarDlg::ReminderThreadProc, this, &slot.finished);
    } catch (...) {
        m_reminderThreads.pop_back();
        --m_nActiveReminders;
        SetReminderBusy(0);
    }
}

void CCalendarDlg::ReminderThreadProc(std::atomic<bool>* finished) {
    try {
        ScanAppointments(SCAN_REMIND);
    } catch (...) {
        // Nothing may leave the thread; the next trigger may try again.
        SetReminderBusy(0);
    }
    --m_nActiveReminders;
    // The last touch of this window by the thread.
    *finished = true;
}

void CCalendarDlg::StopReminders() {
    {
        std::lock_guard<std::mutex> lock(m_reminderMutex);
        m_bShuttingDown = true;
        if (m_hReminderPopup != nullptr)
            PostMessageA(m_hReminderPopup, WM_CLOSE, 0, 0);
    }
    for (ReminderThread& reminder : m_reminderThreads)
        JoinAnsweringSentMessages(reminder.thread, reminder.finished);
    m_reminderThreads.clear();
}

bool CCalendarDlg::ReminderOpened(HWND popup) {
    std::lock_guard<std::mutex> lock(m_reminderMutex);
    if (m_bShuttingDown.load())
        return false;
    m_hReminderPopup = popup;
    return true;
}

void CCalendarDlg::ReminderClosed(HWND popup) {
    std::lock_guard<std::mutex> lock(m_reminderMutex);
    if (m_hReminderPopup == popup)
        m_hReminderPopup = nullptr;
}

HWND CCalendarDlg::ReminderWindow() const {
    std::lock_guard<std::mutex> lock(m_reminderMutex);
    return m_hReminderPopup;
}

std::optional<LRESULT> CCalendarDlg::OnReminderClosed(WPARAM, LPARAM) {
    RestartReminderTimer();
    return 0;
}

std::optional<LRESULT> CCalendarDlg::OnDestroy(WPARAM, LPARAM) {
    // No reminder thread may outlive the window it reports to.
    StopReminders();
    return std::nullopt;
}

void CCalendarDlg::PurgeOutdated() {
    ScanAppointments(SCAN_PURGE);
}

int CCalendarDlg::ScanAppointments(int mode) {
    std::vector<std::string> lines = WalkAppointments(mode);
    if (mode != SCAN_REMIND)
        return 1;
    if (lines.empty() || m_bShuttingDown.load()) {
        SetReminderBusy(0);
        return 1;
    }
    SetReminderBusy(1);
    CReminderDlg popup;
    popup.SetReminders(this, lines);
    popup.DoModal();
    // A pop-up that closed has released the flag itself; one whose window
    // could not be made never will.
    if (!popup.WasOpened())
        SetReminderBusy(0);
    return 1;
}

std::vector<std::string> CCalendarDlg::WalkAppointments(int mode) {
    std::vector<std::string> lines;
    fw::unique_hkey root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, KEY_READ, root.put()) !=
        ERROR_SUCCESS)
        return lines;
    const CalendarDate today = DateOf(fw::LocalNow());
    AppointmentFields fields;
    // Reminders read every subkey as a date key; OPTIONS has no subkeys and
    // adds nothing.
    ForEachSubkey(root.get(), [&](const char* dayName) {
        // Unload waits for this thread; a long walk is cut short instead.
        if (m_bShuttingDown.load())
            return SubkeyStep::Stop;
        // The purge deletes only below a day the program itself names: a key
        // of any other name (OPTIONS, "abc", "2002-05-07") is never shown, so
        // what lies below it is not ours to delete.
        if (mode == SCAN_PURGE && !IsDateKeyName(dayName))
            return SubkeyStep::Next;
        fw::unique_hkey day;
        if (RegOpenKeyExA(root.get(), dayName, 0, KEY_READ, day.put()) != ERROR_SUCCESS)
            return SubkeyStep::Next;
        ForEachSubkey(day.get(), [&](const char* name) {
            if (m_bShuttingDown.load())
                return SubkeyStep::Stop;
            RangeState state = RangeState::Unreadable;
            {
                fw::unique_hkey appointment;
                if (RegOpenKeyExA(day.get(), name, 0, KEY_READ, appointment.put()) != ERROR_SUCCESS)
                    return SubkeyStep::Next;
                ReadTextValue(appointment.get(), kValueFrom, fields.from, sizeof fields.from);
                ReadTextValue(appointment.get(), kValueTo, fields.to, sizeof fields.to);
                state = ClassifyRange(fields.from, fields.to, today);
                if (mode == SCAN_REMIND && state == RangeState::Current) {
                    // Another program may delete the key between the reads;
                    // its values then read as missing, and a reminder of
                    // nothing would show. A key that still lets its dates be
                    // read exists, and its missing notes are an empty line.
                    if (ReadTextValue(appointment.get(), kValueNotes, fields.notes,
                                      sizeof fields.notes) ||
                        ReadTextValue(appointment.get(), kValueTo, fields.to, sizeof fields.to))
                        lines.push_back(CutReminderLine(fields.notes));
                }
            }
            // Only an appointment whose range has ended is deleted; one that
            // is still to come, or whose dates cannot be read, is kept.
            if (mode != SCAN_PURGE || state != RangeState::Ended)
                return SubkeyStep::Next;
            // The key is closed by now; a deleted key's successor takes its
            // index, and a key that stays is passed over.
            return RegDeleteKeyA(day.get(), name) == ERROR_SUCCESS ? SubkeyStep::Removed
                                                                   : SubkeyStep::Next;
        });
        return SubkeyStep::Next;
    });
    return lines;
}
