#include "store/user_values.h"

#include "framework/unique_handle.h"
#include "framework/utf_text.h"
#include "store/calendar_registry.h"

#include <mutex>
#include <utility>

namespace {

std::mutex g_pathMutex;
std::string g_pathForTesting;

std::wstring UserKeyPath() {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    return fw::Widen(g_pathForTesting.empty() ? std::string(kUserKeyPath) : g_pathForTesting);
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

void SetUserValuesPathForTesting(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    g_pathForTesting = path;
}
