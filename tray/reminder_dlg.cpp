#include "tray/reminder_dlg.h"

#include "res/resource.h"

CReminderDlg::CReminderDlg() : fw::Dialog(IDD_REMINDER, nullptr) {}

CReminderDlg::~CReminderDlg() = default;
