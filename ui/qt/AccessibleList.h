// A drop-down list as assistive technology sees it: a combo box named by the
// name the skin gave it (the label beside it), with the entry shown as its
// value and as its read-only text, and the popup list as its one child. Qt's
// own interface for a combo box names it by the entry shown on Linux,
// whatever name it was given; AT-SPI has no place for a value that is not a
// number, so the entry is offered as text, as a screen reader reads a box.
#pragma once

#include <QAccessibleWidget>
#include <QComboBox>

namespace tpg::ui::qt {

class AccessibleList final : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit AccessibleList(QComboBox& combo);

    void* interface_cast(QAccessible::InterfaceType t) override;

    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    // --- the entry shown, as read-only text without a cursor or selection ---
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override { return static_cast<int>(combo().currentText().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int /*position*/) override {}
    void selection(int /*selectionIndex*/, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int /*startOffset*/, int /*endOffset*/) override {}
    void removeSelection(int /*selectionIndex*/) override {}
    void setSelection(int /*selectionIndex*/, int /*startOffset*/, int /*endOffset*/) override {}
    QRect characterRect(int /*offset*/) const override { return {}; }
    int offsetAtPoint(const QPoint& /*point*/) const override { return -1; }
    void scrollToSubstring(int /*startIndex*/, int /*endIndex*/) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

  private:
    QComboBox& combo() const { return *static_cast<QComboBox*>(widget()); }
};

}  // namespace tpg::ui::qt
