#pragma once

// What the floors share: the main window's list set up, and the common
// controls registered, with bare API calls only, as the program's own code
// would do it with none of its layers.
#include <windows.h>
#include <commctrl.h>

namespace bench {

inline constexpr COLORREF kListBackground = RGB(128, 128, 128);
inline constexpr COLORREF kListTextBackground = RGB(209, 211, 255);
inline constexpr COLORREF kImageMask = RGB(32, 0, 0);

// The list's pictures, colours, extended styles and two columns.
inline void SetUpBareList(HWND list, HIMAGELIST images) {
    if (images != nullptr)
        SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    SendMessageA(list, LVM_SETBKCOLOR, 0, kListBackground);
    SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, kListTextBackground);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_INFOTIP |
                     LVS_EX_UNDERLINEHOT);
    const struct {
        const char* title;
        int width;
    } columns[] = {{"Event", 80}, {"Notes", 175}};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = columns[i].width;
        column.pszText = const_cast<char*>(columns[i].title);
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&column));
    }
}

// The classes the main window's template uses, as the program registers them.
inline void RegisterBareCommonControls() {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);
}

} // namespace bench
