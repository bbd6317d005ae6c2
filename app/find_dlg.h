#pragma once

#include "calendar/date_text.h"
#include "framework/dialog.h"

#include <functional>
#include <string>
#include <vector>

class CWordCatalog;

// The Find box, beside the main window and owned by it: the words typed, the
// appointments they are found in (nearest to today first, past ones marked)
// or, for a typed date, "Go to <date>" first. It searches again at each
// keystroke and when the store's words are read anew; Enter or a
// double-click shows the chosen one; Esc hides the box, which keeps what it
// found for F3.
class CFindDlg : public fw::Dialog {
public:
    // What a row of the results stands for.
    struct Target {
        CalendarDate date;
        std::string dayKey; // "" for "Go to <date>"
        std::string keyName;
    };

    CFindDlg(CWordCatalog& words, HWND owner);

    // Called with the row the user chose.
    std::function<void(const Target&)> onShow;

    // Searches for the box's words again.
    void Search();
    // Moves the box beside its owner.
    void PlaceBesideOwner();
    const std::vector<Target>& Results() const { return m_results; }
    // Counts the searches, so that a step knows the results were replaced.
    int Searches() const { return m_nSearches; }
    // Selects the row `index` of the results.
    void SelectResult(int index);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void OnDpiChanged(UINT dpi) override;

private:
    void OnTextChanged();
    LRESULT OnResultsDoubleClick(NMHDR* header);
    std::optional<LRESULT> OnSize(WPARAM wp, LPARAM lp);
    void SetColumnWidths();
    void Choose(int row);

    CWordCatalog& m_words;
    HWND m_owner;
    std::vector<Target> m_results;
    int m_nSearches = 0;
};
