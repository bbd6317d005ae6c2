// The floor of a first sync's local half: the same appointments a sync of
// the benchmark's calendar files, written with bare registry calls only (one
// day key per five, one key per appointment, its six values and its UID),
// below a scratch key of HKEY_LOCAL_MACHINE that it removes before and after.
// Prints the milliseconds the writes took inside the process.
//   bench_floor_sync_write N
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr wchar_t kRoot[] = L"SOFTWARE\\QuillmereSyncFloor";

bool SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The day `offset` days after 1 January 2030, as the store names a day.
std::wstring DayText(int offset) {
    SYSTEMTIME first{};
    first.wYear = 2030;
    first.wMonth = 1;
    first.wDay = 1;
    FILETIME ft;
    SystemTimeToFileTime(&first, &ft);
    ULARGE_INTEGER ticks{};
    ticks.LowPart = ft.dwLowDateTime;
    ticks.HighPart = ft.dwHighDateTime;
    ticks.QuadPart += static_cast<ULONGLONG>(offset) * 864000000000ull;
    ft.dwLowDateTime = ticks.LowPart;
    ft.dwHighDateTime = ticks.HighPart;
    SYSTEMTIME day;
    FileTimeToSystemTime(&ft, &day);
    return std::to_wstring(day.wYear) + L"-" + std::to_wstring(day.wMonth) + L"-" +
           std::to_wstring(day.wDay);
}

} // namespace

int main(int argc, char** argv) {
    // N = 0 writes nothing: the time a Wine process takes to start and end.
    const int count = argc > 1 ? std::atoi(argv[1]) : -1;
    if (count < 0) {
        std::fprintf(stderr, "usage: bench_floor_sync_write N\n");
        return 2;
    }
    if (count == 0) {
        std::printf("0.0\n");
        return 0;
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    HKEY root = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    bool ok = true;
    HKEY day = nullptr;
    for (int i = 0; i < count && ok; ++i) {
        const std::wstring dayText = DayText(i / 5);
        if (i % 5 == 0) {
            if (day != nullptr)
                RegCloseKey(day);
            ok = RegCreateKeyExW(root, dayText.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &day, nullptr) == ERROR_SUCCESS;
            if (!ok)
                break;
        }
        HKEY key = nullptr;
        const std::wstring name = L"Appointment " + std::to_wstring(i);
        ok = RegCreateKeyExW(day, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr) == ERROR_SUCCESS;
        if (!ok)
            break;
        const std::wstring to = DayText(i / 5 + i % 3);
        const DWORD index = 1;
        ok = SetText(key, L"FROM", dayText) && SetText(key, L"TO", to) &&
             SetText(key, L"NOTES", L"Meeting " + std::to_wstring(i) + L" at the office") &&
             SetText(key, L"EVENT", L"Others") &&
             RegSetValueExW(key, L"EVENT INDEX", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&index), sizeof index) == ERROR_SUCCESS &&
             SetText(key, L"DETAIL NOTES",
                     L"Generated appointment " + std::to_wstring(i) +
                         L": bring the papers, call ahead, and leave early enough for the "
                         L"traffic.") &&
             SetText(key, L"UID", L"bench-" + std::to_wstring(i) + L"@quillmere");
        RegCloseKey(key);
    }
    if (day != nullptr)
        RegCloseKey(day);
    RegCloseKey(root);
    QueryPerformanceCounter(&end);
    std::printf("%.1f\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot);
    return ok ? 0 : 1;
}
