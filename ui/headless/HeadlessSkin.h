// A skin with no toolkit: every widget keeps its state in memory, message
// boxes are recorded and closed at once, and the timer runs on a virtual
// clock. Tests drive the window through it as a user would.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/Widgets.h"
#include "ui/headless/VirtualClock.h"

namespace tpg::ui::headless {

struct ShownMessage {
    std::string text;
    std::string title;
};

class HeadlessSkin : public WindowSkin {
  public:
    HeadlessSkin();
    ~HeadlessSkin() override;

    Widget& plainWidget(ControlId id) override;
    LabelWidget& labelWidget(ControlId id) override;
    TextWidget& textWidget(ControlId id) override;
    ListWidget& listWidget(ControlId id) override;
    TimerWidget& timerWidget() override { return clock_; }
    void show() override { ++shown_; }
    void messageBox(const std::string& text, const std::string& title) override;
    std::string decimalSeparator() const override { return decimalSeparator_; }

    // --- for tests ---
    void setDecimalSeparator(std::string separator) { decimalSeparator_ = std::move(separator); }
    VirtualClock& clock() { return clock_; }
    int timesShown() const { return shown_; }
    const std::vector<ShownMessage>& messages() const { return messages_; }
    void clearMessages() { messages_.clear(); }
    // The control holding the keyboard focus, if any.
    std::optional<ControlId> focused() const { return focused_; }
    void setFocused(std::optional<ControlId> id) { focused_ = id; }

    // The state of any control, read the way a user would see it.
    bool isEnabled(ControlId id) const;
    // Enabled and inside no disabled frame: the user can reach it.
    bool isUsable(ControlId id) const;
    std::string text(ControlId id) const;  // label, text box, or selected list entry
    std::vector<std::string> items(ControlId id) const;
    int selectedIndex(ControlId id) const;
    // What the user does: type into a box.
    void type(ControlId id, const std::string& text);

  private:
    class Item;
    Item& item(ControlId id) const;

    std::array<std::unique_ptr<Item>, kControlCount> items_;
    VirtualClock clock_;
    std::vector<ShownMessage> messages_;
    std::optional<ControlId> focused_;
    std::string decimalSeparator_ = ".";
    int shown_ = 0;
};

}  // namespace tpg::ui::headless
