#pragma once

#include <windows.h>

#include <commctrl.h>

// The picture that marks an occurrence of a repeating appointment in the
// list: a circling arrow, drawn at the list's picture size so that it stays
// sharp at every DPI. Added to `images` with `mask` as its transparent
// colour; its index there, or -1.
int AddRepeatPicture(HIMAGELIST images, COLORREF mask);
