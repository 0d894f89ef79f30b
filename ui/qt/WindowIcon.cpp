#include "ui/qt/WindowIcon.h"

#include <QPixmap>

namespace tpg::ui::qt {
namespace {
// Drawn by scripts/draw-icon.py.
#include "ui/qt/icon/window-16.xpm"
#include "ui/qt/icon/window-32.xpm"
}  // namespace

QIcon windowIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap(kWindowIcon32));
    icon.addPixmap(QPixmap(kWindowIcon16));
    return icon;
}

}  // namespace tpg::ui::qt
