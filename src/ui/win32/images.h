// Pictures drawn in code at run time, so that no bitmap files ship with the library.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace quorvel::ui::win32 {

// Six 16 x 16 toolbar images: define, amend, delete, save, refresh and exit.
HIMAGELIST CreateToolbarImages();

// The browser's banner: a horizontal gradient with the caption in it. The caller owns it.
HBITMAP CreateBanner(int width, int height, const wchar_t* text, int dpi);

}  // namespace quorvel::ui::win32
