// The Windows demo's second window, beside the tool's: the bench of
// simulated generators, one line each with its serial number, whether it is
// plugged in and the settings it holds, and buttons to plug, unplug and add
// generators. It stands in for the user's hands at the USB ports.
#pragma once

#include <windows.h>

#include "hid/sim/DemoBench.h"

namespace tpg::demo::win32 {

using hid::sim::DemoBench;

class BenchWindow {
  public:
    static constexpr const wchar_t* kWindowClass = L"TrelvixPulseDemoBench";
    static constexpr int kListId = 1;
    static constexpr int kPlugButtonId = 2;
    static constexpr int kAddButtonId = 3;

    BenchWindow(DemoBench& bench, HINSTANCE instance);
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;
    ~BenchWindow();

    // Rereads the bench: one line per generator, and the plug button's caption.
    void refresh();

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    int selected() const;
    void togglePlugged();

    DemoBench& bench_;
    HWND hwnd_ = nullptr;
    HWND list_ = nullptr;
    HWND plugButton_ = nullptr;
    HWND addButton_ = nullptr;
    HFONT font_ = nullptr;
};

}  // namespace tpg::demo::win32
