// The selection rule through real Qt widgets, watched at the generator: with
// the window filled from a generator, every run of Vout's handler sends one
// amplitude report, so the reports count the handler runs.
#include <QTest>
#include <functional>

#include "QtRig.h"

using tpg::test::Bytes;
using tpg::test::QtRig;
using tpg::test::report;
using tpg::ui::ControlId;

namespace {
// What a case does to the amplitude list, as the core or as the user.
using Action = std::function<void(QtRig&)>;
}  // namespace

Q_DECLARE_METATYPE(Action)

class ListSelectionTest : public QObject {
    Q_OBJECT

  private slots:
    void amplitudeList_data();
    void amplitudeList();
};

void ListSelectionTest::amplitudeList_data() {
    QTest::addColumn<Action>("action");
    QTest::addColumn<int>("reports");    // handler runs that sent
    QTest::addColumn<int>("amplitude");  // index in the last report, if any
    QTest::addColumn<int>("selected");   // Vout's selection afterwards
    QTest::addColumn<int>("entries");    // Vout's entries afterwards

    // The generator holds amplitude index 339 (1096 mV) when the window fills.
    QTest::newRow("selection set from code runs the handler once")
        << Action([](QtRig& r) { r.window.Vout.setSelectedIndex(5); }) << 1 << 5 << 5 << 511;
    QTest::newRow("code selects the entry already selected")
        << Action([](QtRig& r) { r.window.Vout.setSelectedIndex(339); }) << 1 << 339 << 339 << 511;
    QTest::newRow("removing all entries runs nothing")
        << Action([](QtRig& r) { r.window.Vout.clear(); }) << 0 << -1 << -1 << 0;
    QTest::newRow("adding to an empty list runs nothing and selects nothing")
        << Action([](QtRig& r) {
               r.window.Vout.clear();
               r.window.Vout.addItem(0, "49");
               r.window.Vout.addItem(1, "52");
           })
        << 0 << -1 << -1 << 2;
    QTest::newRow("refilling the list runs nothing")
        << Action([](QtRig& r) { r.window.FillAmplitudeList(); }) << 0 << -1 << -1 << 511;
    QTest::newRow("user clicks another entry")
        << Action([](QtRig& r) { QVERIFY(r.pick(ControlId::Vout, 100)); }) << 1 << 100 << 100
        << 511;
    QTest::newRow("user picks the last entry")
        << Action([](QtRig& r) { QVERIFY(r.pick(ControlId::Vout, 510)); }) << 1 << 510 << 510
        << 511;
    QTest::newRow("user picks the entry already selected")
        << Action([](QtRig& r) { QVERIFY(r.pick(ControlId::Vout, 339)); }) << 1 << 339 << 339
        << 511;
    QTest::newRow("user presses the down key on the focused list") << Action([](QtRig& r) {
        r.widget(ControlId::Vout)->setFocus();
        QTest::keyClick(r.widget(ControlId::Vout), Qt::Key_Down);
    }) << 1 << 340 << 340 << 511;
    QTest::newRow("wheel over the unfocused list changes nothing") << Action([](QtRig& r) {
        r.widget(ControlId::Factory)->setFocus();
        r.turnWheelOver(ControlId::Vout, 1);
        r.turnWheelOver(ControlId::Vout, -3);
        QCOMPARE(QApplication::focusWidget(), r.widget(ControlId::Factory));
    }) << 0 << -1 << 339 << 511;
    QTest::newRow("wheel over the focused list picks") << Action([](QtRig& r) {
        r.widget(ControlId::Vout)->setFocus();
        QTRY_VERIFY(r.widget(ControlId::Vout)->hasFocus());
        r.turnWheelOver(ControlId::Vout, 1);
    }) << 1 << 340 << 340 << 511;
}

void ListSelectionTest::amplitudeList() {
    QFETCH(Action, action);
    QFETCH(int, reports);
    QFETCH(int, amplitude);
    QFETCH(int, selected);
    QFETCH(int, entries);

    QtRig rig;
    rig.plugGenerator("a", u"TPG35-20417");
    QVERIFY(rig.load());
    QComboBox* vout = rig.combo(ControlId::Vout);
    QCOMPARE(vout->count(), 511);
    QCOMPARE(vout->currentIndex(), 339);
    QCOMPARE(vout->currentText(), QStringLiteral("1096"));
    QVERIFY(rig.takeSent().empty());  // filling the window sent nothing

    action(rig);
    if (QTest::currentTestFailed()) {
        return;
    }
    const std::vector<Bytes> sent = rig.takeSent();
    QCOMPARE(static_cast<int>(sent.size()), reports);
    for (const Bytes& bytes : sent) {
        QCOMPARE(bytes, report({0x00, 0x02, 0x00, static_cast<std::uint8_t>(amplitude & 0xFF),
                                static_cast<std::uint8_t>(amplitude >> 8)}));
    }
    QCOMPARE(vout->currentIndex(), selected);
    QCOMPARE(vout->count(), entries);
}

QTEST_MAIN(ListSelectionTest)
#include "list_selection_test.moc"
