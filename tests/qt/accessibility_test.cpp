// What a screen reader reads from the Qt window through Qt's accessibility
// interfaces: the window is a window (a frame over AT-SPI) titled as the
// table says, and every control that takes the focus is named by the text
// the window shows beside it, also once the lists and boxes hold values.
#include <QAccessible>
#include <QTest>
#include <algorithm>

#include "QtRig.h"

using tpg::test::QtRig;
using tpg::ui::ControlId;

class AccessibilityTest : public QObject {
    Q_OBJECT

  private slots:
    void windowIsAFrameWithTheTitle();
    void everyFocusableControlIsNamedByItsLabel();
};

namespace {

// The text the window shows for a control: a label's or a button's.
QString shownText(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        return button->text();
    }
    return QString();
}

}  // namespace

void AccessibilityTest::windowIsAFrameWithTheTitle() {
    QtRig rig;
    QVERIFY(rig.showOnly());
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&rig.skin.window());
    QVERIFY(window != nullptr);
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QString("Trelvix Pulse Generator"));
}

void AccessibilityTest::everyFocusableControlIsNamedByItsLabel() {
    QtRig rig;
    rig.plugGenerator("a", u"TPG35-20417");
    rig.plugGenerator("b", u"TPG35-20652");
    QVERIFY(rig.load());
    QVERIFY(rig.combo(ControlId::SerNo)->currentIndex() >= 0);
    QVERIFY(!rig.edit(ControlId::Foutput)->text().isEmpty());

    for (const ControlId id : tpg::ui::focusOrder()) {
        const auto& r = tpg::ui::row(id);
        const QByteArray what(r.name.data(), static_cast<qsizetype>(r.name.size()));
        QAccessibleInterface* input = QAccessible::queryAccessibleInterface(rig.widget(id));
        QVERIFY2(input != nullptr, what);
        const QWidget* label = rig.widget(r.label ? *r.label : id);
        const QString expected = shownText(label);
        QVERIFY2(!expected.isEmpty(), what);
        QCOMPARE(input->text(QAccessible::Name), expected);
        if (!r.label || qobject_cast<const QLabel*>(label) == nullptr) {
            continue;
        }
        // A plain label is also reported as the input's label (beside the
        // frame, which Qt reports as a label of what it holds).
        const auto relations = input->relations(QAccessible::Label);
        QVERIFY2(std::any_of(relations.begin(), relations.end(),
                             [label](const auto& r) { return r.first->object() == label; }),
                 what);
    }
}

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
