#pragma once

#include "framework/handler.h"

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

    IShownDay& m_shownDay;
};
