#include "app/sync_dlg.h"

#include "calendar/appointment_time.h"
#include "framework/message_box.h"
#include "framework/utf_text.h"
#include "res/resource.h"
#include "tray/thread_join.h"

#include <windows.h>

#include <utility>

namespace {

// The search for calendars has ended; its result waits in m_found.
constexpr UINT kCalendarsFoundMessage = WM_APP + 0x160;

constexpr const char* kNoAddressMessage = "Please enter the server's or the calendar's address.";
constexpr const char* kNoCalendarMessage =
    "Please choose a calendar: press Find calendars to list the server's calendars.";
constexpr const char* kNotAnIntervalMessage =
    "Please enter how often to sync as a whole number of minutes from 0 to 1440.";
constexpr const char* kSaveFailedMessage = "Unable to save the sync account.";

std::string TextOf(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    std::string narrow = fw::Narrow(text);
    SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    return narrow;
}

std::string Trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

void Wipe(std::string& secret) {
    if (!secret.empty())
        SecureZeroMemory(secret.data(), secret.size());
    secret.clear();
}

// "8 Dec 2026 14:32" in the user's own date format, from seconds since 1970.
std::string LocalTimeText(std::int64_t utc) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(utc) + 11644473600ULL) * 10000000ULL;
    FILETIME utcTime{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    FILETIME localTime{};
    SYSTEMTIME local{};
    if (!FileTimeToLocalFileTime(&utcTime, &localTime) || !FileTimeToSystemTime(&localTime, &local))
        return std::string();
    wchar_t date[80] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 80);
    return fw::Narrow(date) + " " + FormatTimeOfDay(local.wHour * 60 + local.wMinute);
}

} // namespace

CSyncDlg::CSyncDlg(std::shared_ptr<ISyncService> service, HWND parent)
    : fw::Dialog(IDD_SYNC, parent), m_service(std::move(service)) {}

CSyncDlg::~CSyncDlg() {
    JoinFinder();
}

void CSyncDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::BindControl(dx, IDC_SYNC_ADDRESS, m_editAddress);
    fw::BindControl(dx, IDC_SYNC_USER, m_editUser);
    fw::BindControl(dx, IDC_SYNC_PASSWORD, m_editPassword);
    fw::BindControl(dx, IDC_SYNC_UNENCRYPTED, m_chkUnencrypted);
    fw::BindControl(dx, IDC_SYNC_CALENDAR, m_comboCalendar);
    fw::BindControl(dx, IDC_SYNC_INTERVAL_SPIN, m_spinInterval);
}

bool CSyncDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CSyncDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCommand<Self>(IDC_SYNC_FIND, &Self::OnFindCalendars),
        fw::OnCommand<Self>(IDC_SYNC_NOW, &Self::OnSyncNow),
        fw::OnMessage<Self>(kCalendarsFoundMessage, &Self::OnCalendarsFound),
        fw::OnMessage<Self>(WM_DESTROY, &Self::OnDestroy),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

BOOL CSyncDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    if (!m_service->LoadAccount(m_account))
        m_account = caldav::SyncAccount{};
    m_editAddress.SetText(m_account.address);
    m_editUser.SetText(m_account.user);
    m_chkUnencrypted.SetCheck(m_account.allowUnencrypted ? BST_CHECKED : BST_UNCHECKED);
    if (!m_account.calendarUrl.empty()) {
        caldav::CalendarInfo saved;
        saved.url = m_account.calendarUrl;
        saved.displayName = m_account.calendarName;
        m_calendars.push_back(saved);
    }
    FillCalendars(m_account.calendarUrl);
    m_spinInterval.SetRange(0, kMaxSyncIntervalMinutes);
    m_spinInterval.SetPos(m_account.intervalMinutes);
    SetDlgItemInt(m_hWnd, IDC_SYNC_INTERVAL, static_cast<UINT>(m_account.intervalMinutes), FALSE);
    ShowPasswordHint();
    ShowLastSync();
    return TRUE;
}

void CSyncDlg::ShowPasswordHint() {
    const std::string address = Trimmed(m_editAddress.GetText());
    const bool saved = !address.empty() && m_service->HasPassword(address);
    SetDlgItemTextW(m_hWnd, IDC_SYNC_PASSWORD_HINT, saved ? L"(saved)" : L"");
}

void CSyncDlg::ShowLastSync() {
    if (m_hWnd == nullptr)
        return;
    const caldav::LastSyncResult last = m_service->LoadLastSync();
    std::string text = "Not synced yet.";
    if (last.utc != 0)
        text = "Last sync " + LocalTimeText(last.utc) + ": " +
               (last.words.empty() ? std::string(last.ok ? "done." : "failed.") : last.words);
    SetDlgItemTextW(m_hWnd, IDC_SYNC_LAST, fw::Widen(text).c_str());
}

void CSyncDlg::ShowSyncing() {
    if (m_hWnd != nullptr)
        SetDlgItemTextW(m_hWnd, IDC_SYNC_LAST, L"Syncing...");
}

void CSyncDlg::FillCalendars(const std::string& selectUrl) {
    m_comboCalendar.Send(CB_RESETCONTENT);
    int selected = m_calendars.empty() ? -1 : 0;
    for (size_t i = 0; i < m_calendars.size(); ++i) {
        const caldav::CalendarInfo& calendar = m_calendars[i];
        const std::string shown = calendar.displayName.empty()
                                      ? calendar.url
                                      : calendar.displayName + " (" + calendar.url + ")";
        m_comboCalendar.Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(fw::Widen(shown).c_str()));
        if (calendar.url == selectUrl)
            selected = static_cast<int>(i);
    }
    m_comboCalendar.Send(CB_SETCURSEL, static_cast<WPARAM>(selected));
}

