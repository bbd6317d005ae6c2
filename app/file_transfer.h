#pragma once

#include "framework/handler.h"

class CTransferProgressDlg;
class IShownDay;

// The File menu's Export... and Import...: the whole calendar to and from an
// iCalendar file chosen in the system's file dialogs, with a summary of what
// was done and what was left out.
class CFileTransfer : public fw::Handler {
public:
    explicit CFileTransfer(IShownDay& shownDay);
    ~CFileTransfer() override;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void OnExportCalendar();
    void OnImportCalendar();
    // Runs the box over the work; an Unload asked for meanwhile comes after.
    void RunTransfer(CTransferProgressDlg& progress);

    IShownDay& m_shownDay;
    // The box of the export or import under way, while one runs.
    CTransferProgressDlg* m_running = nullptr;
    // An Unload that came while one ran: it stopped the work, and is asked
    // again once the work has ended and its summary was read.
    UINT m_unloadAfter = 0;
};
