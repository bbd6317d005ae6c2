#include "store/appointment_batch.h"

#include "framework/clock.h"
#include "framework/utf_text.h"
#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/field_limits.h"
#include "store/key_naming.h"
#include "store/registry_value.h"
#include "store/system_time.h"
#include "store/series_registry.h"
#include "store/timed_registry.h"
#include "store/timed_values.h"
#include "store/unfinished_note.h"

#include <atomic>
#include <functional>

namespace {

std::atomic<SaveStepObserver> g_saveStepObserver{nullptr};

// Whether a save goes on after `step`; only tests ever say no.
bool SaveGoesOn(int step) {
    SaveStepObserver observer = g_saveStepObserver.load();
    return observer == nullptr || observer(step);
}

} // namespace

SaveStepObserver SetSaveStepObserverForTesting(SaveStepObserver observer) {
    return g_saveStepObserver.exchange(observer);
}

CAppointmentBatch::~CAppointmentBatch() {
    Finish();
}

void CAppointmentBatch::Finish() {
    if (m_bCutShort || !m_bNoteWritten)
        return;
    RemoveNote();
    SaveGoesOn(m_noteRemovedStep);
}

void CAppointmentBatch::RemoveNote() {
    m_note.Remove();
    m_bNoteWritten = false;
    m_notedDay.clear();
}

bool CAppointmentBatch::Fail(LONG error) {
    m_lastError = error != ERROR_SUCCESS ? error : ERROR_CAN_NOT_COMPLETE;
    return false;
}

// The unfinished key goes, and so does its note: nothing of the appointment
// is left.
bool CAppointmentBatch::Abandon(LONG error) {
    const StoreWriteScope writesTo(m_dayName);
    DeleteSubkey(m_day.get(), m_note.KeyName());
    RemoveNote();
    return Fail(error);
}

bool CAppointmentBatch::OpenDay(const std::string& dateText) {
    if (m_day && dateText == m_dayName)
        return true;
    m_day.reset();
    m_dayName.clear();
    m_nextAttempt.clear();
    // Each key is asked only for what is done with it, so that a user whom
    // the installer granted read, write and delete access can file
    // appointments.
    if (!m_root) {
        const LONG rc = OpenCalendarRoot(KEY_CREATE_SUB_KEY, m_root, true);
        if (rc != ERROR_SUCCESS) {
            m_root.reset();
            return Fail(rc);
        }
        if (!SaveGoesOn(1))
            return false;
    }
    const LONG rc = CreateSubkey(m_root.get(), dateText, KEY_READ | KEY_WRITE, m_day);
    if (rc != ERROR_SUCCESS) {
        m_day.reset();
        return Fail(rc);
    }
    m_dayName = dateText;
    return SaveGoesOn(2);
}

bool CAppointmentBatch::WriteValues(HKEY key, const ical::AppointmentValues& values, int& step) {
    const std::function<bool()> writes[] = {
        [&] { return WriteFixedText(key, kValueFrom, values.from, kDateFieldBytes); },
        [&] { return WriteFixedText(key, kValueTo, values.to, kDateFieldBytes); },
        [&] { return WriteFixedText(key, kValueNotes, values.notes, kNotesFieldBytes); },
        [&] { return WriteFixedText(key, kValueEvent, values.event, kEventFieldBytes); },
        [&] { return WriteDwordValue(key, kValueEventIndex, values.eventIndex); },
        [&] {
            return WriteFixedText(key, kValueDetailNotes, values.detailNotes, kNotesFieldBytes);
        },
    };
    for (const auto& write : writes) {
        if (!write()) {
            // The value writes keep the registry's code to themselves.
            m_lastError = ERROR_WRITE_FAULT;
            return false;
        }
        if (!SaveGoesOn(step++)) {
            m_bCutShort = true;
            return false;
        }
    }
    const auto goOn = [&] {
        if (SaveGoesOn(step++))
            return true;
        m_bCutShort = true;
        return false;
    };
    const bool written = WriteTimedValuesIntoNewKey(key, values.time, goOn) &&
                         WriteSeriesValuesIntoNewKey(key, values.series, goOn);
    if (!written && !m_bCutShort)
        m_lastError = ERROR_WRITE_FAULT;
    return written;
}

namespace {

bool FitsFields(const ical::AppointmentValues& values) {
    return FitsTextField(values.from, kDateFieldBytes) &&
           FitsTextField(values.to, kDateFieldBytes) &&
           FitsTextField(values.notes, kNotesFieldBytes) &&
           FitsTextField(values.event, kEventFieldBytes) &&
           FitsTextField(values.detailNotes, kNotesFieldBytes);
}

} // namespace

