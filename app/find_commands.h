#pragma once

#include "framework/handler.h"

#include <memory>

class CDayView;
class CFindDlg;
class CWordCatalog;

// Find: Ctrl+F and File > "Find..." open the Find box beside the main window;
// what the user chooses there is shown in the main window, its day listed and
// its row selected. F3 and Shift+F3 step through the results, also with the
// box closed. The words of the store are read on a worker thread from the
// first Find on, and kept fresh while the window lives.
class CFindCommands : public fw::Handler {
public:
    explicit CFindCommands(CDayView& dayView);
    ~CFindCommands() override;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void OnDestroy() override;

    // The box, once opened; null before.
    CFindDlg* Box() const { return m_box.get(); }
    CWordCatalog& Words() const { return *m_words; }

private:
    void OnFind();
    void OnFindNext();
    void OnFindPrevious();
    void Step(int direction);
    void Show(int index);
    void Close();

    CDayView& m_dayView;
    std::unique_ptr<CWordCatalog> m_words;
    std::unique_ptr<CFindDlg> m_box;
    int m_subscription = 0;
    // The result last shown, for F3.
    int m_current = -1;
    int m_currentSearch = 0;
};
