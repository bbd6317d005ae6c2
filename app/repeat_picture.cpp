#include "app/repeat_picture.h"

#include "framework/display.h"
#include "framework/unique_handle.h"

#include <cmath>
#include <numbers>

namespace {
constexpr COLORREF kArrowColour = RGB(0, 0, 128); // on the list's grey

POINT OnCircle(double cx, double cy, double radius, double degrees) {
    const double angle = degrees * std::numbers::pi / 180.0;
    return {static_cast<LONG>(std::lround(cx + radius * std::cos(angle))),
            static_cast<LONG>(std::lround(cy - radius * std::sin(angle)))};
}
} // namespace

int AddRepeatPicture(HIMAGELIST images, COLORREF mask) {
    int width = 0;
    int height = 0;
    if (images == nullptr || !ImageList_GetIconSize(images, &width, &height) || width <= 0)
        return -1;
    HDC screen = GetDC(nullptr);
    fw::unique_hbitmap picture(CreateCompatibleBitmap(screen, width, height));
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (!picture || dc == nullptr) {
        if (dc != nullptr)
            DeleteDC(dc);
        return -1;
    }
    HGDIOBJ oldBitmap = SelectObject(dc, picture.get());
    HBRUSH background = CreateSolidBrush(mask);
    const RECT all{0, 0, width, height};
    FillRect(dc, &all, background);
    DeleteObject(background);

    // Three quarters of a circle drawn anticlockwise from the top, and an
    // arrowhead at its end on the right pointing on round it, upwards.
    const int size = width < height ? width : height;
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    const double radius = size * 0.28;
    const int stroke = size / 10 > 1 ? size / 10 : 1;
    // Under high contrast the list takes the system's colours, and the arrow
    // its text colour.
    const COLORREF colour = fw::ContrastColor(kArrowColour, COLOR_WINDOWTEXT);
    HPEN pen = CreatePen(PS_SOLID, stroke, colour);
    HBRUSH fill = CreateSolidBrush(colour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    const POINT start = OnCircle(cx, cy, radius, 90);
    const POINT end = OnCircle(cx, cy, radius, 0);
    Arc(dc, static_cast<int>(cx - radius), static_cast<int>(cy - radius),
        static_cast<int>(cx + radius) + 1, static_cast<int>(cy + radius) + 1, start.x, start.y,
        end.x, end.y);
    const double head = size * 0.16;
    const POINT arrow[] = {
        {static_cast<LONG>(std::lround(end.x - head)), end.y},
        {static_cast<LONG>(std::lround(end.x + head)), end.y},
        {end.x, static_cast<LONG>(std::lround(end.y - head * 1.2))},
    };
    SelectObject(dc, fill);
    SelectObject(dc, GetStockObject(NULL_PEN));
    Polygon(dc, arrow, 3);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBitmap);
    DeleteObject(pen);
    DeleteObject(fill);
    DeleteDC(dc);
    return ImageList_AddMasked(images, picture.get(), mask);
}
