#include "store/user_values.h"

#include "framework/unique_handle.h"
#include "framework/utf_text.h"
#include "store/calendar_registry.h"

#include <mutex>
#include <utility>

namespace {

std::mutex g_pathMutex;
std::string g_pathForTesting;

} // namespace

namespace {
std::wstring UserKeyPath() {
    return fw::Widen(UserValuesPath());
}
} // namespace

bool ReadUserBinary(const char* name, std::size_t maxBytes, std::vector<unsigned char>& bytes) {
    bytes.clear();
    fw::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UserKeyPath().c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return false;
    // One byte more than allowed, so that a larger value shows as one.
    std::vector<unsigned char> buffer(maxBytes + 1);
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(buffer.size());
    if (RegQueryValueExW(key.get(), fw::Widen(name).c_str(), nullptr, &type, buffer.data(),
                         &size) != ERROR_SUCCESS ||
        type != REG_BINARY || size > maxBytes)
        return false;
    buffer.resize(size);
    bytes = std::move(buffer);
    return true;
}

bool WriteUserBinary(const char* name, const std::vector<unsigned char>& bytes) {
    fw::unique_hkey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, UserKeyPath().c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), fw::Widen(name).c_str(), 0, REG_BINARY, bytes.data(),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

void DeleteUserValue(const char* name) {
    fw::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UserKeyPath().c_str(), 0, KEY_SET_VALUE, key.put()) ==
        ERROR_SUCCESS)
        RegDeleteValueW(key.get(), fw::Widen(name).c_str());
}

long WriteUserText(const char* name, const std::string& text) {
    fw::unique_hkey key;
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, UserKeyPath().c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    const std::wstring wide = fw::Widen(text);
    return RegSetValueExW(key.get(), fw::Widen(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

bool ReadUserText(const char* name, std::size_t maxChars, std::string& text) {
    text.clear();
    fw::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UserKeyPath().c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return false;
    // Room for the NUL and one character more, so that a longer text shows
    // as one.
    std::wstring buffer(maxChars + 2, L'\0');
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), fw::Widen(name).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    buffer.resize(size / sizeof(wchar_t));
    // The stored NUL, when there is one, is not part of the text.
    const std::size_t end = buffer.find(L'\0');
    if (end != std::wstring::npos)
        buffer.resize(end);
    if (buffer.size() > maxChars)
        return false;
    text = fw::Narrow(buffer);
    return true;
}

std::vector<std::string> UserValueNames(const std::string& prefix) {
    std::vector<std::string> names;
    fw::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UserKeyPath().c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return names;
    // Value names are at most 16,383 characters.
    std::wstring name(16384, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG rc = RegEnumValueW(key.get(), index, name.data(), &length, nullptr, nullptr,
                                      nullptr, nullptr);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            break;
        std::string narrow = fw::Narrow(std::wstring_view(name.data(), length));
        if (narrow.compare(0, prefix.size(), prefix) == 0 &&
            (narrow.size() == prefix.size() || narrow[prefix.size()] == ' '))
            names.push_back(std::move(narrow));
    }
    return names;
}

std::string UserValuesPath() {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    return g_pathForTesting.empty() ? std::string(kUserKeyPath) : g_pathForTesting;
}

void SetUserValuesPathForTesting(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    g_pathForTesting = path;
}
