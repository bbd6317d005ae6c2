#include "editing/repeat_choice.h"

#include "ical/civil_time.h"
#include "ical/series.h"

#include <cstdio>

namespace {
constexpr const char* kDayCodes[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};

bool IsLeapDay(const CalendarDate& date) {
    return date.month == 2 && date.day == 29;
}

std::string DayList(std::uint8_t weekdays) {
    std::string text;
    for (int day = 0; day < 7; ++day)
        if (weekdays & (1u << day)) {
            if (!text.empty())
                text += ',';
            text += kDayCodes[day];
        }
    return text;
}

std::string EndPart(const RepeatChoice& choice) {
    if (choice.end == RepeatEnd::AfterCount)
        return ";COUNT=" + std::to_string(choice.count);
    if (choice.end == RepeatEnd::OnDate) {
        char until[16];
        std::snprintf(until, sizeof until, ";UNTIL=%04d%02d%02d", choice.until.year,
                      choice.until.month, choice.until.day);
        return until;
    }
    return {};
}

std::string IntervalPart(int interval) {
    return interval > 1 ? ";INTERVAL=" + std::to_string(interval) : std::string();
}

RepeatChoice AsStored() {
    RepeatChoice choice;
    choice.preset = RepeatPreset::AsStored;
    return choice;
}

// The week's days a weekly rule names, or none when one carries an ordinal.
bool WeekdaysOf(const ical::RecurrenceRule& rule, std::uint8_t& weekdays) {
    weekdays = 0;
    for (const ical::WeekdayEntry& entry : rule.byDay) {
        if (entry.ordinal != 0)
            return false;
        weekdays = static_cast<std::uint8_t>(weekdays | (1u << entry.weekday));
    }
    return true;
}

// The choice without its end, or AsStored.
RepeatChoice ChoiceOfParts(const ical::RecurrenceRule& rule, const CalendarDate& from) {
    RepeatChoice choice = DefaultRepeatChoice(from);
    const bool plain = rule.byDay.empty() && rule.byMonthDay.empty() && rule.byMonth.empty();
    const bool once = rule.interval == 1;
    // The week's first day changes only what a weekly rule of a longer
    // interval gives; the rules written here leave it at Monday.
    if (rule.weekStart != 0 && rule.frequency == ical::Frequency::Weekly && !once)
        return AsStored();
    switch (rule.frequency) {
    case ical::Frequency::Daily:
        if (!plain)
            break;
        choice.preset = once ? RepeatPreset::Daily : RepeatPreset::Custom;
        choice.interval = once ? choice.interval : rule.interval;
        choice.unit = once ? choice.unit : RepeatUnit::Days;
        return choice;
    case ical::Frequency::Weekly: {
        std::uint8_t weekdays = 0;
        if (!rule.byMonthDay.empty() || !rule.byMonth.empty() || !WeekdaysOf(rule, weekdays))
            break;
        if (weekdays != 0)
            choice.weekdays = weekdays;
        choice.preset = once ? RepeatPreset::Weekly : RepeatPreset::Custom;
        choice.interval = once ? choice.interval : rule.interval;
        choice.unit = once ? choice.unit : RepeatUnit::Weeks;
        return choice;
    }
    case ical::Frequency::Monthly:
        if (!rule.byMonth.empty())
            break;
        if (plain || (rule.byDay.empty() && rule.byMonthDay.size() == 1 &&
                      (rule.byMonthDay[0] == from.day || (once && rule.byMonthDay[0] > 0)))) {
            choice.preset = once ? RepeatPreset::MonthlyOnDay : RepeatPreset::Custom;
            choice.interval = once ? choice.interval : rule.interval;
            choice.unit = once ? choice.unit : RepeatUnit::Months;
            if (!plain)
                choice.monthDay = rule.byMonthDay[0];
            return choice;
        }
        if (once && rule.byMonthDay.empty() && rule.byDay.size() == 1) {
            const ical::WeekdayEntry entry = rule.byDay[0];
            if ((entry.ordinal >= 1 && entry.ordinal <= 4) || entry.ordinal == -1) {
                choice.preset = RepeatPreset::MonthlyOnWeekday;
                choice.ordinal = entry.ordinal;
                choice.weekday = entry.weekday;
                return choice;
            }
        }
        break;
    case ical::Frequency::Yearly: {
        // Every year on the From date, however it is written; 29 February
        // only as the last day of February, as such a choice is saved.
        const bool onFrom = rule.byDay.empty() && rule.byMonth.size() == 1 &&
                            rule.byMonthDay.size() == 1 && rule.byMonth[0] == from.month &&
                            rule.byMonthDay[0] == (IsLeapDay(from) ? -1 : from.day);
        if (!(IsLeapDay(from) ? onFrom : plain || (onFrom && once)))
            break;
        choice.preset = once ? RepeatPreset::Yearly : RepeatPreset::Custom;
        choice.interval = once ? choice.interval : rule.interval;
        choice.unit = once ? choice.unit : RepeatUnit::Years;
        return choice;
    }
    }
    return AsStored();
}
} // namespace

