#include "app/find_commands.h"

#include "app/day_view.h"
#include "app/find_dlg.h"
#include "res/resource.h"
#include "store/system_time.h"
#include "store/word_catalog.h"

namespace {

// The worker read the store's words anew.
constexpr UINT kWordsReadMessage = WM_APP + 0x170;

} // namespace

CFindCommands::CFindCommands(CDayView& dayView)
    : m_dayView(dayView), m_words(std::make_unique<CWordCatalog>()) {}

CFindCommands::~CFindCommands() {
    Close();
}

void CFindCommands::OnDestroy() {
    Close();
}

void CFindCommands::Close() {
    if (m_subscription != 0)
        m_words->Unsubscribe(m_subscription);
    m_subscription = 0;
    m_words->Stop();
    if (m_box)
        m_box->DestroyWindow();
    m_box.reset();
}

void CFindCommands::OnFind() {
    if (!m_box) {
        if (m_subscription == 0 && Hwnd() != nullptr) {
            const HWND window = Hwnd();
            m_subscription =
                m_words->Subscribe([window] { PostMessageW(window, kWordsReadMessage, 0, 0); });
        }
        m_words->Start();
        auto box = std::make_unique<CFindDlg>(*m_words, Hwnd());
        box->onShow = [this](const CFindDlg::Target&) {
            const HWND list = ::GetDlgItem(m_box->GetSafeHwnd(), IDC_FIND_RESULTS);
            Show(static_cast<int>(
                SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
        };
        if (!box->Create(Hwnd()))
            return;
        m_box = std::move(box);
    } else {
        m_box->PlaceBesideOwner();
    }
    m_box->ShowWindow(SW_SHOW);
    SetActiveWindow(m_box->GetSafeHwnd());
    const HWND edit = m_box->GetDlgItem(IDC_FIND_TEXT);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
}

void CFindCommands::OnFindNext() {
    Step(1);
}

void CFindCommands::OnFindPrevious() {
    Step(-1);
}

void CFindCommands::Step(int direction) {
    if (!m_box) {
        OnFind();
        return;
    }
    // The appointments found, without "Go to <date>".
    const auto& results = m_box->Results();
    int first = 0;
    while (first < static_cast<int>(results.size()) && results[first].dayKey.empty())
        ++first;
    const int count = static_cast<int>(results.size()) - first;
    if (count <= 0) {
        MessageBeep(MB_OK);
        return;
    }
    if (m_currentSearch != m_box->Searches())
        m_current = -1;
    int at = m_current < first ? (direction > 0 ? first - 1 : first) : m_current;
    at = first + ((at - first + direction) % count + count) % count;
    m_box->SelectResult(at);
    Show(at);
}

void CFindCommands::Show(int index) {
    if (!m_box || index < 0 || index >= static_cast<int>(m_box->Results().size()))
        return;
    const CFindDlg::Target target = m_box->Results()[static_cast<std::size_t>(index)];
    m_current = index;
    m_currentSearch = m_box->Searches();
    m_dayView.GoToDay(ToSystemTime(target.date));
    if (!target.dayKey.empty())
        m_dayView.SelectRowOf(target.keyName, target.dayKey);
}

BOOL CFindCommands::PreTranslateMessage(MSG* msg) {
    if (!m_box || m_box->GetSafeHwnd() == nullptr)
        return FALSE;
    const HWND box = m_box->GetSafeHwnd();
    if (msg->hwnd != box && !IsChild(box, msg->hwnd))
        return FALSE;
    // F3 in the box steps as it does in the main window.
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_F3) {
        Step(GetKeyState(VK_SHIFT) < 0 ? -1 : 1);
        return TRUE;
    }
    // Up and Down in the words move through the results, as in a list.
    const HWND edit = m_box->GetDlgItem(IDC_FIND_TEXT);
    if (msg->message == WM_KEYDOWN && msg->hwnd == edit &&
        (msg->wParam == VK_UP || msg->wParam == VK_DOWN || msg->wParam == VK_PRIOR ||
         msg->wParam == VK_NEXT)) {
        SendMessageW(m_box->GetDlgItem(IDC_FIND_RESULTS), WM_KEYDOWN, msg->wParam, msg->lParam);
        return TRUE;
    }
    return m_box->PreTranslateMessage(msg);
}

bool CFindCommands::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    // The window goes to the notification area: the box goes with it.
    if (msg == WM_SHOWWINDOW && wp == FALSE && m_box && m_box->GetSafeHwnd() != nullptr)
        m_box->ShowWindow(SW_HIDE);
    if (msg == kWordsReadMessage) {
        if (m_box && IsWindowVisible(m_box->GetSafeHwnd()))
            m_box->Search();
        result = 0;
        return true;
    }
    using Self = CFindCommands;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCommand<Self>(ID_FILE_FIND, &Self::OnFind),
        fw::OnCommand<Self>(ID_FIND_NEXT, &Self::OnFindNext),
        fw::OnCommand<Self>(ID_FIND_PREVIOUS, &Self::OnFindPrevious),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}
