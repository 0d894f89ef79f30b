// The skin's side of each control: small adapters that drive one Qt widget
// for the core. None of them reports anything back to the core; the events
// a user raises are connected separately by QtSkin.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "ui/Widgets.h"
#include "ui/qt/PickOnlyComboBox.h"

namespace tpg::ui::qt {

// The control's own enabled state, as the core set it. Qt's isEnabled()
// also answers false inside a disabled frame; the core asks for the
// control's own state, which comes back when the frame is enabled again.
bool ownEnabledState(const QWidget& widget);

// Frames and buttons.
class PlainAdapter : public Widget {
  public:
    explicit PlainAdapter(QWidget& widget) : widget_(widget) {}
    void setEnabled(bool enabled) override { widget_.setEnabled(enabled); }
    bool isEnabled() const override { return ownEnabledState(widget_); }

  private:
    QWidget& widget_;
};

class LabelAdapter : public LabelWidget {
  public:
    explicit LabelAdapter(QLabel& label) : label_(label) {}
    void setEnabled(bool enabled) override { label_.setEnabled(enabled); }
    bool isEnabled() const override { return ownEnabledState(label_); }
    void setText(const std::string& text) override;
    std::string text() const override { return label_.text().toStdString(); }

  private:
    QLabel& label_;
};

class TextAdapter : public TextWidget {
  public:
    explicit TextAdapter(QLineEdit& edit) : edit_(edit) {}
    void setEnabled(bool enabled) override { edit_.setEnabled(enabled); }
    bool isEnabled() const override { return ownEnabledState(edit_); }
    void setText(const std::string& text) override;
    std::string text() const override { return edit_.text().toStdString(); }
    void setFocus() override;

  private:
    QLineEdit& edit_;
};

class ListAdapter : public ListWidget {
  public:
    explicit ListAdapter(PickOnlyComboBox& combo) : combo_(combo) {}
    void setEnabled(bool enabled) override { combo_.setEnabled(enabled); }
    bool isEnabled() const override { return ownEnabledState(combo_); }
    void clear() override { combo_.clear(); }
    void insertItem(int index, const std::string& text) override;
    int count() const override { return combo_.count(); }
    std::string itemText(int index) const override;
    void setCurrentIndex(int index) override;
    int currentIndex() const override { return combo_.currentIndex(); }

  private:
    PickOnlyComboBox& combo_;
};

// The window's Timer over a QTimer.
class TimerAdapter : public TimerWidget {
  public:
    TimerAdapter();
    void setTickHandler(std::function<void()> onTick) { onTick_ = std::move(onTick); }
    void start(int intervalMs) override;
    void stop() override;

    const QTimer& timer() const { return timer_; }

  private:
    QTimer timer_;
    std::function<void()> onTick_;
};

}  // namespace tpg::ui::qt
