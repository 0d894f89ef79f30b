#include "ui/win32/RunWindow.h"

#include <commctrl.h>

#include "ui/MainWindow.h"
#include "ui/win32/Win32Skin.h"

namespace tpg::ui::win32 {

int runWindow(hid::HidPlatform& platform, HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    Win32Skin skin(instance);
    MainWindow window(platform, skin);
    skin.attach(window);
    window.Form_Load();  // shows the window before any device work
    return skin.runMessageLoop();
}

}  // namespace tpg::ui::win32
