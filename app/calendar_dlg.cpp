#include "app/calendar_dlg.h"

#include "about/about_dlg.h"
#include "about/splash_dlg.h"
#include "app/single_instance.h"
#include "editing/new_appointment_dlg.h"
#include "framework/display.h"
#include "framework/app.h"
#include "framework/clock.h"
#include "framework/message_box.h"
#include "framework/utf_text.h"
#include "res/resource.h"
#include "settings/settings_dlg.h"
#include "store/calendar_registry.h"
#include "store/store_access.h"

#include <climits>

namespace {
// A timer's period is at most USER_TIMER_MAXIMUM milliseconds (about 24.8
// days); a longer interval could only come from a value stored from outside.
constexpr int kMaxReminderMinutes = 0x7FFFFFFF / 60000;
// A reminder thread hands the restart of the window's timer to the window's
// own thread with this message.
constexpr UINT kRestartTimerMessage = WM_APP + 1;

// The button pictures drawn larger for higher DPIs have ids of their own (see
// res/resource.h): the 16-pixel picture's id and 2000, 3000 or 4000 more for
// 20, 24 and 32 pixels.
constexpr int ButtonPictureId(int id, int size) {
    return id + (size == 20 ? 2000 : size == 24 ? 3000 : 4000);
}

// Shown once at start-up when this user may not write the store.
constexpr const char* kStoreNotWritableText =
    "Quillmere cannot save appointments or settings on this computer: you may not "
    "change its store in the registry (HKEY_LOCAL_MACHINE\\SOFTWARE\\Calendar).\n\n"
    "Install Quillmere with its setup program, which lets every user of this computer save "
    "there, or ask an administrator to give you write access to that key.\n\n"
    "The appointments already there are shown as usual.";
} // namespace

CCalendarDlg::CCalendarDlg(HWND parent) : fw::Dialog(IDD_CALENDAR_DIALOG, parent) {
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_QUILLMERE));
}

CCalendarDlg::~CCalendarDlg() {
    // No reminder thread may outlive the window it reports to.
    m_reminders.Stop();
    m_pToolTip.reset();
    m_pImageList.reset();
}

void CCalendarDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::BindControl(dx, IDC_GO_TODAY, m_btnToday);
    fw::BindControl(dx, IDC_PREV_DAY, m_btnPrevDay);
    fw::BindControl(dx, IDC_NEXT_DAY, m_btnNextDay);
    fw::BindControl(dx, IDC_OPTIONS, m_btnOptions);
    fw::BindControl(dx, IDC_SAVE_NOTES, m_btnSaveNotes);
    fw::BindControl(dx, IDC_MONTHCAL, m_monthCal);
    fw::BindControl(dx, IDC_APPOINTMENT_LIST, m_listAppointments);
    fw::ExchangeText(dx, IDC_DETAIL_NOTES, m_strDetailNotes);
}

