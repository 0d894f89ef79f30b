// The tool's native window over a simulated bench, driven the way Windows
// delivers a user's actions: messages to the controls and the window.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "SentReports.h"
#include "hid/sim/SimulatedBench.h"
#include "ui/MainWindow.h"
#include "ui/win32/Win32Skin.h"

namespace tpg::test {

using ui::ControlId;

// What a modal message box showed before the rig closed it with IDOK.
struct SeenBox {
    std::wstring title;
    std::wstring text;
    int buttons = 0;       // push buttons in the box
    bool hasIcon = false;  // a visible icon control
};

struct SkinRig {
    hid::sim::SimulatedBench bench;
    ui::win32::Win32Skin skin{GetModuleHandleW(nullptr)};
    ui::MainWindow window{bench, skin};

    SkinRig() {
        skin.setQuitOnDestroy(false);
        skin.attach(window);
    }

    void plugGenerator(
        const std::string& name, const std::u16string& serial,
        const protocol::DeviceState& state = hid::sim::GeneratorModel::factoryState()) {
        bench.plug(hid::sim::generatorSpec(path(name), serial, state));
    }
    static std::string path(const std::string& name) { return "\\\\?\\hid#sim#" + name; }

    HWND hwnd(ControlId id) const { return skin.control(id); }
    int controlId(ControlId id) const {
        return ui::win32::Win32Skin::kControlIdBase + ui::row(id).index;
    }

    // Delivers the messages that are waiting, for about ms milliseconds.
    void pump(int ms = 0) const;
    // Delivers messages until done() holds, for timeoutMs at the most;
    // tells whether it came to hold.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) const;

    // The user picks entry index of a list: the combo box changes its
    // selection and tells its parent with CBN_SELCHANGE.
    void pick(ControlId list, int index) const;
    // The user types: the edit control's text is replaced.
    void type(ControlId box, const std::string& text) const;
    // The user clicks a button.
    void click(ControlId button) const;
    // Clicks a button that opens a modal message box, closes the box with
    // IDOK once it has been up for about openMs and tells what it showed;
    // empty when none came up.
    std::vector<SeenBox> clickExpectingBox(ControlId button, int openMs = 0) const;

    std::string text(ControlId id) const;
    int count(ControlId list) const;
    int selected(ControlId list) const;
    std::string itemText(ControlId list, int index) const;
    bool nativeEnabled(ControlId id) const { return IsWindowEnabled(hwnd(id)) != 0; }
    // The control holding the keyboard focus, if it is one of the window's.
    std::optional<ControlId> focused() const;
    // The control's rectangle in the window's client coordinates.
    RECT clientRect(ControlId id) const;

    // The bytes of every report sent so far, in order; then forgets them.
    std::vector<Bytes> takeSent() { return test::takeSent(bench); }
};

}  // namespace tpg::test
