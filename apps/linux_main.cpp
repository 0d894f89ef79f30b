// trelvix-pulse: the tool on Linux, the Qt window over the hidraw layer. It
// reads no environment and keeps no files: the generator holds its settings.
// Of its arguments only --help and --version count; they print and end the
// program before the toolkit starts, so they need no display.
#include <QApplication>
#include <QStyleFactory>
#include <iostream>

#include "apps/ToolArguments.h"
#include "hid/linux/HidrawPlatform.h"
#include "link/DeviceLink.h"
#include "ui/MainWindow.h"
#include "ui/qt/QtSkin.h"

int main(int argc, char** argv) {
    const auto request = tpg::apps::toolRequest(std::vector<std::string>(argv + 1, argv + argc));
    if (request != tpg::apps::ToolRequest::Window) {
        std::cout << tpg::apps::toolRequestText(request);
        return std::cout.flush() ? 0 : 1;
    }

    // Only the program name reaches the toolkit: no other argument changes
    // anything.
    int toolkitArgc = 1;
    char* toolkitArgv[] = {argv[0], nullptr};
    QApplication app(toolkitArgc, toolkitArgv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    // Only the generator's nodes are ever opened; other HID devices are left
    // alone on every rescan.
    tpg::hid::hidraw::HidrawPlatform platform(tpg::hid::hidraw::HidrawConfig{
        .openable = {{tpg::link::kGeneratorVendorId, tpg::link::kGeneratorProductId}}});
    tpg::ui::qt::QtSkin skin;
    tpg::ui::MainWindow window(platform, skin);
    skin.attach(window);
    window.Form_Load();
    const int status = QApplication::exec();
    skin.detach();
    return status;
}
