// A whole run of the tool through its real Qt widgets over the simulated
// bench, on the window's real QTimer: start-up with two generators, a switch,
// settings, unplug and replug, restore defaults and closing the window. Every
// report the generators received is checked byte by byte. The run also
// writes a screenshot of the filled window.
#include <QImage>
#include <QTest>

#include "QtRig.h"

using tpg::test::Bytes;
using tpg::test::QtRig;
using tpg::test::report;
using tpg::ui::ControlId;

class BenchScenarioTest : public QObject {
    Q_OBJECT

  private slots:
    void wholeRun();
};

namespace {

QStringList entries(const QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        out << list->itemText(i);
    }
    return out;
}

}  // namespace

void BenchScenarioTest::wholeRun() {
    QtRig rig;
    const std::string a = QtRig::path("a");
    const std::string b = QtRig::path("b");
    rig.bench.plug(tpg::hid::sim::foreignSpec("/dev/hidraw-kbd", 0x046D, 0xC31C));
    rig.plugGenerator("a", u"TPG35-20417", {25000000, 200, 0, 0, 10000000});
    rig.plugGenerator("b", u"TPG35-20652", {100000000, 339, 1, 1, 50000000});

    auto text = [&](ControlId id) -> QString {
        if (QLineEdit* e = rig.edit(id)) {
            return e->text();
        }
        if (QComboBox* c = rig.combo(id)) {
            return c->currentText();
        }
        return rig.label(id)->text();
    };

    // --- start-up: the generator listed last is opened and shown ---
    QVERIFY(rig.load());
    QComboBox* serNo = rig.combo(ControlId::SerNo);
    QCOMPARE(entries(serNo), (QStringList{"TPG35-20417", "TPG35-20652"}));
    QCOMPARE(serNo->currentIndex(), 1);
    QVERIFY(serNo->isEnabled());
    QCOMPARE(text(ControlId::lblManuf), QStringLiteral(" Trelvix Instruments"));
    QCOMPARE(text(ControlId::lblProduct), QStringLiteral(" Trelvix Pulse Generator TPG-350"));
    QCOMPARE(text(ControlId::lblVersion), QStringLiteral(" 1.03"));
    QCOMPARE(text(ControlId::Foutput), QStringLiteral("100000000"));
    QCOMPARE(text(ControlId::Vout), QStringLiteral("1096"));
    QCOMPARE(text(ControlId::polarity), QStringLiteral("Normal"));
    QCOMPARE(text(ControlId::ext_trig_dir), QStringLiteral("Sync input"));
    QCOMPARE(text(ControlId::ext_sync_freq), QStringLiteral("50000000"));
    QVERIFY(rig.widget(ControlId::ext_sync_freq)->isEnabled());
    QVERIFY(rig.skin.timer().isActive());
    QCOMPARE(rig.bench.openHandles(b), 2);
    QVERIFY(rig.takeSent().empty());

    const QImage shot = rig.skin.window().grab().toImage();
    QCOMPARE(shot.size(), QSize(406, 535));
    QVERIFY(shot.save(QStringLiteral(TPG_SCREENSHOT_DIR "/window-filled.png")));

    // --- the user picks the other generator ---
    QVERIFY(rig.pick(ControlId::SerNo, 0));
    QCOMPARE(rig.bench.openHandles(b), 0);
    QCOMPARE(rig.bench.openHandles(a), 2);
    QCOMPARE(rig.window.timerInterval(), 250);
    QCOMPARE(text(ControlId::Foutput), QStringLiteral("25000000"));
    QCOMPARE(text(ControlId::Vout), QStringLiteral("667"));
    QCOMPARE(text(ControlId::polarity), QStringLiteral("Inverted"));
    QCOMPARE(text(ControlId::ext_trig_dir), QStringLiteral("Trigger output"));
    QVERIFY(!rig.widget(ControlId::ext_sync_freq)->isEnabled());
    QVERIFY(!rig.widget(ControlId::SetFsync)->isEnabled());
    QVERIFY(rig.takeSent().empty());

    // --- settings ---
    rig.typeInto(ControlId::Foutput, "10000000.7");
    rig.click(ControlId::SetFout);
    QCOMPARE(text(ControlId::Foutput), QStringLiteral("10000001"));
    QVERIFY(rig.pick(ControlId::Vout, 510));
    QVERIFY(rig.pick(ControlId::ext_trig_dir, 1));
    QVERIFY(rig.widget(ControlId::ext_sync_freq)->isEnabled());
    rig.typeInto(ControlId::ext_sync_freq, "1000001.5");
    rig.click(ControlId::SetFsync);
    QCOMPARE(rig.takeSent(), (std::vector<Bytes>{
                                 report({0x00, 0x01, 0x00, 0x81, 0x96, 0x98, 0x00}),
                                 report({0x00, 0x02, 0x00, 0xFE, 0x01}),
                                 report({0x00, 0x05, 0x00, 0x01, 0x00}),
                                 report({0x00, 0x06, 0x00, 0x42, 0x42, 0x0F, 0x00}),
                             }));
    for (const auto& sent : rig.bench.sentReports()) {
        QCOMPARE(sent.path, a);
    }
    const tpg::protocol::DeviceState setOnA{10000001, 510, 0, 1, 1000002};
    QCOMPARE(rig.bench.generator(a)->state(), setOnA);

    // --- unplug the open generator: the monitor moves on to the other ---
    const tpg::hid::sim::DeviceSpec keptA = *rig.bench.device(a);
    rig.bench.unplug(a);
    QTRY_COMPARE(entries(serNo), QStringList{"TPG35-20652"});
    QTRY_COMPARE(text(ControlId::Foutput), QStringLiteral("100000000"));
    QVERIFY(!serNo->isEnabled());
    QCOMPARE(rig.bench.openHandles(a), 0);

    // --- unplug that one too: the window empties and waits ---
    rig.bench.unplug(b);
    QTRY_COMPARE(rig.combo(ControlId::Vout)->count(), 0);
    QTRY_COMPARE(serNo->count(), 0);
    QCOMPARE(serNo->currentText(), QString());
    QVERIFY(!serNo->isEnabled());
    QCOMPARE(text(ControlId::lblManuf), QString());
    QCOMPARE(text(ControlId::lblProduct), QString());
    QCOMPARE(text(ControlId::lblVersion), QString());
    QCOMPARE(text(ControlId::Foutput), QString());
    QVERIFY(!rig.widget(ControlId::Foutput)->isEnabled());
    QVERIFY(!rig.widget(ControlId::Factory)->isEnabled());
    QVERIFY(!rig.widget(ControlId::Frame3)->isEnabled());
    QCOMPARE(rig.bench.openDeviceHandles(), 0);

    // --- replug the first: found again, with the settings it kept ---
    rig.bench.plug(keptA);
    QTRY_COMPARE(entries(serNo), QStringList{"TPG35-20417"});
    QTRY_COMPARE(text(ControlId::Foutput), QStringLiteral("10000001"));
    QCOMPARE(text(ControlId::Vout), QStringLiteral("1624"));
    QCOMPARE(text(ControlId::ext_trig_dir), QStringLiteral("Sync input"));
    QCOMPARE(text(ControlId::ext_sync_freq), QStringLiteral("1000002"));
    QCOMPARE(text(ControlId::polarity), QStringLiteral("Inverted"));
    QVERIFY(rig.takeSent().empty());

    // --- restore defaults ---
    rig.click(ControlId::Factory);
    QCOMPARE(rig.takeSent(), tpg::test::restoreDefaultsReports());
    QCOMPARE(text(ControlId::Foutput), QStringLiteral("10000000"));
    QCOMPARE(text(ControlId::ext_sync_freq), QStringLiteral("10000000"));
    QVERIFY(!rig.widget(ControlId::ext_sync_freq)->isEnabled());
    QCOMPARE(text(ControlId::Vout), QStringLiteral("1096"));
    QCOMPARE(text(ControlId::polarity), QStringLiteral("Normal"));

    // --- closing the window closes the generator and sends nothing ---
    QVERIFY(rig.skin.window().close());
    QVERIFY(!rig.skin.timer().isActive());
    QCOMPARE(rig.bench.openDeviceHandles(), 0);
    QVERIFY(rig.takeSent().empty());
}

QTEST_MAIN(BenchScenarioTest)
#include "bench_scenario_test.moc"
