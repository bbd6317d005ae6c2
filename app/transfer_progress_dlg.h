#pragma once

#include "framework/dialog.h"
#include "store/transfer_progress.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Runs a long export or import on a worker thread while a small modal box
// shows how far it has come: events read, appointments filed, and a Cancel
// button that asks the work to stop between two appointments. The window's
// thread keeps answering meanwhile, so the main window paints, the tray icon
// answers and the reminders come. The worker owns no window; no exception
// leaves it; its end comes back to the box as a posted message.
class CTransferProgressDlg : public fw::Dialog, private ITransferProgress {
public:
    enum class Kind { Export, Import };
    // `work` runs on the worker with this box as its progress; it returns
    // what went wrong that it could not say itself ("" when nothing).
    CTransferProgressDlg(HWND owner, Kind kind,
                         std::function<std::string(ITransferProgress&)> work);
    ~CTransferProgressDlg() override;

    // Why the work failed outside what it reports (an exception), or "".
    const std::string& Failure() const { return m_failure; }
    // Whether Cancel was pressed.
    bool Cancelled() const { return m_stop.load(); }
    // As Cancel: the work stops at its next appointment, then the box closes.
    void RequestStop() { OnCancel(); }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    // ITransferProgress, called on the worker.
    void Report(const TransferCounts& counts) override;
    bool StopRequested() override { return m_stop.load(); }

    void OnRefresh(UINT_PTR id);
    std::optional<LRESULT> OnWorkDone(WPARAM, LPARAM);
    void Refresh();
    void StopWorker();

    Kind m_kind;
    std::function<std::string(ITransferProgress&)> m_work;
    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    std::mutex m_countsMutex;
    TransferCounts m_counts;
    std::string m_failure;
};