int OrdinalInMonth(const CalendarDate& date) {
    const int ordinal = (date.day - 1) / 7 + 1;
    return ordinal > 4 ? -1 : ordinal;
}

RepeatChoice DefaultRepeatChoice(const CalendarDate& from) {
    RepeatChoice choice;
    const int weekday = ical::IsValidDate(from) ? ical::Weekday(from) : 0;
    choice.weekdays = static_cast<std::uint8_t>(1u << weekday);
    choice.monthDay = from.day >= 1 && from.day <= 31 ? from.day : 1;
    choice.ordinal = OrdinalInMonth(from);
    choice.weekday = weekday;
    choice.until = from;
    // Every other one: Custom's interval of 1 would say what a preset says.
    choice.interval = 2;
    return choice;
}

std::string RuleOfChoice(const RepeatChoice& choice, const CalendarDate& from) {
    std::string rule;
    switch (choice.preset) {
    case RepeatPreset::Never:
        return {};
    case RepeatPreset::AsStored:
        return choice.stored;
    case RepeatPreset::Daily:
        rule = "FREQ=DAILY";
        break;
    case RepeatPreset::Weekly:
        rule = "FREQ=WEEKLY;BYDAY=" +
               DayList(choice.weekdays ? choice.weekdays : DefaultRepeatChoice(from).weekdays);
        break;
    case RepeatPreset::MonthlyOnDay:
        rule = "FREQ=MONTHLY;BYMONTHDAY=" + std::to_string(choice.monthDay);
        break;
    case RepeatPreset::MonthlyOnWeekday:
        rule = "FREQ=MONTHLY;BYDAY=" + std::to_string(choice.ordinal) + kDayCodes[choice.weekday];
        break;
    case RepeatPreset::Yearly:
        rule = ical::YearlyRuleOn(from);
        break;
    case RepeatPreset::Custom:
        switch (choice.unit) {
        case RepeatUnit::Days:
            rule = "FREQ=DAILY" + IntervalPart(choice.interval);
            break;
        case RepeatUnit::Weeks:
            rule = "FREQ=WEEKLY" + IntervalPart(choice.interval) + ";BYDAY=" +
                   DayList(choice.weekdays ? choice.weekdays : DefaultRepeatChoice(from).weekdays);
            break;
        case RepeatUnit::Months:
            rule = "FREQ=MONTHLY" + IntervalPart(choice.interval);
            break;
        case RepeatUnit::Years:
            // A plain yearly rule on 29 February would skip the common years.
            rule = IsLeapDay(from)
                       ? "FREQ=YEARLY" + IntervalPart(choice.interval) + ";BYMONTH=2;BYMONTHDAY=-1"
                       : "FREQ=YEARLY" + IntervalPart(choice.interval);
            break;
        }
        break;
    }
    return rule + EndPart(choice);
}

RepeatChoice ChoiceOfRule(std::string_view text, const CalendarDate& from) {
    ical::SeriesRule series;
    RepeatChoice asStored = AsStored();
    asStored.stored = std::string(text);
    if (!ical::ReadSeriesRule(text, series))
        return asStored;
    RepeatChoice choice = ChoiceOfParts(series.rule, from);
    if (choice.preset == RepeatPreset::AsStored || choice.interval > kMaxRepeatInterval)
        return asStored;
    if (series.rule.count > 0) {
        if (series.rule.count > kMaxRepeatCount)
            return asStored;
        choice.end = RepeatEnd::AfterCount;
        choice.count = static_cast<int>(series.rule.count);
    } else if (series.until) {
        // Only an UNTIL of a date is what "on a date" writes.
        if (series.rule.until.size() != 8)
            return asStored;
        choice.end = RepeatEnd::OnDate;
        choice.until = series.until->date;
    }
    return choice;
}
