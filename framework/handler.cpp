#include "framework/handler.h"

#include "framework/display.h"

namespace fw {

bool Handler::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

BOOL Handler::PreTranslateMessage(MSG*) {
    return FALSE;
}

void Handler::DoDataExchange(DataExchange&) {}

void Handler::OnFirstIdle() {}

void Handler::OnDpiChanged(UINT) {}

void Handler::OnDestroy() {}

UINT Handler::Dpi() const {
    return m_host != nullptr ? m_host->Dpi() : kDefaultDpi;
}

bool Handler::UpdateData(bool saveAndValidate) {
    if (Hwnd() == nullptr)
        return false;
    DataExchange dx(Hwnd(), saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

void Handler::SetTimer(UINT_PTR id, UINT elapse) {
    if (m_host != nullptr && m_timers.Contains(id))
        m_host->SetTimer(id, elapse);
}

void Handler::KillTimer(UINT_PTR id) {
    if (m_host != nullptr && m_timers.Contains(id))
        m_host->KillTimer(id);
}

bool Handler::IsTimerRunning(UINT_PTR id) const {
    return m_host != nullptr && m_timers.Contains(id) && m_host->IsTimerRunning(id);
}

} // namespace fw
