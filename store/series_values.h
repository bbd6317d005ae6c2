#pragma once

#include "calendar/appointment_series.h"

#include "store/value_decoding.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The values that make an appointment repeat, beside the six every
// appointment has and the timed ones, in the same appointment key:
//
//   "REPEAT"      REG_SZ, an RRULE value of the set ical/series.h follows,
//                 e.g. "FREQ=WEEKLY;BYDAY=TU,TH;UNTIL=20270630". FROM..TO
//                 is the first occurrence. Absent or "": no rule. Whatever
//                 else is stored under the name (a rule outside the set,
//                 another type, a text that cannot be read) is an
//                 unfollowed rule: the appointment happens once, and the
//                 value stays as it is.
//   "SKIP DATES"  REG_SZ, the first days of occurrences removed one by one,
//                 YYYYMMDD separated by commas ("20270304,20270311").
//                 Entries that are not dates are passed over, the others
//                 still hold; at most kMaxSkipDates are read.
//   "UID"         REG_SZ, the UID of an imported (or synced) event.
//
// Texts are held to what store/timed_values.h holds them to: REG_SZ or
// REG_EXPAND_SZ, UTF-16 little-endian, an even size, the NUL within the
// longest length read, nothing but zeros after it. No system header: the
// decoders build natively and are fuzzed (fuzz/series_fuzzer.cpp).

inline constexpr char kRepeatValueName[] = "REPEAT";
inline constexpr char kSkipDatesValueName[] = "SKIP DATES";
inline constexpr char kUidValueName[] = "UID";

// The longest texts read, in UTF-16 units without the NUL. A rule of the
// set spelling out every part it may have stays well within; an UID this
// long is not one a calendar makes.
inline constexpr std::size_t kMaxRepeatLength = 1000;
inline constexpr std::size_t kMaxUidLength = 1000;
// The largest value read at all. The registry glue hands a larger one over
// as its type and no bytes, which no decoder takes for a value.
inline constexpr std::size_t kMaxSeriesValueBytes = 64 * 1024;

// One value as read from or to be written into the appointment key.
using SeriesValueBytes = StoredValueBytes;

struct RepeatValue {
    RepeatKind kind = RepeatKind::None;
    std::string text; // as stored, when it is text that can be read
};

// Each value from its type and bytes as the wide functions hand them over;
// `data` may be null when `size` is 0.
RepeatValue DecodeRepeatValue(std::uint32_t type, const unsigned char* data, std::size_t size);
// Ascending, each date once.
std::vector<CalendarDate> DecodeSkipDatesValue(std::uint32_t type, const unsigned char* data,
                                               std::size_t size);
// UTF-8; "" when absent or not a UID: empty, too long, a control
// character, a lone surrogate.
std::string DecodeUidValue(std::uint32_t type, const unsigned char* data, std::size_t size);

// The three values of an appointment key as read, each absent or not.
struct StoredSeriesValues {
    std::optional<SeriesValueBytes> repeat, skipDates, uid;
};
SeriesValues DecodeSeriesValues(const StoredSeriesValues& stored);

// What saving `values` writes: a value for each that is set, and none (the
// value is deleted) for each that is not, or that is not fit to be stored: a
// rule outside the set, a UID that could not be read back. Skip dates are
// written in order, the latest kMaxSkipDates of them. An unfollowed REPEAT
// gets no value here: the glue leaves the stored one as it is.
StoredSeriesValues EncodeSeriesValues(const SeriesValues& values);
