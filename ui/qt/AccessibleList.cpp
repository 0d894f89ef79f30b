#include "ui/qt/AccessibleList.h"

#include <QAbstractItemView>

namespace tpg::ui::qt {

AccessibleList::AccessibleList(QComboBox& combo)
    : QAccessibleWidget(&combo, QAccessible::ComboBox) {}

QString AccessibleList::text(QAccessible::Text t) const {
    if (t == QAccessible::Value) {
        return combo().currentText();
    }
    return QAccessibleWidget::text(t);
}

int AccessibleList::childCount() const {
    return 1;
}

QAccessibleInterface* AccessibleList::child(int index) const {
    return index == 0 ? QAccessible::queryAccessibleInterface(combo().view()) : nullptr;
}

int AccessibleList::indexOfChild(const QAccessibleInterface* child) const {
    return child != nullptr && child->object() == combo().view() ? 0 : -1;
}

QStringList AccessibleList::actionNames() const {
    return {showMenuAction(), pressAction()};
}

void AccessibleList::doAction(const QString& actionName) {
    if (actionName != showMenuAction() && actionName != pressAction()) {
        return;
    }
    if (combo().view()->isVisible()) {
        combo().hidePopup();
    } else {
        combo().showPopup();
    }
}

}  // namespace tpg::ui::qt