bool CCalendarDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    // The shell announces a restart of the taskbar with a registered message;
    // the icon must then be added again.
    if (m_uTaskbarCreatedMessage != 0 && msg == m_uTaskbarCreatedMessage) {
        OnTaskbarCreated(wp, lp);
        result = 0;
        return true;
    }

    using Self = CCalendarDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnMessage<Self>(WM_SYSCOMMAND, &Self::OnSysCommand),
        fw::OnMessage<Self>(WM_PAINT, &Self::OnPaint),
        fw::OnMessage<Self>(WM_QUERYDRAGICON, &Self::OnQueryDragIcon),
        fw::OnTimer<Self>(&Self::OnTimer),
        fw::OnCtlColor<Self>(&Self::OnCtlColor),
        // WM_USER is also DM_GETDEFID, which the dialog manager sends to find
        // the default button; OnTrayNotify takes only the icon's own messages.
        fw::OnMessage<Self>(WM_USER, &Self::OnTrayNotify),
        fw::OnMessage<Self>(kRestartTimerMessage, &Self::OnRestartTimer),
        fw::OnMessage<Self>(WM_DESTROY, &Self::OnDestroy),
        fw::OnMessage<Self>(WM_TIMECHANGE, &Self::OnTimeChange),
        fw::OnMessage<Self>(WM_POWERBROADCAST, &Self::OnPowerBroadcast),
        fw::OnMessage<Self>(WM_CONTEXTMENU, &Self::OnContextMenu),
        fw::OnMessage<Self>(WM_SYSCOLORCHANGE, &Self::OnSystemColorsChanged),
        fw::OnMessage<Self>(WM_SETTINGCHANGE, &Self::OnSystemColorsChanged),
        fw::OnCommand<Self>(ID_LIST_NEW, &Self::OnNewAppointment),
        fw::OnCommand<Self>(ID_FILE_NEW_APPOINTMENT, &Self::OnNewAppointment),
        fw::OnCommand<Self>(ID_LIST_DELETE, &Self::OnDeleteAppointment),
        fw::OnCommand<Self>(ID_TRAY_UNLOAD, &Self::OnUnload),
        fw::OnCommand<Self>(ID_FILE_UNLOAD, &Self::OnUnload),
        fw::OnCommand<Self>(ID_TRAY_MINIMIZE, &Self::OnMinimize),
        fw::OnCommand<Self>(ID_FILE_MINIMIZE, &Self::OnMinimize),
        fw::OnCommand<Self>(ID_TRAY_CALENDAR_NOTES, &Self::OnCalendarAndNotes),
        fw::OnCommand<Self>(ID_TRAY_ABOUT, &Self::OnAbout),
        fw::OnCommand<Self>(ID_ABOUT, &Self::OnAbout),
        fw::OnCommand<Self>(ID_TRAY_SHOW_REMINDER, &Self::OnShowReminder),
        fw::OnCommand<Self>(ID_FILE_SETTINGS, &Self::OnSettings),
        fw::OnCommand<Self>(ID_TRAY_SETTINGS, &Self::OnSettings),
        fw::OnCommand<Self>(IDC_OPTIONS, &Self::OnSettings),
        fw::OnCommand<Self>(IDC_GO_TODAY, &Self::OnGoToday),
        fw::OnCommand<Self>(IDC_NEXT_DAY, &Self::OnNextDay),
        fw::OnCommand<Self>(IDC_PREV_DAY, &Self::OnPrevDay),
        fw::OnCommand<Self>(IDC_SAVE_NOTES, &Self::OnSaveNotes),
        fw::OnCommand<Self>(ID_FILE_EXPORT, &Self::OnExportCalendar),
        fw::OnCommand<Self>(ID_FILE_IMPORT, &Self::OnImportCalendar),
        fw::OnNotify<Self>(IDC_APPOINTMENT_LIST, NM_RCLICK, &Self::OnListRightClick),
        fw::OnNotify<Self>(IDC_APPOINTMENT_LIST, LVN_ITEMCHANGED, &Self::OnListItemChanged),
        fw::OnNotify<Self>(IDC_APPOINTMENT_LIST, LVN_KEYDOWN, &Self::OnListKeyDown),
        fw::OnNotify<Self>(IDC_MONTHCAL, MCN_SELCHANGE, &Self::OnCalendarSelChange),
        fw::OnNotify<Self>(IDC_MONTHCAL, MCN_SELECT, &Self::OnCalendarSelect),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

BOOL CCalendarDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();

    HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE);
    if (systemMenu != nullptr) {
        std::string about = fw::LoadResourceString(IDS_ABOUTBOX);
        if (!about.empty()) {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, fw::Widen(about).c_str());
        }
    }

    AddTrayIcon();

    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // Ctrl+N files a new appointment, as the menu bar's New Appointment does.
    LoadAccelerators(IDR_MAIN_ACCELERATORS);
    InitAppointmentList();
    InitCalendarWindow();
    CSingleInstance::MarkMainWindow(m_hWnd);
    return TRUE;
}

void CCalendarDlg::StartHidden() {
    m_bStartHidden = true;
    m_bShowOnIdle = false;
}

void CCalendarDlg::OnFirstIdle() {
    // Hiding a window that was never shown also spends the minimised show
    // state Windows keeps for a program's first main window, so that
    // "&Calender && Notes" later shows it normally.
    if (m_bStartHidden)
        OnCancel();
    // Said once, now, instead of at every failed save. Hidden, the notice
    // has no owner, so that it gets a taskbar button and is not lost.
    if (!IsStoreWritable())
        fw::ShowNotice(m_bStartHidden ? nullptr : m_hWnd, kStoreNotWritableText);
}

void CCalendarDlg::AddTrayIcon() {
    m_uTaskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    m_trayIcon.SetNotificationWnd(m_hWnd, WM_USER);
    m_trayIcon.SetIcon(static_cast<UINT>(IDI_QUILLMERE));
}

