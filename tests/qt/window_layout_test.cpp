// The window as drawn in Qt widgets against the control table: geometry,
// fonts, captions, containers, initial states, tab order, frames, value
// labels and the two controls that show nothing.
#include <QAbstractItemView>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QTest>

#include "QtRig.h"
#include "ui/qt/QtFonts.h"

using tpg::test::QtRig;
using tpg::ui::ControlId;
using tpg::ui::ControlKind;
using tpg::ui::ControlRow;

Q_DECLARE_METATYPE(ControlId)

class WindowLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QVERIFY(QApplication::primaryScreen()->logicalDotsPerInchX() == 96); }

    void controlMatchesTable_data();
    void controlMatchesTable();
    void pixelRectangles_data();
    void pixelRectangles();
    void windowIsFixedAt406x535();
    void standInFonts();
    void tabOrderSkipsDisabledControls_data();
    void tabOrderSkipsDisabledControls();
    void disabledFrameDisablesItsControls();
    void valueLabelColours();
    void productTextNotHiddenBySerialLabel();
    void deemphasisLabelNeverShown();
    void inputControlsTakeEveryPixel_data();
    void inputControlsTakeEveryPixel();
};

namespace {

QString caption(const QWidget* w) {
    if (const auto* box = qobject_cast<const QGroupBox*>(w)) {
        return box->title();
    }
    if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
        return edit->text();
    }
    return QString();
}

QString containerName(const ControlRow& r) {
    const auto frame = tpg::ui::frameOf(r.container);
    return frame ? QString::fromUtf8(tpg::ui::row(*frame).name.data()) : QString();
}

}  // namespace

void WindowLayoutTest::controlMatchesTable_data() {
    QTest::addColumn<ControlId>("id");
    for (const ControlRow& r : tpg::ui::kControlTable) {
        if (r.kind != ControlKind::Timer) {
            QTest::newRow(r.name.data()) << r.id;
        }
    }
}

void WindowLayoutTest::controlMatchesTable() {
    QFETCH(ControlId, id);
    QtRig rig;  // as created: before the window loads and fills
    QVERIFY(rig.showOnly());
    const ControlRow& r = tpg::ui::row(id);
    QWidget* w = rig.widget(id);
    QVERIFY(w != nullptr);
    QCOMPARE(w->objectName(), QString::fromUtf8(r.name.data()));

    const int dpi = 96;
    using tpg::ui::twipsToPixels;
    QCOMPARE(w->geometry(), QRect(twipsToPixels(r.left, dpi), twipsToPixels(r.top, dpi),
                                  twipsToPixels(r.width, dpi), twipsToPixels(r.height, dpi)));

    QWidget* parent = w->parentWidget();
    if (r.container == tpg::ui::Container::Window) {
        QCOMPARE(parent, &rig.skin.window());
    } else {
        QCOMPARE(parent->objectName(), containerName(r));
        QVERIFY(qobject_cast<QGroupBox*>(parent) != nullptr);
    }

    QCOMPARE(w->font().family(), tpg::ui::qt::familyFor(r.fontName));
    QCOMPARE(w->font().pointSizeF(), r.fontPoints);
    QCOMPARE(w->font().weight(), QFont::Normal);
    QVERIFY(!w->font().italic());
    QVERIFY(!w->font().underline());

    QCOMPARE(caption(w), QString::fromUtf8(r.caption.data(), r.caption.size()));
    QCOMPARE(!w->testAttribute(Qt::WA_ForceDisabled), r.enabled);
    QCOMPARE(w->isVisible(), r.visible);

    const bool takesFocus = r.kind == ControlKind::Button || r.kind == ControlKind::TextBox ||
                            r.kind == ControlKind::DropDownList;
    QCOMPARE(w->focusPolicy(), takesFocus ? Qt::StrongFocus : Qt::NoFocus);
    if (auto* list = qobject_cast<QComboBox*>(w)) {
        QVERIFY(!list->isEditable());
        QCOMPARE(list->count(), 0);
        QCOMPARE(list->currentIndex(), -1);
    }
}

void WindowLayoutTest::pixelRectangles_data() {
    // Worked out by hand at 15 twips a pixel, relative to each container.
    QTest::addColumn<ControlId>("id");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("Frame1") << ControlId::Frame1 << QRect(8, 7, 387, 129);
    QTest::newRow("Frame3") << ControlId::Frame3 << QRect(7, 153, 387, 120);
    QTest::newRow("trig_frame") << ControlId::trig_frame << QRect(8, 293, 387, 167);
    QTest::newRow("Factory") << ControlId::Factory << QRect(77, 483, 249, 33);
    QTest::newRow("SerNo") << ControlId::SerNo << QRect(113, 92, 137, 24);
    QTest::newRow("SetFsync") << ControlId::SetFsync << QRect(167, 73, 203, 28);
    QTest::newRow("Label9") << ControlId::Label9 << QRect(167, 29, 180, 28);
    QTest::newRow("lblProduct") << ControlId::lblProduct << QRect(112, 24, 220, 22);
}

