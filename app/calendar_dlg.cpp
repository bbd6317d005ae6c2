#include "app/calendar_dlg.h"

#include "app/alert_timing.h"
#include "app/appointment_editing.h"
#include "app/day_view.h"
#include "app/file_transfer.h"
#include "app/find_commands.h"
#include "app/list_commands.h"
#include "app/occurrence_delete.h"
#include "app/program_dialogs.h"
#include "app/reminder_timing.h"
#include "app/series_refresh.h"
#include "app/single_instance.h"
#include "app/startup_steps.h"
#include "app/sync_timing.h"
#include "app/window_look.h"
#include "framework/app.h"
#include "framework/message_box.h"
#include "framework/utf_text.h"
#include "res/resource.h"

CCalendarDlg::CCalendarDlg(HWND parent) : fw::Dialog(IDD_CALENDAR_DIALOG, parent) {
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_QUILLMERE));
    // The controllers, asked in this order before the window's own routes. A
    // new feature is a controller of its own and one line here.
    m_pLook = &AddHandler(std::make_unique<CWindowLook>());
    m_pDayView = &AddHandler(std::make_unique<CDayView>());
    AddHandler(std::make_unique<COccurrenceDelete>(*m_pDayView));
    AddHandler(std::make_unique<CListCommands>(*m_pDayView));
    AddHandler(std::make_unique<CSeriesRefresh>(*m_pDayView));
    AddHandler(std::make_unique<CAppointmentEditing>(*m_pDayView));
    m_pReminders = &AddHandler(std::make_unique<CReminderTiming>());
    m_pStartup = &AddHandler(std::make_unique<CStartupSteps>(*m_pReminders));
    AddHandler(std::make_unique<CProgramDialogs>(*m_pReminders));
    AddHandler(std::make_unique<CFileTransfer>(*m_pDayView));
    AddHandler(std::make_unique<CAlertTiming>(m_pReminders->Cycle().Scanner(), m_trayIcon));
    AddHandler(std::make_unique<CSyncTiming>(m_trayIcon, *m_pDayView));
    AddHandler(std::make_unique<CFindCommands>(*m_pDayView));
}

CCalendarDlg::~CCalendarDlg() = default;

bool CCalendarDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    // The shell announces a restart of the taskbar with a registered message;
    // the icon must then be added again.
    if (m_uTaskbarCreatedMessage != 0 && msg == m_uTaskbarCreatedMessage) {
        OnTaskbarCreated();
        result = 0;
        return true;
    }

    using Self = CCalendarDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnMessage<Self>(WM_PAINT, &Self::OnPaint),
        fw::OnMessage<Self>(WM_QUERYDRAGICON, &Self::OnQueryDragIcon),
        // WM_USER is also DM_GETDEFID, which the dialog manager sends to find
        // the default button; OnTrayNotify takes only the icon's own messages.
        fw::OnMessage<Self>(WM_USER, &Self::OnTrayNotify),
        fw::OnCommand<Self>(ID_TRAY_UNLOAD, &Self::OnUnload),
        fw::OnCommand<Self>(ID_FILE_UNLOAD, &Self::OnUnload),
        fw::OnCommand<Self>(ID_TRAY_MINIMIZE, &Self::OnMinimize),
        fw::OnCommand<Self>(ID_FILE_MINIMIZE, &Self::OnMinimize),
        fw::OnCommand<Self>(ID_TRAY_CALENDAR_NOTES, &Self::OnCalendarAndNotes),
        fw::OnMessage<Self>(WM_POWERBROADCAST, &Self::OnPowerBroadcast),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

BOOL CCalendarDlg::OnInitDialog() {
    // Binds every controller's controls.
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
    m_pDayView->InitAppointmentList();
    InitCalendarWindow();
    CSingleInstance::MarkMainWindow(m_hWnd);
    return TRUE;
}

void CCalendarDlg::InitCalendarWindow() {
    m_pStartup->RemoveUnfinishedNew();
    m_pLook->MakeTooltips();
    m_pStartup->ApplyOptions();
    m_pLook->MakeFonts();
    m_pDayView->ShowToday();
    m_pLook->LoadButtonImages();
    m_pReminders->StartClock();
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
}

void CCalendarDlg::AddTrayIcon() {
    m_uTaskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    m_trayIcon.SetNotificationWnd(m_hWnd, WM_USER);
    m_trayIcon.SetIcon(static_cast<UINT>(IDI_QUILLMERE));
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

std::optional<LRESULT> CCalendarDlg::OnPowerBroadcast(WPARAM, LPARAM) {
    // Every power event is taken, once the controllers have heard it.
    return TRUE;
}

std::optional<LRESULT> CCalendarDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(m_hIcon);
}

std::optional<LRESULT> CCalendarDlg::OnTrayNotify(WPARAM wp, LPARAM lp) {
    if (wp != kTrayIconId)
        return std::nullopt;
    return m_trayIcon.OnTrayNotification(wp, lp);
}

void CCalendarDlg::OnTaskbarCreated() {
    // The restarted shell has no icons; the old one is gone with it.
    m_trayIcon.Restore();
}

void CCalendarDlg::OnCancel() {
    m_pReminders->RestartReminderTimer();
    ShowWindow(SW_HIDE);
}

void CCalendarDlg::OnOK() {
    // The main window has no OK button, and it ends only through Unload.
}

void CCalendarDlg::OnMinimize() {
    ShowWindow(SW_HIDE);
    m_pReminders->RestartReminderTimer();
}

void CCalendarDlg::OnCalendarAndNotes() {
    ShowWindow(SW_SHOWNORMAL);
    SetForegroundWindow(m_hWnd);
    m_pReminders->StopReminderTimer();
}

void CCalendarDlg::OnUnload() {
    if (fw::ShowMessageBox(m_hWnd, "Unload Quillmere?", "Confirm",
                           MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    m_trayIcon.SetIcon(0u);
    // The controllers hear of it first: no reminder outlives the window.
    DestroyWindow();
}
