// The tool's window in Qt 6 Widgets: every control drawn from the control
// table (place and size from twips at the screen's logical DPI, fonts,
// captions, containers, tab order, initial states), with the user's own
// actions forwarded to the window's event entry points: a pick in a list
// (QComboBox::activated, raised also for the entry already selected), a
// button click, the timer's tick and closing the window. Each control that
// takes the focus is named for screen readers by the table's caption for it. Changes the core
// makes through the widget adapters are never reported back.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "ui/Widgets.h"
#include "ui/qt/SkinWidgets.h"

namespace tpg::ui {
class MainWindow;
}

namespace tpg::ui::qt {

class QtSkin final : public WindowSkin {
  public:
    QtSkin();
    QtSkin(const QtSkin&) = delete;
    QtSkin& operator=(const QtSkin&) = delete;
    ~QtSkin() override;

    // From now on the user's actions go to window. The window is made over
    // this skin, so it can only be attached once both exist.
    void attach(MainWindow& window) { target_ = &window; }
    void detach() { target_ = nullptr; }

    // --- WindowSkin ---
    Widget& plainWidget(ControlId id) override;
    LabelWidget& labelWidget(ControlId id) override;
    TextWidget& textWidget(ControlId id) override;
    ListWidget& listWidget(ControlId id) override;
    TimerWidget& timerWidget() override { return timer_; }
    void show() override;
    void messageBox(const std::string& text, const std::string& title) override;
    std::string decimalSeparator() const override;

    // --- for the program and tests ---
    // The top-level window; its client area is the table's client area.
    QWidget& window();
    // The Qt widget drawing a control; nullptr for the timer.
    QWidget* widget(ControlId id) const { return widgets_[index(id)]; }
    const QTimer& timer() const { return timer_.timer(); }

  private:
    class Form;
    static std::size_t index(ControlId id) { return static_cast<std::size_t>(id); }
    void build();
    QWidget* makeControl(const ControlRow& row, QWidget& parent);
    void connectUserEvents(const ControlRow& row, QWidget& widget);

    std::unique_ptr<Form> form_;
    std::array<QWidget*, kControlCount> widgets_{};
    std::array<std::unique_ptr<Widget>, kControlCount> adapters_;
    TimerAdapter timer_;
    MainWindow* target_ = nullptr;
};

}  // namespace tpg::ui::qt
