#include "QtRig.h"

#include <QAbstractItemView>
#include <QTest>
#include <QWheelEvent>

namespace tpg::test {

Bytes report(std::initializer_list<std::uint8_t> head) {
    Bytes bytes(head);
    bytes.resize(65, 0);
    return bytes;
}

QtRig::QtRig() { skin.attach(window); }

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
    skin.window().activateWindow();
    return QTest::qWaitForWindowExposed(&skin.window()) &&
           QTest::qWaitForWindowActive(&skin.window());
}

void QtRig::click(ControlId id) const { QTest::mouseClick(button(id), Qt::LeftButton); }

void QtRig::typeInto(ControlId id, const QString& text) const {
    QLineEdit* box = edit(id);
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

bool QtRig::pickWithMouse(ControlId id, int index) const {
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
    view->scrollTo(entry);
    const QPoint at = view->visualRect(entry).center();
    QTest::mouseMove(view->viewport(), at);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    return QTest::qWaitFor([view] { return !view->isVisible(); });
}

void QtRig::turnWheelOver(ControlId id, int notches) const {
    QWidget* list = widget(id);
    const QPointF at = QRectF(list->rect()).center();
    QWheelEvent wheel(at, list->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list, &wheel);
}

std::vector<Bytes> QtRig::takeSent() {
    std::vector<Bytes> out;
    for (const auto& r : bench.sentReports()) {
        out.push_back(r.bytes);
    }
    bench.clearSentReports();
    return out;
}

}  // namespace tpg::test
