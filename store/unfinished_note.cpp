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
    m_valueName = std::string(kValueUnfinishedNew) + " " + std::to_string(m_writer.processId) +
                  "-" + std::to_string(m_writer.processCreated) + "-" +
                  std::to_string(m_writer.batch);
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

UnfinishedKeyFate RemoveAbandonedUnfinishedKey(HKEY day, const char* name) {
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

void RemoveAbandonedUnfinishedSaves() {
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
