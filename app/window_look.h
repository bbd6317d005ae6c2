#pragma once

#include "framework/controls.h"
#include "framework/handler.h"
#include "framework/unique_handle.h"

#include <memory>
#include <optional>

// How the main window looks beyond its template: the labels' and Go Today's
// fonts, the four button pictures, the tooltips, all made again for another
// DPI, and a repaint when the system's colours or high contrast change.
class CWindowLook : public fw::Handler {
public:
    CWindowLook();
    ~CWindowLook() override;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // The tooltips hear the mouse before the dialog does.
    BOOL PreTranslateMessage(MSG* msg) override;
    void DoDataExchange(fw::DataExchange& dx) override;
    void OnDpiChanged(UINT dpi) override;

    // Start-up steps, each at the window's DPI.
    void MakeTooltips();
    void MakeFonts();
    void LoadButtonImages();

    fw::ToolTip* ToolTip() const { return m_pToolTip.get(); }
    HFONT NormalFont() const { return m_fontNormal.get(); }
    HFONT BoldFont() const { return m_fontBold.get(); }

private:
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
    std::optional<LRESULT> OnSystemColorsChanged(WPARAM wp, LPARAM lp);

    fw::unique_hfont m_fontNormal;
    fw::unique_hfont m_fontBold;
    std::unique_ptr<fw::ToolTip> m_pToolTip;
    fw::Button m_btnPrevDay;
    fw::Button m_btnNextDay;
    fw::Button m_btnOptions;
    fw::Button m_btnSaveNotes;
    // The four button pictures, kept for as long as the buttons show them.
    fw::unique_hbitmap m_bmpOptions;
    fw::unique_hbitmap m_bmpSaveNotes;
    fw::unique_hbitmap m_bmpNextDay;
    fw::unique_hbitmap m_bmpPrevDay;
};
