#pragma once

#include "calendar/date_text.h"

#include <string>

// Changes made to a repeating appointment from one of its occurrences,
// listed on a day other than the one it is filed under: `dayText` and
// `keyName` name the series' own key.

// Gives the series `detailNotes`, which every occurrence shows. False when
// it is gone or the text was not stored.
bool SaveSeriesDetailNotes(const std::string& dayText, const std::string& keyName,
                           const std::string& detailNotes);

enum class SkipResult {
    Skipped, // the occurrence's first day is among the series' skip dates
    Gone,    // the series, or its occurrence on that day, is not there
    Failed,  // it could not be stored
};

// Removes the occurrence that covers `day` from the series: its first day
// goes into the skip dates, and the series is otherwise left as it was.
SkipResult SkipOccurrence(const std::string& dayText, const std::string& keyName,
                          const CalendarDate& day);

// Deletes the series, every occurrence with it. True when it is gone, also
// when another program deleted it first.
bool DeleteSeries(const std::string& dayText, const std::string& keyName);
