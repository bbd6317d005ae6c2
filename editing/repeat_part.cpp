#include "editing/repeat_part.h"

#include "framework/utf_text.h"
#include "res/resource.h"
#include "store/system_time.h"

#include <commctrl.h>

#include <iterator>

namespace {
// The repeat choices in the order the list offers them.
constexpr RepeatPreset kPresets[] = {
    RepeatPreset::Never,
    RepeatPreset::Daily,
    RepeatPreset::Weekly,
    RepeatPreset::MonthlyOnDay,
    RepeatPreset::MonthlyOnWeekday,
    RepeatPreset::Yearly,
    RepeatPreset::Custom,
    RepeatPreset::AsStored,
};
constexpr const char* kOrdinals[] = {"first", "second", "third", "fourth", "last"};
constexpr int kOrdinalValues[] = {1, 2, 3, 4, -1};
constexpr const char* kUnits[] = {"days", "weeks", "months", "years"};
constexpr const char* kEnds[] = {"No end", "Ends on", "Ends after"};

// The user's name of weekday `weekday` (0 = Monday), short or whole.
std::wstring DayName(int weekday, bool abbreviated) {
    const LCTYPE first = abbreviated ? LOCALE_SABBREVDAYNAME1 : LOCALE_SDAYNAME1;
    wchar_t name[80] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, first + static_cast<LCTYPE>(weekday), name,
                        static_cast<int>(std::size(name))) == 0)
        return {};
    return name;
}

int FirstWeekday() {
    wchar_t first[4] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_IFIRSTDAYOFWEEK, first,
                        static_cast<int>(std::size(first))) == 0 ||
        first[0] < L'0' || first[0] > L'6')
        return 0;
    return first[0] - L'0';
}

void AddItem(HWND combo, const std::wstring& text, LPARAM data) {
    const LRESULT index =
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index >= 0)
        SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
}

// Selects the item carrying `data`.
void SelectData(HWND combo, LPARAM data) {
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == data)
            SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
}

LPARAM SelectedData(HWND combo, LPARAM none) {
    const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return index < 0 ? none : SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
}

std::wstring YearlyText(const CalendarDate& from) {
    const SYSTEMTIME date = ToSystemTime(from);
    wchar_t text[80] = {};
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &date, L"d MMMM", text,
                        static_cast<int>(std::size(text)), nullptr) == 0)
        return L"Every year";
    return std::wstring(L"Every year on ") + text;
}

std::wstring PresetText(RepeatPreset preset, const CalendarDate& from) {
    switch (preset) {
    case RepeatPreset::Never:
        return L"Never";
    case RepeatPreset::Daily:
        return L"Every day";
    case RepeatPreset::Weekly:
        return L"Every week on";
    case RepeatPreset::MonthlyOnDay:
        return L"Every month on day";
    case RepeatPreset::MonthlyOnWeekday:
        return L"Every month on the";
    case RepeatPreset::Yearly:
        return YearlyText(from);
    case RepeatPreset::Custom:
        return L"Custom: every";
    case RepeatPreset::AsStored:
        return L"As stored";
    }
    return {};
}

// The number in an edit control, or -1 when it holds none.
int NumberIn(HWND edit) {
    wchar_t text[16] = {};
    GetWindowTextW(edit, text, static_cast<int>(std::size(text)));
    if (text[0] == 0 || wcslen(text) > 6)
        return -1;
    return _wtoi(text);
}

void SetNumber(HWND edit, int number) {
    SetWindowTextW(edit, std::to_wstring(number).c_str());
}

// The details a From date presets, with no preset or end.
RepeatChoice DetailsOf(RepeatChoice choice) {
    choice.preset = RepeatPreset::Never;
    choice.end = RepeatEnd::Never;
    choice.until = {};
    choice.count = 0;
    choice.stored.clear();
    return choice;
}
} // namespace

bool CRepeatPart::IsInput(int id) {
    return id == IDC_REPEAT || id == IDC_REPEAT_MONTHDAY || id == IDC_REPEAT_ORDINAL ||
           id == IDC_REPEAT_WEEKDAY || id == IDC_REPEAT_INTERVAL || id == IDC_REPEAT_UNIT ||
           id == IDC_REPEAT_END || id == IDC_REPEAT_UNTIL || id == IDC_REPEAT_COUNT;
}

bool CRepeatPart::IsLabel(int id) {
    return id == IDC_REPEAT_STORED || id == IDC_REPEAT_TIMES ||
           (id >= IDC_REPEAT_DAY_FIRST && id <= IDC_REPEAT_DAY_LAST);
}

