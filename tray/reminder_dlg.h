#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/unique_handle.h"
#include "tray/reminder_owner.h"

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Posted to an open pop-up to bring it to the front, on its own thread.
inline constexpr UINT kBringReminderForwardMessage = WM_APP + 2;

// The small pop-up that slides in at the lower right of the screen and shows
// today's appointments one after the other, a new one every two seconds,
// until the user closes it. It runs modally on a reminder thread; a slide-in
// thread of its own moves it into place. Its context menu snoozes or
// dismisses the timed reminders.
class CReminderDlg : public fw::Dialog {
public:
    CReminderDlg();
    ~CReminderDlg() override;

    // Before the pop-up runs: the window to tell when it closes, and the
    // lines, each an appointment's NOTES text. Every line is kept; a text too
    // long for a line is shown cut.
    void SetReminders(IReminderOwner* owner, const std::vector<std::string>& lines);
    // Before the pop-up runs: whether the user asked for it. One that a timer
    // opened slides in without taking the foreground or the keyboard from
    // the program the user is typing in, until the user clicks it.
    void SetUserChosen(bool chosen) { m_bUserChosen = chosen; }

    // Places the pop-up at slide step k (see SlideRect), topmost and visible;
    // nothing once its window is gone.
    void SlideTo(int k);
    void StartLineTimer();

    int CurrentLine() const { return m_nCurrent; }
    int LineCount() const { return m_nLines; }
    const std::vector<std::string>& Lines() const { return m_lines; }
    // Whether the window was made and shown to the owner.
    bool WasOpened() const { return m_bOpened; }
    bool IsSlideDone() const { return m_bSlideDone.load(); }
    // The last step placed, or below the first step before the slide began.
    int SlideStep() const { return m_nSlideStep.load(); }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    void OnTimer(UINT_PTR id);
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
    std::optional<LRESULT> OnClose(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnDestroy(WPARAM wp, LPARAM lp);
    void OnCloseButton();
    std::optional<LRESULT> OnMouseActivate(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnMouseDown(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnContextMenu(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnBringForward(WPARAM wp, LPARAM lp);
    void OnSnoozeShort();
    void OnSnoozeLong();
    void OnDismissToday();
    // The pop-up moved to a monitor of another DPI: it takes its place and
    // size there anew.
    void OnDpiChanged(UINT dpi) override;

private:
    // The pop-up takes the foreground and the keyboard: the user clicked it,
    // opened its menu or asked for it again.
    void Activate();
    // Stops the line timer and tells the owner, once per pop-up however it
    // ends.
    void CloseHandling();
    // Tells the slide-in thread to stop and waits for it; after this nothing
    // but this thread touches the window.
    void StopSlide();
    void SlideIn();
    // The slide ends at a fixed size in pixels, while the template's layout
    // is in dialog units: it fits at the usual 1.5 pixels a unit, but with a
    // larger dialog font (a higher DPI, another font for "MS Sans Serif") the
    // 'x' would lie outside the pop-up and the text would be cut. Keeps both
    // inside the final size.
    void FitControlsToFinalSize();

    int m_nCurrent = 0;
    int m_nLines = 0;
    IReminderOwner* m_pOwner = nullptr;
    std::vector<std::string> m_lines;
    fw::Button m_btnClose;
    fw::Static m_stIcon;
    std::string m_strText;
    fw::unique_hbrush m_brush;

    bool m_bUserChosen = true;
    bool m_bMenuOpen = false;
    bool m_bOpened = false;
    bool m_bClosed = false;
    std::thread m_slideThread;
    std::atomic<bool> m_bStopSlide{false};
    std::atomic<bool> m_bSlideDone{false};
    std::atomic<int> m_nSlideStep{-1000};
};
