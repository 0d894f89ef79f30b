// The window's controls as the handlers see them, with exactly the operations
// the handlers use. Each control drives the skin's widget; the drop-down list
// also carries the selection rule, once for every skin: setting a selection
// from code runs the list's handler inside the call, while removing or adding
// entries runs none.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "link/LinkHost.h"
#include "ui/Widgets.h"

namespace tpg::ui {

class Label {
  public:
    explicit Label(LabelWidget& widget) : widget_(widget) {}
    void setText(const std::string& text) { widget_.setText(text); }
    void setEnabled(bool enabled) { widget_.setEnabled(enabled); }

  private:
    LabelWidget& widget_;
};

// Buttons and frames: only their enabled state changes at run time.
class PlainControl {
  public:
    explicit PlainControl(Widget& widget) : widget_(widget) {}
    void setEnabled(bool enabled) { widget_.setEnabled(enabled); }

  private:
    Widget& widget_;
};
using Button = PlainControl;
using Frame = PlainControl;

class TextBox {
  public:
    explicit TextBox(TextWidget& widget) : widget_(widget) {}
    std::string text() const { return widget_.text(); }
    void setText(const std::string& text) { widget_.setText(text); }
    void setEnabled(bool enabled) { widget_.setEnabled(enabled); }
    void setFocus() { widget_.setFocus(); }

  private:
    TextWidget& widget_;
};

class DropDownList : public link::SerialListControl {
  public:
    explicit DropDownList(ListWidget& widget) : widget_(widget) {}

    // The selection handler, run for every selection: from code or the user.
    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

    void clear() override { widget_.clear(); }
    void addItem(int index, const std::string& text) override;
    int selectedIndex() const { return widget_.currentIndex(); }
    // Selects index (-1 or an index beyond the entries selects nothing) and
    // runs the handler, also when the index was already selected.
    void setSelectedIndex(int index) override;
    std::string text() const override;
    void setEnabled(bool enabled) override { widget_.setEnabled(enabled); }
    int count() const { return widget_.count(); }

    // The skin reports a pick the user made (the widget already shows it);
    // runs the handler, also when the user picked the entry already selected.
    void userPicked(int index);

  private:
    void runHandler() const;

    ListWidget& widget_;
    std::function<void()> handler_;
};

class Timer : public link::LinkTimer {
  public:
    Timer(TimerWidget& widget, int initialInterval) : widget_(widget), interval_(initialInterval) {}
    void setEnabled(bool enabled) override;
    void setInterval(int milliseconds) override;
    bool enabled() const { return enabled_; }
    int interval() const { return interval_; }

    // A tick that fell due while another event was being handled waits here
    // until that event is done. Starting or stopping the timer drops it: the
    // timer counts a fresh interval from then on.
    void deferTick() { deferred_ = enabled_; }
    bool takeDeferredTick() { return std::exchange(deferred_, false) && enabled_; }

  private:
    TimerWidget& widget_;
    int interval_;
    bool enabled_ = false;
    bool deferred_ = false;
};

}  // namespace tpg::ui
