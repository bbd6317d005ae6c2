#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/unique_handle.h"
#include "store/appointment_view.h"
#include "tray/reminder_cycle.h"
#include "tray/tray_icon.h"

#include <memory>
#include <optional>
#include <string>

class CNewAppointmentDlg;

// The main window: the month calendar, the day's appointment list and the
// Detailed Notes box. It lives hidden in the notification area between uses;
// its timer drives the reminder cycle, which it owns.
class CCalendarDlg : public fw::Dialog, public IAppointmentView, public IReminderTimer {
public:
    explicit CCalendarDlg(HWND parent = nullptr);
    ~CCalendarDlg() override;

    BOOL PreTranslateMessage(MSG* msg) override;

    // For a minimised launch (the sign-in start): the start-up runs as usual,
    // but the window is never shown; it ends hidden in the notification area
    // with the reminder timer running, as if the user had closed it.
    void StartHidden();

    // Day view.
    void ShowDay(int mode, SYSTEMTIME day);
    void ModifySelectedAppointment(int mode);
    void InitAppointmentList();

    // Reminder cycle: the timer is the window's, the rest the cycle's.
    void RestartReminderTimer() override;
    void ReminderSnoozed() override;
    void SetReminderBusy(int busy);
    int IsReminderBusy() const;
    // SCAN_REMIND: one reminder on the calling thread (scan, then pop-up).
    // SCAN_PURGE: deletes what ended before today. Returns 1.
    int ScanAppointments(int mode);
    void ReminderThreadProc();
    void PurgeOutdated();
    // The reminder pop-up's window while one is open, else null.
    HWND ReminderWindow() const { return m_reminders.PopupWindow(); }
    CReminderCycle& Reminders() { return m_reminders; }

    // IAppointmentView: what the store fills when it lists a day.
    void AppendAppointmentRow(const char* eventText, const char* notes, int eventIndex) override;
    void ShowDetailNotes(const char* detailNotes) override;

    // List commands.
    void AddAppointmentRow(const std::string& eventText, const std::string& notes, int eventIndex);

    // The list's column widths in pixels at 96 DPI.
    static constexpr int kEventColumnWidth = 80;
    static constexpr int kNotesColumnWidth = 175;

    // The reminder interval in minutes; never below 1.
    int ReminderMinutes() const { return m_nReminderMinutes; }
    // The reminder timer's period in milliseconds for an interval in minutes,
    // capped so that it fits the timer's 32 bits.
    static UINT ReminderPeriodMs(int minutes);

    // Reminder threads still running (the program waits for them at exit).
    int ActiveReminderThreads() const { return m_reminders.ActiveThreads(); }

    // The window's timers: the reminder timer, and one-shots for the next
    // day, a resume from sleep, a user too busy for a reminder, a snooze.
    static constexpr UINT_PTR kReminderTimerId = 1;
    static constexpr UINT_PTR kDayTimerId = 3;
    static constexpr UINT_PTR kResumeTimerId = 4;
    static constexpr UINT_PTR kQuietTimerId = 5;
    static constexpr UINT_PTR kSnoozeTimerId = 6;

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void OnDpiChanged(UINT dpi) override;
    // The end of the start-up: a hidden start hides, and a store that cannot
    // be written is reported.
    void OnFirstIdle() override;

    // Steps of the start-up and commands that open other windows; tests
    // replace them to watch the order, or to keep a modal window from opening.
    virtual void AddTrayIcon();
    virtual void RunSplash();
    virtual void RunAboutBox();
    virtual void RunSettings();
    // `timed`: from a timer rather than asked for by the user.
    virtual void StartReminderThread(bool timed);

    void InitCalendarWindow();

    // Routed handlers.
    std::optional<LRESULT> OnSysCommand(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnPaint(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnQueryDragIcon(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnTrayNotify(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnTaskbarCreated(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnRestartTimer(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnDestroy(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnTimeChange(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnPowerBroadcast(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnContextMenu(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnSystemColorsChanged(WPARAM wp, LPARAM lp);
    void OnTimer(UINT_PTR id);
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
    void OnNewAppointment();
    void OnDeleteAppointment();
    void OnUnload();
    void OnMinimize();
    void OnCalendarAndNotes();
    void OnAbout();
    void OnShowReminder();
    void OnSettings();
    void OnGoToday();
    void OnNextDay();
    void OnPrevDay();
    void OnSaveNotes();
    void OnExportCalendar();
    void OnImportCalendar();
    LRESULT OnListRightClick(NMHDR* header);
    LRESULT OnListItemChanged(NMHDR* header);
    LRESULT OnListKeyDown(NMHDR* header);
    LRESULT OnCalendarSelChange(NMHDR* header);
    LRESULT OnCalendarSelect(NMHDR* header);

    void ShowListMenu();
    // The list's menu with its top-left corner at `screen`.
    void ShowListMenuAt(POINT screen);
    // What the window makes in pixels, at its DPI: the fonts, the list's
    // columns and pictures, the button pictures.
    void MakeFonts();
    void MakeListImages();
    void LoadButtonImages();
    // The list's colours: the program's own, or the system's under high
    // contrast.
    void ApplyListColours();
    // The Detailed Notes box's text into m_strDetailNotes; false, with the
    // user told why, when it is too long to be stored whole.
    bool TakeDetailNotes();
    void SaveNewAppointment();
    // Steps the shown day by one, carrying into the neighbouring month.
    void StepDay(int direction);

    // A reminder that a timer brings: not while snoozed, and not while the
    // user must not be disturbed (it waits then, and is never dropped).
    void TimedReminder();
    // Sets the snooze timer to the end of the user's snooze, if any;
    // whether a snooze holds.
    bool ArmSnoozeTimer();
    // Today has changed, or may have (midnight, the clock, a resume): the
    // calendar's today marker follows; the day shown stays.
    void OnDayChange();

public:
    // Members, in the order the design gives them.
    std::unique_ptr<CNewAppointmentDlg> m_pNewAppointmentDlg;
    CTrayIcon m_trayIcon;
    fw::unique_himagelist m_pImageList;
    int m_nReminderMinutes = 1;
    fw::unique_hfont m_fontNormal;
    fw::unique_hfont m_fontBold;
    std::unique_ptr<fw::ToolTip> m_pToolTip;
    fw::Button m_btnToday;
    fw::Button m_btnPrevDay;
    fw::Button m_btnNextDay;
    fw::Button m_btnOptions;
    fw::Button m_btnSaveNotes;
    fw::MonthCal m_monthCal;
    fw::ListView m_listAppointments;
    std::string m_strDetailNotes;
    HICON m_hIcon = nullptr;

private:
    // The four button pictures, kept for as long as the buttons show them.
    fw::unique_hbitmap m_bmpOptions;
    fw::unique_hbitmap m_bmpSaveNotes;
    fw::unique_hbitmap m_bmpNextDay;
    fw::unique_hbitmap m_bmpPrevDay;
    CReminderCycle m_reminders{*this};
    UINT m_uTaskbarCreatedMessage = 0;
    bool m_bFilling = false;
    bool m_bStartHidden = false;
};
