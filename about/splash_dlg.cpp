#include "about/splash_dlg.h"

#include "res/resource.h"

CSplashDlg::CSplashDlg(HWND parent) : fw::Dialog(IDD_SPLASH, parent) {}

CSplashDlg::~CSplashDlg() = default;