void CCalendarDlg::InitCalendarWindow() {
    CCalendarRegistry registry;
    // A New cut short by a crash or a kill left an unfinished key; it goes
    // before anything is read.
    registry.RemoveUnfinishedNew();

    m_pToolTip = std::make_unique<fw::ToolTip>();
    if (m_pToolTip->Create(m_hWnd, TTS_ALWAYSTIP)) {
        static constexpr struct {
            int id;
            const char* tip;
        } kTips[] = {
            {IDC_OPTIONS, "Settings"},      {IDC_SAVE_NOTES, "Save Notes to selected Appointment"},
            {IDC_PREV_DAY, "Previous Day"}, {IDC_NEXT_DAY, "Next Day"},
            {IDC_GO_TODAY, "Select Today"}, {IDC_APPOINTMENT_LIST, "Right Click for add/delete"},
        };
        for (const auto& tip : kTips)
            m_pToolTip->AddTool(GetDlgItem(tip.id), tip.tip);
        m_pToolTip->Activate(true);
        m_pToolTip->SetTipBkColor(RGB(255, 255, 225));
    } else {
        m_pToolTip.reset();
    }

    m_nReminderMinutes = registry.GetTimeoutValue();
    if (m_nReminderMinutes < 1)
        m_nReminderMinutes = 1;
    if (registry.GetTimeoutDelete() == 1)
        PurgeOutdated();
    if (registry.GetSplash() == 1)
        RunSplash();

    MakeFonts();

    // The calendar and the list show the same today, from the one clock.
    // Once its today is set, the calendar no longer moves it by itself; the
    // window moves it at each change of day (OnDayChange).
    const SYSTEMTIME now = fw::LocalNow();
    m_monthCal.SetToday(now);
    m_monthCal.SetCurSel(now);
    ShowDay(LIST_FILL, now);
    LoadButtonImages();
    // From here on the calendar's today follows the clock, and a snooze that
    // outlived the last run comes back when it ends.
    OnDayChange();
    ArmSnoozeTimer();
}

void CCalendarDlg::MakeFonts() {
    // The controls take the new fonts before the old ones go.
    fw::unique_hfont normal = fw::CreateArialFont(12, FW_NORMAL, Dpi());
    fw::unique_hfont bold = fw::CreateArialFont(14, FW_BOLD, Dpi());
    fw::ReplaceFont(m_hWnd, m_fontNormal.get(), normal.get());
    fw::ReplaceFont(m_hWnd, m_fontBold.get(), bold.get());
    m_fontNormal = std::move(normal);
    m_fontBold = std::move(bold);
    // The colour requests give the labels and Go Today their fonts; giving
    // them now as well means the very first paint already uses them.
    const bool redraw = IsWindowVisible(m_hWnd) != FALSE;
    fw::SetFontIfDifferent(GetDlgItem(IDC_DETAIL_NOTES_LABEL), m_fontNormal.get(), redraw);
    fw::SetFontIfDifferent(GetDlgItem(IDC_SEARCH_EVENTS_LABEL), m_fontNormal.get(), redraw);
    fw::SetFontIfDifferent(GetDlgItem(IDC_GO_TODAY), m_fontBold.get(), redraw);
}

void CCalendarDlg::LoadButtonImages() {
    // At 96 DPI the 16-colour pictures the window always had; above it the
    // same pictures drawn larger, with alpha, at the size nearest above.
    const UINT dpi = Dpi();
    auto load = [dpi](int id) {
        int size = 16;
        const int wanted = fw::ScaleForDpi(16, dpi);
        int sized = id;
        for (const int step : {20, 24, 32}) {
            if (wanted > size) {
                size = step;
                sized = ButtonPictureId(id, step);
            }
        }
        const UINT flags = sized == id ? LR_DEFAULTCOLOR : LR_CREATEDIBSECTION;
        return fw::unique_hbitmap(static_cast<HBITMAP>(LoadImageW(
            GetModuleHandleW(nullptr), MAKEINTRESOURCEW(sized), IMAGE_BITMAP, 0, 0, flags)));
    };
    // The buttons show the new pictures before the old ones are released.
    fw::unique_hbitmap options = load(IDB_OPTIONS);
    fw::unique_hbitmap saveNotes = load(IDB_SAVE_NOTES);
    fw::unique_hbitmap nextDay = load(IDB_NEXT_DAY);
    fw::unique_hbitmap prevDay = load(IDB_PREV_DAY);
    m_btnOptions.SetImage(options.get());
    m_btnSaveNotes.SetImage(saveNotes.get());
    m_btnNextDay.SetImage(nextDay.get());
    m_btnPrevDay.SetImage(prevDay.get());
    m_bmpOptions = std::move(options);
    m_bmpSaveNotes = std::move(saveNotes);
    m_bmpNextDay = std::move(nextDay);
    m_bmpPrevDay = std::move(prevDay);
}

