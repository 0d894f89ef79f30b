// A drop-down list as assistive technology sees it: a combo box named by the
// name the skin gave it (the label beside it), with the entry shown as its
// value and the popup list as its one child. Qt's own interface for a combo
// box names it by the entry shown on Linux, whatever name it was given.
#pragma once

#include <QAccessibleWidget>
#include <QComboBox>

namespace tpg::ui::qt {

class AccessibleList final : public QAccessibleWidget {
  public:
    explicit AccessibleList(QComboBox& combo);

    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

  private:
    QComboBox& combo() const { return *static_cast<QComboBox*>(widget()); }
};

}  // namespace tpg::ui::qt
