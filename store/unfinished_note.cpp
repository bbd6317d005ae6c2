#include "store/unfinished_note.h"

#include "framework/unique_handle.h"
#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/registry_value.h"
#include "store/user_values.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>

namespace {

unsigned long long Ticks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// When this process was made: with its id, it names the process for as long
// as the machine runs.
unsigned long long OwnCreationTime() {
    static const unsigned long long created = [] {
        FILETIME made{}, ended{}, kernel{}, user{};
        GetProcessTimes(GetCurrentProcess(), &made, &ended, &kernel, &user);
        return Ticks(made);
    }();
    return created;
}

// The batches of this process that are under way.
std::mutex g_batchMutex;
std::set<unsigned long long> g_batchesUnderWay;
std::atomic<unsigned long long> g_nextBatch{1};

bool BatchUnderWay(unsigned long long batch) {
    std::lock_guard<std::mutex> lock(g_batchMutex);
    return g_batchesUnderWay.count(batch) != 0;
}

// Whether the writer that `name` gives may still be writing it. A name from
// an older build gives no creation time: then only a process made before the
// key was last written can be its writer.
bool WriterMayRun(const UnfinishedWriter& writer, HKEY key) {
    if (writer.processId == GetCurrentProcessId() && writer.processCreated == OwnCreationTime())
        return BatchUnderWay(writer.batch);
    fw::unique_handle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, writer.processId));
    // No such process answers "invalid parameter"; one of another user
    // answers "access denied" and is taken to run.
    if (!process)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE)
        return false;
    FILETIME made{}, ended{}, kernel{}, user{};
    if (!GetProcessTimes(process.get(), &made, &ended, &kernel, &user))
        return true;
    if (writer.processCreated != 0)
        return Ticks(made) == writer.processCreated;
    FILETIME written{};
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, &written) != ERROR_SUCCESS)
        return true;
    return Ticks(made) <= Ticks(written);
}

} // namespace

CUnfinishedNote::CUnfinishedNote() {
    m_writer.processId = GetCurrentProcessId();
    m_writer.processCreated = OwnCreationTime();
    m_writer.batch = g_nextBatch++;
    m_keyName = UnfinishedKeyName(m_writer);
    const std::string writerText = std::to_string(m_writer.processId) + "-" +
                                   std::to_string(m_writer.processCreated) + "-" +
                                   std::to_string(m_writer.batch);
    m_valueName = std::string(kValueUnfinishedNew) + " " + writerText;
    m_editValueName = std::string(kValueUnfinishedEdit) + " " + writerText;
    std::lock_guard<std::mutex> lock(g_batchMutex);
    g_batchesUnderWay.insert(m_writer.batch);
}

CUnfinishedNote::~CUnfinishedNote() {
    std::lock_guard<std::mutex> lock(g_batchMutex);
    g_batchesUnderWay.erase(m_writer.batch);
}

LONG CUnfinishedNote::Write(const std::string& dayName) {
    return WriteUserText(m_valueName.c_str(), dayName + "\\" + m_keyName);
}

void CUnfinishedNote::Remove() {
    DeleteUserValue(m_valueName.c_str());
}

LONG CUnfinishedNote::WriteEdit(const std::string& dayName, const std::string& keyName) {
    return WriteUserText(m_editValueName.c_str(), dayName + "\\" + keyName);
}

void CUnfinishedNote::RemoveEdit() {
    DeleteUserValue(m_editValueName.c_str());
}

UnfinishedKeyFate RemoveAbandonedUnfinishedKey(HKEY day, const char* name) {
    // The old values of an edit cut short: only that edit's clean-up may
    // judge whether they are still needed.
    if (IsReplacedKeyName(name))
        return UnfinishedKeyFate::WriterRuns;
    {
        fw::unique_hkey key;
        const LONG opened = OpenSubkey(day, name, KEY_QUERY_VALUE, key);
        if (opened == ERROR_FILE_NOT_FOUND)
            return UnfinishedKeyFate::Absent;
        // A name that gives no writer is debris of this program all the same:
        // no walk lists it, so nothing else would ever remove it.
        UnfinishedWriter writer;
        if (opened == ERROR_SUCCESS && ParseUnfinishedKeyName(name, writer) &&
            WriterMayRun(writer, key.get()))
            return UnfinishedKeyFate::WriterRuns;
    }
    const LONG rc = DeleteSubkey(day, name);
    if (rc == ERROR_SUCCESS)
        return UnfinishedKeyFate::Removed;
    return rc == ERROR_FILE_NOT_FOUND ? UnfinishedKeyFate::Absent : UnfinishedKeyFate::NotRemoved;
}

