// The demo program: its starting generators, the bench window's buttons as
// the user presses them, and the settings each generator keeps across an
// unplug and a replug.
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "apps/demo/DemoProgram.h"

using tpg::ui::ControlId;

class DemoBenchTest : public QObject {
    Q_OBJECT

  private slots:
    void startsWithTwoDistinctGenerators();
    void benchWindowPlugsUnplugsAndAdds();
};

namespace {

QPushButton* benchButton(tpg::demo::BenchWindow& window, const QString& text) {
    for (auto* button : window.findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

QString shown(tpg::demo::DemoProgram& demo, ControlId id) {
    if (auto* combo = qobject_cast<QComboBox*>(demo.skin().widget(id))) {
        return combo->currentText();
    }
    return qobject_cast<QLineEdit*>(demo.skin().widget(id))->text();
}

}  // namespace

void DemoBenchTest::startsWithTwoDistinctGenerators() {
    tpg::demo::DemoProgram demo;
    demo.start();
    std::vector<std::string> paths;
    demo.bench().listInterfaces(paths);
    QCOMPARE(paths.size(), std::size_t{2});
    const auto* first = demo.bench().device(paths[0]);
    const auto* second = demo.bench().device(paths[1]);
    QVERIFY(first->serialNumber != second->serialNumber);
    QVERIFY(!(first->generator->state() == second->generator->state()));
    for (const auto* config : {first, second}) {
        QCOMPARE(config->attributes.versionNumber, std::uint16_t{0x0103});
        QVERIFY(!config->manufacturer.empty());
        QVERIFY(!config->product.empty());
    }
    auto* serNo = qobject_cast<QComboBox*>(demo.skin().widget(ControlId::SerNo));
    QCOMPARE(serNo->count(), 2);
    QVERIFY(demo.skin().window().isVisible());
    QVERIFY(demo.benchWindow().isVisible());
    QVERIFY(!demo.benchWindow().testAttribute(Qt::WA_QuitOnClose));
    demo.skin().window().close();
}

void DemoBenchTest::benchWindowPlugsUnplugsAndAdds() {
    tpg::demo::DemoProgram demo;
    demo.start();
    auto& bench = demo.benchWindow();
    auto* list = bench.findChild<QListWidget*>();
    QVERIFY(list != nullptr);
    QCOMPARE(list->count(), 2);
    auto* serNo = qobject_cast<QComboBox*>(demo.skin().widget(ControlId::SerNo));

    // The tool shows the second generator, and the bench highlights it;
    // change its pulse frequency.
    QCOMPARE(serNo->currentIndex(), 1);
    QCOMPARE(list->currentRow(), 1);
    demo.window().Foutput.setText("12345678");
    demo.window().SetFout_Click();
    QCOMPARE(demo.bench().sentReports().size(), std::size_t{1});

    // Unplug it with the bench window: the tool moves to the first one.
    list->setCurrentRow(1);
    QPushButton* toggle = benchButton(bench, "Unplug");
    QVERIFY(toggle != nullptr);
    QTest::mouseClick(toggle, Qt::LeftButton);
    QCOMPARE(toggle->text(), QStringLiteral("Plug in"));
    QTRY_COMPARE(serNo->count(), 1);
    QTRY_COMPARE(shown(demo, ControlId::Foutput), QStringLiteral("25000000"));

    // Plug it in again: after a fresh start it is listed last, opened, and
    // shows the frequency it kept.
    QTest::mouseClick(toggle, Qt::LeftButton);
    QCOMPARE(toggle->text(), QStringLiteral("Unplug"));
    demo.window().Timer.setEnabled(false);
    demo.window().Form_Unload();
    demo.window().Form_Load();  // a fresh start lists both again
    QCOMPARE(serNo->count(), 2);
    QCOMPARE(shown(demo, ControlId::Foutput), QStringLiteral("12345678"));

    // Add a third: a new serial number, listed last, with factory settings.
    QTest::mouseClick(benchButton(bench, "Add generator"), Qt::LeftButton);
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentRow(), 2);
    demo.window().Form_Unload();
    demo.window().Form_Load();
    QCOMPARE(serNo->count(), 3);
    QCOMPARE(serNo->currentIndex(), 2);
    QVERIFY(serNo->itemText(2) != serNo->itemText(0) && serNo->itemText(2) != serNo->itemText(1));
    QCOMPARE(shown(demo, ControlId::Foutput), QStringLiteral("10000000"));
    QCOMPARE(shown(demo, ControlId::Vout), QStringLiteral("1096"));
    demo.skin().window().close();
}

QTEST_MAIN(DemoBenchTest)
#include "demo_bench_test.moc"
