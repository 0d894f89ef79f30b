// trelvix-pulse.exe: the tool's window over the Windows HID services. With
// --help or --version it shows that text in a message box and ends without
// opening the window: a program without a console has nowhere else to print
// it. Other arguments are ignored.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "apps/ToolArguments.h"
#include "hid/win32/WindowsHidPlatform.h"
#include "ui/win32/RunWindow.h"
#include "ui/win32/WideText.h"

namespace {

// The arguments after the program's name, as the C runtime split the
// command line (CommandLineToArgvW would bring in shell32).
std::vector<std::string> arguments() {
    std::vector<std::string> out;
    for (int i = 1; i < __argc; ++i) {
        out.push_back(tpg::ui::win32::narrow(__wargv[i]));
    }
    return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    const auto request = tpg::apps::toolRequest(arguments());
    if (request != tpg::apps::ToolRequest::Window) {
        const std::wstring text =
            tpg::ui::win32::widen(tpg::apps::unwrapParagraphs(tpg::apps::toolRequestText(request)));
        MessageBoxW(nullptr, text.c_str(), L"Trelvix Pulse Generator", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    tpg::hid::win32::WindowsHidPlatform platform;
    return tpg::ui::win32::runWindow(platform, instance);
}