void WindowLayoutTest::pixelRectangles() {
    QFETCH(ControlId, id);
    QFETCH(QRect, rect);
    QtRig rig;
    QCOMPARE(rig.widget(id)->geometry(), rect);
}

void WindowLayoutTest::windowIsFixedAt406x535() {
    QtRig rig;
    QVERIFY(rig.load());
    QWidget& form = rig.skin.window();
    QCOMPARE(form.size(), QSize(406, 535));
    QCOMPARE(form.minimumSize(), QSize(406, 535));
    QCOMPARE(form.maximumSize(), QSize(406, 535));
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(form.windowTitle(), QStringLiteral("Trelvix Pulse Generator"));
    QCOMPARE(form.font().pointSizeF(), 8.25);
    const QList<QSize> sizes = form.windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(sizes.contains(QSize(32, 32)));
    for (const QSize& size : {QSize(16, 16), QSize(32, 32)}) {
        // Each image has its own picture, drawn in at most 16 colours.
        const QImage image = form.windowIcon().pixmap(size).toImage();
        QCOMPARE(image.size(), size);
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                colours.insert(image.pixel(x, y));
            }
        }
        QVERIFY(colours.size() >= 3);
        QVERIFY(colours.size() <= 16);
    }
}

void WindowLayoutTest::standInFonts() {
    // Liberation Sans for both faces; it must really be installed, not merely
    // asked for, and draw every size of the table at its own pixel size
    // (points x 96 / 72 at 96 dpi), not at the nearest size a face happens
    // to hold.
    for (const char* name : {"Microsoft Sans Serif", "Arial"}) {
        QCOMPARE(tpg::ui::qt::familyFor(name), QStringLiteral("Liberation Sans"));
        for (const double points : {8.25, 9.75, 12.0}) {
            const QFontInfo info(tpg::ui::qt::fontFor(name, points));
            QCOMPARE(info.family(), QStringLiteral("Liberation Sans"));
            QCOMPARE(info.pixelSize(), qRound(points * 96.0 / 72.0));
        }
    }
}

void WindowLayoutTest::tabOrderSkipsDisabledControls_data() {
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<QStringList>("visited");
    const QStringList all{"Vout",    "Factory", "SerNo",    "ext_trig_dir", "ext_sync_freq",
                          "SetFout", "Foutput", "polarity", "SetFsync",     "Vout"};
    QTest::newRow("all enabled") << QStringList{} << all;
    QTest::newRow("ext_trig_dir and SetFout disabled")
        << QStringList{"ext_trig_dir", "SetFout"}
        << QStringList{"Vout",     "Factory",  "SerNo", "ext_sync_freq", "Foutput",
                       "polarity", "SetFsync", "Vout",  "Factory",       "SerNo"};
    QTest::newRow("trig_frame disabled")
        << QStringList{"trig_frame"}
        << QStringList{"Vout", "Factory", "SerNo", "SetFout", "Foutput",
                       "Vout", "Factory", "SerNo", "SetFout", "Foutput"};
}

void WindowLayoutTest::tabOrderSkipsDisabledControls() {
    QFETCH(QStringList, disabled);
    QFETCH(QStringList, visited);
    QtRig rig;
    QVERIFY(rig.load());
    for (const ControlRow& r : tpg::ui::kControlTable) {
        if (r.kind != ControlKind::Timer) {
            rig.skin.plainWidget(r.id).setEnabled(!disabled.contains(r.name.data()));
        }
    }
    rig.widget(ControlId::Vout)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), rig.widget(ControlId::Vout));
    QStringList seen{QApplication::focusWidget()->objectName()};
    while (seen.size() < visited.size()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, visited);
}

void WindowLayoutTest::disabledFrameDisablesItsControls() {
    QtRig rig;
    QVERIFY(rig.showOnly());
    // Foutput and SetFout start enabled inside the disabled frame Frame3.
    QVERIFY(!rig.widget(ControlId::Foutput)->isEnabled());
    QVERIFY(rig.skin.textWidget(ControlId::Foutput).isEnabled());
    QTest::mouseClick(rig.button(ControlId::SetFout), Qt::LeftButton);
    QVERIFY(rig.takeSent().empty());
    rig.skin.textWidget(ControlId::Foutput).setFocus();
    QVERIFY(QApplication::focusWidget() != rig.widget(ControlId::Foutput));

    rig.skin.plainWidget(ControlId::Frame3).setEnabled(true);
    QVERIFY(rig.widget(ControlId::Foutput)->isEnabled());
    QVERIFY(!rig.widget(ControlId::Vout)->isEnabled());  // its own state still rules
    rig.skin.textWidget(ControlId::Foutput).setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), rig.widget(ControlId::Foutput));
}

