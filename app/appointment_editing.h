#pragma once

#include "framework/handler.h"

#include <windows.h>

#include <memory>

class CDayView;
class CNewAppointmentDlg;

// Edit: the list's "&Edit..." and a double-click on a row open the
// appointment dialog filled with the row's appointment, and OK puts the
// changes into the same key (same day, same key name), all or nothing.
class CAppointmentEditing : public fw::Handler {
public:
    explicit CAppointmentEditing(CDayView& dayView);
    ~CAppointmentEditing() override;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    // The dialog of the last Edit; an Edit while one runs does nothing.
    CNewAppointmentDlg* EditDlg() const { return m_pDlg.get(); }

private:
    void OnEdit();
    LRESULT OnListDoubleClick(NMHDR* header);

    CDayView& m_dayView;
    std::unique_ptr<CNewAppointmentDlg> m_pDlg;
};
