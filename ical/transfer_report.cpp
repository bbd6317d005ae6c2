#include "ical/transfer_report.h"

#include "ical/ical_text.h"

namespace ical {

namespace {

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A user's text quoted on one line of a report.
std::string Quoted(const std::string& text) {
    std::string line = QuoteForMessage(text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return line;
}

// Adds headed sections of lines, the first `maxLines` lines in all; the rest
// is counted at the end.
class Sections {
public:
    Sections(std::string& out, std::size_t maxLines) : m_out(out), m_maxLines(maxLines) {}

    void Heading(const std::string& heading) { m_heading = heading; }
    void Line(const std::string& line) {
        if (m_shown >= m_maxLines) {
            ++m_hidden;
            return;
        }
        if (!m_heading.empty()) {
            m_out += "\n\n" + m_heading;
            m_heading.clear();
        }
        m_out += "\n" + line;
        ++m_shown;
    }
    void End(const std::string& fullListPath) {
        if (m_hidden == 0)
            return;
        m_out += "\n... and " + std::to_string(m_hidden) + " more.";
        if (!fullListPath.empty())
            m_out += " The whole list is in " + fullListPath + ".";
    }

private:
    std::string& m_out;
    std::size_t m_maxLines;
    std::size_t m_shown = 0;
    std::size_t m_hidden = 0;
    std::string m_heading;
};

std::string IssueLine(const ImportIssue& issue) {
    // Appended piece by piece: GCC 12 warns wrongly of "text" + std::string&&.
    std::string line = "Line ";
    line += std::to_string(issue.line);
    if (!issue.summary.empty()) {
        line += ' ';
        line += Quoted(issue.summary);
    }
    line += ": ";
    line += issue.reason;
    line += '.';
    return line;
}

} // namespace

std::size_t ExportIssueLines(const ExportOutcome& outcome) {
    return outcome.written ? outcome.issues.size() : 0;
}

std::size_t ImportIssueLines(const ImportOutcome& outcome) {
    return outcome.error.empty() && outcome.plan.accepted
               ? outcome.plan.refused.size() + outcome.plan.notes.size()
               : 0;
}

std::string ExportReport(const ExportOutcome& outcome, std::size_t maxLines,
                         const std::string& fullListPath) {
    if (outcome.cancelled)
        return "Exporting the calendar to " + outcome.path +
               " was cancelled.\n\nNothing was written there; a file that was there is unchanged.";
    if (!outcome.written)
        return "The calendar could not be exported to " + outcome.path + ": " + outcome.error +
               ".\n\nNothing was written there; a file that was there is unchanged.";
    std::string out = "Exported " + Count(outcome.exported, "appointment", "appointments") +
                      " to " + outcome.path + ".";
    Sections sections(out, maxLines);
    for (const bool skipped : {true, false}) {
        sections.Heading(skipped ? "Not exported:" : "Exported with a change:");
        for (const ExportOutcome::Issue& issue : outcome.issues) {
            if (issue.issue.skipped != skipped)
                continue;
            const std::string name =
                issue.notes.empty() ? Quoted(issue.issue.appointmentKey) : Quoted(issue.notes);
            sections.Line(Quoted(issue.issue.dayKey) + " " + name + ": " + issue.issue.reason +
                          ".");
        }
    }
    sections.End(fullListPath);
    return out;
}

std::string ImportReport(const ImportOutcome& outcome, std::size_t maxLines,
                         const std::string& fullListPath) {
    if (!outcome.error.empty())
        return outcome.path + " cannot be imported, so nothing was filed:\n" + outcome.error + ".";
    const ImportPlan& plan = outcome.plan;
    if (outcome.cancelled && !plan.accepted)
        return "Importing " + outcome.path +
               " was cancelled while the file was read, so nothing was filed.";
    std::string out;
    if (outcome.cancelled) {
        out = "Importing " + outcome.path + " was cancelled after " +
              std::to_string(outcome.filed) + " of " +
              Count(plan.appointments.size(), "appointment", "appointments") +
              ". Nothing after them was filed; importing the file again files the rest and "
              "skips those already filed as duplicates.\n\n";
    } else if (outcome.stopped) {
        const std::size_t planned = plan.appointments.size();
        out = "Importing " + outcome.path + " stopped after " + std::to_string(outcome.filed) +
              " of " + Count(planned, "appointment", "appointments") + ".";
        const std::size_t done = outcome.filed + outcome.updated;
        if (done < planned) {
            const DayAppointment next = plan.AppointmentAt(done);
            out += " The next one, " + Quoted(next.values.notes) + " for " + next.day + " (line " +
                   std::to_string(plan.events[plan.appointments[done].event].line) +
                   "), could not be written: " + outcome.writeError + ".";
        }
        out += " Nothing after it was filed; importing the file again files the rest and skips "
               "those already filed as duplicates.\n\n";
    }
    out += "Imported " + outcome.path + ": " + Count(outcome.filed, "appointment", "appointments") +
           " filed, " +
           (outcome.updated > 0 ? std::to_string(outcome.updated) + " updated, " : std::string()) +
           Count(plan.duplicates, "duplicate", "duplicates") + " skipped, " +
           Count(plan.refused.size(), "event", "events") + " refused.";
    if (plan.cancelledEvents + plan.cancelledOccurrences > 0) {
        std::string cancelled;
        if (plan.cancelledEvents > 0)
            cancelled = Count(plan.cancelledEvents, "event", "events");
        if (plan.cancelledEvents > 0 && plan.cancelledOccurrences > 0)
            cancelled += " and ";
        if (plan.cancelledOccurrences > 0)
            cancelled += Count(plan.cancelledOccurrences, "occurrence of a repeating event",
                               "occurrences of repeating events");
        out += " The file cancels " + cancelled + "; nothing was filed for " +
               (plan.cancelledEvents + plan.cancelledOccurrences == 1 ? "it." : "them.");
    }
    Sections sections(out, maxLines);
    sections.Heading("Refused:");
    for (const ImportIssue& issue : plan.refused)
        sections.Line(IssueLine(issue));
    sections.Heading("Filed, with a remark:");
    for (const ImportIssue& issue : plan.notes)
        sections.Line(IssueLine(issue));
    sections.End(fullListPath);
    return out;
}

std::string WithCrlfLines(const std::string& text) {
    std::string lines;
    lines.reserve(text.size() + text.size() / 32 + 2);
    for (const char c : text + "\n") {
        if (c == '\n')
            lines += '\r';
        lines += c;
    }
    return lines;
}

} // namespace ical
