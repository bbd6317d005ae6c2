#pragma once

#include "ical/appointment_values.h"
#include "store/appointment_view.h"

#include <functional>
#include <string>

// What ListAppointments does with a day.
enum class ListMode {
    ShowDetail, // show the DETAIL NOTES of the appointments whose NOTES match
    Fill,       // append a row per appointment
};

// What ModifyAppointment does with the appointments whose NOTES match.
enum class ModifyMode {
    SaveDetail, // store new DETAIL NOTES into every one
    Delete,     // delete the first, once confirmed
};

enum class ModifyResult {
    None = 0,         // saved, or nothing to delete
    Deleted = 1,      // the appointment was deleted
    DeleteFailed = 2, // confirmed, but the key stayed
    Declined = 3,     // the deletion was not confirmed
    SaveFailed = 4,   // notes not saved: unwritable or gone
};

// Key paths and value names, below HKEY_LOCAL_MACHINE (the per-user key below
// HKEY_CURRENT_USER).
inline constexpr const char* kCalendarRootPath = "SOFTWARE\\Calendar";
inline constexpr const char* kOptionsKeyPath = "SOFTWARE\\Calendar\\OPTIONS";
inline constexpr const char* kValueFrom = "FROM";
inline constexpr const char* kValueTo = "TO";
inline constexpr const char* kValueNotes = "NOTES";
inline constexpr const char* kValueEvent = "EVENT";
inline constexpr const char* kValueEventIndex = "EVENT INDEX";
inline constexpr const char* kValueDetailNotes = "DETAIL NOTES";
inline constexpr const char* kValueTimeoutValue = "TIMEOUT VALUE";
inline constexpr const char* kValueSplash = "SPLASH";
inline constexpr const char* kValueTimeoutDelete = "TIMEOUT DELETE";
inline constexpr const char* kUserKeyPath = "Software\\Quillmere";
// The appointment a save of this user is writing, below the calendar root,
// until it has its final name: one value per batch of saves, this name and
// the writer (see store/unfinished_note.h); older builds kept one value of
// this name alone. Left behind only when the save was cut short.
inline constexpr const char* kValueUnfinishedNew = "Unfinished New";
// The appointment an edit of this user is replacing, until the new values
// have taken the old ones' place: one value per batch, this name and the
// writer, holding the day and the appointment's key name.
inline constexpr const char* kValueUnfinishedEdit = "Unfinished Edit";

// The sizes of the stored text fields: bytes, as a program writing through the
// code-page functions lays them out, and so many UTF-16 units in the
// registry's own storage. A field holds one character less (see
// FitsTextField in store/registry_value.h).
inline constexpr size_t kDateFieldBytes = 11;
inline constexpr size_t kNotesFieldBytes = 500;
inline constexpr size_t kEventFieldBytes = 10;
inline constexpr size_t kMaxNotesLength = kNotesFieldBytes - 1;
// Key names are read into buffers of this many UTF-16 units (the registry
// allows 255 characters).
inline constexpr size_t kKeyNameBufferSize = 256;

// The steps of a New save that change the registry, in order: the root and
// the day made, the unfinished save noted for this user, its key made, the
// six values written, the key given its final name, the note removed.
inline constexpr int kNewSaveSteps = 12;
// Tests stop a save after a step, as a crash or a kill would: the observer
// is told of each step done and answers whether the save goes on.
using SaveStepObserver = bool (*)(int step);
SaveStepObserver SetSaveStepObserverForTesting(SaveStepObserver observer);

// Option defaults, used when the options key or a value is missing.
inline constexpr int kDefaultTimeoutValue = 5;
inline constexpr int kDefaultSplash = 1;
inline constexpr int kDefaultTimeoutDelete = 0;

// The store: every appointment and option, in the registry below
// HKEY_LOCAL_MACHINE\SOFTWARE\Calendar. It keeps no state; each call opens and
// closes the keys it needs.
class CCalendarRegistry {
public:
    virtual ~CCalendarRegistry() = default;

    // Files a new appointment under the day `dateText`, in a key of its own,
    // and writes its six values. True when every write succeeded. The key
    // gets its final name only once it is complete, so a save cut short at
    // any point leaves the whole appointment or nothing that is listed.
    // The root is made when it is missing, and so is the day.
    bool AddAppointment(const std::string& dateText, const std::string& fromText,
                        const std::string& toText, const std::string& notes,
                        const std::string& eventText, int eventIndex,
                        const std::string& detailNotes);

    // The same with its time of day and alert values; `keyName`, when given,
    // receives the name the appointment was filed under.
    bool AddAppointment(const std::string& dateText, const ical::AppointmentValues& values,
                        std::string* keyName = nullptr);

    // Reads the appointment `keyName` of the day; false when it is not there.
    bool ReadAppointment(const std::string& dateText, const std::string& keyName,
                         ical::AppointmentValues& values);
    // Gives it `values`, all or nothing (see CAppointmentBatch::Replace).
    bool ReplaceAppointment(const std::string& dateText, const std::string& keyName,
                            const ical::AppointmentValues& values);

    // Fill: appends a row per appointment of the day, in the store's order,
    // then a row per occurrence on the day of a series filed on another day
    // (IAppointmentView::Row::seriesDay). ShowDetail: shows the DETAIL NOTES
    // of every appointment whose NOTES equal `matchNotes` exactly, one after
    // the other, the day's own first, then those of the occurrences.
    void ListAppointments(ListMode mode, const std::string& matchNotes, const std::string& dateText,
                          IAppointmentView& view);

    // The DETAIL NOTES of the appointment `keyName` of the day (a series'
    // notes, for one of its occurrences); false when it is not there.
    bool ReadDetailNotes(const std::string& dateText, const std::string& keyName,
                         std::string& detailNotes);

    // SaveDetail: every appointment of the day whose NOTES equal `matchNotes`
    // gets `detailNotes`. Delete: once the first such appointment is found,
    // `confirmDelete` is asked (when given) and decides whether it goes; no
    // other appointment is looked at after it.
    ModifyResult ModifyAppointment(ModifyMode mode, const std::string& dateText,
                                   const std::string& matchNotes, const std::string& detailNotes,
                                   const std::function<bool()>& confirmDelete = {});

    // Removes what saves of this user left unfinished when they were cut
    // short (a crash, a kill, a power cut), and only those whose writer has
    // ended; run at start-up.
    void RemoveUnfinishedNew();

    int GetTimeoutValue();
    int GetSplash();
    int GetTimeoutDelete();
    // Each setter is true when the value was stored.
    bool SetTimeoutValue(int minutes);
    bool SetSplash(int splash);
    bool SetTimeoutDelete(int timeoutDelete);
};
