// The frequency entries' message boxes as the user meets them: a real modal
// QMessageBox, found while it is open, checked (title, text, no icon, one OK
// button), closed with its OK button, and the focus back in the text box.
#include <QKeyEvent>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>

#include "QtRig.h"

using tpg::test::QtRig;
using tpg::ui::ControlId;

Q_DECLARE_METATYPE(ControlId)

namespace {

struct SeenBox {
    bool found = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Information;
    int buttons = 0;
    bool okButton = false;
    bool modal = false;
};

// Waits for the modal box, notes what it shows, runs whileOpen and presses OK.
void closeBoxWhenShown(SeenBox& seen, const std::function<void()>& whileOpen = {}) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &seen, whileOpen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        seen.found = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = static_cast<int>(box->buttons().size());
        seen.okButton = box->button(QMessageBox::Ok) != nullptr;
        seen.modal = box->isModal();
        if (whileOpen) {
            whileOpen();
        }
        if (seen.okButton) {
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        } else {
            box->reject();
        }
    });
    poll->start(10);
}

}  // namespace

class MessageBoxTest : public QObject {
    Q_OBJECT

  private slots:
    void badFrequency_data();
    void badFrequency();
    void ticksWaitUntilTheBoxIsClosed();
    void localeSeparatorCounts_data();
    void localeSeparatorCounts();
};

void MessageBoxTest::badFrequency_data() {
    QTest::addColumn<ControlId>("box");
    QTest::addColumn<ControlId>("button");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("textAfter");

    const auto fout = ControlId::Foutput;
    const auto setFout = ControlId::SetFout;
    const auto fsync = ControlId::ext_sync_freq;
    const auto setFsync = ControlId::SetFsync;
    QTest::newRow("pulse frequency not a number") << fout << setFout << "12 kHz"
                                                  << "Bad input"
                                                  << "Enter pulse frequency in Hz"
                                                  << "12 kHz";
    QTest::newRow("pulse frequency empty") << fout << setFout << ""
                                           << "Bad input"
                                           << "Enter pulse frequency in Hz"
                                           << "";
    QTest::newRow("pulse frequency below range") << fout << setFout << "24999.6"
                                                 << "Bad data range"
                                                 << "Pulse frequency is between 25kHz and 350MHz"
                                                 << "25000";
    QTest::newRow("pulse frequency above range") << fout << setFout << "350000000.2"
                                                 << "Bad data range"
                                                 << "Pulse frequency is between 25kHz and 350MHz"
                                                 << "350000000";
    QTest::newRow("sync frequency not a number") << fsync << setFsync << "abc"
                                                 << "Bad input"
                                                 << "Enter external sync frequency in Hz"
                                                 << "abc";
    QTest::newRow("sync frequency negative") << fsync << setFsync << "-5"
                                             << "Bad data range"
                                             << "External sync frequency is between 1MHz and 300MHz"
                                             << "1000000";
    QTest::newRow("sync frequency above range")
        << fsync << setFsync << "400000000"
        << "Bad data range"
        << "External sync frequency is between 1MHz and 300MHz"
        << "300000000";
}

void MessageBoxTest::badFrequency() {
    QFETCH(ControlId, box);
    QFETCH(ControlId, button);
    QFETCH(QString, typed);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(QString, textAfter);

    QtRig rig;
    // A sync input, so that the sync frequency box and its button are usable.
    rig.plugGenerator("a", u"TPG35-20417", {10000000, 339, 1, 1, 10000000});
    QVERIFY(rig.load());
    QTRY_VERIFY(rig.widget(box)->isEnabled());
    rig.typeInto(box, typed);
    QCOMPARE(QApplication::focusWidget(), rig.widget(box));

    SeenBox seen;
    closeBoxWhenShown(seen);
    rig.click(button);  // returns once the box is closed

    QVERIFY(seen.found);
    QCOMPARE(seen.title, title);
    QCOMPARE(seen.text, message);
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.buttons, 1);
    QVERIFY(seen.okButton);
    QVERIFY(seen.modal);
    QCOMPARE(rig.edit(box)->text(), textAfter);
    QTRY_COMPARE(QApplication::focusWidget(), rig.widget(box));
    QVERIFY(rig.takeSent().empty());
}

// The box runs an event loop of its own; the window's timer must not run the
// connection monitor inside the handler that opened it.
void MessageBoxTest::ticksWaitUntilTheBoxIsClosed() {
    QtRig rig;
    rig.plugGenerator("a", u"TPG35-20417");
    QVERIFY(rig.load());
    rig.typeInto(ControlId::Foutput, "x");
    int entriesWhileOpen = -1;
    SeenBox seen;
    closeBoxWhenShown(seen, [&] {
        rig.bench.unplug(QtRig::path("a"));
        // Long enough for several ticks of the monitor, were they let through.
        QTest::qWait(1200);
        entriesWhileOpen = rig.combo(ControlId::Vout)->count();
    });
    rig.click(ControlId::SetFout);
    QVERIFY(seen.found);
    QCOMPARE(entriesWhileOpen, 511);
    // The tick kept back runs once the box is closed and finds the generator
    // gone: the window empties.
    QTRY_COMPARE(rig.combo(ControlId::Vout)->count(), 0);
    QVERIFY(!rig.widget(ControlId::Vout)->isEnabled());
}

// A fraction typed with the separator of the user's locale, one byte or
// more (U+066B in Arabic and Persian locales), is a number: no box, and the
// value made whole reaches the generator.
void MessageBoxTest::localeSeparatorCounts_data() {
    QTest::addColumn<QString>("locale");
    for (const char* name : {"en_US", "de_DE", "ar_EG", "fa_IR"}) {
        QTest::newRow(name) << name;
    }
}

void MessageBoxTest::localeSeparatorCounts() {
    QFETCH(QString, locale);
    const QLocale before;
    QLocale::setDefault(QLocale(locale));
    QtRig rig;
    rig.plugGenerator("a", u"TPG35-20417");
    QVERIFY(rig.load());
    // The separator arrives as the keyboard layout's text: QTest types only
    // Latin-1 characters itself.
    rig.typeInto(ControlId::Foutput, "25000");
    QKeyEvent separator(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                        QLocale().decimalPoint());
    QApplication::sendEvent(rig.edit(ControlId::Foutput), &separator);
    QTest::keyClicks(rig.edit(ControlId::Foutput), "5");
    // A box would mean the text was refused: it is closed, so that the test
    // fails rather than waits.
    QString shown;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, &guard, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->close();
        }
    });
    guard.start(10);
    rig.click(ControlId::SetFout);
    guard.stop();
    QLocale::setDefault(before);
    QVERIFY2(shown.isEmpty(), qPrintable(shown));
    QCOMPARE(rig.edit(ControlId::Foutput)->text(), QString("25001"));
    QVERIFY(rig.takeSent() ==
            std::vector<tpg::test::Bytes>{tpg::test::report({0, 1, 0, 0xA9, 0x61})});
}

QTEST_MAIN(MessageBoxTest)
#include "message_box_test.moc"
