#pragma once

#include "calendar/date_text.h"

#include <cstdint>
#include <string>
#include <string_view>

// What the Repeat part of the appointment dialog offers, and the stored rule
// (an RRULE value) each choice stands for. No system header: the choices and
// the rules are translated both ways here, and tested without a window.

enum class RepeatPreset {
    Never,
    Daily,
    Weekly,           // every week on the ticked days
    MonthlyOnDay,     // every month on day `monthDay`
    MonthlyOnWeekday, // every month on the `ordinal` `weekday`
    Yearly,           // every year on the From date
    Custom,           // every `interval` `unit`s (on the ticked days, for weeks)
    AsStored,         // a stored rule no choice represents, kept as it is
};

enum class RepeatUnit { Days, Weeks, Months, Years };

enum class RepeatEnd { Never, OnDate, AfterCount };

// The most a choice's numbers may be: the dialog refuses more.
inline constexpr int kMaxRepeatInterval = 999;
inline constexpr int kMaxRepeatCount = 9999;

struct RepeatChoice {
    RepeatPreset preset = RepeatPreset::Never;
    // Weekly, and Custom in weeks: bit d for weekday d (0 = Monday).
    std::uint8_t weekdays = 0;
    int monthDay = 1; // 1 to 31
    int ordinal = 1;  // 1 to 4, or -1 for the last
    int weekday = 0;  // 0 = Monday
    int interval = 2; // Custom
    RepeatUnit unit = RepeatUnit::Days;
    RepeatEnd end = RepeatEnd::Never;
    CalendarDate until; // OnDate: the last day an occurrence may start on
    int count = 10;     // AfterCount: occurrences, the first one included
    // AsStored: the rule's text.
    std::string stored;

    friend bool operator==(const RepeatChoice&, const RepeatChoice&) = default;
};

// The choices as the dialog opens on `from` for a new appointment: Never,
// each choice's details taken from `from` (its weekday ticked, its day of the
// month, which of its weekdays in the month it is).
RepeatChoice DefaultRepeatChoice(const CalendarDate& from);

// The rule a choice stands for, for an appointment whose first occurrence
// starts on `from`: "" for Never, the stored text for AsStored. Every rule
// given is one the program follows.
std::string RuleOfChoice(const RepeatChoice& choice, const CalendarDate& from);

// The choice that represents a stored rule: a preset when one says the same,
// Custom when an interval and the week's days say it, AsStored otherwise
// (a rule the program does not follow included). The details no rule part
// decides on are those of DefaultRepeatChoice.
RepeatChoice ChoiceOfRule(std::string_view rule, const CalendarDate& from);

// Which weekday of its month `date` is: 1 to 4, or -1 for a fifth (the last).
int OrdinalInMonth(const CalendarDate& date);
