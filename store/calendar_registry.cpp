#include "store/calendar_registry.h"

#include "framework/message_box.h"
#include "framework/unique_handle.h"
#include "store/appointment_batch.h"
#include "store/calendar_root.h"
#include "store/field_limits.h"
#include "store/key_naming.h"
#include "store/registry_value.h"
#include "store/store_walk.h"

#include <cstring>

namespace {

// Opens the day's key for reading, relative to the calendar root.
fw::unique_hkey OpenDayKey(const std::string& dateText) {
    fw::unique_hkey day;
    if (!IsDayKeyName(dateText))
        return day;
    fw::unique_hkey root;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return day;
    if (RegOpenKeyExA(root.get(), dateText.c_str(), 0, KEY_READ, day.put()) != ERROR_SUCCESS)
        day.reset();
    return day;
}

} // namespace

LONG OpenCalendarRoot(REGSAM access, fw::unique_hkey& root, bool create) {
    if (create)
        return RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, nullptr,
                               REG_OPTION_NON_VOLATILE, access, nullptr, root.put(), nullptr);
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, access, root.put());
}

bool CCalendarRegistry::AddAppointment(const std::string& dateText, const std::string& fromText,
                                       const std::string& toText, const std::string& notes,
                                       const std::string& eventText, int eventIndex,
                                       const std::string& detailNotes) {
    CAppointmentBatch save;
    return save.Add(dateText, fromText, toText, notes, eventText, eventIndex, detailNotes);
}

void CCalendarRegistry::RemoveUnfinishedNew() {
    fw::unique_hkey user;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserKeyPath, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      user.put()) != ERROR_SUCCESS)
        return;
    char path[2 * kKeyNameBufferSize] = "";
    DWORD type = REG_NONE;
    DWORD size = sizeof path - 1;
    if (RegQueryValueExA(user.get(), kValueUnfinishedNew, nullptr, &type,
                         reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        RegDeleteValueA(user.get(), kValueUnfinishedNew);
        return;
    }
    path[size < sizeof path ? size : sizeof path - 1] = '\0';
    // Only a key the program names as unfinished, directly below a day, is
    // ever removed: the note may be damaged, the store must not be.
    const char* separator = std::strchr(path, '\\');
    fw::unique_hkey root;
    if (separator != nullptr && IsUnfinishedKeyName(separator + 1) &&
        std::strchr(separator + 1, '\\') == nullptr &&
        OpenCalendarRoot(KEY_READ, root) == ERROR_SUCCESS) {
        const std::string day(path, static_cast<size_t>(separator - path));
        fw::unique_hkey dayKey;
        if (RegOpenKeyExA(root.get(), day.c_str(), 0, KEY_READ, dayKey.put()) == ERROR_SUCCESS) {
            const LONG rc = RegDeleteKeyA(dayKey.get(), separator + 1);
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
                return; // kept, to be tried again at the next start
        }
    }
    RegDeleteValueA(user.get(), kValueUnfinishedNew);
}

void CCalendarRegistry::ListAppointments(int mode, const std::string& matchNotes,
                                         const std::string& dateText, IAppointmentView& view) {
    fw::unique_hkey day = OpenDayKey(dateText);
    if (!day)
        return;
    AppointmentFields fields;
    ForEachSubkey(day.get(), [&](const char* name) {
        fw::unique_hkey appointment;
        const LONG opened = RegOpenKeyExA(day.get(), name, 0, KEY_READ, appointment.put());
        if (opened != ERROR_SUCCESS)
            return opened == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed : SubkeyStep::Next;
        DWORD index = static_cast<DWORD>(-1);
        ReadDwordValue(appointment.get(), kValueEventIndex, index);
        ReadTextValue(appointment.get(), kValueEvent, fields.event, sizeof fields.event);
        ReadTextValue(appointment.get(), kValueNotes, fields.notes, sizeof fields.notes);
        if (mode == LIST_FILL) {
            view.AppendAppointmentRow(fields.event, fields.notes, static_cast<int>(index));
        } else if (mode == LIST_SHOW_DETAIL && matchNotes == fields.notes) {
            ReadTextValue(appointment.get(), kValueDetailNotes, fields.detail,
                          sizeof fields.detail);
            view.ShowDetailNotes(fields.detail);
        }
        return SubkeyStep::Next;
    });
}

int CCalendarRegistry::ModifyAppointment(int mode, const std::string& dateText,
                                         const std::string& matchNotes,
                                         const std::string& detailNotes) {
    if (mode == MODIFY_SAVE_DETAIL && !FitsField(detailNotes, kNotesFieldBytes))
        return MODIFY_RESULT_SAVE_FAILED;
    // Notes saved into no appointment are lost once the user moves on, so an
    // appointment that is gone (another program deleted it) is a failed save.
    fw::unique_hkey day = OpenDayKey(dateText);
    if (!day)
        return mode == MODIFY_SAVE_DETAIL ? MODIFY_RESULT_SAVE_FAILED : MODIFY_RESULT_NONE;
    int result = MODIFY_RESULT_NONE;
    bool matched = false;
    char notes[kNotesFieldBytes];
    ForEachSubkey(day.get(), [&](const char* name) {
        {
            fw::unique_hkey appointment;
            const LONG opened = RegOpenKeyExA(day.get(), name, 0, KEY_READ, appointment.put());
            if (opened != ERROR_SUCCESS)
                return opened == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed : SubkeyStep::Next;
            ReadTextValue(appointment.get(), kValueNotes, notes, sizeof notes);
        }
        if (matchNotes != notes)
            return SubkeyStep::Next;
        matched = true;

        if (mode == MODIFY_SAVE_DETAIL) {
            fw::unique_hkey appointment;
            if (RegOpenKeyExA(day.get(), name, 0, KEY_SET_VALUE, appointment.put()) !=
                    ERROR_SUCCESS ||
                !WriteFixedText(appointment.get(), kValueDetailNotes, detailNotes,
                                kNotesFieldBytes))
                result = MODIFY_RESULT_SAVE_FAILED;
            return SubkeyStep::Next;
        }
        if (mode == MODIFY_DELETE) {
            if (fw::ShowMessageBox(nullptr, "Are you sure you want to delete appointment?",
                                   "Confirm Delete",
                                   MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
                result = MODIFY_RESULT_DECLINED;
                return SubkeyStep::Stop;
            }
            // Another program may have deleted it while the user was asked;
            // it is gone as the user wanted, and its row must go too.
            const LONG deleted = RegDeleteKeyA(day.get(), name);
            result = deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND
                         ? MODIFY_RESULT_DELETED
                         : MODIFY_RESULT_DELETE_FAILED;
            return SubkeyStep::Stop;
        }
        return SubkeyStep::Next;
    });
    if (mode == MODIFY_SAVE_DETAIL && !matched)
        return MODIFY_RESULT_SAVE_FAILED;
    return result;
}
