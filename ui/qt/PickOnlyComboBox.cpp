#include "ui/qt/PickOnlyComboBox.h"

#include <QWheelEvent>

namespace tpg::ui::qt {

PickOnlyComboBox::PickOnlyComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    // The combo box's own default takes the focus on a wheel turn, which
    // would let the wheel pick entries in a list the user never clicked.
    setFocusPolicy(Qt::StrongFocus);
}

void PickOnlyComboBox::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

}  // namespace tpg::ui::qt
