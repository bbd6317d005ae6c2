#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/unique_handle.h"

// The Settings dialog: the reminder interval and the two start-up switches.
class CSettingsDlg : public fw::Dialog {
public:
    explicit CSettingsDlg(HWND parent = nullptr);
    ~CSettingsDlg() override;

    // The interval in minutes; the caller reads it after OK.
    int m_nInterval = 0;
};