namespace {

bool Exists(HKEY day, const std::string& name) {
    fw::unique_hkey key;
    return OpenSubkey(day, name, KEY_QUERY_VALUE, key) != ERROR_FILE_NOT_FOUND;
}

bool Gone(HKEY day, const std::string& name) {
    const LONG rc = DeleteSubkey(day, name);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

// Puts right what edits cut short left: an appointment whose key is still
// there keeps it, and the edit's other keys go; one whose key is gone was
// being swapped, and gets the new values when they wait whole under the
// unfinished key (they are whole before the old key moves away), or else its
// old key back.
void FinishAbandonedEdits() {
    const size_t prefix = std::strlen(kValueUnfinishedEdit) + 1;
    fw::unique_hkey root;
    LONG rootOpened = ERROR_INVALID_HANDLE;
    for (const std::string& valueName : UserValueNames(kValueUnfinishedEdit)) {
        std::string note;
        const char* separator = nullptr;
        if (valueName.size() > prefix &&
            ReadUserText(valueName.c_str(), 2 * kKeyNameBufferSize, note))
            separator = std::strchr(note.c_str(), '\\');
        const std::string unfinished = UnfinishedKeyNameOfWriterText(
            valueName.size() > prefix ? valueName.substr(prefix) : "");
        UnfinishedWriter writer;
        if (separator == nullptr || separator[1] == '\0' ||
            std::strchr(separator + 1, '\\') != nullptr || IsUnfinishedKeyName(separator + 1) ||
            !ParseUnfinishedKeyName(unfinished.c_str(), writer)) {
            DeleteUserValue(valueName.c_str());
            continue;
        }
        const std::string dayName = note.substr(0, static_cast<size_t>(separator - note.c_str()));
        const std::string keyName = separator + 1;
        if (rootOpened == ERROR_INVALID_HANDLE)
            rootOpened = OpenCalendarRoot(KEY_READ, root);
        if (rootOpened != ERROR_SUCCESS)
            return;
        fw::unique_hkey day;
        const LONG opened = OpenSubkey(root.get(), dayName, KEY_READ | KEY_WRITE, day);
        if (opened == ERROR_FILE_NOT_FOUND) {
            DeleteUserValue(valueName.c_str());
            continue;
        }
        if (opened != ERROR_SUCCESS || WriterMayRun(writer, day.get()))
            continue;
        const std::string replaced = ReplacedKeyName(unfinished);
        bool done = false;
        if (Exists(day.get(), keyName))
            done = Gone(day.get(), replaced) && Gone(day.get(), unfinished);
        else if (Exists(day.get(), unfinished))
            done = RenameSubkey(day.get(), unfinished, keyName) == ERROR_SUCCESS &&
                   Gone(day.get(), replaced);
        else if (Exists(day.get(), replaced))
            done = RenameSubkey(day.get(), replaced, keyName) == ERROR_SUCCESS;
        else
            done = true;
        if (done)
            DeleteUserValue(valueName.c_str());
    }
}

} // namespace

void RemoveAbandonedUnfinishedSaves() {
    // Edits first: the keys of a swap under way are not debris.
    FinishAbandonedEdits();
    fw::unique_hkey root;
    LONG rootOpened = ERROR_INVALID_HANDLE;
    for (const std::string& valueName : UserValueNames(kValueUnfinishedNew)) {
        // A note that is no text, or names anything but an unfinished key
        // directly below a day, is damaged: it goes, and the store is not
        // touched.
        std::string note;
        const char* separator = nullptr;
        if (ReadUserText(valueName.c_str(), 2 * kKeyNameBufferSize, note))
            separator = std::strchr(note.c_str(), '\\');
        if (separator == nullptr || !IsUnfinishedKeyName(separator + 1) ||
            std::strchr(separator + 1, '\\') != nullptr) {
            DeleteUserValue(valueName.c_str());
            continue;
        }
        if (rootOpened == ERROR_INVALID_HANDLE)
            rootOpened = OpenCalendarRoot(KEY_READ, root);
        fw::unique_hkey day;
        LONG opened = rootOpened;
        if (rootOpened == ERROR_SUCCESS)
            opened = OpenSubkey(root.get(),
                                note.substr(0, static_cast<size_t>(separator - note.c_str())),
                                KEY_READ, day);
        if (opened == ERROR_SUCCESS) {
            const UnfinishedKeyFate fate = RemoveAbandonedUnfinishedKey(day.get(), separator + 1);
            // Kept for a later start: a save still under way, or a key that
            // would not go.
            if (fate == UnfinishedKeyFate::WriterRuns || fate == UnfinishedKeyFate::NotRemoved)
                continue;
        } else if (opened != ERROR_FILE_NOT_FOUND) {
            continue;
        }
        DeleteUserValue(valueName.c_str());
    }
}
