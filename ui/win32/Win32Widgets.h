// The window's widgets as native Win32 controls. Group boxes are siblings of
// the controls drawn inside them, not their parents, so each control keeps
// its own enabled state and is usable only while its frame is usable too:
// disabling a frame disables every control inside it, and enabling it again
// restores each control's own state.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/ControlTable.h"
#include "ui/Widgets.h"

namespace tpg::ui::win32 {

// One native control with its own enabled state and its frame.
class ControlWindow {
  public:
    ControlWindow(ControlId id, HWND hwnd) : id_(id), hwnd_(hwnd) {}

    ControlId id() const { return id_; }
    HWND hwnd() const { return hwnd_; }

    // Puts this control inside frame; called once, when the window is built.
    void setFrame(ControlWindow* frame);

    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    // Enabled, and inside no disabled frame: what the native control shows.
    bool usable() const;

    std::wstring text() const;
    void setText(const std::wstring& text);

  private:
    void applyEnabled();

    ControlId id_;
    HWND hwnd_;
    bool enabled_ = true;
    ControlWindow* frame_ = nullptr;
    std::vector<ControlWindow*> members_;
};

// The operations every widget shares: the enabled state of its control.
template <class Interface>
class Win32Widget : public Interface {
  public:
    explicit Win32Widget(ControlWindow& control) : control_(control) {}
    void setEnabled(bool enabled) override { control_.setEnabled(enabled); }
    bool isEnabled() const override { return control_.enabled(); }
    ControlWindow& control() const { return control_; }

  protected:
    ControlWindow& control_;
};

// Frames and buttons.
class PlainWin32 : public Win32Widget<Widget> {
  public:
    using Win32Widget::Win32Widget;
};

class LabelWin32 : public Win32Widget<LabelWidget> {
  public:
    using Win32Widget::Win32Widget;
    void setText(const std::string& text) override;
    std::string text() const override;
};

class TextWin32 : public Win32Widget<TextWidget> {
  public:
    using Win32Widget::Win32Widget;
    void setText(const std::string& text) override;
    std::string text() const override;
    void setFocus() override;
};

// A CBS_DROPDOWNLIST combo box. CB_SETCURSEL sends no CBN_SELCHANGE, so the
// core's own selections never come back as user picks.
class ListWin32 : public Win32Widget<ListWidget> {
  public:
    using Win32Widget::Win32Widget;
    void clear() override;
    void insertItem(int index, const std::string& text) override;
    int count() const override;
    std::string itemText(int index) const override;
    void setCurrentIndex(int index) override;
    int currentIndex() const override;
};

// The window's Timer control as a WM_TIMER of the main window.
class TimerWin32 : public TimerWidget {
  public:
    static constexpr UINT_PTR kTimerId = 1;

    void setWindow(HWND hwnd) { hwnd_ = hwnd; }
    void start(int intervalMs) override;
    void stop() override;
    bool running() const { return running_; }
    int interval() const { return interval_; }

  private:
    HWND hwnd_ = nullptr;
    bool running_ = false;
    int interval_ = 0;
};

}  // namespace tpg::ui::win32
