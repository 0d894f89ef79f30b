// trelvix-pulse: the tool on Linux, the Qt window over the hidraw layer. It
// takes no command line, reads no environment and keeps no files: the
// generator holds its settings.
#include <QApplication>
#include <QStyleFactory>

#include "hid/linux/HidrawPlatform.h"
#include "link/DeviceLink.h"
#include "ui/MainWindow.h"
#include "ui/qt/QtSkin.h"

int main(int /*argc*/, char** argv) {
    // Only the program name reaches the toolkit: no argument changes anything.
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
