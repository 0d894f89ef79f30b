// What the user sees of a window: its pixels, frame and caption included,
// copied from the screen with BitBlt into a 32-bit DIB (PrintWindow gives a
// blank image under Wine).
#pragma once

#include <windows.h>

#include "PngFile.h"

namespace tpg::test {

// Repaints the window and its children, then copies it.
RgbaImage captureWindow(HWND hwnd);

}  // namespace tpg::test
