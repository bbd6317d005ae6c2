// The start-up floor: what the program's start-up does, step for step and in
// its order, with bare API calls in a plain dialog procedure: no application
// framework, no routing, no data exchange, no wrappers. The same template,
// resources and manifest; the same tray icon, window icons, picture list,
// list set-up, tooltips, option reads, fonts, calendar day, today's
// appointments read from the same store, button pictures, centring, showing
// and first paint. The program's time beside this is what its own layers cost.
#include "bench/bare_calls.h"
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

using bench::kImageMask;
constexpr COLORREF kTipBackground = RGB(255, 255, 225);

HICON g_icon = nullptr;
HIMAGELIST g_images = nullptr;
HFONT g_fontNormal = nullptr;
HFONT g_fontBold = nullptr;
NOTIFYICONDATAA g_tray{};

void AddTrayIcon(HWND window) {
    g_tray.cbSize = sizeof g_tray;
    g_tray.hWnd = window;
    g_tray.uID = IDI_QUILLMERE;
    g_tray.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    g_tray.uCallbackMessage = WM_USER;
    g_tray.hIcon = g_icon;
    std::strcpy(g_tray.szTip, "Calender and Notes");
    Shell_NotifyIconA(NIM_ADD, &g_tray);
}

void SetUpList(HWND list) {
    g_images = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 0, 1);
    HBITMAP strip = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr),
                                                    MAKEINTRESOURCEA(IDB_EVENTS_LIST), IMAGE_BITMAP,
                                                    0, 0, LR_CREATEDIBSECTION));
    ImageList_AddMasked(g_images, strip, kImageMask);
    DeleteObject(strip);
    bench::SetUpBareList(list, g_images);
}

void AddTooltips(HWND window) {
    HWND tip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    const struct {
        int id;
        const char* text;
    } tools[] = {
        {IDC_OPTIONS, "Settings"},      {IDC_SAVE_NOTES, "Save Notes to selected Appointment"},
        {IDC_PREV_DAY, "Previous Day"}, {IDC_NEXT_DAY, "Next Day"},
        {IDC_GO_TODAY, "Select Today"}, {IDC_APPOINTMENT_LIST, "Right Click for add/delete"},
    };
    for (const auto& tool : tools) {
        TTTOOLINFOA info{};
        info.cbSize = sizeof info;
        info.uFlags = TTF_IDISHWND;
        info.hwnd = window;
        info.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window, tool.id));
        info.lpszText = const_cast<char*>(tool.text);
        SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    }
    SendMessageA(tip, TTM_ACTIVATE, TRUE, 0);
    SendMessageA(tip, TTM_SETTIPBKCOLOR, kTipBackground, 0);
}

// The three options, read with one open.
void ReadOptions() {
    HKEY options = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Calendar\\OPTIONS", 0, KEY_READ, &options) !=
        ERROR_SUCCESS)
        return;
    for (const char* name : {"TIMEOUT VALUE", "TIMEOUT DELETE", "SPLASH"}) {
        DWORD value = 0;
        DWORD size = sizeof value;
        RegQueryValueExA(options, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    }
    RegCloseKey(options);
}

void SetFonts(HWND window) {
    g_fontNormal = CreateFontA(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0,
                               0x20, "Arial");
    g_fontBold = CreateFontA(14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0x20,
                             "Arial");
    SendDlgItemMessageA(window, IDC_DETAIL_NOTES_LABEL, WM_SETFONT,
                        reinterpret_cast<WPARAM>(g_fontNormal), FALSE);
    SendDlgItemMessageA(window, IDC_SEARCH_EVENTS_LABEL, WM_SETFONT,
                        reinterpret_cast<WPARAM>(g_fontNormal), FALSE);
    SendDlgItemMessageA(window, IDC_GO_TODAY, WM_SETFONT, reinterpret_cast<WPARAM>(g_fontBold),
                        FALSE);
}

// Today's appointments from the store, with the list's reads: EVENT INDEX,
// EVENT and NOTES of each, one row each.
void ListToday(HWND list, const SYSTEMTIME& now) {
    char dayPath[64];
    std::snprintf(dayPath, sizeof dayPath, "SOFTWARE\\Calendar\\%d-%d-%d", now.wYear, now.wMonth,
                  now.wDay);
    HKEY day = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, dayPath, 0, KEY_READ, &day) != ERROR_SUCCESS)
        return;
    char name[256];
    char event[11];
    char notes[500];
    for (DWORD a = 0;; ++a) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(day, a, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY appointment = nullptr;
        if (RegOpenKeyExA(day, name, 0, KEY_READ, &appointment) != ERROR_SUCCESS)
            continue;
        DWORD index = 0;
        DWORD size = sizeof index;
        RegQueryValueExA(appointment, "EVENT INDEX", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&index), &size);
        size = sizeof event - 1;
        if (RegQueryValueExA(appointment, "EVENT", nullptr, nullptr, reinterpret_cast<BYTE*>(event),
                             &size) != ERROR_SUCCESS)
            size = 0;
        event[size] = '\0';
        size = sizeof notes - 1;
        if (RegQueryValueExA(appointment, "NOTES", nullptr, nullptr, reinterpret_cast<BYTE*>(notes),
                             &size) != ERROR_SUCCESS)
            size = 0;
        notes[size] = '\0';
        RegCloseKey(appointment);

        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(a);
        item.pszText = event;
        item.iImage = static_cast<int>(index);
        const int row = static_cast<int>(
            SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        item.mask = LVIF_TEXT;
        item.iSubItem = 1;
        item.pszText = notes;
        SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    }
    RegCloseKey(day);
}

void SetButtonPictures(HWND window) {
    const struct {
        int button;
        int bitmap;
    } pictures[] = {{IDC_OPTIONS, IDB_OPTIONS},
                    {IDC_SAVE_NOTES, IDB_SAVE_NOTES},
                    {IDC_NEXT_DAY, IDB_NEXT_DAY},
                    {IDC_PREV_DAY, IDB_PREV_DAY}};
    for (const auto& picture : pictures) {
        HANDLE bitmap = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(picture.bitmap),
                                   IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
        SendDlgItemMessageA(window, picture.button, BM_SETIMAGE, IMAGE_BITMAP,
                            reinterpret_cast<LPARAM>(bitmap));
    }
}

void Centre(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void InitDialog(HWND window) {
    if (HMENU system = GetSystemMenu(window, FALSE)) {
        char about[128];
        if (LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, about, sizeof about) > 0) {
            AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(system, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    AddTrayIcon(window);
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_icon));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_icon));
    HWND list = GetDlgItem(window, IDC_APPOINTMENT_LIST);
    SetUpList(list);
    AddTooltips(window);
    ReadOptions();
    SetFonts(window);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    HWND calendar = GetDlgItem(window, IDC_MONTHCAL);
    SendMessageA(calendar, MCM_SETTODAY, 0, reinterpret_cast<LPARAM>(&now));
    SendMessageA(calendar, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&now));
    ListToday(list, now);
    SetButtonPictures(window);
    Centre(window);
}

INT_PTR CALLBACK FloorProc(HWND window, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        InitDialog(window);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDCANCEL) {
            Shell_NotifyIconA(NIM_DELETE, &g_tray);
            EndDialog(window, IDCANCEL);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    bench::RegisterBareCommonControls();
    g_icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_QUILLMERE));
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CALENDAR_DIALOG), nullptr, FloorProc, 0);
    return 0;
}
