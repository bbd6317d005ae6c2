#pragma once

#include "framework/handler.h"

#include <windows.h>

#include <memory>
#include <optional>

class CDayView;
class CNewAppointmentDlg;

// The appointment list's context menu, from a right click or the keyboard,
// and its New and Delete commands (New also from the menu bar and Ctrl+N).
class CListCommands : public fw::Handler {
public:
    explicit CListCommands(CDayView& dayView);
    ~CListCommands() override;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    // The New Appointment dialog of the last New; a New while one runs does
    // nothing.
    CNewAppointmentDlg* NewAppointmentDlg() const { return m_pNewAppointmentDlg.get(); }

private:
    LRESULT OnListRightClick(NMHDR* header);
    LRESULT OnListKeyDown(NMHDR* header);
    std::optional<LRESULT> OnContextMenu(WPARAM wp, LPARAM lp);
    void OnNewAppointment();
    void OnDeleteAppointment();

    void ShowListMenu();
    // The list's menu with its top-left corner at `screen`.
    void ShowListMenuAt(POINT screen);
    void SaveNewAppointment();

    CDayView& m_dayView;
    std::unique_ptr<CNewAppointmentDlg> m_pNewAppointmentDlg;
};
