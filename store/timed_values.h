#pragma once

#include "calendar/appointment_time.h"

#include "store/value_decoding.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The values that give an appointment a time of day and an alert, beside the
// six every appointment has, in the same appointment key:
//
//   "TIME"           REG_SZ "HH:MM", 24-hour wall-clock time, 00:00 to 23:59.
//                    Present: the appointment happens at that time on each
//                    day of FROM..TO. Absent: an all-day appointment, as
//                    every appointment was before times existed.
//   "DURATION"       REG_DWORD minutes, 1 to kMaxDurationMinutes; optional.
//   "REMIND BEFORE"  REG_DWORD minutes before TIME (before the day's
//                    midnight for an all-day appointment), 0 to
//                    kMaxRemindBeforeMinutes. Absent: no alert.
//   "TIME ZONE"      REG_SZ, the IANA name of the zone TIME is in
//                    ("Europe/Berlin"); absent: the computer's zone, whatever
//                    it is at the time. A Windows zone id is read too, as the
//                    IANA name it maps to.
//
// Whatever else another program stored reads as absent, one value at a time,
// never as an error: another type (a REG_DWORD TIME, a REG_SZ DURATION, any
// REG_BINARY), another size, a text without its NUL, an impossible time
// ("25:99", "9:5", " 12:00"), a count out of its bounds (a negative one, as
// the 32-bit two's complement it is stored as, included), a zone name no
// table knows. No system header: the decoders build natively and are fuzzed
// (fuzz/timed_values_fuzzer.cpp).

inline constexpr char kTimeValueName[] = "TIME";
inline constexpr char kDurationValueName[] = "DURATION";
inline constexpr char kRemindBeforeValueName[] = "REMIND BEFORE";
inline constexpr char kTimeZoneValueName[] = "TIME ZONE";

// The longest zone name read, in UTF-16 units with its NUL: IANA names and
// Windows ids have at most about 32 characters.
inline constexpr std::size_t kTimeZoneCapacity = 64;

// Each value from its type and bytes as the registry's wide functions hand
// them over; `data` may be null when `size` is 0. Texts must hold their NUL
// (REG_SZ or REG_EXPAND_SZ, UTF-16 little-endian, an even size, nothing but
// zeros after the NUL); counts are 4-byte REG_DWORDs.
std::optional<int> DecodeTimeValue(std::uint32_t type, const unsigned char* data, std::size_t size);
std::optional<int> DecodeDurationValue(std::uint32_t type, const unsigned char* data,
                                       std::size_t size);
std::optional<int> DecodeRemindBeforeValue(std::uint32_t type, const unsigned char* data,
                                           std::size_t size);
// The IANA name of the stored zone, or "" (the computer's zone).
std::string DecodeTimeZoneValue(std::uint32_t type, const unsigned char* data, std::size_t size);

// One value as read from or to be written into the appointment key.
using TimedValueBytes = StoredValueBytes;

// The four values of an appointment key as read, each absent or not.
struct StoredTimedValues {
    std::optional<TimedValueBytes> time, duration, remindBefore, zone;
};
TimedValues DecodeTimedValues(const StoredTimedValues& stored);

// What saving `values` writes: a value for each that is set, and none (the
// value is deleted) for each that is not. DURATION and TIME ZONE belong to a
// time and are not written without one; an all-day appointment keeps REMIND
// BEFORE. Values out of their bounds are not written either.
StoredTimedValues EncodeTimedValues(const TimedValues& values);