void CCalendarDlg::OnDpiChanged(UINT) {
    MakeFonts();
    MakeListImages();
    m_listAppointments.SetColumnWidth(0, fw::ScaleForDpi(kEventColumnWidth, Dpi()));
    m_listAppointments.SetColumnWidth(1, fw::ScaleForDpi(kNotesColumnWidth, Dpi()));
    LoadButtonImages();
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

std::optional<LRESULT> CCalendarDlg::OnSystemColorsChanged(WPARAM, LPARAM) {
    // High contrast switched on or off, or the system's colours changed.
    ApplyListColours();
    InvalidateRect(m_hWnd, nullptr, TRUE);
    // The controls hear of it too, through the default handling.
    return std::nullopt;
}

void CCalendarDlg::RunSplash() {
    CSplashDlg splash;
    splash.DoModal();
}

void CCalendarDlg::RunAboutBox() {
    CAboutDlg about;
    about.DoModal();
}

void CCalendarDlg::RunSettings() {
    CSettingsDlg settings;
    if (settings.DoModal() == IDOK)
        m_nReminderMinutes = settings.m_nInterval < 1 ? 1 : settings.m_nInterval;
}

std::optional<LRESULT> CCalendarDlg::OnSysCommand(WPARAM wp, LPARAM) {
    if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
        RunAboutBox();
        return 0;
    }
    return std::nullopt;
}

std::optional<LRESULT> CCalendarDlg::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic(m_hWnd))
        return std::nullopt;
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return 0;
}

std::optional<LRESULT> CCalendarDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(m_hIcon);
}

std::optional<LRESULT> CCalendarDlg::OnTrayNotify(WPARAM wp, LPARAM lp) {
    if (wp != kTrayIconId)
        return std::nullopt;
    return m_trayIcon.OnTrayNotification(wp, lp);
}

std::optional<LRESULT> CCalendarDlg::OnTaskbarCreated(WPARAM, LPARAM) {
    // The restarted shell has no icons; the old one is gone with it.
    m_trayIcon.Restore();
    return 0;
}

void CCalendarDlg::OnCancel() {
    RestartReminderTimer();
    ShowWindow(SW_HIDE);
}

void CCalendarDlg::OnOK() {
    // The main window has no OK button, and it ends only through Unload.
}

void CCalendarDlg::OnMinimize() {
    ShowWindow(SW_HIDE);
    RestartReminderTimer();
}

void CCalendarDlg::OnCalendarAndNotes() {
    ShowWindow(SW_SHOWNORMAL);
    SetForegroundWindow(m_hWnd);
    KillTimer(kReminderTimerId);
}

void CCalendarDlg::OnUnload() {
    if (fw::ShowMessageBox(m_hWnd, "Unload Quillmere?", "Confirm",
                           MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    m_trayIcon.SetIcon(0u);
    m_reminders.Stop();
    DestroyWindow();
}

void CCalendarDlg::OnAbout() {
    RunAboutBox();
}

void CCalendarDlg::OnSettings() {
    RunSettings();
}

UINT CCalendarDlg::ReminderPeriodMs(int minutes) {
    if (minutes < 1)
        minutes = 1;
    if (minutes > kMaxReminderMinutes)
        minutes = kMaxReminderMinutes;
    return static_cast<UINT>(minutes) * 60000u;
}

void CCalendarDlg::RestartReminderTimer() {
    // A pop-up closed by Unload must not set a timer on a window that goes.
    if (m_reminders.IsStopped())
        return;
    // A reminder thread asks the window's own thread, which owns the
    // interval and the timer.
    if (m_hWnd != nullptr && GetWindowThreadProcessId(m_hWnd, nullptr) != GetCurrentThreadId()) {
        PostMessageA(m_hWnd, kRestartTimerMessage, 0, 0);
        return;
    }
    KillTimer(kReminderTimerId);
    SetTimer(kReminderTimerId, ReminderPeriodMs(m_nReminderMinutes));
}

std::optional<LRESULT> CCalendarDlg::OnRestartTimer(WPARAM, LPARAM) {
    RestartReminderTimer();
    return 0;
}

BOOL CCalendarDlg::PreTranslateMessage(MSG* msg) {
    if (m_pToolTip && *m_pToolTip)
        m_pToolTip->RelayEvent(msg);
    return fw::Dialog::PreTranslateMessage(msg);
}

HBRUSH CCalendarDlg::OnCtlColor(HDC, HWND control, UINT) {
    const int id = GetDlgCtrlID(control);
    if (id == IDC_DETAIL_NOTES_LABEL || id == IDC_SEARCH_EVENTS_LABEL)
        fw::SetFontIfDifferent(control, m_fontNormal.get(), false);
    else if (id == IDC_GO_TODAY)
        fw::SetFontIfDifferent(control, m_fontBold.get(), false);
    // The dialog's own colours: a null brush lets the dialog manager draw.
    return nullptr;
}
