#include "QtRig.h"

#include <QAbstractItemView>
#include <QTest>
#include <QWheelEvent>

namespace tpg::test {

QtRig::QtRig() {
    skin.attach(window);
}

QtRig::~QtRig() {
    skin.detach();
    skin.window().hide();
}

void QtRig::plugGenerator(const std::string& name, const std::u16string& serial,
                          const protocol::DeviceState& state) {
    bench.plug(hid::sim::generatorSpec(path(name), serial, state));
}

bool QtRig::load() {
    window.Form_Load();
    return showOnly();
}

bool QtRig::showOnly() {
    skin.show();
    skin.window().activateWindow();
    return QTest::qWaitForWindowExposed(&skin.window()) &&
           QTest::qWaitForWindowActive(&skin.window());
}

void QtRig::click(ControlId id) const {
    QTest::mouseClick(button(id), Qt::LeftButton);
}

void QtRig::typeInto(ControlId id, const QString& text) const {
    QLineEdit* box = edit(id);
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

bool QtRig::pick(ControlId id, int index) const {
    QComboBox* list = combo(id);
    if (index < 0 || index >= list->count()) {
        return false;
    }
    // A click on the closed list opens its popup, as it does for the user.
    QTest::mouseClick(list, Qt::LeftButton);
    QAbstractItemView* view = list->view();
    if (!QTest::qWaitFor([view] { return view->isVisible(); })) {
        return false;
    }
    const QModelIndex entry = list->model()->index(index, list->modelColumn());
    // In the middle of the popup, away from its scroll arrows, when the
    // entry can be brought there; the last few entries are reached with the
    // keys, as a user does when the mouse would land on an arrow.
    view->scrollTo(entry, QAbstractItemView::PositionAtCenter);
    const QRect rect = view->visualRect(entry);
    const QRect clickable = view->viewport()->rect().adjusted(0, 40, 0, -40);
    if (clickable.contains(rect)) {
        QTest::mouseMove(view->viewport(), rect.center());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    } else {
        view->setCurrentIndex(entry);
        QTest::keyClick(view, Qt::Key_Return);
    }
    return QTest::qWaitFor([view] { return !view->isVisible(); });
}

void QtRig::turnWheelOver(ControlId id, int notches) const {
    QWidget* list = widget(id);
    const QPointF at = QRectF(list->rect()).center();
    QWheelEvent wheel(at, list->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list, &wheel);
}

}  // namespace tpg::test
