// The memory the walks hold for a moment, counted at every allocation of
// this test executable: operator new is replaced here for all of it.
#include "store/calendar_scanner.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace {

std::atomic<std::size_t> g_liveBytes{0};
std::atomic<std::size_t> g_peakBytes{0};

// Each block carries its size in front, in a header that keeps the
// alignment malloc gives.
constexpr std::size_t kHeader = 16;

void* Allocate(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (block == nullptr)
        return nullptr;
    *static_cast<std::size_t*>(block) = size;
    const std::size_t live = g_liveBytes += size;
    std::size_t peak = g_peakBytes.load();
    while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void Release(void* pointer) {
    if (pointer == nullptr)
        return;
    void* block = static_cast<char*>(pointer) - kHeader;
    g_liveBytes -= *static_cast<std::size_t*>(block);
    std::free(block);
}

} // namespace

void* operator new(std::size_t size) {
    if (void* pointer = Allocate(size))
        return pointer;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* pointer) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer) noexcept {
    Release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    Release(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    Release(pointer);
}

namespace qmtest {
namespace {

// The most a job held at once beyond what was held before it and what it
// leaves held after it.
template <class Job> std::size_t TransientBytes(Job&& job) {
    const std::size_t before = g_liveBytes.load();
    g_peakBytes = before;
    job();
    const std::size_t after = g_liveBytes.load();
    return g_peakBytes.load() - std::max(before, after);
}

// A store of `count` appointments, five a day: 40 current on 7 May 2002, the
// rest ended, with values as short as the walks allow, so that it is quick
// to write.
void WriteStore(int count) {
    fw::unique_hkey root;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Calendar", 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, root.put(), nullptr));
    fw::unique_hkey day;
    for (int i = 0; i < count; ++i) {
        if (i % 5 == 0) {
            // Day keys of 28 days a month from the year 1000 on.
            const int n = i / 5;
            const std::string name = std::to_string(1000 + n / 336) + "-" +
                                     std::to_string(1 + n / 28 % 12) + "-" +
                                     std::to_string(1 + n % 28);
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root.get(), name.c_str(), 0, nullptr, 0,
                                                     KEY_ALL_ACCESS, nullptr, day.put(), nullptr));
        }
        fw::unique_hkey appointment;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(day.get(), ("Appointment " + std::to_string(i)).c_str(), 0,
                                  nullptr, 0, KEY_SET_VALUE, nullptr, appointment.put(), nullptr));
        const bool current = i < 40;
        const std::string from = current ? "2002-5-1" : "2002-4-1";
        const std::string to = current ? "2002-5-9" : "2002-4-30";
        const std::string notes = "Meeting " + std::to_string(i);
        RegSetValueExA(appointment.get(), "FROM", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(from.c_str()),
                       static_cast<DWORD>(from.size() + 1));
        RegSetValueExA(appointment.get(), "TO", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(to.c_str()),
                       static_cast<DWORD>(to.size() + 1));
        if (current)
            RegSetValueExA(appointment.get(), "NOTES", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(notes.c_str()),
                           static_cast<DWORD>(notes.size() + 1));
    }
}

// A large store once cost the first reminder scan the index's array twice
// over for a moment, as it grew by copying. Neither walk may hold more for
// a moment at 10,000 appointments than at 1,000; what the scan keeps is its
// index, which does grow, by design.
TEST(WalkMemory, TheWalksHoldNoMoreForAMomentInALargerStore) {
    const CalendarDate today{2002, 5, 7};
    const std::atomic<bool> stop{false};
    std::size_t scanBytes[2] = {}, purgeBytes[2] = {}, indexBytes[2] = {};
    const int counts[2] = {1000, 10000};
    for (int i = 0; i < 2; ++i) {
        RegistrySandbox sandbox;
        WriteStore(counts[i]);
        CCalendarScanner scanner;
        scanBytes[i] =
            TransientBytes([&] { EXPECT_EQ(40u, scanner.CurrentNotes(today, stop).size()); });
        indexBytes[i] = scanner.IndexBytes();
        EXPECT_EQ(static_cast<std::size_t>(counts[i]), scanner.IndexCount());
        purgeBytes[i] =
            TransientBytes([&] { EXPECT_EQ(counts[i] - 40, scanner.PurgeEnded(today, stop)); });
    }
    EXPECT_LE(scanBytes[1], scanBytes[0] + 256) << scanBytes[0] << " against " << scanBytes[1];
    EXPECT_LE(purgeBytes[1], purgeBytes[0] + 256) << purgeBytes[0] << " against " << purgeBytes[1];
    // Twelve bytes an appointment, and the current ones' notes.
    EXPECT_LE(indexBytes[1], 10000u * 13u) << indexBytes[1];
    std::printf("transient bytes: scan %zu and %zu, purge %zu and %zu; index %zu and %zu\n",
                scanBytes[0], scanBytes[1], purgeBytes[0], purgeBytes[1], indexBytes[0],
                indexBytes[1]);
}

} // namespace
} // namespace qmtest
