#include "store/calendar_registry.h"

#include "framework/clock.h"
#include "framework/utf_text.h"
#include "framework/message_box.h"
#include "framework/unique_handle.h"
#include "store/calendar_root.h"
#include "store/key_naming.h"
#include "store/registry_value.h"
#include "store/store_walk.h"
#include "store/system_time.h"

#include <atomic>
#include <cstring>
#include <functional>

namespace {

std::atomic<SaveStepObserver> g_saveStepObserver{nullptr};

// Whether a New save goes on after `step`; only tests ever say no.
bool SaveGoesOn(int step) {
    SaveStepObserver observer = g_saveStepObserver.load();
    return observer == nullptr || observer(step);
}

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
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return day;
    if (OpenSubkey(root.get(), dateText, KEY_READ, day) != ERROR_SUCCESS)
        day.reset();
    return day;
}

// Gives a key below `parent` a new name. Windows has done so since Vista;
// where the call is missing, there is no renaming at all.
using RenameKeyFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPCWSTR);
RenameKeyFn RenameKeyFunction() {
    static const RenameKeyFn rename = reinterpret_cast<RenameKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegRenameKey")));
    return rename;
}

// Notes, for this user, which unfinished key a New is writing (empty: none).
bool NoteUnfinishedNew(const std::string& path) {
    fw::unique_hkey user;
    if (CreateSubkey(HKEY_CURRENT_USER, kUserKeyPath, KEY_SET_VALUE, user) != ERROR_SUCCESS)
        return false;
    const std::wstring name = fw::Widen(kValueUnfinishedNew);
    if (path.empty())
        return RegDeleteValueW(user.get(), name.c_str()) == ERROR_SUCCESS;
    const std::wstring wide = fw::Widen(path);
    return RegSetValueExW(user.get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// A name for the unfinished key that no other save uses now.
std::string NextUnfinishedName() {
    static std::atomic<unsigned long long> counter{0};
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return UnfinishedKeyName(GetCurrentProcessId(),
                             static_cast<unsigned long long>(now.QuadPart) + counter++);
}

} // namespace

LONG OpenCalendarRoot(REGSAM access, fw::unique_hkey& root, bool create) {
    if (create)
        return CreateSubkey(HKEY_LOCAL_MACHINE, kCalendarRootPath, access, root);
    return OpenSubkey(HKEY_LOCAL_MACHINE, kCalendarRootPath, access, root);
}

SaveStepObserver SetSaveStepObserverForTesting(SaveStepObserver observer) {
    return g_saveStepObserver.exchange(observer);
}

bool CCalendarRegistry::AddAppointment(const std::string& dateText, const std::string& fromText,
                                       const std::string& toText, const std::string& notes,
                                       const std::string& eventText, int eventIndex,
                                       const std::string& detailNotes) {
    // A text longer than its field would lose its end; the store refuses it
    // instead of cutting it.
    if (!IsDayKeyName(dateText) || !FitsTextField(fromText, kDateFieldBytes) ||
        !FitsTextField(toText, kDateFieldBytes) || !FitsTextField(notes, kNotesFieldBytes) ||
        !FitsTextField(eventText, kEventFieldBytes) ||
        !FitsTextField(detailNotes, kNotesFieldBytes))
        return false;
    // Each key is asked only for what is done with it, so that a user whom the
    // installer granted read, write and delete access can file appointments.
    fw::unique_hkey root;
    if (OpenCalendarRoot(KEY_CREATE_SUB_KEY, root, true) != ERROR_SUCCESS)
        return false;
    if (!SaveGoesOn(1))
        return false;
    fw::unique_hkey day;
    if (CreateSubkey(root.get(), dateText, KEY_READ | KEY_WRITE, day) != ERROR_SUCCESS)
        return false;
    if (!SaveGoesOn(2))
        return false;

    const SYSTEMTIME now = fw::LocalNow();
    auto writeValues = [&](HKEY key, int firstStep, bool& cutShort) {
        const std::function<bool()> writes[] = {
            [&] { return WriteFixedText(key, kValueFrom, fromText, kDateFieldBytes); },
            [&] { return WriteFixedText(key, kValueTo, toText, kDateFieldBytes); },
            [&] { return WriteFixedText(key, kValueNotes, notes, kNotesFieldBytes); },
            [&] { return WriteFixedText(key, kValueEvent, eventText, kEventFieldBytes); },
            [&] { return WriteDwordValue(key, kValueEventIndex, static_cast<DWORD>(eventIndex)); },
            [&] { return WriteFixedText(key, kValueDetailNotes, detailNotes, kNotesFieldBytes); },
        };
        int step = firstStep;
        for (const auto& write : writes) {
            if (!write())
                return false;
            if (!SaveGoesOn(step++)) {
                cutShort = true;
                return false;
            }
        }
        return true;
    };
    bool cutShort = false;

    const RenameKeyFn rename = RenameKeyFunction();
    if (rename == nullptr) {
        // Without renaming (never on a Windows this program runs on) the
        // values go under the final name directly, and a failed save removes
        // what it wrote.
        for (int attempt = 0; attempt < kMaxKeyNameAttempts; ++attempt) {
            const std::string name = AppointmentKeyName(now, attempt);
            fw::unique_hkey appointment;
            DWORD disposition = 0;
            if (CreateSubkey(day.get(), name, KEY_SET_VALUE, appointment, &disposition) !=
                ERROR_SUCCESS)
                return false;
            if (disposition != REG_CREATED_NEW_KEY)
                continue;
            if (writeValues(appointment.get(), 5, cutShort))
                return true;
            appointment.reset();
            if (!cutShort)
                DeleteSubkey(day.get(), name);
            return false;
        }
        return false;
    }

    // The values go into a key that no walk lists, which is given its final
    // name only once all six are in. It is noted for this user first, so that
    // a save cut short at any later point is removed at the next start.
    const std::string unfinished = NextUnfinishedName();
    NoteUnfinishedNew(dateText + "\\" + unfinished);
    if (!SaveGoesOn(3))
        return false;
    auto abandon = [&] {
        DeleteSubkey(day.get(), unfinished);
        NoteUnfinishedNew(std::string());
        return false;
    };
    {
        fw::unique_hkey appointment;
        DWORD disposition = 0;
        if (CreateSubkey(day.get(), unfinished, KEY_SET_VALUE, appointment, &disposition) !=
                ERROR_SUCCESS ||
            disposition != REG_CREATED_NEW_KEY) {
            // Never another save's key: the name holds this process and a
            // counter.
            NoteUnfinishedNew(std::string());
            return false;
        }
        if (!SaveGoesOn(4))
            return false;
        if (!writeValues(appointment.get(), 5, cutShort))
            return cutShort ? false : abandon();
    }

    // A final name that is already taken is never reused: the appointment
    // under it would be lost.
    auto taken = [&](const std::string& name) {
        fw::unique_hkey existing;
        return OpenSubkey(day.get(), name, KEY_QUERY_VALUE, existing) != ERROR_FILE_NOT_FOUND;
    };
    for (int attempt = 0; attempt < kMaxKeyNameAttempts; ++attempt) {
        const std::string name = AppointmentKeyName(now, attempt);
        if (taken(name))
            continue;
        if (rename(day.get(), fw::Widen(unfinished).c_str(), fw::Widen(name).c_str()) ==
            ERROR_SUCCESS) {
            if (SaveGoesOn(11)) {
                NoteUnfinishedNew(std::string());
                SaveGoesOn(12);
            }
            return true;
        }
        // Taken by another save between the look and the renaming: the next
        // name. Any other failure would only repeat.
        if (!taken(name))
            return abandon();
    }
    return abandon();
}

void CCalendarRegistry::RemoveUnfinishedNew() {
    fw::unique_hkey user;
    if (OpenSubkey(HKEY_CURRENT_USER, kUserKeyPath, KEY_QUERY_VALUE | KEY_SET_VALUE, user) !=
        ERROR_SUCCESS)
        return;
    const std::wstring noteName = fw::Widen(kValueUnfinishedNew);
    DWORD type = REG_NONE;
    if (RegQueryValueExW(user.get(), noteName.c_str(), nullptr, &type, nullptr, nullptr) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        RegDeleteValueW(user.get(), noteName.c_str());
        return;
    }
    std::string note;
    ReadTextValue(user.get(), kValueUnfinishedNew, note, 2 * kKeyNameBufferSize);
    const char* path = note.c_str();
    // Only a key the program names as unfinished, directly below a day, is
    // ever removed: the note may be damaged, the store must not be.
    const char* separator = std::strchr(path, '\\');
    fw::unique_hkey root;
    if (separator != nullptr && IsUnfinishedKeyName(separator + 1) &&
        std::strchr(separator + 1, '\\') == nullptr &&
        OpenCalendarRoot(KEY_READ, root) == ERROR_SUCCESS) {
        const std::string day(path, static_cast<size_t>(separator - path));
        fw::unique_hkey dayKey;
        if (OpenSubkey(root.get(), day, KEY_READ, dayKey) == ERROR_SUCCESS) {
            const LONG rc = DeleteSubkey(dayKey.get(), separator + 1);
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
                return; // kept, to be tried again at the next start
        }
    }
    RegDeleteValueW(user.get(), noteName.c_str());
}

void CCalendarRegistry::ListAppointments(int mode, const std::string& matchNotes,
                                         const std::string& dateText, IAppointmentView& view) {
    fw::unique_hkey day = OpenDayKey(dateText);
    if (!day)
        return;
    AppointmentFields fields;
    ForEachSubkey(day.get(), [&](const char* name) {
        fw::unique_hkey appointment;
        const LONG opened = OpenSubkey(day.get(), name, KEY_READ, appointment);
        if (opened != ERROR_SUCCESS)
            return opened == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed : SubkeyStep::Next;
        DWORD index = static_cast<DWORD>(-1);
        ReadDwordValue(appointment.get(), kValueEventIndex, index);
        ReadTextValue(appointment.get(), kValueEvent, fields.event, kEventFieldBytes);
        ReadTextValue(appointment.get(), kValueNotes, fields.notes, kNotesFieldBytes);
        if (mode == LIST_FILL) {
            view.AppendAppointmentRow(fields.event.c_str(), fields.notes.c_str(),
                                      static_cast<int>(index));
        } else if (mode == LIST_SHOW_DETAIL && matchNotes == fields.notes) {
            ReadTextValue(appointment.get(), kValueDetailNotes, fields.detail, kNotesFieldBytes);
            view.ShowDetailNotes(fields.detail.c_str());
        }
        return SubkeyStep::Next;
    });
}

int CCalendarRegistry::ModifyAppointment(int mode, const std::string& dateText,
                                         const std::string& matchNotes,
                                         const std::string& detailNotes) {
    if (mode == MODIFY_SAVE_DETAIL && !FitsTextField(detailNotes, kNotesFieldBytes))
        return MODIFY_RESULT_SAVE_FAILED;
    // Notes saved into no appointment are lost once the user moves on, so an
    // appointment that is gone (another program deleted it) is a failed save.
    fw::unique_hkey day = OpenDayKey(dateText);
    if (!day)
        return mode == MODIFY_SAVE_DETAIL ? MODIFY_RESULT_SAVE_FAILED : MODIFY_RESULT_NONE;
    int result = MODIFY_RESULT_NONE;
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

        if (mode == MODIFY_SAVE_DETAIL) {
            fw::unique_hkey appointment;
            if (OpenSubkey(day.get(), name, KEY_SET_VALUE, appointment) != ERROR_SUCCESS ||
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
            const LONG deleted = DeleteSubkey(day.get(), name);
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
