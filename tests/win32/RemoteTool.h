// The tool's executable started as a process of its own and its window
// worked from outside, as another program on the same desktop can: window
// messages to the controls (WM_SETTEXT, BM_CLICK, CB_SETCURSEL with the
// CBN_SELCHANGE the list would send), texts read back with WM_GETTEXT, and
// its message boxes found and closed with IDOK.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/ControlTable.h"

namespace tpg::test {

class RemoteTool {
  public:
    RemoteTool() = default;
    RemoteTool(const RemoteTool&) = delete;
    RemoteTool& operator=(const RemoteTool&) = delete;
    // A process still running is ended: it never outlives the driver.
    ~RemoteTool();

    bool start(const std::wstring& exe);
    // The process's visible main window, waited for; nothing in time.
    HWND waitForWindow(DWORD timeoutMs);
    HWND window() const { return window_; }
    // The exit code once the process has ended within the time; nothing else.
    std::optional<DWORD> waitForExit(DWORD timeoutMs) const;

    // --- the controls ---
    HWND control(ui::ControlId id) const;
    // A label's, box's or button's text; for a list, the selected entry's.
    std::string text(ui::ControlId id) const;
    std::vector<std::string> items(ui::ControlId list) const;
    int selected(ui::ControlId list) const;
    bool enabled(ui::ControlId id) const;
    // The control of the window that holds the keyboard focus.
    std::optional<ui::ControlId> focused() const;

    void type(ui::ControlId box, const std::string& text) const;
    void click(ui::ControlId button) const;
    void pick(ui::ControlId list, int index) const;
    void close() const;

    // What a modal message box showed before it was closed with IDOK.
    struct Box {
        std::string title;
        std::string text;
        int buttons = 0;
    };
    // Clicks a button that should open a message box, waits for the box and
    // closes it; nothing when none came up in time.
    std::optional<Box> clickExpectingBox(ui::ControlId button, DWORD timeoutMs) const;

  private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
    HWND window_ = nullptr;
};

// Asks done() every periodMs until it holds or the time is up; whether it
// held.
bool waitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD periodMs = 50);

}  // namespace tpg::test
