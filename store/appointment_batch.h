#pragma once

#include "framework/unique_handle.h"
#include "ical/appointment_values.h"
#include "store/unfinished_note.h"

#include <windows.h>

#include <map>
#include <string>

// Files appointments one after another, each as safely as a single New: its
// six values go into a key that no walk lists, which gets its final name
// only once all are in, and that key is noted for this user until the batch
// ends, so that a run cut short at any point (a crash, a kill, a power cut)
// leaves every appointment whole or absent, and the next start removes the
// rest. Batches running at the same time, in one process or several, each
// keep a note of their own (store/unfinished_note.h). A batch opens the root once, a day once for
// its run of appointments, notes the unfinished key once per day, and remembers the names it gave,
// so that a thousand appointments filed within one millisecond do not each try a thousand names.
class CAppointmentBatch {
public:
    CAppointmentBatch() = default;
    ~CAppointmentBatch();
    CAppointmentBatch(const CAppointmentBatch&) = delete;
    CAppointmentBatch& operator=(const CAppointmentBatch&) = delete;

    // Files one appointment under the day `dateText`, making the root and the
    // day when they are missing. False when it was not filed: nothing of it
    // is then listed, and LastError() says what the registry answered
    // (ERROR_INVALID_DATA for a text too long for its field).
    // NoteFailed() tells that the save could not be noted for this user and
    // was therefore not made.
    // The six values are written first, then the time of day and alert
    // values that are set, each a step of its own.
    bool Add(const std::string& dateText, const ical::AppointmentValues& values);
    bool Add(const std::string& dateText, const std::string& fromText, const std::string& toText,
             const std::string& notes, const std::string& eventText, int eventIndex,
             const std::string& detailNotes);

    // Gives the appointment `keyName` below the day `dateText` the values
    // `values` (and only them: timed values it had and `values` has not are
    // gone), under the same key name, all or nothing: the new values go into
    // an unfinished key, which then takes the old key's place by two renames,
    // noted for this user so that a clean-up after a crash finishes or undoes
    // the swap. False when the old values stay; LastError() says why
    // (ERROR_FILE_NOT_FOUND: there is no such appointment).
    bool Replace(const std::string& dateText, const std::string& keyName,
                 const ical::AppointmentValues& values);

    LONG LastError() const { return m_lastError; }
    // The key name the last appointment filed was given.
    const std::string& LastKeyName() const { return m_lastKeyName; }
    bool NoteFailed() const { return m_bNoteFailed; }

    // Ends the batch: the note of the unfinished key goes. The destructor
    // does it too.
    void Finish();

private:
    bool OpenDay(const std::string& dateText);
    // Writes every value into the fresh key `key`, counting each write as a
    // step from `step` on; false when a write failed (m_lastError) or the
    // test seam stopped the save (m_bCutShort).
    bool WriteValues(HKEY key, const ical::AppointmentValues& values, int& step);
    bool Fail(LONG error);
    bool Abandon(LONG error);
    void RemoveNote();

    fw::unique_hkey m_root;
    std::string m_dayName;
    fw::unique_hkey m_day;
    // The name the appointments of this batch are written under before they
    // get their own (one at a time exists, so the name is reused), and the
    // note of it: the day it names, and whether a note may be there.
    CUnfinishedNote m_note;
    std::string m_notedDay;
    bool m_bNoteWritten = false;
    bool m_bNoteFailed = false;
    // A save the test seam stopped as a crash would: nothing more is done,
    // not even removing the note.
    bool m_bCutShort = false;
    // For each name the clock gave on the current day, the next suffix to try.
    std::map<std::string, int> m_nextAttempt;
    LONG m_lastError = ERROR_SUCCESS;
    std::string m_lastKeyName;
    // The step that removing the note is, after the last save's values.
    int m_noteRemovedStep = 12;
};
