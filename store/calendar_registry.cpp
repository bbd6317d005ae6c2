#include "store/calendar_registry.h"

#include "framework/unique_handle.h"
#include "store/appointment_batch.h"
#include "store/calendar_root.h"
#include "store/field_limits.h"
#include "store/registry_value.h"
#include "store/store_walk.h"
#include "store/series_catalog.h"
#include "store/series_registry.h"
#include "store/timed_registry.h"
#include "store/unfinished_note.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

// Opens the day's key for reading, relative to the calendar root.
fw::unique_hkey OpenDayKey(const std::string& dateText) {
    fw::unique_hkey day;
    if (!IsDayKeyName(dateText))
        return day;
    fw::unique_hkey root;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return day;
    if (OpenSubkey(root.get(), dateText, KEY_READ, day) != ERROR_SUCCESS)
        day.reset();
    return day;
}

} // namespace

LONG OpenCalendarRoot(REGSAM access, fw::unique_hkey& root, bool create) {
    if (create)
        return CreateSubkey(HKEY_LOCAL_MACHINE, kCalendarRootPath, access, root);
    return OpenSubkey(HKEY_LOCAL_MACHINE, kCalendarRootPath, access, root);
}

bool CCalendarRegistry::AddAppointment(const std::string& dateText, const std::string& fromText,
                                       const std::string& toText, const std::string& notes,
                                       const std::string& eventText, int eventIndex,
                                       const std::string& detailNotes) {
    CAppointmentBatch save;
    return save.Add(dateText, fromText, toText, notes, eventText, eventIndex, detailNotes);
}

bool CCalendarRegistry::AddAppointment(const std::string& dateText,
                                       const ical::AppointmentValues& values,
                                       std::string* keyName) {
    CAppointmentBatch save;
    if (!save.Add(dateText, values))
        return false;
    if (keyName != nullptr)
        *keyName = save.LastKeyName();
    return true;
}

bool CCalendarRegistry::ReadAppointment(const std::string& dateText, const std::string& keyName,
                                        ical::AppointmentValues& values) {
    fw::unique_hkey day = OpenDayKey(dateText);
    fw::unique_hkey appointment;
    if (!day || IsUnfinishedKeyName(keyName.c_str()) ||
        OpenSubkey(day.get(), keyName, KEY_READ, appointment) != ERROR_SUCCESS)
        return false;
    values = {};
    DWORD index = static_cast<DWORD>(-1);
    ReadTextValue(appointment.get(), kValueFrom, values.from, kDateFieldBytes);
    ReadTextValue(appointment.get(), kValueTo, values.to, kDateFieldBytes);
    ReadTextValue(appointment.get(), kValueNotes, values.notes, kNotesFieldBytes);
    ReadTextValue(appointment.get(), kValueEvent, values.event, kEventFieldBytes);
    ReadDwordValue(appointment.get(), kValueEventIndex, index);
    values.eventIndex = index;
    ReadTextValue(appointment.get(), kValueDetailNotes, values.detailNotes, kNotesFieldBytes);
    values.time = ReadTimedValues(appointment.get());
    values.series = ReadSeriesValues(appointment.get());
    return !IsKeyGone(appointment.get());
}

bool CCalendarRegistry::ReplaceAppointment(const std::string& dateText, const std::string& keyName,
                                           const ical::AppointmentValues& values) {
    CAppointmentBatch edit;
    return edit.Replace(dateText, keyName, values);
}

void CCalendarRegistry::RemoveUnfinishedNew() {
    RemoveAbandonedUnfinishedSaves();
}