void WindowLayoutTest::valueLabelColours() {
    QtRig rig;
    const QPalette app = QApplication::palette();
    for (const ControlRow& r : tpg::ui::kControlTable) {
        QLabel* label = qobject_cast<QLabel*>(rig.widget(r.id));
        if (label == nullptr) {
            continue;
        }
        QCOMPARE(label->textFormat(), Qt::PlainText);
        if (r.kind == ControlKind::ValueLabel) {
            QVERIFY2(label->autoFillBackground(), r.name.data());
            for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
                QCOMPARE(label->palette().color(group, label->backgroundRole()),
                         app.color(QPalette::Active, QPalette::Base));
                QCOMPARE(label->palette().color(group, label->foregroundRole()),
                         app.color(QPalette::Active, QPalette::Text));
            }
        } else {
            QVERIFY2(!label->autoFillBackground(), r.name.data());
            QCOMPARE(label->palette().color(QPalette::Active, label->foregroundRole()),
                     app.color(QPalette::Active, QPalette::WindowText));
        }
    }
}

void WindowLayoutTest::productTextNotHiddenBySerialLabel() {
    QtRig rig;
    QVERIFY(rig.load());
    rig.skin.plainWidget(ControlId::Frame1).setEnabled(true);
    QWidget* product = rig.widget(ControlId::lblProduct);
    QWidget* serial = rig.widget(ControlId::lblSerialNumber);
    QCOMPARE(product->geometry(), serial->geometry());
    QVERIFY(serial->testAttribute(Qt::WA_TransparentForMouseEvents));

    // Render the frame and look for the product text's dark pixels inside the
    // shared rectangle.
    auto darkPixels = [&] {
        const QImage image = rig.widget(ControlId::Frame1)->grab(product->geometry()).toImage();
        int dark = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                dark += qGray(image.pixel(x, y)) < 96 ? 1 : 0;
            }
        }
        return dark;
    };
    QCOMPARE(darkPixels(), 0);
    rig.skin.labelWidget(ControlId::lblProduct).setText(" Trelvix Pulse Generator TPG-350");
    QVERIFY(darkPixels() > 40);
    QCOMPARE(rig.widget(ControlId::Frame1)->childAt(product->geometry().center()), product);
}

void WindowLayoutTest::deemphasisLabelNeverShown() {
    QtRig rig;
    QVERIFY(rig.load());
    QWidget* label7 = rig.widget(ControlId::Label7);
    for (const bool enabled : {true, false, true}) {
        rig.skin.labelWidget(ControlId::Label7).setEnabled(enabled);
        rig.skin.plainWidget(ControlId::Frame3).setEnabled(enabled);
        QVERIFY(!label7->isVisible());
    }
    // Below the frame's lower edge as well.
    QVERIFY(label7->geometry().top() >= rig.widget(ControlId::Frame3)->height());
}

void WindowLayoutTest::inputControlsTakeEveryPixel_data() {
    QTest::addColumn<ControlId>("id");
    for (const ControlRow& r : tpg::ui::kControlTable) {
        if (r.kind == ControlKind::Button || r.kind == ControlKind::TextBox ||
            r.kind == ControlKind::DropDownList) {
            QTest::newRow(r.name.data()) << r.id;
        }
    }
}

// No label or frame lies over a control that takes input: every pixel of its
// rectangle hit-tests to it, and a real press at the left end of a list (where
// "Serial Number" reaches under SerNo) opens its popup.
void WindowLayoutTest::inputControlsTakeEveryPixel() {
    QFETCH(ControlId, id);
    // Two generators, so that SerNo is enabled; the connector a sync input,
    // so that its frequency entry is too.
    auto state = tpg::hid::sim::GeneratorModel::factoryState();
    state.triggerSyncFunction = 1;
    QtRig rig;
    rig.plugGenerator("a", u"TPG35-20417", state);
    rig.plugGenerator("b", u"TPG35-20652", state);
    QVERIFY(rig.load());
    QWidget& form = rig.skin.window();
    QWidget* control = rig.widget(id);
    QVERIFY(control->isEnabled());

    const QRect rect(control->mapTo(&form, QPoint(0, 0)), control->size());
    int missed = 0;
    QString first;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            QWidget* hit = form.childAt(x, y);
            if (hit != control && (hit == nullptr || !control->isAncestorOf(hit))) {
                if (missed++ == 0) {
                    first = QStringLiteral("(%1,%2) goes to %3")
                                .arg(x)
                                .arg(y)
                                .arg(hit ? hit->objectName() : QStringLiteral("nothing"));
                }
            }
        }
    }
    QVERIFY2(missed == 0,
             qPrintable(QStringLiteral("%1 pixels missed; %2").arg(missed).arg(first)));

    if (auto* list = qobject_cast<QComboBox*>(control)) {
        // Through the window, as the platform delivers a press: Qt finds the
        // widget under the point.
        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, rect.topLeft() + QPoint(3, 8));
        QVERIFY(QTest::qWaitFor([list] { return list->view()->isVisible(); }));
        list->hidePopup();
    }
}

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"
