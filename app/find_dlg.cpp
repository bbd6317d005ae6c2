#include "app/find_dlg.h"

#include "calendar/text_search.h"
#include "framework/clock.h"
#include "framework/utf_text.h"
#include "res/resource.h"
#include "store/system_time.h"
#include "store/word_catalog.h"

#include <commctrl.h>

#include <algorithm>

namespace {

// More than anyone reads; a search that finds more lists these.
constexpr std::size_t kMostResults = 200;

std::wstring ShortDate(const CalendarDate& date) {
    const SYSTEMTIME time = ToSystemTime(date);
    wchar_t text[80] = {};
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, text, 80,
                        nullptr) == 0)
        return fw::Widen(FormatDateText(date));
    return text;
}

std::string ShortDatePicture() {
    wchar_t picture[80] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SSHORTDATE, picture, 80) == 0)
        return "M/d/yyyy";
    return fw::Narrow(picture);
}

void SetCell(HWND list, int row, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int AddRow(HWND list, const std::wstring& first) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(first.c_str());
    return static_cast<int>(
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

} // namespace

CFindDlg::CFindDlg(CWordCatalog& words, HWND owner)
    : fw::Dialog(IDD_FIND, owner), m_words(words), m_owner(owner) {
    m_bAutoCenter = false;
}

BOOL CFindDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    const HWND list = GetDlgItem(IDC_FIND_RESULTS);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    const wchar_t* headings[] = {L"Date", L"Event", L"Notes"};
    for (int column = 0; column < 3; ++column) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_SUBITEM;
        col.pszText = const_cast<wchar_t*>(headings[column]);
        col.iSubItem = column;
        SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&col));
    }
    SetColumnWidths();
    PlaceBesideOwner();
    Search();
    return TRUE;
}

void CFindDlg::SetColumnWidths() {
    const HWND list = GetDlgItem(IDC_FIND_RESULTS);
    RECT client{};
    GetClientRect(list, &client);
    const int width = client.right - client.left -
                      MulDiv(GetSystemMetrics(SM_CXVSCROLL), static_cast<int>(Dpi()), 96);
    const int date = MulDiv(std::max(width, 0), 30, 100);
    const int event = MulDiv(std::max(width, 0), 20, 100);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(date, 0));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(event, 0));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(std::max(width - date - event, 0), 0));
}

void CFindDlg::OnDpiChanged(UINT) {
    SetColumnWidths();
}

void CFindDlg::PlaceBesideOwner() {
    RECT owner{}, box{};
    if (!IsWindow(m_owner) || !GetWindowRect(m_owner, &owner) || !GetWindowRect(m_hWnd, &box))
        return;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(m_owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    // To the right of the main window, else to its left, else over its right edge.
    int x = owner.right;
    if (x + width > work.right)
        x = owner.left - width >= work.left ? owner.left - width : work.right - width;
    int y =
        std::clamp(static_cast<int>(owner.top), static_cast<int>(work.top),
                   std::max(static_cast<int>(work.top), static_cast<int>(work.bottom) - height));
    SetWindowPos(m_hWnd, nullptr, std::max(x, static_cast<int>(work.left)), y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CFindDlg::Search() {
    if (m_hWnd == nullptr)
        return;
    const HWND edit = GetDlgItem(IDC_FIND_TEXT);
    const int length = GetWindowTextLengthW(edit);
    std::wstring typed(static_cast<std::size_t>(length) + 1, L'\0');
    typed.resize(static_cast<std::size_t>(GetWindowTextW(edit, typed.data(), length + 1)));
    const std::string words = fw::Narrow(typed);
    const CalendarDate today = DateOf(fw::LocalNow());

    m_results.clear();
    ++m_nSearches;
    const HWND list = GetDlgItem(IDC_FIND_RESULTS);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    if (const std::optional<CalendarDate> date = ParseTypedDate(words, ShortDatePicture())) {
        AddRow(list, L"Go to " + ShortDate(*date));
        m_results.push_back({*date, {}, {}});
    }
    const std::vector<CWordCatalog::Found> found = m_words.Find(words, today, kMostResults);
    for (const CWordCatalog::Found& hit : found) {
        const int row = AddRow(list, ShortDate(hit.date) + (hit.past ? L" (past)" : L""));
        SetCell(list, row, 1, fw::Widen(hit.event));
        SetCell(list, row, 2, fw::Widen(hit.notes));
        m_results.push_back({hit.date, hit.dayKey, hit.keyName});
    }
    if (!m_results.empty())
        SelectResult(0);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);

    std::wstring status;
    if (!m_words.IsReady())
        status = L"Searching...";
    else if (!words.empty())
        status = found.empty() ? L"Nothing found" : std::to_wstring(found.size()) + L" found";
    SetDlgItemTextW(m_hWnd, IDC_FIND_STATUS, status.c_str());
}

void CFindDlg::SelectResult(int index) {
    const HWND list = GetDlgItem(IDC_FIND_RESULTS);
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&state));
    SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
}

