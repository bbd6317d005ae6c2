#include "app/window_look.h"

#include "framework/display.h"
#include "res/resource.h"

namespace {
// The button pictures drawn larger for higher DPIs have ids of their own (see
// res/resource.h): the 16-pixel picture's id and 2000, 3000 or 4000 more for
// 20, 24 and 32 pixels.
constexpr int ButtonPictureId(int id, int size) {
    return id + (size == 20 ? 2000 : size == 24 ? 3000 : 4000);
}
} // namespace

CWindowLook::CWindowLook() = default;

CWindowLook::~CWindowLook() = default;

bool CWindowLook::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CWindowLook;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCtlColor<Self>(&Self::OnCtlColor),
        fw::OnMessage<Self>(WM_SYSCOLORCHANGE, &Self::OnSystemColorsChanged),
        fw::OnMessage<Self>(WM_SETTINGCHANGE, &Self::OnSystemColorsChanged),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

void CWindowLook::DoDataExchange(fw::DataExchange& dx) {
    fw::BindControl(dx, IDC_PREV_DAY, m_btnPrevDay);
    fw::BindControl(dx, IDC_NEXT_DAY, m_btnNextDay);
    fw::BindControl(dx, IDC_OPTIONS, m_btnOptions);
    fw::BindControl(dx, IDC_SAVE_NOTES, m_btnSaveNotes);
}

BOOL CWindowLook::PreTranslateMessage(MSG* msg) {
    if (m_pToolTip && *m_pToolTip)
        m_pToolTip->RelayEvent(msg);
    return FALSE;
}

void CWindowLook::MakeTooltips() {
    m_pToolTip = std::make_unique<fw::ToolTip>();
    if (!m_pToolTip->Create(Hwnd(), TTS_ALWAYSTIP)) {
        m_pToolTip.reset();
        return;
    }
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
}

void CWindowLook::MakeFonts() {
    // The controls take the new fonts before the old ones go.
    fw::unique_hfont normal = fw::CreateArialFont(12, FW_NORMAL, Dpi());
    fw::unique_hfont bold = fw::CreateArialFont(14, FW_BOLD, Dpi());
    fw::ReplaceFont(Hwnd(), m_fontNormal.get(), normal.get());
    fw::ReplaceFont(Hwnd(), m_fontBold.get(), bold.get());
    m_fontNormal = std::move(normal);
    m_fontBold = std::move(bold);
    // The colour requests give the labels and Go Today their fonts; giving
    // them now as well means the very first paint already uses them.
    const bool redraw = IsWindowVisible(Hwnd()) != FALSE;
    fw::SetFontIfDifferent(GetDlgItem(IDC_DETAIL_NOTES_LABEL), m_fontNormal.get(), redraw);
    fw::SetFontIfDifferent(GetDlgItem(IDC_SEARCH_EVENTS_LABEL), m_fontNormal.get(), redraw);
    fw::SetFontIfDifferent(GetDlgItem(IDC_GO_TODAY), m_fontBold.get(), redraw);
}

void CWindowLook::LoadButtonImages() {
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

void CWindowLook::OnDpiChanged(UINT) {
    MakeFonts();
    LoadButtonImages();
    InvalidateRect(Hwnd(), nullptr, TRUE);
}

std::optional<LRESULT> CWindowLook::OnSystemColorsChanged(WPARAM, LPARAM) {
    // High contrast switched on or off, or the system's colours changed; the
    // controls hear of it too, through the default handling.
    InvalidateRect(Hwnd(), nullptr, TRUE);
    return std::nullopt;
}

HBRUSH CWindowLook::OnCtlColor(HDC, HWND control, UINT) {
    const int id = GetDlgCtrlID(control);
    if (id == IDC_DETAIL_NOTES_LABEL || id == IDC_SEARCH_EVENTS_LABEL)
        fw::SetFontIfDifferent(control, m_fontNormal.get(), false);
    else if (id == IDC_GO_TODAY)
        fw::SetFontIfDifferent(control, m_fontBold.get(), false);
    // The dialog's own colours: a null brush lets the dialog manager draw.
    return nullptr;
}
