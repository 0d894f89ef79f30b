#include "ui/qt/AccessibleList.h"

#include <QAbstractItemView>
#include <algorithm>

namespace tpg::ui::qt {

AccessibleList::AccessibleList(QComboBox& combo)
    : QAccessibleWidget(&combo, QAccessible::ComboBox) {}

void* AccessibleList::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::TextInterface) {
        return static_cast<QAccessibleTextInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(t);
}

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

QString AccessibleList::text(int startOffset, int endOffset) const {
    const QString shown = combo().currentText();
    const auto size = static_cast<int>(shown.size());
    if (endOffset < 0 || endOffset > size) {
        endOffset = size;
    }
    startOffset = std::clamp(startOffset, 0, endOffset);
    return shown.mid(startOffset, endOffset - startOffset);
}

void AccessibleList::selection(int /*selectionIndex*/, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = 0;
}

QString AccessibleList::attributes(int offset, int* startOffset, int* endOffset) const {
    *startOffset = std::clamp(offset, 0, characterCount());
    *endOffset = *startOffset;
    return {};
}

}  // namespace tpg::ui::qt
