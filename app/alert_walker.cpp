#include "app/alert_walker.h"

#include "framework/clock.h"
#include "store/calendar_scanner.h"
#include "store/system_time.h"

namespace {

// A store that cannot be opened is looked for again this often; the alerts
// known before stay.
constexpr DWORD kRetryMs = 60 * 1000;

} // namespace

CAlertWalker::CAlertWalker(CCalendarScanner& scanner)
    : m_scanner(scanner), m_wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

CAlertWalker::~CAlertWalker() {
    Stop();
}

void CAlertWalker::Start(HWND window, UINT message) {
    if (m_thread.joinable() || m_bStop.load() || window == nullptr)
        return;
    m_hWindow = window;
    m_message = message;
    try {
        m_thread = std::thread(&CAlertWalker::Main, this);
    } catch (...) {
        // No thread: no alerts this run, the rest of the program goes on.
    }
}

void CAlertWalker::Wake() {
    if (m_thread.joinable() && m_wake)
        SetEvent(m_wake.get());
}

void CAlertWalker::Stop() {
    m_bStop = true;
    if (m_wake)
        SetEvent(m_wake.get());
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<std::vector<IndexedAlert>> CAlertWalker::Take() {
    std::optional<std::vector<IndexedAlert>> alerts;
    std::lock_guard<std::mutex> lock(m_inboxMutex);
    alerts.swap(m_inbox);
    return alerts;
}

void CAlertWalker::Main() {
    try {
        std::uint64_t seen = 0;
        bool read = true;
        for (;;) {
            bool failed = false;
            if (read) {
                const SYSTEMTIME now = fw::LocalNow();
                std::optional<std::vector<IndexedAlert>> alerts =
                    m_scanner.Alerts(DateOf(now), m_bStop);
                if (m_bStop.load())
                    return;
                if (alerts) {
                    seen = m_scanner.Generation();
                    {
                        std::lock_guard<std::mutex> lock(m_inboxMutex);
                        m_inbox = std::move(alerts);
                    }
                    PostMessageW(m_hWindow, m_message, 0, 0);
                } else {
                    failed = true;
                }
            }
            // The change notification stays set while the store cannot be
            // opened; then only a later look finds it again.
            const HANDLE handles[] = {m_wake.get(), m_scanner.ChangeEvent(),
                                      m_scanner.WalkedEvent()};
            const DWORD waited = WaitForMultipleObjects(failed ? 1 : 3, handles, FALSE,
                                                        failed ? kRetryMs : INFINITE);
            if (m_bStop.load() || waited == WAIT_FAILED)
                return;
            // Another thread's walk took in what changed: its index is the
            // news, unless this thread has it already.
            read = waited != WAIT_OBJECT_0 + 2 || m_scanner.Generation() != seen;
        }
    } catch (...) {
        // Nothing may leave the thread.
    }
}
