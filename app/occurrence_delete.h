#pragma once

#include "framework/dialog.h"
#include "framework/handler.h"

#include <windows.h>

class CDayView;

// The question Delete asks on an occurrence of a repeating appointment: it
// ends with IDC_DELETE_ONE, IDC_DELETE_SERIES or IDCANCEL.
class CDeleteOccurrenceDlg : public fw::Dialog {
public:
    explicit CDeleteOccurrenceDlg(HWND parent);

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

// Delete (the list's menu, the Delete key) on an occurrence of a series filed
// on another day asks whether only this occurrence goes, its first day then
// skipped by the series, or the whole series. On a day's own appointment it
// does nothing, and the list's own Delete asks as always.
class COccurrenceDelete : public fw::Handler {
public:
    explicit COccurrenceDelete(CDayView& dayView);

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    bool IsDeleteRequest(UINT msg, WPARAM wp, LPARAM lp) const;
    void DeleteSelectedOccurrence();

    CDayView& m_dayView;
    // Set while the question is open: a second Delete then does nothing.
    bool m_bAsking = false;
};
