#pragma once
// The dialog's two pictures, drawn with GDI: the 49 x 49 header logo (16 bits
// per pixel) and the 16 x 16 window icon (16 colours).
#include <windows.h>

namespace orbisk::win32 {

HBITMAP DrawLogo();
HICON DrawWindowIcon();

}  // namespace orbisk::win32
