// The whole life of the tool's window over a platform: common controls, the
// window, start-up, the message loop and shutdown when the window is closed.
#pragma once

#include <windows.h>

#include "hid/HidPlatform.h"

namespace tpg::ui::win32 {

// Returns the exit code of the message loop.
int runWindow(hid::HidPlatform& platform, HINSTANCE instance);

}  // namespace tpg::ui::win32
