// A test rig for the Qt skin: the tool's window in real Qt widgets over a
// simulated bench, and the helpers a test uses to act as the user would:
// mouse clicks, keys, wheel turns and picks from an open drop-down list.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>
#include <string>
#include <vector>

#include "SentReports.h"
#include "hid/sim/SimulatedBench.h"
#include "ui/MainWindow.h"
#include "ui/qt/QtSkin.h"

namespace tpg::test {

using ui::ControlId;

class QtRig {
  public:
    QtRig();
    ~QtRig();
    QtRig(const QtRig&) = delete;
    QtRig& operator=(const QtRig&) = delete;

    hid::sim::SimulatedBench bench;
    ui::qt::QtSkin skin;
    ui::MainWindow window{bench, skin};

    static std::string path(const std::string& name) { return "/dev/hidraw-" + name; }
    void plugGenerator(
        const std::string& name, const std::u16string& serial,
        const protocol::DeviceState& state = hid::sim::GeneratorModel::factoryState());

    // Loads the window and waits until it is shown and active.
    bool load();
    // Shows the window as created, without loading it.
    bool showOnly();

    QWidget* widget(ControlId id) const { return skin.widget(id); }
    QComboBox* combo(ControlId id) const { return qobject_cast<QComboBox*>(widget(id)); }
    QLineEdit* edit(ControlId id) const { return qobject_cast<QLineEdit*>(widget(id)); }
    QPushButton* button(ControlId id) const { return qobject_cast<QPushButton*>(widget(id)); }
    QLabel* label(ControlId id) const { return qobject_cast<QLabel*>(widget(id)); }

    // What the user does.
    void click(ControlId button) const;
    // Clicks into the box, selects everything in it and types text.
    void typeInto(ControlId box, const QString& text) const;
    // Opens the list's popup with a click and picks the entry: a click on
    // it, or the keys for the entries at the very end. False when the popup
    // would not open or close, or the entry is not there.
    bool pick(ControlId list, int index) const;
    // One notch of the mouse wheel over the list, without clicking it.
    void turnWheelOver(ControlId list, int notches) const;

    // The bytes of every report sent since the last call.
    std::vector<Bytes> takeSent() { return test::takeSent(bench); }
};

}  // namespace tpg::test
