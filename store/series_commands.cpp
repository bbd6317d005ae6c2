#include "store/series_commands.h"

#include "framework/unique_handle.h"
#include "ical/series.h"
#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/field_limits.h"
#include "store/registry_value.h"

#include <algorithm>

bool SaveSeriesDetailNotes(const std::string& dayText, const std::string& keyName,
                           const std::string& detailNotes) {
    CCalendarRegistry registry;
    ical::AppointmentValues values;
    if (!FitsTextField(detailNotes, kNotesFieldBytes) ||
        !registry.ReadAppointment(dayText, keyName, values))
        return false;
    values.detailNotes = detailNotes;
    return registry.ReplaceAppointment(dayText, keyName, values);
}

SkipResult SkipOccurrence(const std::string& dayText, const std::string& keyName,
                          const CalendarDate& day) {
    CCalendarRegistry registry;
    ical::AppointmentValues values;
    CalendarDate from;
    CalendarDate to;
    if (!registry.ReadAppointment(dayText, keyName, values) ||
        !ParseDateText(values.from.c_str(), from) || !ParseDateText(values.to.c_str(), to))
        return SkipResult::Gone;
    const ical::Series series(from, to, values.series);
    ical::WorkBudget budget(ical::kSeriesWork);
    const std::optional<CalendarDate> start = series.OccurrenceCovering(day, budget);
    // Skipped by its first day, which for an occurrence of several days may
    // lie before `day`.
    if (!series.Repeats() || !start)
        return SkipResult::Gone;
    std::vector<CalendarDate>& skips = values.series.skipDates;
    const auto place = std::lower_bound(
        skips.begin(), skips.end(), *start,
        [](const CalendarDate& a, const CalendarDate& b) { return CompareDates(a, b) < 0; });
    if (place != skips.end() && *place == *start)
        return SkipResult::Skipped;
    if (skips.size() >= kMaxSkipDates)
        return SkipResult::Failed;
    skips.insert(place, *start);
    return registry.ReplaceAppointment(dayText, keyName, values) ? SkipResult::Skipped
                                                                 : SkipResult::Failed;
}

bool DeleteSeries(const std::string& dayText, const std::string& keyName) {
    if (!IsDayKeyName(dayText) || keyName.empty())
        return false;
    const StoreWriteScope scope(dayText);
    fw::unique_hkey root;
    fw::unique_hkey day;
    const LONG opened = OpenCalendarRoot(KEY_READ, root);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    const LONG dayOpened = OpenSubkey(root.get(), dayText, KEY_READ, day);
    if (dayOpened == ERROR_FILE_NOT_FOUND)
        return true;
    if (dayOpened != ERROR_SUCCESS)
        return false;
    const LONG deleted = DeleteSubkey(day.get(), keyName);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}
