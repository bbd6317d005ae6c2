#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/unique_handle.h"
#include "settings/interval.h"

#include <optional>

// The Settings dialog: the reminder interval and the two start-up switches.
class CSettingsDlg : public fw::Dialog {
public:
    explicit CSettingsDlg(HWND parent = nullptr);
    ~CSettingsDlg() override;

    // The bold font of the group title and buttons, then the bound controls.
    fw::unique_hfont m_font;
    fw::UpDown m_spinInterval;
    fw::Button m_chkSplash;
    fw::Button m_chkDeleteOutdated;
    // The interval in minutes; the caller reads it after OK.
    int m_nInterval = 0;

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    // Moved to a monitor of another DPI: the bold font is made again.
    void OnDpiChanged(UINT dpi) override;
    void OnOK() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    LRESULT OnDeltaposSpin(NMHDR* header);
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
};

// Runs the Settings dialog over the main window; the interval it stored when
// the user chose OK, else nothing.
std::optional<int> RunSettings();
