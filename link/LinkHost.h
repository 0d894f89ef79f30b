// What the window lends the link procedures: the serial-number list, the
// timer, the read-back and a way to show itself. The link knows these only
// through this seam, so it depends on no window code.
#pragma once

#include <string>

namespace tpg::link {

// The operations of the serial-number drop-down list that the link uses.
class SerialListControl {
  public:
    virtual ~SerialListControl() = default;
    // Removes every entry; nothing is selected afterwards. Runs no handler.
    virtual void clear() = 0;
    // Adds an entry at index. Runs no handler.
    virtual void addItem(int index, const std::string& text) = 0;
    // Selects an entry; the list's selection handler runs inside this call.
    virtual void setSelectedIndex(int index) = 0;
    // The text of the selected entry; empty when nothing is selected.
    virtual std::string text() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

class LinkTimer {
  public:
    virtual ~LinkTimer() = default;
    // Enabling starts a fresh interval; disabling stops the ticks.
    virtual void setEnabled(bool enabled) = 0;
    virtual void setInterval(int milliseconds) = 0;
};

class LinkHost {
  public:
    virtual ~LinkHost() = default;
    virtual SerialListControl& serialList() = 0;
    virtual LinkTimer& linkTimer() = 0;
    // Empties the window and, with a device attached, fills it from it.
    virtual void refreshDeviceState() = 0;
    // Shows the window, non-modal.
    virtual void showWindow() = 0;
};

}  // namespace tpg::link
