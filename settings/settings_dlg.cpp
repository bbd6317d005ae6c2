#include "settings/settings_dlg.h"

#include "res/resource.h"

CSettingsDlg::CSettingsDlg(HWND parent) : fw::Dialog(IDD_SETTINGS, parent) {}

CSettingsDlg::~CSettingsDlg() = default;