void CFindDlg::Choose(int row) {
    if (row < 0 || row >= static_cast<int>(m_results.size()) || !onShow)
        return;
    onShow(m_results[static_cast<std::size_t>(row)]);
}

void CFindDlg::OnOK() {
    const int selected = static_cast<int>(SendMessageW(
        GetDlgItem(IDC_FIND_RESULTS), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    Choose(selected >= 0 ? selected : 0);
}

void CFindDlg::OnCancel() {
    ShowWindow(SW_HIDE);
    if (IsWindow(m_owner))
        SetActiveWindow(m_owner);
}

void CFindDlg::OnTextChanged() {
    Search();
}

LRESULT CFindDlg::OnResultsDoubleClick(NMHDR* header) {
    Choose(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
    return 0;
}

std::optional<LRESULT> CFindDlg::OnSize(WPARAM, LPARAM lp) {
    // The list takes what the box gains; the status and buttons keep to the bottom.
    const int width = LOWORD(lp), height = HIWORD(lp);
    RECT unit{0, 0, 7, 14};
    MapDialogRect(m_hWnd, &unit);
    const int margin = unit.right, button = unit.bottom;
    RECT list{};
    GetWindowRect(GetDlgItem(IDC_FIND_RESULTS), &list);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&list), 2);
    const int bottom = height - margin - button - margin;
    SetWindowPos(GetDlgItem(IDC_FIND_RESULTS), nullptr, 0, 0, std::max(width - 2 * margin, 0),
                 std::max(bottom - static_cast<int>(list.top), 0), SWP_NOMOVE | SWP_NOZORDER);
    RECT edit{};
    GetWindowRect(GetDlgItem(IDC_FIND_TEXT), &edit);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&edit), 2);
    SetWindowPos(GetDlgItem(IDC_FIND_TEXT), nullptr, 0, 0,
                 std::max(width - margin - static_cast<int>(edit.left), 0), edit.bottom - edit.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    const int top = height - margin - button;
    for (int id : {IDOK, IDCANCEL, IDC_FIND_STATUS}) {
        RECT r{};
        GetWindowRect(GetDlgItem(id), &r);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        const int w = r.right - r.left;
        const int x = id == IDCANCEL ? width - margin - w
                      : id == IDOK   ? width - 2 * margin - 2 * w
                                     : static_cast<int>(r.left);
        const int y = id == IDC_FIND_STATUS ? top + (button - (r.bottom - r.top)) / 2 : top;
        SetWindowPos(GetDlgItem(id), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    SetColumnWidths();
    return std::nullopt;
}

bool CFindDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CFindDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnControl<Self>(IDC_FIND_TEXT, EN_CHANGE, &Self::OnTextChanged),
        fw::OnNotify<Self>(IDC_FIND_RESULTS, NM_DBLCLK, &Self::OnResultsDoubleClick),
        fw::OnMessage<Self>(WM_SIZE, &Self::OnSize),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}
