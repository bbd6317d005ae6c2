#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/unique_handle.h"
#include "store/appointment_view.h"
#include "store/date_range_test.h"
#include "tray/reminder_owner.h"
#include "tray/reminder_dlg.h"
#include "tray/tray_icon.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CNewAppointmentDlg;

// The main window: the month calendar, the day's appointment list and the
// Detailed Notes box. It lives hidden in the notification area between uses,
// and it runs the reminder cycle.
class CCalendarDlg : public fw::Dialog, public IAppointmentView, public IReminderOwner {
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

    // Reminder cycle.
    void RestartReminderTimer() override;
    void SetReminderBusy(int busy) override;
    int IsReminderBusy() const;
    // Claims the busy flag: true when it was clear and is now set.
    bool TryClaimReminder();
    int ScanAppointments(int mode);
    // Walks every appointment once. SCAN_REMIND: returns the NOTES of those
    // current today, in the registry's order. SCAN_PURGE: deletes those whose
    // range ended before today and returns nothing.
    std::vector<std::string> WalkAppointments(int mode);
    void PurgeOutdated();
    // IReminderOwner: the open pop-up, which Unload closes.
    bool ReminderOpened(HWND popup) override;
    void ReminderClosed(HWND popup) override;
    // The reminder pop-up's window while one is open, else null.
    HWND ReminderWindow() const;

    // IAppointmentView: what the store fills when it lists a day.
    void AppendAppointmentRow(const char* eventText, const char* notes, int eventIndex) override;
    void ShowDetailNotes(const char* detailNotes) override;

    // List commands.
    void AddAppointmentRow(const std::string& eventText, const std::string& notes, int eventIndex);

    // The reminder interval in minutes; never below 1.
    int ReminderMinutes() const { return m_nReminderMinutes; }
    // The reminder timer's period in milliseconds for an interval in minutes,
    // capped so that it fits the timer's 32 bits.
    static UINT ReminderPeriodMs(int minutes);

    // Reminder threads still running (the program waits for them at exit).
    int ActiveReminderThreads() const { return m_nActiveReminders.load(); }

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // The end of the start-up: a hidden start hides, and a store that cannot
    // be written is reported.
    void OnFirstIdle() override;

    // Steps of the start-up and commands that open other windows; tests
    // replace them to watch the order, or to keep a modal window from opening.
    virtual void AddTrayIcon();
    virtual void RunSplash();
    virtual void RunAboutBox();
    virtual void RunSettings();
    virtual void StartReminderThread();

    void InitCalendarWindow();

    // Routed handlers.
    std::optional<LRESULT> OnSysCommand(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnPaint(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnQueryDragIcon(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnTrayNotify(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnTaskbarCreated(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnReminderClosed(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnDestroy(WPARAM wp, LPARAM lp);
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
    LRESULT OnListRightClick(NMHDR* header);
    LRESULT OnListItemChanged(NMHDR* header);
    LRESULT OnCalendarSelChange(NMHDR* header);
    LRESULT OnCalendarSelect(NMHDR* header);

    void ShowListMenu();
    void SaveNewAppointment();
    // Steps the shown day by one, carrying into the neighbouring month.
    void StepDay(int direction);

public:
    // Members, in the order the design gives them.
    std::unique_ptr<CNewAppointmentDlg> m_pNewAppointmentDlg;
    std::unique_ptr<CDateRangeTest> m_pDateRangeTest;
    CTrayIcon m_trayIcon;
    fw::unique_himagelist m_pImageList;
    std::atomic<int> m_bReminderBusy{0};
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
    // Closes an open pop-up and waits for every reminder thread; from then on
    // no reminder starts.
    void StopReminders();
    void ReminderThreadProc(std::atomic<bool>* finished);

    // A reminder thread, and whether it has done its last touch of this window.
    struct ReminderThread {
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    // Started and joined on the window's own thread only.
    std::list<ReminderThread> m_reminderThreads;
    mutable std::mutex m_reminderMutex;
    HWND m_hReminderPopup = nullptr; // guarded by m_reminderMutex
    std::atomic<int> m_nActiveReminders{0};
    std::atomic<bool> m_bShuttingDown{false};
    UINT m_uTaskbarCreatedMessage = 0;
    bool m_bFilling = false;
    bool m_bStartHidden = false;
};
