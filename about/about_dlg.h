#pragma once

#include "framework/dialog.h"
#include "framework/unique_handle.h"

// The About box: the program's name, icon and maker.
class CAboutDlg : public fw::Dialog {
public:
    explicit CAboutDlg(HWND parent = nullptr);
    ~CAboutDlg() override;

    fw::unique_hfont m_font;

protected:
    BOOL OnInitDialog() override;
    // Moved to a monitor of another DPI: the bold font is made again.
    void OnDpiChanged(UINT dpi) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
};

// Runs the About box over the main window until the user closes it.
void RunAboutBox();
