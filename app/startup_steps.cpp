#include "app/startup_steps.h"

#include "about/splash_dlg.h"
#include "app/reminder_timing.h"
#include "framework/message_box.h"
#include "store/calendar_registry.h"
#include "store/store_access.h"

namespace {
// Shown once at start-up when this user may not write the store.
constexpr const char* kStoreNotWritableText =
    "Quillmere cannot save appointments or settings on this computer: you may not "
    "change its store in the registry (HKEY_LOCAL_MACHINE\\SOFTWARE\\Calendar).\n\n"
    "Install Quillmere with its setup program, which lets every user of this computer save "
    "there, or ask an administrator to give you write access to that key.\n\n"
    "The appointments already there are shown as usual.";
} // namespace

CStartupSteps::CStartupSteps(CReminderTiming& reminders)
    : runSplash(&RunSplash), m_reminders(reminders) {}

CStartupSteps::~CStartupSteps() = default;

void CStartupSteps::RemoveUnfinishedNew() {
    // A New cut short by a crash or a kill left an unfinished key.
    CCalendarRegistry().RemoveUnfinishedNew();
}

void CStartupSteps::ApplyOptions() {
    CCalendarRegistry registry;
    m_reminders.SetReminderMinutes(registry.GetTimeoutValue());
    if (registry.GetTimeoutDelete() == 1)
        m_reminders.PurgeOutdated();
    if (registry.GetSplash() == 1)
        runSplash();
}

void CStartupSteps::OnFirstIdle() {
    // Said once, now, instead of at every failed save. A window kept hidden
    // gives the notice no owner, so that it gets a taskbar button and is not
    // lost.
    if (!IsStoreWritable())
        fw::ShowNotice(IsWindowVisible(Hwnd()) ? Hwnd() : nullptr, kStoreNotWritableText);
}
