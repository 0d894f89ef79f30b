#include "ui/qt/AccessibleInterfaces.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <cstring>

#include "ui/qt/AccessibleList.h"
#include "ui/qt/PickOnlyComboBox.h"

namespace tpg::ui::qt {

namespace {

// A plain top-level window: its own class adds no meta-object to QWidget
// (dialogs, popups and Qt's own windows have theirs and keep Qt's roles).
bool isPlainWindow(const QWidget& widget) {
    return widget.windowType() == Qt::Window &&
           std::strcmp(widget.metaObject()->className(), "QWidget") == 0;
}

QAccessibleInterface* accessibleFor(const QString& /*className*/, QObject* object) {
    if (object == nullptr || !object->isWidgetType()) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    if (isPlainWindow(*widget)) {
        return new QAccessibleWidget(widget, QAccessible::Window);
    }
    if (auto* list = dynamic_cast<PickOnlyComboBox*>(widget)) {
        return new AccessibleList(*list);
    }
    return nullptr;
}

}  // namespace

void installAccessibleInterfaces() {
    // Factories installed later are asked first, so this one answers before
    // Qt's own.
    static const bool installed = [] {
        QAccessible::installFactory(&accessibleFor);
        return true;
    }();
    (void)installed;
}

}  // namespace tpg::ui::qt
