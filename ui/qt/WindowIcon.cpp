#include "ui/qt/WindowIcon.h"

#include <QPixmap>

namespace tpg::ui::qt {
namespace {
// Made from the tool's SVG by scripts/make-icons.py when the tool is built.
#include "window-16.xpm"
#include "window-32.xpm"
}  // namespace

QIcon windowIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap(kWindowIcon32));
    icon.addPixmap(QPixmap(kWindowIcon16));
    return icon;
}

}  // namespace tpg::ui::qt