void CRepeatPart::Init(HWND dialog, const RepeatChoice& choice, const CalendarDate& from) {
    m_dialog = dialog;
    m_from = from;
    m_firstWeekday = FirstWeekday();
    m_filling = true;
    for (int place = 0; place < 7; ++place)
        SetWindowTextW(Item(IDC_REPEAT_DAY_FIRST + place), DayName(WeekdayAt(place), true).c_str());
    for (int i = 0; i < static_cast<int>(std::size(kOrdinals)); ++i)
        AddItem(Item(IDC_REPEAT_ORDINAL), fw::Widen(kOrdinals[i]), kOrdinalValues[i]);
    for (int place = 0; place < 7; ++place)
        AddItem(Item(IDC_REPEAT_WEEKDAY), DayName(WeekdayAt(place), false), WeekdayAt(place));
    for (int i = 0; i < static_cast<int>(std::size(kUnits)); ++i)
        AddItem(Item(IDC_REPEAT_UNIT), fw::Widen(kUnits[i]), i);
    for (int i = 0; i < static_cast<int>(std::size(kEnds)); ++i)
        AddItem(Item(IDC_REPEAT_END), fw::Widen(kEnds[i]), i);
    m_stored = choice.stored;
    FillRepeatChoices(choice.preset == RepeatPreset::AsStored);
    Show(choice);
    m_filling = false;
    std::string problem;
    m_initial = Chosen(problem).value_or(choice);
    m_initialFrom = from;
}

void CRepeatPart::FillRepeatChoices(bool withStored) {
    HWND combo = Item(IDC_REPEAT);
    const LPARAM selected = SelectedData(combo, static_cast<LPARAM>(RepeatPreset::Never));
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (RepeatPreset preset : kPresets)
        if (preset != RepeatPreset::AsStored || withStored)
            AddItem(combo, PresetText(preset, m_from), static_cast<LPARAM>(preset));
    SelectData(combo, selected);
}

void CRepeatPart::Show(const RepeatChoice& choice) {
    SelectData(Item(IDC_REPEAT), static_cast<LPARAM>(choice.preset));
    for (int place = 0; place < 7; ++place)
        CheckDlgButton(m_dialog, IDC_REPEAT_DAY_FIRST + place,
                       (choice.weekdays >> WeekdayAt(place)) & 1 ? BST_CHECKED : BST_UNCHECKED);
    SetNumber(Item(IDC_REPEAT_MONTHDAY), choice.monthDay);
    SelectData(Item(IDC_REPEAT_ORDINAL), choice.ordinal);
    SelectData(Item(IDC_REPEAT_WEEKDAY), choice.weekday);
    SetNumber(Item(IDC_REPEAT_INTERVAL), choice.interval);
    SelectData(Item(IDC_REPEAT_UNIT), static_cast<LPARAM>(choice.unit));
    SelectData(Item(IDC_REPEAT_END), static_cast<LPARAM>(choice.end));
    const SYSTEMTIME until = ToSystemTime(choice.until.year > 0 ? choice.until : m_from);
    SendMessageW(Item(IDC_REPEAT_UNTIL), DTM_SETSYSTEMTIME, GDT_VALID,
                 reinterpret_cast<LPARAM>(&until));
    SetNumber(Item(IDC_REPEAT_COUNT), choice.count > 0 ? choice.count : 10);
    SetWindowTextW(
        Item(IDC_REPEAT_STORED),
        fw::Widen(m_stored.empty() ? "A rule that cannot be read, kept as it is" : m_stored)
            .c_str());
    ShowControlsOf(choice.preset);
}

void CRepeatPart::ShowControlsOf(RepeatPreset preset) {
    const bool custom = preset == RepeatPreset::Custom;
    const RepeatUnit unit = static_cast<RepeatUnit>(SelectedData(Item(IDC_REPEAT_UNIT), 0));
    const bool days = preset == RepeatPreset::Weekly || (custom && unit == RepeatUnit::Weeks);
    const bool ends = preset != RepeatPreset::Never && preset != RepeatPreset::AsStored;
    const auto end = static_cast<RepeatEnd>(SelectedData(Item(IDC_REPEAT_END), 0));
    const std::pair<int, bool> shown[] = {
        {IDC_REPEAT_MONTHDAY, preset == RepeatPreset::MonthlyOnDay},
        {IDC_REPEAT_ORDINAL, preset == RepeatPreset::MonthlyOnWeekday},
        {IDC_REPEAT_WEEKDAY, preset == RepeatPreset::MonthlyOnWeekday},
        {IDC_REPEAT_INTERVAL, custom},
        {IDC_REPEAT_UNIT, custom},
        {IDC_REPEAT_STORED, preset == RepeatPreset::AsStored},
        {IDC_REPEAT_END, ends},
        {IDC_REPEAT_UNTIL, ends && end == RepeatEnd::OnDate},
        {IDC_REPEAT_COUNT, ends && end == RepeatEnd::AfterCount},
        {IDC_REPEAT_TIMES, ends && end == RepeatEnd::AfterCount},
    };
    for (const auto& [id, show] : shown)
        ShowWindow(Item(id), show ? SW_SHOWNA : SW_HIDE);
    for (int id = IDC_REPEAT_DAY_FIRST; id <= IDC_REPEAT_DAY_LAST; ++id)
        ShowWindow(Item(id), days ? SW_SHOWNA : SW_HIDE);
}

