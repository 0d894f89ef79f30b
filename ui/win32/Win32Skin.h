// The tool's window as a native Win32 window: every control of the control
// table becomes a child window (group box, static, edit, drop-down combo box
// or push button) placed by its twips at the window's DPI, with the table's
// font and tab order; each control that takes the focus carries the table's
// name for it for screen readers. The skin forwards only what the user does (a pick in a
// list, a button press), the timer's ticks and the window's close to
// MainWindow; changes made by the core reach the controls and raise nothing.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <optional>

#include "ui/Widgets.h"
#include "ui/win32/Win32Widgets.h"

namespace tpg::ui {
class MainWindow;
}

namespace tpg::ui::win32 {

class Win32Skin : public WindowSkin {
  public:
    static constexpr const wchar_t* kWindowClass = L"TrelvixPulseWindow";
    // Child window IDs: the control's index in the table plus this base.
    static constexpr int kControlIdBase = 100;

    // Builds the window and all its controls, hidden.
    explicit Win32Skin(HINSTANCE instance);
    Win32Skin(const Win32Skin&) = delete;
    Win32Skin& operator=(const Win32Skin&) = delete;
    ~Win32Skin() override;

    // The window whose entry points receive the events; until then events
    // are dropped.
    void attach(MainWindow& window) { window_ = &window; }
    // Whether destroying the window ends the message loop (the tool's
    // executables) or not (tests, which build many windows).
    void setQuitOnDestroy(bool quit) { quitOnDestroy_ = quit; }

    // --- WindowSkin ---
    Widget& plainWidget(ControlId id) override;
    LabelWidget& labelWidget(ControlId id) override;
    TextWidget& textWidget(ControlId id) override;
    ListWidget& listWidget(ControlId id) override;
    TimerWidget& timerWidget() override { return timer_; }
    void show() override;
    void messageBox(const std::string& text, const std::string& title) override;
    std::string decimalSeparator() const override;

    // Runs the message loop until the window is closed; returns the exit code.
    int runMessageLoop();
    // Hands one message to the window: keyboard navigation first (Tab,
    // arrows), then the usual dispatch.
    void processMessage(MSG& message);

    HWND hwnd() const { return hwnd_; }
    HWND control(ControlId id) const;
    // Logical dots per inch the layout was made for.
    int dpi() const { return dpi_; }
    bool messageBoxOpen() const { return modalDepth_ > 0; }
    const TimerWin32& timer() const { return timer_; }

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    void createControls();
    void applyLayout();  // positions, sizes and fonts at dpi_
    void onCommand(WPARAM wParam, LPARAM lParam);
    std::optional<ControlId> idOf(HWND child) const;
    HFONT fontFor(const ControlRow& row);

    HINSTANCE instance_;
    bool comInitialized_ = false;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    MainWindow* window_ = nullptr;
    bool quitOnDestroy_ = true;
    int modalDepth_ = 0;
    bool closePending_ = false;
    HWND focusOnDeactivate_ = nullptr;

    std::array<std::unique_ptr<ControlWindow>, kControlCount> controls_;
    std::array<std::unique_ptr<Widget>, kControlCount> plain_;
    std::array<std::unique_ptr<LabelWin32>, kControlCount> labels_;
    std::array<std::unique_ptr<TextWin32>, kControlCount> texts_;
    std::array<std::unique_ptr<ListWin32>, kControlCount> lists_;
    TimerWin32 timer_;

    // Fonts by face and point size, made for dpi_.
    struct Font {
        std::wstring face;
        double points;
        HFONT handle;
    };
    std::vector<Font> fonts_;
    void releaseFonts();
};

}  // namespace tpg::ui::win32