bool CAppointmentBatch::Add(const std::string& dateText, const std::string& fromText,
                            const std::string& toText, const std::string& notes,
                            const std::string& eventText, int eventIndex,
                            const std::string& detailNotes) {
    ical::AppointmentValues values;
    values.from = fromText;
    values.to = toText;
    values.notes = notes;
    values.event = eventText;
    values.eventIndex = static_cast<std::uint32_t>(eventIndex);
    values.detailNotes = detailNotes;
    return Add(dateText, values);
}

bool CAppointmentBatch::Add(const std::string& dateText, const ical::AppointmentValues& values) {
    m_lastError = ERROR_SUCCESS;
    m_bNoteFailed = false;
    if (m_bCutShort)
        return false;
    if (!IsDayKeyName(dateText) || !FitsFields(values))
        return Fail(ERROR_INVALID_DATA);
    const StoreWriteScope writesTo(dateText);
    // A stop asked for by the test seam is taken as a crash: nothing more.
    const auto stop = [this] {
        m_bCutShort = true;
        return false;
    };
    if (!OpenDay(dateText))
        return m_lastError != ERROR_SUCCESS ? false : stop();
    const SYSTEMTIME now = fw::LocalNow();

    auto writeValues = [&](HKEY key) {
        int step = 5;
        return WriteValues(key, values, step);
    };
    // The steps after the values: 11 and 12 for an all-day save.
    const StoredTimedValues timed = EncodeTimedValues(values.time);
    const int renamedStep = 11 + (timed.time ? 1 : 0) + (timed.duration ? 1 : 0) +
                            (timed.remindBefore ? 1 : 0) + (timed.zone ? 1 : 0) +
                            SeriesValuesToWrite(values.series);
    m_noteRemovedStep = renamedStep + 1;
    // Names already given today go on from where they stopped; one that
    // exists is never reused, since the appointment under it would be lost.
    int& nextAttempt = m_nextAttempt[AppointmentKeyName(now, 0)];
    auto taken = [&](const std::string& name) {
        fw::unique_hkey existing;
        return OpenSubkey(m_day.get(), name, KEY_QUERY_VALUE, existing) != ERROR_FILE_NOT_FOUND;
    };

    if (!CanRenameSubkeys()) {
        // Without renaming (never on a Windows this program runs on) the
        // values go under the final name directly, and a failed save removes
        // what it wrote.
        for (int tries = 0; tries < kMaxKeyNameAttempts; ++tries) {
            const std::string name = AppointmentKeyName(now, nextAttempt++);
            fw::unique_hkey appointment;
            DWORD disposition = 0;
            const LONG rc =
                CreateSubkey(m_day.get(), name, KEY_SET_VALUE, appointment, &disposition);
            if (rc != ERROR_SUCCESS)
                return Fail(rc);
            if (disposition != REG_CREATED_NEW_KEY)
                continue;
            if (writeValues(appointment.get())) {
                m_lastKeyName = name;
                return true;
            }
            appointment.reset();
            if (!m_bCutShort)
                DeleteSubkey(m_day.get(), name);
            return false;
        }
        return Fail(ERROR_ALREADY_EXISTS);
    }

    // The values go into a key that no walk lists, which is given its final
    // name only once all six are in. It is noted for this user first, so that
    // a save cut short at any later point is removed at the next start; a
    // save that cannot be noted is not made, since nothing could remove
    // what a crash left of it.
    const std::string& unfinished = m_note.KeyName();
    if (m_notedDay != dateText) {
        m_bNoteWritten = true;
        const LONG noted = m_note.Write(dateText);
        if (noted != ERROR_SUCCESS) {
            m_bNoteFailed = true;
            return Fail(noted);
        }
        m_notedDay = dateText;
        if (!SaveGoesOn(3))
            return stop();
    }
    {
        fw::unique_hkey appointment;
        DWORD disposition = 0;
        const LONG rc =
            CreateSubkey(m_day.get(), unfinished, KEY_SET_VALUE, appointment, &disposition);
        if (rc != ERROR_SUCCESS || disposition != REG_CREATED_NEW_KEY) {
            // Never another save's key: the name holds this process and batch.
            RemoveNote();
            return Fail(rc != ERROR_SUCCESS ? rc : ERROR_ALREADY_EXISTS);
        }
        if (!SaveGoesOn(4))
            return stop();
        if (!writeValues(appointment.get()))
            return m_bCutShort ? false : Abandon(m_lastError);
    }

    for (int tries = 0; tries < kMaxKeyNameAttempts; ++tries) {
        const std::string name = AppointmentKeyName(now, nextAttempt++);
        if (taken(name))
            continue;
        const LONG rc = RenameSubkey(m_day.get(), unfinished, name);
        if (rc == ERROR_SUCCESS) {
            m_lastKeyName = name;
            if (!SaveGoesOn(renamedStep))
                stop();
            return true;
        }
        // Taken by another save between the look and the renaming: the next
        // name. Any other failure would only repeat.
        if (!taken(name))
            return Abandon(rc);
    }
    return Abandon(ERROR_ALREADY_EXISTS);
}

