// What a toolkit skin provides: one widget per drawn control, the timer and
// the window itself. A skin draws its widgets from the control table and
// forwards only the user's own actions to the window (MainWindow's event
// entry points). Changing a widget from these calls must never raise an
// event back into the window: the selection rule is the core's, not the
// skin's.
#pragma once

#include <string>

#include "ui/ControlTable.h"

namespace tpg::ui {

class Widget {
  public:
    virtual ~Widget() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

// Labels and value labels.
class LabelWidget : public Widget {
  public:
    virtual void setText(const std::string& text) = 0;
    virtual std::string text() const = 0;
};

// One-line text boxes.
class TextWidget : public Widget {
  public:
    virtual void setText(const std::string& text) = 0;
    virtual std::string text() const = 0;
    // Gives the box the keyboard focus; a box that cannot take it (disabled,
    // or in a disabled frame) is left alone and the call does nothing.
    virtual void setFocus() = 0;
};

// Pick-only drop-down lists.
class ListWidget : public Widget {
  public:
    virtual void clear() = 0;
    virtual void insertItem(int index, const std::string& text) = 0;
    virtual int count() const = 0;
    virtual std::string itemText(int index) const = 0;
    // -1 selects nothing.
    virtual void setCurrentIndex(int index) = 0;
    virtual int currentIndex() const = 0;
};

// The timer behind the window's Timer control. start() begins a fresh
// interval (restarting a running timer); the skin calls
// MainWindow::timerTick() at the end of each interval until stop().
class TimerWidget {
  public:
    virtual ~TimerWidget() = default;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
};

// The window: its widgets by control, and the window-level operations.
class WindowSkin {
  public:
    virtual ~WindowSkin() = default;

    // Frames and buttons (their captions come from the table).
    virtual Widget& plainWidget(ControlId id) = 0;
    virtual LabelWidget& labelWidget(ControlId id) = 0;
    virtual TextWidget& textWidget(ControlId id) = 0;
    virtual ListWidget& listWidget(ControlId id) = 0;
    virtual TimerWidget& timerWidget() = 0;

    // Shows the window, non-modal.
    virtual void show() = 0;
    // A modal message box with an OK button only and no icon; returns once
    // the user has closed it.
    virtual void messageBox(const std::string& text, const std::string& title) = 0;
    // The decimal separator of the user's locale.
    virtual std::string decimalSeparator() const = 0;
};

}  // namespace tpg::ui
