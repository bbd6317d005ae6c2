#include "framework/controls.h"

#include "framework/utf_text.h"

#include <uxtheme.h>

#include <iterator>
#include <vector>

namespace fw {

namespace {
// Under visual styles a tooltip draws with its theme and ignores the tip
// colour it is given, unless its theme is turned off.
void KeepTipColours(HWND tip) {
    SetWindowTheme(tip, L"", L"");
}
} // namespace

void SetFontIfDifferent(HWND control, HFONT font, bool redraw) {
    if (control == nullptr || font == nullptr)
        return;
    if (reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)) != font)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
}

void ReplaceFont(HWND parent, HFONT old, HFONT replacement) {
    if (parent == nullptr || old == nullptr || replacement == nullptr)
        return;
    struct Swap {
        HFONT old;
        HFONT replacement;
    } swap{old, replacement};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM lp) -> BOOL {
            const auto* swap = reinterpret_cast<const Swap*>(lp);
            if (reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)) == swap->old)
                SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(swap->replacement), TRUE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&swap));
}

std::string Wnd::GetText() const {
    int length = GetWindowTextLengthW(m_hWnd);
    if (length <= 0)
        return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int copied = GetWindowTextW(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
    return Narrow(std::wstring_view(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0)));
}

void Wnd::SetText(std::string_view text) const {
    SetWindowTextW(m_hWnd, Widen(text).c_str());
}

int ListView::InsertColumn(int index, const char* heading, int format, int width) const {
    std::wstring text = Widen(heading);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = text.data();
    column.iSubItem = index;
    return static_cast<int>(
        Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)));
}

int ListView::InsertItem(int index, const std::string& text, int image) const {
    std::wstring wide = Widen(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    item.iItem = index;
    item.pszText = wide.data();
    item.iImage = image;
    return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListView::SetItemText(int row, int column, const std::string& text) const {
    std::wstring wide = Widen(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::string ListView::GetItemText(int row, int column) const {
    if (row < 0)
        return {};
    // The list reports how much it copied; grow until the text fits.
    for (size_t size = 256;; size *= 2) {
        std::vector<wchar_t> buffer(size);
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(size);
        auto copied = static_cast<size_t>(
            Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        if (copied + 1 < size || size >= (1u << 20))
            return Narrow(std::wstring_view(buffer.data(), copied < size ? copied : size - 1));
    }
}

int ListView::GetItemImage(int row) const {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return item.iImage;
}

void ListView::SetItemState(int row, UINT state, UINT mask) const {
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int ComboBoxEx::InsertItem(int index, const std::string& text, int image, int selectedImage) const {
    std::wstring wide = Widen(text);
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = index;
    item.pszText = wide.data();
    item.iImage = image;
    item.iSelectedImage = selectedImage;
    return static_cast<int>(Send(CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

std::string ComboBoxEx::GetItemText(int index) const {
    if (index < 0)
        return {};
    wchar_t buffer[256] = {};
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT;
    item.iItem = index;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(std::size(buffer));
    if (!Send(CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return {};
    buffer[std::size(buffer) - 1] = L'\0';
    return item.pszText != nullptr ? Narrow(item.pszText) : std::string();
}

ToolTip::~ToolTip() {
    if (m_hWnd != nullptr && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

bool ToolTip::Create(HWND owner, DWORD style) {
    m_hOwner = owner;
    m_hWnd = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | style, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (m_hWnd != nullptr)
        KeepTipColours(m_hWnd);
    return m_hWnd != nullptr;
}

void ToolTip::AddTool(HWND control, std::string_view text) const {
    std::wstring wide = Widen(text);
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    // Identified by the control's handle, so the tip covers the whole control.
    info.uFlags = TTF_IDISHWND;
    info.hwnd = m_hOwner;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = wide.data();
    Send(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

std::string ToolTip::GetToolText(HWND control) const {
    wchar_t buffer[256] = {};
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = m_hOwner;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = buffer;
    Send(TTM_GETTEXTW, std::size(buffer), reinterpret_cast<LPARAM>(&info));
    buffer[std::size(buffer) - 1] = L'\0';
    return Narrow(buffer);
}

} // namespace fw
