#include "store/registry_value.h"

#include "framework/utf_text.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

static_assert(kValueTypeNone == REG_NONE && kValueTypeText == REG_SZ &&
              kValueTypeExpandText == REG_EXPAND_SZ && kValueTypeBinary == REG_BINARY &&
              kValueTypeDword == REG_DWORD && kValueTypeMultiText == REG_MULTI_SZ);
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

namespace {

std::atomic<UINT> g_codePage{CP_ACP};

size_t CodePageLength(const std::wstring& wide) {
    if (wide.empty())
        return 0;
    const int bytes =
        WideCharToMultiByte(g_codePage.load(), 0, wide.data(), static_cast<int>(wide.size()),
                            nullptr, 0, nullptr, nullptr);
    // A text the code page cannot take at all counts as too long.
    return bytes > 0 ? static_cast<size_t>(bytes) : static_cast<size_t>(-1);
}

} // namespace

UINT SetStoreCodePageForTesting(UINT codePage) {
    return g_codePage.exchange(codePage);
}

size_t CodePageLength(const std::string& text) {
    return CodePageLength(fw::Widen(text));
}

bool ReadTextValue(HKEY key, const char* name, std::string& text, size_t capacity) {
    text.clear();
    if (capacity == 0)
        return false;
    const std::wstring wideName = fw::Widen(name);
    DWORD type = REG_NONE;
    std::vector<BYTE> data(capacity * sizeof(wchar_t));
    DWORD size = static_cast<DWORD>(data.size());
    LONG rc = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, data.data(), &size);
    // Longer than the field: read it whole, then keep what fits. The value may
    // change between the calls, so ask again while it keeps growing.
    for (int tries = 0; tries < 4 && rc == ERROR_MORE_DATA; ++tries) {
        data.resize(size);
        rc = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, data.data(), &size);
    }
    if (rc != ERROR_SUCCESS)
        return false;
    return DecodeTextValue(type, data.data(), size < data.size() ? size : data.size(), capacity,
                           text);
}

bool ReadDwordValue(HKEY key, const char* name, DWORD& value) {
    DWORD type = REG_NONE;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    std::uint32_t decoded = 0;
    if (RegQueryValueExW(key, fw::Widen(name).c_str(), nullptr, &type, data, &size) !=
            ERROR_SUCCESS ||
        !DecodeDwordValue(type, data, size, decoded))
        return false;
    value = decoded;
    return true;
}

bool FitsTextField(const std::string& text, size_t fieldSize) {
    const std::wstring wide = fw::Widen(text);
    return fieldSize > 0 && wide.size() <= fieldSize - 1 && CodePageLength(wide) <= fieldSize - 1;
}

namespace {

std::atomic<std::uint64_t> g_storeWrites{0};

// The days named by the latest writes, the newest last, one record for a
// run of writes to the same day: {number of its last write, day key}.
constexpr std::size_t kDaysKept = 256;
std::mutex g_daysMutex;
std::deque<std::pair<std::uint64_t, std::string>> g_daysWritten; // guarded by g_daysMutex
std::uint64_t g_daysForgottenUpTo = 0;                           // guarded by g_daysMutex
thread_local const std::string* t_writeDay = nullptr;

// Counts the call's change once it is done, whatever it returned.
template <class Result> Result Noted(Result result) {
    NoteStoreWrite();
    return result;
}

} // namespace

void NoteStoreWrite() {
    std::lock_guard<std::mutex> lock(g_daysMutex);
    const std::uint64_t number = g_storeWrites.fetch_add(1) + 1;
    if (t_writeDay == nullptr)
        return;
    if (!g_daysWritten.empty() && g_daysWritten.back().second == *t_writeDay) {
        g_daysWritten.back().first = number;
        return;
    }
    g_daysWritten.emplace_back(number, *t_writeDay);
    if (g_daysWritten.size() > kDaysKept) {
        g_daysForgottenUpTo = g_daysWritten.front().first;
        g_daysWritten.pop_front();
    }
}

StoreWriteScope::StoreWriteScope(std::string dayKey)
    : m_dayKey(std::move(dayKey)), m_outer(t_writeDay) {
    t_writeDay = &m_dayKey;
}

StoreWriteScope::~StoreWriteScope() {
    t_writeDay = m_outer;
}

