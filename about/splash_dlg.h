#pragma once

#include "framework/dialog.h"
#include "framework/unique_handle.h"

// The start-up card that names the program and its maker for three seconds.
class CSplashDlg : public fw::Dialog {
public:
    explicit CSplashDlg(HWND parent = nullptr);
    ~CSplashDlg() override;

    static constexpr UINT_PTR kCloseTimerId = 1;
    static constexpr UINT kShowMilliseconds = 3000;

    fw::unique_hfont m_font;

protected:
    BOOL OnInitDialog() override;
    // Moved to a monitor of another DPI: the bold font is made again.
    void OnDpiChanged(UINT dpi) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
    void OnTimer(UINT_PTR id);

private:
    // One lavender brush serves every colour request while the card is shown.
    fw::unique_hbrush m_brush;
};

// Shows the splash card modally until it closes itself or the user closes it.
void RunSplash();
