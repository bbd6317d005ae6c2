#include "store/calendar_registry.h"

#include "framework/clock.h"
#include "framework/message_box.h"
#include "framework/unique_handle.h"
#include "store/key_naming.h"
#include "store/registry_value.h"
#include "store/store_walk.h"
#include "store/system_time.h"

#include <cstring>

namespace {

// A date text names one key directly below the root; an empty text or one
// with a separator would name the root itself or a deeper key.
bool IsDayKeyName(const std::string& dateText) {
    return !dateText.empty() && dateText.find('\\') == std::string::npos &&
           dateText.size() < kKeyNameBufferSize;
}

// Opens the day's key for reading, relative to the calendar root.
fw::unique_hkey OpenDayKey(const std::string& dateText) {
    fw::unique_hkey day;
    if (!IsDayKeyName(dateText))
        return day;
    fw::unique_hkey root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, KEY_READ, root.put()) !=
        ERROR_SUCCESS)
        return day;
    if (RegOpenKeyExA(root.get(), dateText.c_str(), 0, KEY_READ, day.put()) != ERROR_SUCCESS)
        day.reset();
    return day;
}

// A text longer than its field would lose its end; the store refuses it
// instead of cutting it.
bool FitsField(const std::string& text, size_t fieldBytes) {
    return text.size() < fieldBytes;
}

} // namespace

bool CCalendarRegistry::AddAppointment(const std::string& dateText, const std::string& fromText,
                                       const std::string& toText, const std::string& notes,
                                       const std::string& eventText, int eventIndex,
                                       const std::string& detailNotes) {
    if (!IsDayKeyName(dateText) || !FitsField(fromText, kDateFieldBytes) ||
        !FitsField(toText, kDateFieldBytes) || !FitsField(notes, kNotesFieldBytes) ||
        !FitsField(eventText, kEventFieldBytes) || !FitsField(detailNotes, kNotesFieldBytes))
        return false;
    // Each key is asked only for what is done with it, so that a user whom the
    // installer granted read, write and delete access can file appointments.
    fw::unique_hkey root;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_CREATE_SUB_KEY, nullptr, root.put(), nullptr) != ERROR_SUCCESS)
        return false;
    fw::unique_hkey day;
    if (RegCreateKeyExA(root.get(), dateText.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_CREATE_SUB_KEY, nullptr, day.put(), nullptr) != ERROR_SUCCESS)
        return false;

    // A name that is already taken would open that appointment and overwrite
    // it; only a key this call created is used.
    const SYSTEMTIME now = fw::LocalNow();
    fw::unique_hkey appointment;
    std::string name;
    for (int attempt = 0;; ++attempt) {
        if (attempt == kMaxKeyNameAttempts)
            return false;
        name = AppointmentKeyName(now, attempt);
        DWORD disposition = 0;
        if (RegCreateKeyExA(day.get(), name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, appointment.put(),
                            &disposition) != ERROR_SUCCESS)
            return false;
        if (disposition == REG_CREATED_NEW_KEY)
            break;
        appointment.reset();
    }

    const bool written =
        WriteFixedText(appointment.get(), kValueFrom, fromText, kDateFieldBytes) &&
        WriteFixedText(appointment.get(), kValueTo, toText, kDateFieldBytes) &&
        WriteFixedText(appointment.get(), kValueNotes, notes, kNotesFieldBytes) &&
        WriteFixedText(appointment.get(), kValueEvent, eventText, kEventFieldBytes) &&
        WriteDwordValue(appointment.get(), kValueEventIndex, static_cast<DWORD>(eventIndex)) &&
        WriteFixedText(appointment.get(), kValueDetailNotes, detailNotes, kNotesFieldBytes);
    if (!written) {
        // Leave no half-written appointment behind.
        appointment.reset();
        RegDeleteKeyA(day.get(), name.c_str());
        return false;
    }
    return true;
}

void CCalendarRegistry::ListAppointments(int mode, const std::string& matchNotes,
                                         const std::string& dateText, IAppointmentView& view) {
    fw::unique_hkey day = OpenDayKey(dateText);
    if (!day)
        return;
    AppointmentFields fields;
    ForEachSubkey(day.get(), [&](const char* name) {
        fw::unique_hkey appointment;
        if (RegOpenKeyExA(day.get(), name, 0, KEY_READ, appointment.put()) != ERROR_SUCCESS)
            return SubkeyStep::Next;
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
            if (RegOpenKeyExA(day.get(), name, 0, KEY_READ, appointment.put()) != ERROR_SUCCESS)
                return SubkeyStep::Next;
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