bool StoreDaysWrittenSince(std::uint64_t since, std::vector<std::string>& days,
                           std::uint64_t& upTo) {
    days.clear();
    std::lock_guard<std::mutex> lock(g_daysMutex);
    upTo = g_storeWrites.load();
    for (auto it = g_daysWritten.rbegin(); it != g_daysWritten.rend() && it->first > since; ++it)
        if (std::find(days.begin(), days.end(), it->second) == days.end())
            days.push_back(it->second);
    return since >= g_daysForgottenUpTo;
}

std::uint64_t StoreWritesByThisProcess() {
    return g_storeWrites.load();
}

bool WriteFixedText(HKEY key, const char* name, const std::string& text, size_t fieldSize) {
    const std::wstring wide = fw::Widen(text);
    const std::u16string field =
        EncodeFixedText(std::u16string(wide.begin(), wide.end()), CodePageLength(wide), fieldSize);
    if (field.empty())
        return false;
    return Noted(RegSetValueExW(key, fw::Widen(name).c_str(), 0, REG_EXPAND_SZ,
                                reinterpret_cast<const BYTE*>(field.data()),
                                static_cast<DWORD>(field.size() * sizeof(char16_t)))) ==
           ERROR_SUCCESS;
}

bool WriteDwordValue(HKEY key, const char* name, DWORD value) {
    return Noted(RegSetValueExW(key, fw::Widen(name).c_str(), 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&value), sizeof value)) ==
           ERROR_SUCCESS;
}

LONG OpenSubkey(HKEY parent, const std::string& name, REGSAM access, fw::unique_hkey& key) {
    return RegOpenKeyExW(parent, fw::Widen(name).c_str(), 0, access, key.put());
}

LONG CreateSubkey(HKEY parent, const std::string& name, REGSAM access, fw::unique_hkey& key,
                  DWORD* disposition) {
    return Noted(RegCreateKeyExW(parent, fw::Widen(name).c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, access, nullptr, key.put(), disposition));
}

LONG DeleteSubkey(HKEY parent, const std::string& name) {
    return Noted(RegDeleteKeyW(parent, fw::Widen(name).c_str()));
}

namespace {

using RenameKeyFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPCWSTR);
RenameKeyFn RenameKeyFunction() {
    static const RenameKeyFn rename = reinterpret_cast<RenameKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegRenameKey")));
    return rename;
}

} // namespace

bool CanRenameSubkeys() {
    return RenameKeyFunction() != nullptr;
}

LONG RenameSubkey(HKEY parent, const std::string& name, const std::string& newName) {
    const RenameKeyFn rename = RenameKeyFunction();
    if (rename == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return Noted(rename(parent, fw::Widen(name).c_str(), fw::Widen(newName).c_str()));
}

std::optional<StoredValueBytes> ReadValueBytes(HKEY key, const char* name, std::size_t largest) {
    const std::wstring wide = fw::Widen(name);
    BYTE first[256];
    DWORD type = REG_NONE;
    DWORD size = sizeof first;
    LONG rc = RegQueryValueExW(key, wide.c_str(), nullptr, &type, first, &size);
    if (rc == ERROR_SUCCESS)
        return StoredValueBytes{type, {first, first + size}};
    if (rc != ERROR_MORE_DATA)
        return std::nullopt;
    StoredValueBytes value{type, {}};
    if (size <= largest) {
        value.bytes.resize(size);
        rc = RegQueryValueExW(key, wide.c_str(), nullptr, &type, value.bytes.data(), &size);
        if (rc == ERROR_SUCCESS) {
            value.type = type;
            value.bytes.resize(size);
            return value;
        }
        if (rc != ERROR_MORE_DATA)
            return std::nullopt; // deleted meanwhile
    }
    value.bytes.clear(); // grown meanwhile, or too large from the start
    return value;
}

bool PutValueBytes(HKEY key, const char* name, const std::optional<StoredValueBytes>& value) {
    const std::wstring wide = fw::Widen(name);
    if (!value) {
        const LONG rc = RegDeleteValueW(key, wide.c_str());
        NoteStoreWrite();
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    const LONG rc = RegSetValueExW(key, wide.c_str(), 0, value->type, value->bytes.data(),
                                   static_cast<DWORD>(value->bytes.size()));
    NoteStoreWrite();
    return rc == ERROR_SUCCESS;
}