RepeatPreset CRepeatPart::SelectedPreset() const {
    return static_cast<RepeatPreset>(
        SelectedData(Item(IDC_REPEAT), static_cast<LPARAM>(RepeatPreset::Never)));
}

bool CRepeatPart::OnCommand(int id, int code) {
    if (!IsInput(id) && !(id >= IDC_REPEAT_DAY_FIRST && id <= IDC_REPEAT_DAY_LAST))
        return false;
    if (!m_filling && (code == CBN_SELCHANGE || code == BN_CLICKED))
        ShowControlsOf(SelectedPreset());
    return true;
}

void CRepeatPart::OnFromChanged(const CalendarDate& from) {
    if (m_dialog == nullptr || from == m_from)
        return;
    std::string problem;
    const std::optional<RepeatChoice> shown = Chosen(problem);
    const bool followsFrom = shown && DetailsOf(*shown) == DetailsOf(DefaultRepeatChoice(m_from));
    m_from = from;
    m_filling = true;
    FillRepeatChoices(SelectedPreset() == RepeatPreset::AsStored || !m_stored.empty());
    if (followsFrom) {
        RepeatChoice moved = DefaultRepeatChoice(from);
        moved.preset = shown->preset;
        moved.end = shown->end;
        moved.until = shown->until;
        moved.count = shown->count;
        Show(moved);
    }
    m_filling = false;
}

std::optional<RepeatChoice> CRepeatPart::Chosen(std::string& problem) const {
    RepeatChoice choice = DefaultRepeatChoice(m_from);
    choice.preset = SelectedPreset();
    choice.stored = choice.preset == RepeatPreset::AsStored ? m_stored : std::string();
    choice.weekdays = 0;
    for (int place = 0; place < 7; ++place)
        if (IsDlgButtonChecked(m_dialog, IDC_REPEAT_DAY_FIRST + place) == BST_CHECKED)
            choice.weekdays = static_cast<std::uint8_t>(choice.weekdays | (1u << WeekdayAt(place)));
    choice.monthDay = NumberIn(Item(IDC_REPEAT_MONTHDAY));
    choice.ordinal = static_cast<int>(SelectedData(Item(IDC_REPEAT_ORDINAL), 1));
    choice.weekday = static_cast<int>(SelectedData(Item(IDC_REPEAT_WEEKDAY), 0));
    choice.interval = NumberIn(Item(IDC_REPEAT_INTERVAL));
    choice.unit = static_cast<RepeatUnit>(SelectedData(Item(IDC_REPEAT_UNIT), 0));
    choice.end = static_cast<RepeatEnd>(SelectedData(Item(IDC_REPEAT_END), 0));
    SYSTEMTIME until{};
    if (SendMessageW(Item(IDC_REPEAT_UNTIL), DTM_GETSYSTEMTIME, 0,
                     reinterpret_cast<LPARAM>(&until)) == GDT_VALID)
        choice.until = DateOf(until);
    choice.count = NumberIn(Item(IDC_REPEAT_COUNT));

    const RepeatPreset preset = choice.preset;
    const bool ends = preset != RepeatPreset::Never && preset != RepeatPreset::AsStored;
    if (preset == RepeatPreset::MonthlyOnDay && (choice.monthDay < 1 || choice.monthDay > 31))
        problem = "Enter a day of the month from 1 to 31.";
    else if (preset == RepeatPreset::Custom &&
             (choice.interval < 1 || choice.interval > kMaxRepeatInterval))
        problem =
            "Enter how often it repeats: from 1 to " + std::to_string(kMaxRepeatInterval) + ".";
    else if (ends && choice.end == RepeatEnd::AfterCount &&
             (choice.count < 1 || choice.count > kMaxRepeatCount))
        problem =
            "Enter how many times it happens: from 1 to " + std::to_string(kMaxRepeatCount) + ".";
    else if (ends && choice.end == RepeatEnd::OnDate && CompareDates(choice.until, m_from) < 0)
        problem = "The repeat cannot end before the appointment's first day.";
    if (!problem.empty())
        return std::nullopt;
    return choice;
}

bool CRepeatPart::Changed() const {
    std::string problem;
    const std::optional<RepeatChoice> shown = Chosen(problem);
    // A rule that follows the From date is written anew when it moves, so
    // that one written otherwise does not keep the old date.
    return !shown || !(*shown == m_initial) ||
           (m_from != m_initialFrom && shown->preset != RepeatPreset::AsStored);
}

std::optional<SeriesValues> CRepeatPart::Saved(SeriesValues before, bool editing,
                                               std::string& problem) const {
    const std::optional<RepeatChoice> choice = Chosen(problem);
    if (!choice)
        return std::nullopt;
    if (editing && !Changed())
        return before;
    before.repeat = RuleOfChoice(*choice, m_from);
    before.repeatKind = before.repeat.empty() ? RepeatKind::None : RepeatKind::Rule;
    // Skipped days mean nothing without a rule.
    if (before.repeatKind == RepeatKind::None)
        before.skipDates.clear();
    return before;
}
