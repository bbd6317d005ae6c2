#include "framework/dialog.h"

#include "framework/app.h"
#include "framework/display.h"

#include <stdexcept>

namespace fw {

Dialog::Dialog(UINT templateId, HWND parent) : m_nTemplateId(templateId), m_hParent(parent) {}

Dialog::~Dialog() {
    if (m_hWnd != nullptr && IsWindow(m_hWnd)) {
        // The window must not call back into a half-destroyed object.
        HWND hwnd = m_hWnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        m_hWnd = nullptr;
        ::DestroyWindow(hwnd);
    }
    ReleaseHandlers();
}

void Dialog::TakeHandler(std::unique_ptr<Handler> handler, Chain where) {
    if (FirstHandler([&](Handler& other) { return other.Timers().Overlaps(handler->Timers()); }))
        throw std::logic_error("two handlers of one window claim the same timer id");
    handler->Attach(*this);
    (where == Chain::BeforeOwn ? m_handlersBefore : m_handlersAfter).push_back(std::move(handler));
}

void Dialog::ReleaseHandlers() {
    // The last added may use those added before it.
    while (!m_handlersAfter.empty())
        m_handlersAfter.pop_back();
    while (!m_handlersBefore.empty())
        m_handlersBefore.pop_back();
}

bool Dialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_TIMER) {
        if (Handler* owner = FirstHandler([wp](Handler& handler) {
                return handler.Timers().Contains(static_cast<UINT_PTR>(wp));
            }))
            return owner->OnMessage(msg, wp, lp, result);
    }
    for (const std::unique_ptr<Handler>& handler : m_handlersBefore)
        if (handler->OnMessage(msg, wp, lp, result))
            return true;
    if (OnMessage(msg, wp, lp, result))
        return true;
    for (const std::unique_ptr<Handler>& handler : m_handlersAfter)
        if (handler->OnMessage(msg, wp, lp, result))
            return true;
    return false;
}

void Dialog::FirstIdle() {
    OnFirstIdle();
    ForEachHandler([](Handler& handler) { handler.OnFirstIdle(); });
}

HWND Dialog::ResolveOwner() const {
    if (m_hParent != nullptr)
        return m_hParent;
    // A dialog that names no owner belongs to the main window, but only on the
    // main window's own thread: an owner on another thread would tie the two
    // threads' input together.
    App* app = App::Current();
    if (app == nullptr || app->m_pMainWnd == nullptr || app->m_pMainWnd == this)
        return nullptr;
    if (GetCurrentThreadId() != app->m_mainThreadId)
        return nullptr;
    HWND main = app->m_pMainWnd->GetSafeHwnd();
    return (main != nullptr && IsWindow(main)) ? main : nullptr;
}

void Dialog::CenterWindow(HWND owner) const {
    RECT window{};
    GetWindowRect(m_hWnd, &window);
    RECT area{};
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &area);
    } else {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        HMONITOR monitor =
            MonitorFromWindow(owner != nullptr ? owner : m_hWnd, MONITOR_DEFAULTTOPRIMARY);
        GetMonitorInfoW(monitor, &info);
        area = info.rcWork;
    }
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Dialog::Create(HWND parent) {
    m_hParent = parent;
    HWND hwnd =
        CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nTemplateId), parent,
                           &Dialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

INT_PTR Dialog::DoModal() {
    HWND owner = ResolveOwner();
    m_bContinueModal = true;
    m_nModalResult = -1;
    // The wide functions throughout, so that every character typed or pasted
    // reaches the controls whole, surrogate pairs included.
    HWND hwnd =
        CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nTemplateId), owner,
                           &Dialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) {
        m_bContinueModal = false;
        return -1;
    }
    const bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    if (ownerWasEnabled)
        EnableWindow(owner, FALSE);

    bool firstIdlePending = true;
    MSG msg{};
    while (m_bContinueModal && m_hWnd != nullptr) {
        if (firstIdlePending && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            firstIdlePending = false;
            if (m_bShowOnIdle && !IsWindowVisible(m_hWnd)) {
                ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
                // A window the user asked for comes up active, also when the
                // shell still holds the foreground (start-up, or a command
                // from the tray while the main window is hidden).
                SetForegroundWindow(m_hWnd);
                UpdateWindow(m_hWnd);
            }
            FirstIdle();
            continue;
        }
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Leave the quit message for the loops outside this one.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1)
            break;
        if (!PreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    m_bContinueModal = false;

    // Give activation back to the owner before this window goes away.
    if (ownerWasEnabled && IsWindow(owner))
        EnableWindow(owner, TRUE);
    if (m_hWnd != nullptr) {
        SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        ::DestroyWindow(m_hWnd);
    }
    return m_nModalResult;
}

