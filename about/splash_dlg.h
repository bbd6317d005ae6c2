#pragma once

#include "framework/dialog.h"
#include "framework/unique_handle.h"

// The start-up card that names the program and its maker for three seconds.
class CSplashDlg : public fw::Dialog {
public:
    explicit CSplashDlg(HWND parent = nullptr);
    ~CSplashDlg() override;
};