void CCalendarRegistry::ListAppointments(ListMode mode, const std::string& matchNotes,
                                         const std::string& dateText, IAppointmentView& view) {
    if (!IsDayKeyName(dateText))
        return;
    AppointmentFields fields;
    struct Listed {
        std::string keyName, event, notes;
        int eventIndex;
        std::optional<int> minuteOfDay;
    };
    std::vector<Listed> rows;
    bool shownOwn = false;
    // A day without a key of its own may still have occurrences.
    if (fw::unique_hkey day = OpenDayKey(dateText)) {
        ForEachSubkey(day.get(), [&](const char* name) {
            fw::unique_hkey appointment;
            const LONG opened = OpenSubkey(day.get(), name, KEY_READ, appointment);
            if (opened != ERROR_SUCCESS)
                return opened == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed : SubkeyStep::Next;
            DWORD index = static_cast<DWORD>(-1);
            ReadDwordValue(appointment.get(), kValueEventIndex, index);
            ReadTextValue(appointment.get(), kValueEvent, fields.event, kEventFieldBytes);
            ReadTextValue(appointment.get(), kValueNotes, fields.notes, kNotesFieldBytes);
            if (mode == ListMode::Fill) {
                rows.push_back({name, fields.event, fields.notes, static_cast<int>(index),
                                ReadTimeOfDay(appointment.get())});
            } else if (mode == ListMode::ShowDetail && matchNotes == fields.notes) {
                ReadTextValue(appointment.get(), kValueDetailNotes, fields.detail,
                              kNotesFieldBytes);
                view.ShowDetailNotes(fields.detail.c_str());
                shownOwn = true;
            }
            return SubkeyStep::Next;
        });
    }
    // The day's own appointment comes first: an occurrence of the same notes
    // must not put its notes over the selected row's.
    if (mode == ListMode::ShowDetail && shownOwn)
        return;
    // A key named otherwise is listed as it stands, without occurrences.
    CalendarDate date;
    std::vector<CSeriesCatalog::Occurrence> occurrences;
    if (ParseDateText(dateText.c_str(), date))
        occurrences = CSeriesCatalog::Shared().Covering(date, dateText);
    if (mode == ListMode::ShowDetail) {
        for (const CSeriesCatalog::Occurrence& occurrence : occurrences) {
            if (occurrence.notes == matchNotes &&
                ReadDetailNotes(occurrence.dayKey, occurrence.keyName, fields.detail))
                view.ShowDetailNotes(fields.detail.c_str());
        }
        return;
    }
    // All-day first, in the store's order, then by time; the same time keeps
    // the store's order too. The occurrences follow the day's own rows in
    // the same order.
    const auto byTime = [](const auto& a, const auto& b) {
        return a.minuteOfDay.value_or(-1) < b.minuteOfDay.value_or(-1);
    };
    std::stable_sort(rows.begin(), rows.end(), byTime);
    for (const Listed& row : rows)
        view.AppendAppointment({row.keyName.c_str(), row.event.c_str(), row.notes.c_str(),
                                row.eventIndex, row.minuteOfDay});
    std::stable_sort(occurrences.begin(), occurrences.end(), byTime);
    for (const CSeriesCatalog::Occurrence& row : occurrences)
        view.AppendAppointment({row.keyName.c_str(), row.event.c_str(), row.notes.c_str(),
                                row.eventIndex, row.minuteOfDay, row.dayKey.c_str()});
}

bool CCalendarRegistry::ReadDetailNotes(const std::string& dateText, const std::string& keyName,
                                        std::string& detailNotes) {
    detailNotes.clear();
    fw::unique_hkey day = OpenDayKey(dateText);
    fw::unique_hkey appointment;
    if (!day || IsUnfinishedKeyName(keyName.c_str()) ||
        OpenSubkey(day.get(), keyName, KEY_READ, appointment) != ERROR_SUCCESS)
        return false;
    ReadTextValue(appointment.get(), kValueDetailNotes, detailNotes, kNotesFieldBytes);
    return !IsKeyGone(appointment.get());
}

ModifyResult CCalendarRegistry::ModifyAppointment(ModifyMode mode, const std::string& dateText,
                                                  const std::string& matchNotes,
                                                  const std::string& detailNotes,
                                                  const std::function<bool()>& confirmDelete) {
    if (mode == ModifyMode::SaveDetail && !FitsTextField(detailNotes, kNotesFieldBytes))
        return ModifyResult::SaveFailed;
    // Notes saved into no appointment are lost once the user moves on, so an
    // appointment that is gone (another program deleted it) is a failed save.
    fw::unique_hkey day = OpenDayKey(dateText);
    if (!day)
        return mode == ModifyMode::SaveDetail ? ModifyResult::SaveFailed : ModifyResult::None;
    const StoreWriteScope writesTo(dateText);
    ModifyResult result = ModifyResult::None;
    bool matched = false;
    std::string notes;
    ForEachSubkey(day.get(), [&](const char* name) {
        {
            fw::unique_hkey appointment;
            const LONG opened = OpenSubkey(day.get(), name, KEY_READ, appointment);
            if (opened != ERROR_SUCCESS)
                return opened == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed : SubkeyStep::Next;
            ReadTextValue(appointment.get(), kValueNotes, notes, kNotesFieldBytes);
        }
        if (matchNotes != notes)
            return SubkeyStep::Next;
        matched = true;

        if (mode == ModifyMode::SaveDetail) {
            fw::unique_hkey appointment;
            if (OpenSubkey(day.get(), name, KEY_SET_VALUE, appointment) != ERROR_SUCCESS ||
                !WriteFixedText(appointment.get(), kValueDetailNotes, detailNotes,
                                kNotesFieldBytes))
                result = ModifyResult::SaveFailed;
            return SubkeyStep::Next;
        }
        if (confirmDelete && !confirmDelete()) {
            result = ModifyResult::Declined;
            return SubkeyStep::Stop;
        }
        // Another program may have deleted it while the user was asked; it
        // is gone as the user wanted, and its row must go too.
        const LONG deleted = DeleteSubkey(day.get(), name);
        result = deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND
                     ? ModifyResult::Deleted
                     : ModifyResult::DeleteFailed;
        return SubkeyStep::Stop;
    });
    if (mode == ModifyMode::SaveDetail && !matched)
        return ModifyResult::SaveFailed;
    return result;
}
