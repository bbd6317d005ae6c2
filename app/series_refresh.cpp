#include "app/series_refresh.h"

#include "app/day_view.h"
#include "store/series_catalog.h"
#include "store/system_time.h"

namespace {

constexpr UINT kSeriesReadMessage = WM_APP + 0x160;

} // namespace

CSeriesRefresh::CSeriesRefresh(CDayView& dayView) : m_dayView(dayView) {}

CSeriesRefresh::~CSeriesRefresh() {
    Unsubscribe();
}

void CSeriesRefresh::DoDataExchange(fw::DataExchange&) {
    // The window exists from its first exchange on, before its first list:
    // no fill can come unheard between the two.
    if (m_subscription != 0 || Hwnd() == nullptr)
        return;
    const HWND window = Hwnd();
    m_subscription = CSeriesCatalog::Shared().Subscribe(
        [window] { PostMessageW(window, kSeriesReadMessage, 0, 0); });
}

void CSeriesRefresh::OnDestroy() {
    Unsubscribe();
}

void CSeriesRefresh::Unsubscribe() {
    if (m_subscription != 0)
        CSeriesCatalog::Shared().Unsubscribe(m_subscription);
    m_subscription = 0;
}

bool CSeriesRefresh::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) {
    if (msg != kSeriesReadMessage)
        return false;
    result = 0;
    SYSTEMTIME shown{};
    if (!m_dayView.GetShownDay(shown) ||
        !CSeriesCatalog::Shared().ChangedSinceListed(DateOf(shown), FormatDateText(shown)))
        return true;
    // The row the user had selected stays selected when it is still there.
    const std::string selected = m_dayView.RowKeyName(m_dayView.SelectedRow());
    m_dayView.RefreshShownDay();
    if (!selected.empty())
        m_dayView.SelectRowOf(selected);
    ++m_nRefreshes;
    return true;
}
