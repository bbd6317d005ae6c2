#include "framework/display.h"

#include <atomic>

namespace fw {

namespace {

bool SystemHighContrast() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) != FALSE &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

std::atomic<HighContrastProbe> g_highContrast{&SystemHighContrast};

// A copy of `source` scaled to width x height: whole multiples pixel for
// pixel, so that the pictures stay sharp, other factors smoothed.
unique_hbitmap ScaledBitmap(HBITMAP source, int width, int height, bool wholeMultiple) {
    BITMAP info{};
    if (GetObjectW(source, sizeof info, &info) == 0)
        return unique_hbitmap();
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    unique_hbitmap scaled(CreateCompatibleBitmap(screen, width, height));
    if (scaled) {
        HGDIOBJ oldFrom = SelectObject(from, source);
        HGDIOBJ oldTo = SelectObject(to, scaled.get());
        SetStretchBltMode(to, wholeMultiple ? COLORONCOLOR : HALFTONE);
        SetBrushOrgEx(to, 0, 0, nullptr);
        StretchBlt(to, 0, 0, width, height, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        SelectObject(to, oldTo);
        SelectObject(from, oldFrom);
    }
    DeleteDC(to);
    DeleteDC(from);
    ReleaseDC(nullptr, screen);
    return scaled;
}

} // namespace

UINT DpiForWindow(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi != nullptr && window != nullptr) {
        const UINT dpi = getDpi(window);
        if (dpi != 0)
            return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

unique_hfont CreateArialFont(int height, int weight, UINT dpi) {
    return unique_hfont(CreateFontW(ScaleForDpi(height, dpi), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                    ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial"));
}

unique_himagelist LoadImageStrip(UINT bitmapId, int size, int initial, int grow, COLORREF mask,
                                 UINT dpi) {
    const int scaledSize = ScaleForDpi(size, dpi);
    unique_himagelist list(
        ImageList_Create(scaledSize, scaledSize, ILC_COLOR32 | ILC_MASK, initial, grow));
    if (!list)
        return list;
    unique_hbitmap strip(
        static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId),
                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!strip)
        return list;
    if (scaledSize != size) {
        BITMAP info{};
        GetObjectW(strip.get(), sizeof info, &info);
        strip = ScaledBitmap(strip.get(), MulDiv(info.bmWidth, scaledSize, size),
                             MulDiv(info.bmHeight, scaledSize, size), scaledSize % size == 0);
    }
    if (strip)
        ImageList_AddMasked(list.get(), strip.get(), mask);
    return list;
}

bool IsHighContrast() {
    return g_highContrast.load()();
}

HighContrastProbe SetHighContrastProbeForTesting(HighContrastProbe probe) {
    return g_highContrast.exchange(probe != nullptr ? probe : &SystemHighContrast);
}

COLORREF ContrastColor(COLORREF own, int sysColor) {
    return IsHighContrast() ? GetSysColor(sysColor) : own;
}

HBRUSH ContrastBrush(HDC dc, HBRUSH own) {
    if (!IsHighContrast())
        return own;
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return GetSysColorBrush(COLOR_WINDOW);
}

} // namespace fw
