#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>

namespace fw {

// Gives a control a font from the colour request it makes while it paints.
// The control chose its font before it asked, so a new font shows only with
// a redraw, and that redraw asks again: only a font the control does not have
// yet is set, which ends the cycle. Nothing for a null control or font.
void SetFontIfDifferent(HWND control, HFONT font, bool redraw = true);

// Gives every child of `parent` that uses `old` the font `replacement`
// instead, so that `old` can be released (a window made its fonts again for
// another DPI). Nothing when either is null.
void ReplaceFont(HWND parent, HFONT old, HFONT replacement);

// A window handle and the few calls the program makes on it. Holds, never owns.
class Wnd {
public:
    Wnd() = default;
    explicit Wnd(HWND hwnd) : m_hWnd(hwnd) {}

    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    explicit operator bool() const { return m_hWnd != nullptr && IsWindow(m_hWnd); }

    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return SendMessageW(m_hWnd, msg, wp, lp);
    }
    // Texts are UTF-8 here, UTF-16 to the window.
    std::string GetText() const;
    void SetText(std::string_view text) const;
    void Show(int command) const { ShowWindow(m_hWnd, command); }

protected:
    HWND m_hWnd = nullptr;
};

class Button : public Wnd {
public:
    void SetImage(HBITMAP bitmap) const {
        Send(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    }
    int GetCheck() const { return static_cast<int>(Send(BM_GETCHECK)); }
    void SetCheck(int state) const { Send(BM_SETCHECK, static_cast<WPARAM>(state)); }
};

class Static : public Wnd {};
class Edit : public Wnd {};

class ListView : public Wnd {
public:
    void SetImageList(HIMAGELIST list, int which) const {
        Send(LVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list));
    }
    void SetBkColor(COLORREF color) const { Send(LVM_SETBKCOLOR, 0, static_cast<LPARAM>(color)); }
    void SetTextBkColor(COLORREF color) const {
        Send(LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(color));
    }
    void SetTextColor(COLORREF color) const {
        Send(LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(color));
    }
    void SetColumnWidth(int column, int width) const {
        Send(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0));
    }
    int GetColumnWidth(int column) const {
        return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column)));
    }
    DWORD GetExtendedStyle() const {
        return static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE));
    }
    void SetExtendedStyle(DWORD style) const {
        Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style));
    }
    int InsertColumn(int index, const char* heading, int format, int width) const;
    // Inserts a row with its first column's text and image; returns its index.
    int InsertItem(int index, const std::string& text, int image) const;
    void SetItemText(int row, int column, const std::string& text) const;
    // Empty for a row that does not exist (such as -1).
    std::string GetItemText(int row, int column) const;
    int GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    int GetNextItem(int start, UINT flags) const {
        return static_cast<int>(
            Send(LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
    }
    // The first selected row (lowest index), or -1.
    int GetFirstSelected() const { return GetNextItem(-1, LVNI_SELECTED); }
    void DeleteAllItems() const { Send(LVM_DELETEALLITEMS); }
    void DeleteItem(int row) const { Send(LVM_DELETEITEM, static_cast<WPARAM>(row)); }
    int GetItemImage(int row) const;
    void SetItemState(int row, UINT state, UINT mask) const;
};

class MonthCal : public Wnd {
public:
    bool GetCurSel(SYSTEMTIME& day) const {
        return Send(MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&day)) != 0;
    }
    bool SetCurSel(const SYSTEMTIME& day) const {
        return Send(MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&day)) != 0;
    }
    bool GetToday(SYSTEMTIME& day) const {
        return Send(MCM_GETTODAY, 0, reinterpret_cast<LPARAM>(&day)) != 0;
    }
    void SetToday(const SYSTEMTIME& day) const {
        Send(MCM_SETTODAY, 0, reinterpret_cast<LPARAM>(&day));
    }
};

class DateTimePicker : public Wnd {
public:
    bool GetTime(SYSTEMTIME& time) const {
        return Send(DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) == GDT_VALID;
    }
    bool SetTime(const SYSTEMTIME& time) const {
        return Send(DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time)) != 0;
    }
};

class ComboBoxEx : public Wnd {
public:
    void SetImageList(HIMAGELIST list) const {
        Send(CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list));
    }
    int InsertItem(int index, const std::string& text, int image, int selectedImage) const;
    int GetCurSel() const { return static_cast<int>(Send(CB_GETCURSEL)); }
    void SetCurSel(int index) const { Send(CB_SETCURSEL, static_cast<WPARAM>(index)); }
    std::string GetItemText(int index) const;
};

class UpDown : public Wnd {
public:
    void SetPos(int pos) const { Send(UDM_SETPOS, 0, MAKELPARAM(static_cast<WORD>(pos), 0)); }
    void SetRange(int lower, int upper) const {
        Send(UDM_SETRANGE, 0, MAKELPARAM(static_cast<WORD>(upper), static_cast<WORD>(lower)));
    }
};

// A tooltip window made by the program; it is destroyed with this object.
class ToolTip : public Wnd {
public:
    ToolTip() = default;
    ~ToolTip();
    ToolTip(const ToolTip&) = delete;
    ToolTip& operator=(const ToolTip&) = delete;

    bool Create(HWND owner, DWORD style);
    // A tool covering the whole control, tip text as given.
    void AddTool(HWND control, std::string_view text) const;
    void Activate(bool active) const { Send(TTM_ACTIVATE, active ? TRUE : FALSE); }
    void SetTipBkColor(COLORREF color) const { Send(TTM_SETTIPBKCOLOR, color); }
    void RelayEvent(MSG* msg) const { Send(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg)); }
    int GetToolCount() const { return static_cast<int>(Send(TTM_GETTOOLCOUNT)); }
    // The tip text of the tool for a control, or "" when it has none.
    std::string GetToolText(HWND control) const;

private:
    HWND m_hOwner = nullptr;
};

} // namespace fw
