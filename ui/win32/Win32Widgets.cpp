#include "ui/win32/Win32Widgets.h"

#include "ui/win32/WideText.h"

namespace tpg::ui::win32 {

void ControlWindow::setFrame(ControlWindow* frame) {
    frame_ = frame;
    if (frame != nullptr) {
        frame->members_.push_back(this);
    }
    applyEnabled();
}

void ControlWindow::setEnabled(bool enabled) {
    enabled_ = enabled;
    applyEnabled();
    for (ControlWindow* member : members_) {
        member->applyEnabled();
    }
}

bool ControlWindow::usable() const {
    return enabled_ && (frame_ == nullptr || frame_->usable());
}

void ControlWindow::applyEnabled() {
    const bool usableNow = usable();
    const bool hadFocus = GetFocus() == hwnd_;
    EnableWindow(hwnd_, usableNow ? TRUE : FALSE);
    if (!usableNow && hadFocus) {
        // A disabled control cannot keep the focus: pass it to the next one
        // in tab order, as a dialog does.
        HWND parent = GetParent(hwnd_);
        HWND next = GetNextDlgTabItem(parent, hwnd_, FALSE);
        SetFocus(next != nullptr && next != hwnd_ ? next : parent);
    }
}

std::wstring ControlWindow::text() const {
    const int length = GetWindowTextLengthW(hwnd_);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd_, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

void ControlWindow::setText(const std::wstring& text) {
    SetWindowTextW(hwnd_, text.c_str());
}

void LabelWin32::setText(const std::string& text) {
    control_.setText(widen(text));
}
std::string LabelWin32::text() const {
    return narrow(control_.text());
}

void TextWin32::setText(const std::string& text) {
    control_.setText(widen(text));
}
std::string TextWin32::text() const {
    return narrow(control_.text());
}

void TextWin32::setFocus() {
    if (control_.usable()) {
        SetFocus(control_.hwnd());
    }
}

void ListWin32::clear() {
    SendMessageW(control_.hwnd(), CB_RESETCONTENT, 0, 0);
}

void ListWin32::insertItem(int index, const std::string& text) {
    const int entries = count();
    const WPARAM at =
        index < 0 || index > entries ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(index);
    const std::wstring wide = widen(text);
    SendMessageW(control_.hwnd(), CB_INSERTSTRING, at, reinterpret_cast<LPARAM>(wide.c_str()));
}

int ListWin32::count() const {
    const LRESULT n = SendMessageW(control_.hwnd(), CB_GETCOUNT, 0, 0);
    return n == CB_ERR ? 0 : static_cast<int>(n);
}

std::string ListWin32::itemText(int index) const {
    const HWND hwnd = control_.hwnd();
    const LRESULT length = SendMessageW(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
    return narrow(text);
}

void ListWin32::setCurrentIndex(int index) {
    // -1, or an index past the entries, leaves nothing selected.
    SendMessageW(control_.hwnd(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int ListWin32::currentIndex() const {
    const LRESULT index = SendMessageW(control_.hwnd(), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void TimerWin32::start(int intervalMs) {
    // Setting the same timer again replaces it: a fresh interval begins.
    interval_ = intervalMs;
    running_ = SetTimer(hwnd_, kTimerId, static_cast<UINT>(intervalMs), nullptr) != 0;
}

void TimerWin32::stop() {
    if (running_) {
        KillTimer(hwnd_, kTimerId);
    }
    running_ = false;
}

}  // namespace tpg::ui::win32
