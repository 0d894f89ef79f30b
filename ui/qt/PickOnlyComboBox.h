// The drop-down list widget: a closed, non-editable combo box that changes
// only when the user means it. A mouse wheel over it changes the entry only
// while it holds the keyboard focus; over an unfocused list the wheel passes
// on to the container and neither takes the focus nor picks an entry.
#pragma once

#include <QComboBox>

namespace tpg::ui::qt {

class PickOnlyComboBox : public QComboBox {
  public:
    explicit PickOnlyComboBox(QWidget* parent = nullptr);

  protected:
    void wheelEvent(QWheelEvent* event) override;
};

}  // namespace tpg::ui::qt