void CSyncDlg::OnFindCalendars() {
    if (m_finder.joinable())
        return;
    const std::string address = Trimmed(m_editAddress.GetText());
    if (address.empty()) {
        fw::ShowNotice(m_hWnd, kNoAddressMessage);
        SetFocus(m_editAddress.GetSafeHwnd());
        return;
    }
    const std::string user = Trimmed(m_editUser.GetText());
    std::string password = TextOf(m_editPassword.GetSafeHwnd());
    const bool unencrypted = m_chkUnencrypted.GetCheck() == BST_CHECKED;

    EnableWindow(GetDlgItem(IDC_SYNC_FIND), FALSE);
    SetDlgItemTextW(m_hWnd, IDC_SYNC_FIND_STATUS, L"Looking for calendars...");
    m_bFinderDone = false;
    HWND window = m_hWnd;
    // The server may take its time (or never answer until WinHTTP gives up):
    // never on the window's thread.
    m_finder = std::thread([this, window, address, user, password, unencrypted]() mutable {
        caldav::DiscoveryResult result;
        try {
            result = m_service->Discover(address, user, password, unencrypted);
        } catch (...) {
            result = caldav::DiscoveryResult{};
            result.message = "The search for calendars failed.";
        }
        Wipe(password);
        {
            std::lock_guard<std::mutex> lock(m_foundMutex);
            m_found = std::move(result);
        }
        PostMessageW(window, kCalendarsFoundMessage, 0, 0);
        m_bFinderDone = true;
    });
    Wipe(password);
}

std::optional<LRESULT> CSyncDlg::OnCalendarsFound(WPARAM, LPARAM) {
    JoinFinder();
    std::optional<caldav::DiscoveryResult> found;
    {
        std::lock_guard<std::mutex> lock(m_foundMutex);
        found = std::exchange(m_found, std::nullopt);
    }
    EnableWindow(GetDlgItem(IDC_SYNC_FIND), TRUE);
    if (!found)
        return 0;
    std::string status;
    if (!found->ok) {
        status = found->message.empty() ? "No calendars were found." : found->message;
    } else if (found->calendars.empty()) {
        status = "The server lists no calendar of events.";
    } else {
        // The calendar chosen before stays chosen when the server still lists it.
        const LRESULT choice = m_comboCalendar.Send(CB_GETCURSEL);
        const std::string chosen = choice >= 0 && static_cast<size_t>(choice) < m_calendars.size()
                                       ? m_calendars[static_cast<size_t>(choice)].url
                                       : std::string();
        m_calendars = found->calendars;
        FillCalendars(chosen);
        const size_t n = m_calendars.size();
        status = n == 1 ? "Found 1 calendar." : "Found " + std::to_string(n) + " calendars.";
    }
    SetDlgItemTextW(m_hWnd, IDC_SYNC_FIND_STATUS, fw::Widen(status).c_str());
    return 0;
}

bool CSyncDlg::SaveAccount() {
    caldav::SyncAccount account = m_account;
    account.address = Trimmed(m_editAddress.GetText());
    account.user = Trimmed(m_editUser.GetText());
    account.allowUnencrypted = m_chkUnencrypted.GetCheck() == BST_CHECKED;
    if (account.address.empty()) {
        fw::ShowNotice(m_hWnd, kNoAddressMessage);
        SetFocus(m_editAddress.GetSafeHwnd());
        return false;
    }
    const LRESULT choice = m_comboCalendar.Send(CB_GETCURSEL);
    if (choice < 0 || static_cast<size_t>(choice) >= m_calendars.size()) {
        fw::ShowNotice(m_hWnd, kNoCalendarMessage);
        SetFocus(GetDlgItem(IDC_SYNC_FIND));
        return false;
    }
    account.calendarUrl = m_calendars[static_cast<size_t>(choice)].url;
    account.calendarName = m_calendars[static_cast<size_t>(choice)].displayName;
    BOOL numeric = FALSE;
    const UINT minutes = GetDlgItemInt(m_hWnd, IDC_SYNC_INTERVAL, &numeric, FALSE);
    if (!numeric || minutes > static_cast<UINT>(kMaxSyncIntervalMinutes)) {
        fw::ShowNotice(m_hWnd, kNotAnIntervalMessage);
        SetFocus(GetDlgItem(IDC_SYNC_INTERVAL));
        return false;
    }
    account.intervalMinutes = static_cast<int>(minutes);
    // Basic up front was learnt from this server only.
    if (account.address != m_account.address)
        account.assumeBasic = false;

    std::string password = TextOf(m_editPassword.GetSafeHwnd());
    const bool saved = m_service->SaveAccount(account, password);
    Wipe(password);
    if (!saved) {
        fw::ShowNotice(m_hWnd, kSaveFailedMessage);
        return false;
    }
    m_account = account;
    // Never shown back: the box empties, and the hint says one is kept.
    SetDlgItemTextW(m_hWnd, IDC_SYNC_PASSWORD, L"");
    ShowPasswordHint();
    return true;
}

void CSyncDlg::OnSyncNow() {
    if (!SaveAccount())
        return;
    ShowSyncing();
    if (onSyncNow)
        onSyncNow();
}

void CSyncDlg::OnOK() {
    if (SaveAccount())
        EndDialog(IDOK);
}

std::optional<LRESULT> CSyncDlg::OnDestroy(WPARAM, LPARAM) {
    JoinFinder();
    return std::nullopt;
}

void CSyncDlg::JoinFinder() {
    JoinAnsweringSentMessages(m_finder, m_bFinderDone);
}
