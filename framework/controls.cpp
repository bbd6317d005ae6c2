#include "framework/controls.h"

#include <vector>

namespace fw {

void SetFontIfDifferent(HWND control, HFONT font, bool redraw) {
    if (control == nullptr || font == nullptr)
        return;
    if (reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)) != font)
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
}

std::string Wnd::GetText() const {
    int length = GetWindowTextLengthA(m_hWnd);
    if (length <= 0)
        return {};
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    int copied = GetWindowTextA(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

int ListView::InsertColumn(int index, const char* heading, int format, int width) const {
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<char*>(heading);
    column.iSubItem = index;
    return static_cast<int>(
        Send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)));
}

int ListView::InsertItem(int index, const std::string& text, int image) const {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    item.iItem = index;
    item.pszText = const_cast<char*>(text.c_str());
    item.iImage = image;
    return static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListView::SetItemText(int row, int column, const std::string& text) const {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::string ListView::GetItemText(int row, int column) const {
    if (row < 0)
        return {};
    // The list reports how much it copied; grow until the text fits.
    for (size_t size = 256;; size *= 2) {
        std::vector<char> buffer(size);
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(size);
        auto copied = static_cast<size_t>(
            Send(LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        if (copied + 1 < size || size >= (1u << 20))
            return std::string(buffer.data(), copied < size ? copied : size - 1);
    }
}

int ListView::GetItemImage(int row) const {
    LVITEMA item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return item.iImage;
}

void ListView::SetItemState(int row, UINT state, UINT mask) const {
    LVITEMA item{};
    item.state = state;
    item.stateMask = mask;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int ComboBoxEx::InsertItem(int index, const std::string& text, int image, int selectedImage) const {
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = index;
    item.pszText = const_cast<char*>(text.c_str());
    item.iImage = image;
    item.iSelectedImage = selectedImage;
    return static_cast<int>(Send(CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

std::string ComboBoxEx::GetItemText(int index) const {
    if (index < 0)
        return {};
    char buffer[256] = {};
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT;
    item.iItem = index;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    if (!Send(CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return {};
    buffer[sizeof buffer - 1] = '\0';
    return item.pszText != nullptr ? std::string(item.pszText) : std::string();
}

ToolTip::~ToolTip() {
    if (m_hWnd != nullptr && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

bool ToolTip::Create(HWND owner, DWORD style) {
    m_hOwner = owner;
    m_hWnd = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | style, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    return m_hWnd != nullptr;
}

void ToolTip::AddTool(HWND control, const char* text) const {
    TTTOOLINFOA info{};
    info.cbSize = sizeof info;
    // Identified by the control's handle, so the tip covers the whole control.
    info.uFlags = TTF_IDISHWND;
    info.hwnd = m_hOwner;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<char*>(text);
    Send(TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

std::string ToolTip::GetToolText(HWND control) const {
    char buffer[256] = {};
    TTTOOLINFOA info{};
    info.cbSize = sizeof info;
    info.hwnd = m_hOwner;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = buffer;
    Send(TTM_GETTEXTA, sizeof buffer, reinterpret_cast<LPARAM>(&info));
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

} // namespace fw
