// trelvix-pulse.exe: the tool's window over the Windows HID services.
#include <windows.h>

#include "hid/win32/WindowsHidPlatform.h"
#include "ui/win32/RunWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    tpg::hid::win32::WindowsHidPlatform platform;
    return tpg::ui::win32::runWindow(platform, instance);
}
