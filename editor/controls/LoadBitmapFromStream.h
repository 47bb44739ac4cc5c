#pragma once
// Decodes a PNG resource of the module into a 32-bit premultiplied BGRA,
// top-down DIB section, through the Windows Imaging Component. COM must be
// initialised on the calling thread (the editor does so). Window thread.

#include <windows.h>

namespace valvora {

// The resource `id` of type "PNG"; null if it is missing, is not a one-frame
// PNG or cannot be decoded. The caller owns the bitmap (DeleteObject).
HBITMAP LoadBitmapFromStream(HINSTANCE instance, int id) noexcept;

// The header of a 32-bit top-down BGRA image of the given size.
BITMAPINFO topDownInfo(int width, int height) noexcept;

// A 32-bit top-down DIB section; bits (if not null) receives its pixels.
HBITMAP createPixelBitmap(int width, int height, void** bits) noexcept;

// Width and height of a bitmap; false if it cannot be read.
bool bitmapSize(HBITMAP bitmap, int& width, int& height) noexcept;

}  // namespace valvora