bool CAppointmentBatch::Replace(const std::string& dateText, const std::string& keyName,
                                const ical::AppointmentValues& values) {
    m_lastError = ERROR_SUCCESS;
    m_bNoteFailed = false;
    if (m_bCutShort)
        return false;
    if (!IsDayKeyName(dateText) || !FitsFields(values) || keyName.empty() ||
        keyName.size() >= kKeyNameBufferSize || IsUnfinishedKeyName(keyName.c_str()))
        return Fail(ERROR_INVALID_DATA);
    if (!CanRenameSubkeys())
        return Fail(ERROR_CALL_NOT_IMPLEMENTED);
    const StoreWriteScope writesTo(dateText);
    int step = 1;
    const auto goOn = [&] {
        if (SaveGoesOn(step++))
            return true;
        m_bCutShort = true;
        return false;
    };
    fw::unique_hkey root;
    LONG rc = OpenCalendarRoot(KEY_READ, root);
    fw::unique_hkey day;
    if (rc == ERROR_SUCCESS)
        rc = OpenSubkey(root.get(), dateText, KEY_READ | KEY_WRITE, day);
    if (rc == ERROR_SUCCESS) {
        fw::unique_hkey existing;
        rc = OpenSubkey(day.get(), keyName, KEY_QUERY_VALUE, existing);
    }
    if (rc != ERROR_SUCCESS)
        return Fail(rc);

    // Noted before anything changes, so that whatever a crash leaves is put
    // right at the next start; an edit that cannot be noted is not made.
    rc = m_note.WriteEdit(dateText, keyName);
    if (rc != ERROR_SUCCESS) {
        m_bNoteFailed = true;
        m_note.RemoveEdit();
        return Fail(rc);
    }
    if (!goOn())
        return false;
    const std::string& unfinished = m_note.KeyName();
    const std::string replaced = ReplacedKeyName(unfinished);
    // Nothing has moved yet: the old appointment stands as it was.
    const auto abandon = [&](LONG error) {
        DeleteSubkey(day.get(), unfinished);
        m_note.RemoveEdit();
        return Fail(error);
    };
    {
        fw::unique_hkey fresh;
        DWORD disposition = 0;
        rc = CreateSubkey(day.get(), unfinished, KEY_SET_VALUE, fresh, &disposition);
        if (rc != ERROR_SUCCESS || disposition != REG_CREATED_NEW_KEY) {
            m_note.RemoveEdit();
            return Fail(rc != ERROR_SUCCESS ? rc : ERROR_ALREADY_EXISTS);
        }
        if (!goOn())
            return false;
        if (!WriteValues(fresh.get(), values, step))
            return m_bCutShort ? false : abandon(m_lastError);
        fw::unique_hkey old;
        rc = OpenSubkey(day.get(), keyName, KEY_QUERY_VALUE, old);
        if (rc == ERROR_SUCCESS &&
            !CopyOtherValues(old.get(), fresh.get(), OwnedValueNames(values.series)))
            rc = ERROR_WRITE_FAULT;
        if (rc != ERROR_SUCCESS)
            return abandon(rc);
    }
    rc = RenameSubkey(day.get(), keyName, replaced);
    if (rc != ERROR_SUCCESS)
        return abandon(rc);
    if (!goOn())
        return false;
    rc = RenameSubkey(day.get(), unfinished, keyName);
    if (rc != ERROR_SUCCESS) {
        // The old key goes back; where even that fails, the note stays for
        // the next start to put it back.
        if (RenameSubkey(day.get(), replaced, keyName) == ERROR_SUCCESS)
            return abandon(rc);
        return Fail(rc);
    }
    // From here on the new values are the appointment's.
    if (!goOn())
        return true;
    const LONG removed = DeleteSubkey(day.get(), replaced);
    if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND)
        return true; // the new values are in; the next start removes the old key
    if (!goOn())
        return true;
    m_note.RemoveEdit();
    goOn();
    return true;
}
