#pragma once

#include "framework/handler.h"

#include <functional>

class CReminderTiming;

// The start-up's own steps, which the main window runs in its order: what a
// New cut short left behind goes, the options are read (the interval, the
// purge, the splash card), and once the window is up a store that cannot be
// written is reported.
class CStartupSteps : public fw::Handler {
public:
    explicit CStartupSteps(CReminderTiming& reminders);
    ~CStartupSteps() override;

    // The store notice, once the window is up (or has been kept hidden).
    void OnFirstIdle() override;

    // Removes what a New of this user left unfinished, before anything is read.
    void RemoveUnfinishedNew();
    // The interval for the reminder timer, then the purge and the splash card
    // when their options are exactly 1.
    void ApplyOptions();

    // Opens the splash card; tests replace it to watch the order, or to keep
    // the card shut.
    std::function<void()> runSplash;

private:
    CReminderTiming& m_reminders;
};
