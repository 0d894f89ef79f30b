#include "apps/win32/BenchWindow.h"

#include <string>

#include "protocol/AmplitudeTable.h"
#include "ui/win32/WideText.h"

namespace tpg::demo::win32 {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 200;

std::string describe(const DemoBench& bench, std::size_t generator) {
    const protocol::DeviceState s = bench.settings(generator);
    const bool listed = s.amplitudeIndex >= 0 && s.amplitudeIndex < protocol::kAmplitudeSteps;
    return bench.serial(generator) +
           (bench.isPlugged(generator) ? "  plugged in:  " : "  unplugged:  ") +
           std::to_string(s.pulseFrequency) + " Hz, " +
           (listed ? protocol::amplitudeText(s.amplitudeIndex) : std::string("?")) + " mV, " +
           (s.polarityIndex == 0 ? "inverted, " : "normal, ") +
           (s.triggerSyncFunction == 1 ? "sync input at " + std::to_string(s.syncFrequency) + " Hz"
                                       : std::string("trigger output"));
}

HWND makeChild(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id,
               HINSTANCE instance) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                           nullptr);
}

}  // namespace

BenchWindow::BenchWindow(DemoBench& bench, HINSTANCE instance) : bench_(bench) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!GetClassInfoExW(instance, kWindowClass, &wc)) {
        wc.lpfnWndProc = &BenchWindow::windowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kWindowClass;
        RegisterClassExW(&wc);
    }
    // A tool window: closing it hides it; the demo ends with the tool's window.
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Demo bench (simulated USB ports)",
                            WS_CAPTION | WS_SYSMENU, 440, 40, 560, 240, nullptr, nullptr, instance,
                            this);
    font_ = CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, L"Microsoft Sans Serif");
    list_ =
        makeChild(hwnd_, L"LISTBOX", L"", WS_BORDER | WS_VSCROLL | LBS_NOTIFY, kListId, instance);
    plugButton_ = makeChild(hwnd_, L"BUTTON", L"Unplug", BS_PUSHBUTTON, kPlugButtonId, instance);
    addButton_ =
        makeChild(hwnd_, L"BUTTON", L"Add generator", BS_PUSHBUTTON, kAddButtonId, instance);
    RECT client{};
    GetClientRect(hwnd_, &client);
    MoveWindow(list_, 8, 8, client.right - 16, client.bottom - 52, FALSE);
    MoveWindow(plugButton_, 8, client.bottom - 36, 130, 28, FALSE);
    MoveWindow(addButton_, 146, client.bottom - 36, 130, 28, FALSE);
    for (HWND child : {list_, plugButton_, addButton_}) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
    refresh();
    // The generator the tool's window opens at the start: the last listed.
    SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(bench_.count() - 1), 0);
    refresh();
    // The tool changes the generators' settings; the bench shows them as
    // they change.
    SetTimer(hwnd_, kRefreshTimer, kRefreshMs, nullptr);
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
}

BenchWindow::~BenchWindow() {
    if (IsWindow(hwnd_)) {
        KillTimer(hwnd_, kRefreshTimer);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    DeleteObject(font_);
}

int BenchWindow::selected() const {
    const auto row = SendMessageW(list_, LB_GETCURSEL, 0, 0);
    return row == LB_ERR ? -1 : static_cast<int>(row);
}

void BenchWindow::refresh() {
    const int keep = selected();
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    for (std::size_t i = 0; i < bench_.count(); ++i) {
        const std::wstring line = ui::win32::widen(describe(bench_, i));
        const auto row = static_cast<WPARAM>(i);
        if (static_cast<std::size_t>(SendMessageW(list_, LB_GETCOUNT, 0, 0)) > i) {
            SendMessageW(list_, LB_DELETESTRING, row, 0);
        }
        SendMessageW(list_, LB_INSERTSTRING, row, reinterpret_cast<LPARAM>(line.c_str()));
    }
    SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(keep), 0);
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
    const int row = selected();
    const bool plugged = row >= 0 && bench_.isPlugged(static_cast<std::size_t>(row));
    SetWindowTextW(plugButton_, plugged ? L"Unplug" : L"Plug in");
    EnableWindow(plugButton_, row >= 0 ? TRUE : FALSE);
}

void BenchWindow::togglePlugged() {
    const int row = selected();
    if (row < 0) {
        return;
    }
    const auto generator = static_cast<std::size_t>(row);
    if (bench_.isPlugged(generator)) {
        bench_.unplug(generator);
    } else {
        bench_.plug(generator);
    }
    refresh();
}

LRESULT CALLBACK BenchWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<BenchWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && self->hwnd_ == hwnd) {
        switch (message) {
            case WM_TIMER:
                self->refresh();
                return 0;
            case WM_COMMAND:
                if (LOWORD(wParam) == kPlugButtonId && HIWORD(wParam) == BN_CLICKED) {
                    self->togglePlugged();
                } else if (LOWORD(wParam) == kAddButtonId && HIWORD(wParam) == BN_CLICKED) {
                    const std::size_t added = self->bench_.addGenerator();
                    self->refresh();
                    SendMessageW(self->list_, LB_SETCURSEL, static_cast<WPARAM>(added), 0);
                    self->refresh();
                } else if (LOWORD(wParam) == kListId && HIWORD(wParam) == LBN_SELCHANGE) {
                    self->refresh();
                }
                return 0;
            case WM_CLOSE:
                ShowWindow(hwnd, SW_HIDE);
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace tpg::demo::win32
