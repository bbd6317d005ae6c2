#include "app/occurrence_delete.h"

#include "app/day_view.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "store/series_commands.h"
#include "store/system_time.h"

#include <commctrl.h>

CDeleteOccurrenceDlg::CDeleteOccurrenceDlg(HWND parent)
    : fw::Dialog(IDD_DELETE_OCCURRENCE, parent) {}

BOOL CDeleteOccurrenceDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    // Enter then deletes nothing: each deletion is a button the user picks.
    SetFocus(GetDlgItem(IDCANCEL));
    return FALSE;
}

bool CDeleteOccurrenceDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
    if (msg != WM_COMMAND || HIWORD(wp) != BN_CLICKED ||
        (LOWORD(wp) != IDC_DELETE_ONE && LOWORD(wp) != IDC_DELETE_SERIES))
        return false;
    EndDialog(LOWORD(wp));
    result = 0;
    return true;
}

COccurrenceDelete::COccurrenceDelete(CDayView& dayView) : m_dayView(dayView) {}

bool COccurrenceDelete::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (!IsDeleteRequest(msg, wp, lp) || m_dayView.RowSeriesDay(m_dayView.SelectedRow()).empty())
        return false;
    if (!m_bAsking)
        DeleteSelectedOccurrence();
    result = 0;
    return true;
}

bool COccurrenceDelete::IsDeleteRequest(UINT msg, WPARAM wp, LPARAM lp) const {
    if (msg == WM_COMMAND)
        return LOWORD(wp) == ID_LIST_DELETE;
    if (msg != WM_NOTIFY)
        return false;
    const auto* header = reinterpret_cast<const NMHDR*>(lp);
    return header->idFrom == IDC_APPOINTMENT_LIST && header->code == LVN_KEYDOWN &&
           reinterpret_cast<const NMLVKEYDOWN*>(lp)->wVKey == VK_DELETE;
}

void COccurrenceDelete::DeleteSelectedOccurrence() {
    const int row = m_dayView.SelectedRow();
    const std::string seriesDay = m_dayView.RowSeriesDay(row);
    const std::string keyName = m_dayView.RowKeyName(row);
    SYSTEMTIME shown{};
    if (!m_dayView.GetShownDay(shown))
        return;
    m_bAsking = true;
    CDeleteOccurrenceDlg question(Hwnd());
    const INT_PTR answer = question.DoModal();
    m_bAsking = false;
    if (answer == IDC_DELETE_ONE) {
        if (SkipOccurrence(seriesDay, keyName, DateOf(shown)) == SkipResult::Failed)
            fw::ShowNotice(Hwnd(), "Unable to delete appointment");
    } else if (answer == IDC_DELETE_SERIES) {
        if (!DeleteSeries(seriesDay, keyName))
            fw::ShowNotice(Hwnd(), "Unable to delete appointment");
    } else {
        return;
    }
    // The other days' rows of the series are the store's to list anew.
    m_dayView.RefreshShownDay();
}
