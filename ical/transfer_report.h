#pragma once

#include "ical/calendar_export.h"
#include "ical/import_plan.h"

#include <cstddef>
#include <string>
#include <vector>

namespace ical {

// What an export to a file did.
struct ExportOutcome {
    std::string path;
    bool written = false;
    bool cancelled = false; // the user stopped it: nothing was written
    std::string error;      // why the file was not written
    std::size_t exported = 0;
    struct Issue {
        ExportIssue issue;
        std::string notes; // of the appointment, for the user to know it by
    };
    std::vector<Issue> issues;
};

// What an import from a file did. With `error` set, the file was refused
// whole and nothing was filed. Otherwise the first `filed` of the plan's
// appointments are in the store; with `stopped`, the next could not be
// written (`writeError`) and nothing after it was tried; with `cancelled`,
// the user stopped it there (before any was filed when the plan is not
// accepted).
struct ImportOutcome {
    std::string path;
    std::string error;
    ImportPlan plan;
    std::size_t filed = 0;
    std::size_t updated = 0; // stored appointments the file had newer versions of
    bool stopped = false;
    std::string writeError;
    bool cancelled = false;
};

// The account the user reads: what was done, in numbers, then one line per
// appointment or event that was left out or changed. Beyond `maxLines` such
// lines the rest is counted ("and 12 more"), with where the whole list is
// when `fullListPath` names a file.
inline constexpr std::size_t kAllLines = static_cast<std::size_t>(-1);
std::string ExportReport(const ExportOutcome& outcome, std::size_t maxLines = kAllLines,
                         const std::string& fullListPath = {});
std::string ImportReport(const ImportOutcome& outcome, std::size_t maxLines = kAllLines,
                         const std::string& fullListPath = {});

// How many lines of issues a report has, whole.
// A report's lines ended as Windows text files and consoles want them: each
// '\n' becomes CR LF, and the text ends with one.
std::string WithCrlfLines(const std::string& text);

std::size_t ExportIssueLines(const ExportOutcome& outcome);
std::size_t ImportIssueLines(const ImportOutcome& outcome);

} // namespace ical
