// The tool's window over a bench of simulated generators, with a second
// window to plug, unplug and add generators. Closing the tool's window ends
// the program.
#include <QApplication>
#include <QStyleFactory>

#include "apps/demo/DemoProgram.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    tpg::demo::DemoProgram demo;
    demo.start();
    return QApplication::exec();
}
