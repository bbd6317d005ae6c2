#include "bench/floors.h"

#include "bench/bare_calls.h"
#include "framework/display.h"
#include "framework/unique_handle.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/date_range.h"
#include "store/series_values.h"
#include "calendar/appointment_time.h"

#include "ical/series.h"

#include <commctrl.h>

namespace bench {

namespace {
// A value read straight into a buffer; anything else leaves it empty.
void ReadText(HKEY key, const char* name, char* buffer, DWORD size) {
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        size = 0;
    buffer[size > 0 ? size - 1 : 0] = '\0';
}
// A value's type and bytes in one read into a buffer of the size the program
// tries first; false when it is not there (or longer, which no workload has).
bool ReadRaw(HKEY key, const wchar_t* name, DWORD& type, BYTE* buffer, DWORD& size) {
    return RegQueryValueExW(key, name, nullptr, &type, buffer, &size) == ERROR_SUCCESS;
}

// What a stored rule makes of an appointment: REPEAT in one read, and only
// when it is there SKIP DATES and TIME, the least that tells the program's
// answer; the occurrences by the same rules the program follows.
struct BareRule {
    RepeatKind kind = RepeatKind::None;
    std::optional<ical::Series> series;
};
BareRule ReadRule(HKEY appointment, const char* from, const char* to) {
    BareRule rule;
    BYTE repeat[256];
    DWORD type = 0, size = sizeof repeat;
    if (!ReadRaw(appointment, L"REPEAT", type, repeat, size))
        return rule;
    SeriesValues values;
    const RepeatValue decoded = DecodeRepeatValue(type, repeat, size);
    values.repeatKind = rule.kind = decoded.kind;
    values.repeat = decoded.text;
    CalendarDate first, last;
    if (!values.Repeats() || !ParseDateText(from, first) || !ParseDateText(to, last))
        return rule;
    BYTE skips[1024];
    DWORD skipsType = 0, skipsSize = sizeof skips;
    if (ReadRaw(appointment, L"SKIP DATES", skipsType, skips, skipsSize))
        values.skipDates = DecodeSkipDatesValue(skipsType, skips, skipsSize);
    char time[16];
    ReadText(appointment, "TIME", time, sizeof time);
    rule.series.emplace(first, last, values, ParseTimeOfDay(time).value_or(0) * 60);
    return rule;
}

} // namespace

std::vector<std::string> BareWalk(bool purge, const CalendarDate& today, bool alerts) {
    std::vector<std::string> lines;
    fw::unique_hkey root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, KEY_READ, root.put()) !=
        ERROR_SUCCESS)
        return lines;
    char dayName[kKeyNameBufferSize];
    char name[kKeyNameBufferSize];
    char from[kDateFieldBytes + 1];
    char to[kDateFieldBytes + 1];
    char notes[kNotesFieldBytes];
    for (DWORD d = 0;; ++d) {
        DWORD length = sizeof dayName;
        if (RegEnumKeyExA(root.get(), d, dayName, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        fw::unique_hkey day;
        if (RegOpenKeyExA(root.get(), dayName, 0, KEY_READ, day.put()) != ERROR_SUCCESS)
            continue;
        for (DWORD a = 0;;) {
            length = sizeof name;
            if (RegEnumKeyExA(day.get(), a, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            RangeState state = RangeState::Unreadable;
            {
                fw::unique_hkey appointment;
                if (RegOpenKeyExA(day.get(), name, 0, KEY_READ, appointment.put()) !=
                    ERROR_SUCCESS) {
                    ++a;
                    continue;
                }
                ReadText(appointment.get(), kValueFrom, from, kDateFieldBytes);
                ReadText(appointment.get(), kValueTo, to, kDateFieldBytes);
                state = ClassifyRange(from, to, today);
                // Any appointment may repeat; the purge asks only of those
                // whose first occurrence has ended.
                BareRule rule;
                if (state != RangeState::Unreadable && (!purge || state == RangeState::Ended))
                    rule = ReadRule(appointment.get(), from, to);
                if (purge && state == RangeState::Ended) {
                    ical::WorkBudget budget(ical::kSeriesWork);
                    if (rule.kind == RepeatKind::Unfollowed ||
                        (rule.series && !rule.series->EndedBefore(today, budget)))
                        state = RangeState::Upcoming; // kept
                }
                const bool current =
                    rule.series ? rule.series->CoversToday(today) : state == RangeState::Current;
                if (!purge && current) {
                    ReadText(appointment.get(), kValueNotes, notes, sizeof notes);
                    lines.emplace_back(notes);
                }
                if (alerts && (state == RangeState::Current || state == RangeState::Upcoming)) {
                    DWORD remind = 0;
                    DWORD size = sizeof remind;
                    if (RegQueryValueExA(appointment.get(), "REMIND BEFORE", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(&remind), &size) == ERROR_SUCCESS)
                        ReadText(appointment.get(), "TIME", from, kDateFieldBytes);
                }
            }
            if (purge && state == RangeState::Ended &&
                RegDeleteKeyA(day.get(), name) == ERROR_SUCCESS)
                continue; // the next key now has this index
            ++a;
        }
    }
    return lines;
}

std::vector<std::string> FullPathWalk(const CalendarDate& today) {
    std::vector<std::string> lines;
    fw::unique_hkey root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, KEY_READ, root.put()) !=
        ERROR_SUCCESS)
        return lines;
    const std::string rootPath = kCalendarRootPath;
    char dayName[kKeyNameBufferSize];
    char name[kKeyNameBufferSize];
    char from[kDateFieldBytes + 1];
    char to[kDateFieldBytes + 1];
    char notes[kNotesFieldBytes];
    for (DWORD d = 0;; ++d) {
        DWORD length = sizeof dayName;
        if (RegEnumKeyExA(root.get(), d, dayName, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        const std::string dayPath = rootPath + "\\" + dayName;
        fw::unique_hkey day;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, dayPath.c_str(), 0, KEY_READ, day.put()) !=
            ERROR_SUCCESS)
            continue;
        for (DWORD a = 0;; ++a) {
            length = sizeof name;
            if (RegEnumKeyExA(day.get(), a, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            const std::string path = dayPath + "\\" + name;
            fw::unique_hkey appointment;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, appointment.put()) !=
                ERROR_SUCCESS)
                continue;
            ReadText(appointment.get(), kValueFrom, from, kDateFieldBytes);
            ReadText(appointment.get(), kValueTo, to, kDateFieldBytes);
            if (ClassifyRange(from, to, today) == RangeState::Current) {
                ReadText(appointment.get(), kValueNotes, notes, sizeof notes);
                lines.emplace_back(notes);
            }
        }
    }
    return lines;
}

void BareListFill(HWND list, const std::string& dateText, bool holdRedraw) {
    if (holdRedraw)
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    fw::unique_hkey root;
    fw::unique_hkey day;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, KEY_READ, root.put()) ==
            ERROR_SUCCESS &&
        RegOpenKeyExA(root.get(), dateText.c_str(), 0, KEY_READ, day.put()) == ERROR_SUCCESS) {
        char name[kKeyNameBufferSize];
        char event[kEventFieldBytes + 1];
        char notes[kNotesFieldBytes];
        for (DWORD a = 0;; ++a) {
            DWORD length = sizeof name;
            if (RegEnumKeyExA(day.get(), a, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            DWORD index = 0;
            {
                fw::unique_hkey appointment;
                if (RegOpenKeyExA(day.get(), name, 0, KEY_READ, appointment.put()) != ERROR_SUCCESS)
                    continue;
                DWORD size = sizeof index;
                RegQueryValueExA(appointment.get(), kValueEventIndex, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&index), &size);
                ReadText(appointment.get(), kValueEvent, event, kEventFieldBytes);
                ReadText(appointment.get(), kValueNotes, notes, sizeof notes);
            }

            LVITEMA item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE;
            item.iItem = static_cast<int>(a);
            item.pszText = event;
            item.iImage = static_cast<int>(index);
            const int row = static_cast<int>(
                SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
            if (row < 0)
                continue;
            item.mask = LVIF_TEXT;
            item.iItem = row;
            item.iSubItem = 1;
            item.pszText = notes;
            SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&item));
            if (!holdRedraw)
                UpdateWindow(list);
        }
    }
    if (holdRedraw) {
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }
    UpdateWindow(list);
}

FloorListWindow::FloorListWindow(int width, int height) {
    m_frame = CreateWindowExA(0, WC_STATICA, "Floor list", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                              width + 40, height + 60, nullptr, nullptr, GetModuleHandleA(nullptr),
                              nullptr);
    m_list = CreateWindowExA(
        0, WC_LISTVIEWA, "",
        WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 4, 4,
        width, height, m_frame, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (m_list == nullptr)
        return;
    m_images = fw::LoadImageStrip(IDB_EVENTS_LIST, 32, 0, 1, kImageMask);
    bench::SetUpBareList(m_list, m_images.get());
    UpdateWindow(m_frame);
}

FloorListWindow::~FloorListWindow() {
    if (m_frame != nullptr)
        DestroyWindow(m_frame);
}

} // namespace bench
