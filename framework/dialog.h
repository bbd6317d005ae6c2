#pragma once

#include "framework/data_exchange.h"
#include "framework/handler.h"
#include "framework/routing.h"

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace fw {

// A dialog built from a numbered template: modal with its own message loop, or
// modeless for tests. Derived classes route messages through OnMessage, which
// they implement with their routing table; handlers added to the dialog are
// asked before or after that table (see Handler).
class Dialog : public HandlerHost {
public:
    explicit Dialog(UINT templateId, HWND parent = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the dialog hidden, runs OnInitDialog, shows it when its queue is
    // first idle (then calls OnFirstIdle) and runs until EndDialog, its
    // destruction or WM_QUIT.
    INT_PTR DoModal();
    // Modeless: created and initialised, but not shown.
    bool Create(HWND parent);
    void EndDialog(INT_PTR result);
    void DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND Hwnd() const override { return m_hWnd; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    bool UpdateData(bool saveAndValidate = true);
    void ShowWindow(int command) const { ::ShowWindow(m_hWnd, command); }
    bool IsModalRunning() const { return m_bContinueModal; }
    INT_PTR ModalResult() const { return m_nModalResult; }

    // Window timers. The window's own thread sets them; a call from any other
    // thread is handed to that thread, since a timer belongs to the thread that
    // owns its window. The set periods are kept so they can be looked at.
    void SetTimer(UINT_PTR id, UINT elapse) override;
    void KillTimer(UINT_PTR id) override;
    bool IsTimerRunning(UINT_PTR id) const override;
    UINT TimerPeriod(UINT_PTR id) const;

    // The handlers first, then the dialog's shortcut keys and keyboard
    // navigation.
    virtual BOOL PreTranslateMessage(MSG* msg);

    // The dots per inch of the monitor the window is on, as it last heard.
    UINT Dpi() const override { return m_dpi; }

    // Where a handler is asked: before the dialog's own routing table, or after it.
    enum class Chain { BeforeOwn, AfterOwn };
    // Takes a handler into the chain, behind those already on its side of the
    // dialog's own table; added before the window is created. The dialog owns
    // it, and lets it go after its window, last added first. Throws
    // std::logic_error when its timer ids overlap another handler's.
    template <class H> H& AddHandler(std::unique_ptr<H> handler, Chain where = Chain::BeforeOwn) {
        H& added = *handler;
        TakeHandler(std::move(handler), where);
        return added;
    }
    // The first handler of type H in the chain, or null.
    template <class H> H* FindHandler() const {
        return dynamic_cast<H*>(
            FirstHandler([](Handler& handler) { return dynamic_cast<H*>(&handler) != nullptr; }));
    }

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(DataExchange& dx);
    // Once per modal run, when its queue is first idle: after the window was
    // shown, or at that point when it is not to be shown. The handlers hear
    // it after the dialog.
    virtual void OnFirstIdle();
    // The derived class's routing table; true when the message was handled.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // The window moved to a monitor of another DPI (Dpi() is the new one):
    // make again whatever was made in pixels. The handlers hear it after the
    // dialog.
    virtual void OnDpiChanged(UINT dpi);
    // Shortcut keys from the accelerator table `id`, handled before the
    // dialog's own keyboard navigation.
    void LoadAccelerators(UINT id);

    // Centre the window after OnInitDialog unless OnInitDialog placed it.
    bool m_bAutoCenter = true;
    // Show the window when the modal loop is first idle.
    bool m_bShowOnIdle = true;
    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR DialogProc(UINT msg, WPARAM wp, LPARAM lp);
    HWND ResolveOwner() const;
    void CenterWindow(HWND owner) const;
    void RecordTimer(UINT_PTR id, std::optional<UINT> period);
    void TakeHandler(std::unique_ptr<Handler> handler, Chain where);
    // The first handler, in the chain's order, for which `test` is true.
    template <class Test> Handler* FirstHandler(Test&& test) const {
        for (const auto* side : {&m_handlersBefore, &m_handlersAfter})
            for (const std::unique_ptr<Handler>& handler : *side)
                if (test(*handler))
                    return handler.get();
        return nullptr;
    }
    template <class Action> void ForEachHandler(Action&& action) const {
        FirstHandler([&](Handler& handler) {
            action(handler);
            return false;
        });
    }
    // The handlers before the dialog's own table, that table, the handlers
    // after it; a timer goes to the handler that owns its id alone.
    bool Dispatch(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    void FirstIdle();
    void ReleaseHandlers();

    UINT m_nTemplateId;
    HWND m_hParent;
    HACCEL m_hAccel = nullptr;
    UINT m_dpi = 96;
    bool m_bContinueModal = false;
    INT_PTR m_nModalResult = -1;
    mutable std::mutex m_timerMutex;
    std::map<UINT_PTR, UINT> m_timers;
    std::vector<std::unique_ptr<Handler>> m_handlersBefore;
    std::vector<std::unique_ptr<Handler>> m_handlersAfter;
};

// Private messages by which another thread hands a timer call to the window's
// own thread.
inline constexpr UINT kSetTimerMessage = WM_APP + 0x3F0;
inline constexpr UINT kKillTimerMessage = WM_APP + 0x3F1;

} // namespace fw
