#include "app/transfer_progress_dlg.h"

#include "framework/utf_text.h"
#include "res/resource.h"

#include <commctrl.h>

#include <exception>

namespace {

// Posted by the worker to the box when the work has ended.
constexpr UINT kWorkDoneMessage = WM_APP + 0x40;
// How often the box shows the counts: often enough to look alive, seldom
// enough to cost the worker nothing.
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 150;

std::wstring Counted(std::size_t n) {
    return std::to_wstring(n);
}

} // namespace

CTransferProgressDlg::CTransferProgressDlg(HWND owner, Kind kind,
                                           std::function<std::string(ITransferProgress&)> work)
    : fw::Dialog(IDD_TRANSFER_PROGRESS, owner), m_kind(kind), m_work(std::move(work)) {}

CTransferProgressDlg::~CTransferProgressDlg() {
    StopWorker();
}

void CTransferProgressDlg::StopWorker() {
    if (!m_worker.joinable())
        return;
    m_stop = true;
    m_worker.join();
}

BOOL CTransferProgressDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    SetWindowTextW(m_hWnd, m_kind == Kind::Import ? L"Importing Calendar" : L"Exporting Calendar");
    SendDlgItemMessageW(m_hWnd, IDC_TRANSFER_BAR, PBM_SETRANGE32, 0, 1000);
    Refresh();
    const HWND box = m_hWnd;
    try {
        m_worker = std::thread([this, box] {
            std::string failure;
            try {
                failure = m_work(*this);
            } catch (const std::exception& e) {
                failure = e.what();
            } catch (...) {
                failure = "an unexpected error";
            }
            {
                std::lock_guard<std::mutex> lock(m_countsMutex);
                m_failure = std::move(failure);
            }
            PostMessageW(box, kWorkDoneMessage, 0, 0);
        });
    } catch (const std::exception& e) {
        m_failure = e.what();
        PostMessageW(box, kWorkDoneMessage, 0, 0);
        return TRUE;
    }
    SetTimer(kRefreshTimer, kRefreshMs);
    return TRUE;
}

void CTransferProgressDlg::OnCancel() {
    // The work stops at its next appointment and the box closes when it has.
    m_stop = true;
    EnableWindow(GetDlgItem(IDCANCEL), FALSE);
    SetDlgItemTextW(m_hWnd, IDC_TRANSFER_FILED, L"Stopping...");
}

bool CTransferProgressDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CTransferProgressDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnTimer<Self>(&Self::OnRefresh),
        fw::OnMessage<Self>(kWorkDoneMessage, &Self::OnWorkDone),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

void CTransferProgressDlg::Report(const TransferCounts& counts) {
    std::lock_guard<std::mutex> lock(m_countsMutex);
    m_counts = counts;
}

void CTransferProgressDlg::OnRefresh(UINT_PTR id) {
    if (id == kRefreshTimer)
        Refresh();
}

void CTransferProgressDlg::Refresh() {
    TransferCounts counts;
    {
        std::lock_guard<std::mutex> lock(m_countsMutex);
        counts = m_counts;
    }
    std::wstring events, filed;
    int permille = 0;
    if (m_kind == Kind::Export) {
        events = L"Appointments read: " + Counted(counts.appointments);
        filed = counts.appointments == 0 ? L"Reading the calendar..." : L"Writing the file...";
    } else {
        events = L"Events read: " + Counted(counts.events);
        if (counts.eventsInFile != 0)
            events += L" of " + Counted(counts.eventsInFile);
        if (counts.appointmentsTotal != 0) {
            filed = L"Appointments filed: " + Counted(counts.appointments) + L" of " +
                    Counted(counts.appointmentsTotal);
            permille = static_cast<int>(counts.appointments * 1000 / counts.appointmentsTotal);
        } else {
            filed = counts.eventsInFile == 0 ? L"Checking the file..." : L"Planning the events...";
            if (counts.eventsInFile != 0)
                permille = static_cast<int>(counts.events * 1000 / counts.eventsInFile);
        }
    }
    SetDlgItemTextW(m_hWnd, IDC_TRANSFER_EVENTS, events.c_str());
    if (!m_stop.load())
        SetDlgItemTextW(m_hWnd, IDC_TRANSFER_FILED, filed.c_str());
    SendDlgItemMessageW(m_hWnd, IDC_TRANSFER_BAR, PBM_SETPOS, permille, 0);
}

std::optional<LRESULT> CTransferProgressDlg::OnWorkDone(WPARAM, LPARAM) {
    if (m_worker.joinable())
        m_worker.join();
    KillTimer(kRefreshTimer);
    EndDialog(IDOK);
    return 0;
}