void Dialog::EndDialog(INT_PTR result) {
    m_nModalResult = result;
    m_bContinueModal = false;
    // Wake the loop in case it is waiting for a message.
    if (m_hWnd != nullptr)
        PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

void Dialog::DestroyWindow() {
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
}

bool Dialog::UpdateData(bool saveAndValidate) {
    if (m_hWnd == nullptr)
        return false;
    DataExchange dx(m_hWnd, saveAndValidate);
    DoDataExchange(dx);
    ForEachHandler([&dx](Handler& handler) {
        if (!dx.Failed())
            handler.DoDataExchange(dx);
    });
    return !dx.Failed();
}

BOOL Dialog::PreTranslateMessage(MSG* msg) {
    if (m_hWnd == nullptr)
        return FALSE;
    if (FirstHandler([msg](Handler& handler) { return handler.PreTranslateMessage(msg) != FALSE; }))
        return TRUE;
    // Keyboard navigation (Tab, Enter, Escape, mnemonics) for this dialog,
    // after its shortcut keys.
    if (msg->hwnd != m_hWnd && !IsChild(m_hWnd, msg->hwnd))
        return FALSE;
    if (m_hAccel != nullptr && TranslateAcceleratorW(m_hWnd, m_hAccel, msg))
        return TRUE;
    return IsDialogMessageW(m_hWnd, msg);
}

BOOL Dialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void Dialog::OnOK() {
    if (UpdateData(true))
        EndDialog(IDOK);
}

void Dialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void Dialog::DoDataExchange(DataExchange&) {}

void Dialog::LoadAccelerators(UINT id) {
    // A table loaded from the program's resources is freed with the program.
    m_hAccel = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
}

void Dialog::OnDpiChanged(UINT) {}

void Dialog::OnFirstIdle() {}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

void Dialog::SetTimer(UINT_PTR id, UINT elapse) {
    if (m_hWnd == nullptr)
        return;
    if (GetWindowThreadProcessId(m_hWnd, nullptr) != GetCurrentThreadId()) {
        PostMessageW(m_hWnd, kSetTimerMessage, id, elapse);
        return;
    }
    if (::SetTimer(m_hWnd, id, elapse, nullptr) != 0)
        RecordTimer(id, elapse);
}

void Dialog::KillTimer(UINT_PTR id) {
    if (m_hWnd == nullptr)
        return;
    if (GetWindowThreadProcessId(m_hWnd, nullptr) != GetCurrentThreadId()) {
        PostMessageW(m_hWnd, kKillTimerMessage, id, 0);
        return;
    }
    ::KillTimer(m_hWnd, id);
    RecordTimer(id, std::nullopt);
}

void Dialog::RecordTimer(UINT_PTR id, std::optional<UINT> period) {
    std::lock_guard<std::mutex> lock(m_timerMutex);
    if (period)
        m_timers[id] = *period;
    else
        m_timers.erase(id);
}

bool Dialog::IsTimerRunning(UINT_PTR id) const {
    std::lock_guard<std::mutex> lock(m_timerMutex);
    return m_timers.count(id) != 0;
}

UINT Dialog::TimerPeriod(UINT_PTR id) const {
    std::lock_guard<std::mutex> lock(m_timerMutex);
    auto it = m_timers.find(id);
    return it == m_timers.end() ? 0 : it->second;
}

INT_PTR CALLBACK Dialog::StaticDialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = hwnd;
        self->m_dpi = DpiForWindow(hwnd);
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (self == nullptr)
        return FALSE;
    try {
        return self->DialogProc(msg, wp, lp);
    } catch (...) {
        // Nothing may unwind through the window system.
        return FALSE;
    }
}

INT_PTR Dialog::DialogProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: {
        RECT before{};
        GetWindowRect(m_hWnd, &before);
        BOOL focusDefault = OnInitDialog();
        RECT after{};
        GetWindowRect(m_hWnd, &after);
        if (m_bAutoCenter && EqualRect(&before, &after))
            CenterWindow(GetWindow(m_hWnd, GW_OWNER));
        return focusDefault;
    }
    case WM_NCDESTROY: {
        HWND hwnd = m_hWnd;
        m_hWnd = nullptr;
        m_bContinueModal = false;
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        {
            std::lock_guard<std::mutex> lock(m_timerMutex);
            m_timers.clear();
        }
        // The end of the main window is the end of the program.
        App* app = App::Current();
        if (app != nullptr && app->m_pMainWnd == this)
            PostQuitMessage(0);
        return FALSE;
    }
    case kSetTimerMessage:
        SetTimer(wp, static_cast<UINT>(lp));
        return TRUE;
    case kKillTimerMessage:
        KillTimer(wp);
        return TRUE;
    case kDpiChangedMessage: {
        // Moved to a monitor of another DPI: the suggested rectangle keeps
        // the window's size in inches there; what the window made in pixels
        // itself (fonts, pictures, columns) is made again. The dialog manager
        // then lays out the template's own controls (per-monitor v2).
        m_dpi = HIWORD(wp) != 0 ? HIWORD(wp) : kDefaultDpi;
        if (const auto* suggested = reinterpret_cast<const RECT*>(lp))
            SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        OnDpiChanged(m_dpi);
        ForEachHandler([this](Handler& handler) { handler.OnDpiChanged(m_dpi); });
        return FALSE;
    }
    case WM_DESTROY:
        // Last added first, as they are let go; the window's own routes
        // hear it after them.
        for (auto it = m_handlersAfter.rbegin(); it != m_handlersAfter.rend(); ++it)
            (*it)->OnDestroy();
        for (auto it = m_handlersBefore.rbegin(); it != m_handlersBefore.rend(); ++it)
            (*it)->OnDestroy();
        break;
    default:
        break;
    }

    LRESULT result = 0;
    if (Dispatch(msg, wp, lp, result)) {
        // These messages hand their result back directly, not in DWLP_MSGRESULT.
        if ((msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) || msg == WM_QUERYDRAGICON ||
            msg == WM_COMPAREITEM || msg == WM_VKEYTOITEM || msg == WM_CHARTOITEM)
            return static_cast<INT_PTR>(result);
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }

    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wp) <= 1) {
            switch (LOWORD(wp)) {
            case IDOK:
                OnOK();
                return TRUE;
            case IDCANCEL:
                OnCancel();
                return TRUE;
            case kHelpCommandId:
                if (App* app = App::Current())
                    app->OnHelp(m_hWnd);
                return TRUE;
            default:
                break;
            }
        }
        break;
    case WM_HELP:
        // F1 anywhere in the dialog is the Help command.
        if (App* app = App::Current())
            app->OnHelp(m_hWnd);
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
    default:
        break;
    }
    return FALSE;
}

} // namespace fw
