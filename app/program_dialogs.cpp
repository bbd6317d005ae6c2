#include "app/program_dialogs.h"

#include "about/about_dlg.h"
#include "app/reminder_timing.h"
#include "res/resource.h"
#include "settings/settings_dlg.h"

CProgramDialogs::CProgramDialogs(CReminderTiming& reminders)
    : runAboutBox(&RunAboutBox), runSettings(&RunSettings), m_reminders(reminders) {}

CProgramDialogs::~CProgramDialogs() = default;

bool CProgramDialogs::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CProgramDialogs;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnMessage<Self>(WM_SYSCOMMAND, &Self::OnSysCommand),
        fw::OnCommand<Self>(ID_TRAY_ABOUT, &Self::OnAbout),
        fw::OnCommand<Self>(ID_ABOUT, &Self::OnAbout),
        fw::OnCommand<Self>(ID_FILE_SETTINGS, &Self::OnSettings),
        fw::OnCommand<Self>(ID_TRAY_SETTINGS, &Self::OnSettings),
        fw::OnCommand<Self>(IDC_OPTIONS, &Self::OnSettings),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

std::optional<LRESULT> CProgramDialogs::OnSysCommand(WPARAM wp, LPARAM) {
    if ((wp & 0xFFF0) != IDM_ABOUTBOX)
        return std::nullopt;
    runAboutBox();
    return 0;
}

void CProgramDialogs::OnAbout() {
    runAboutBox();
}

void CProgramDialogs::OnSettings() {
    if (const std::optional<int> interval = runSettings())
        m_reminders.SetReminderMinutes(*interval);
}
