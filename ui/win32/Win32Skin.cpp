#include "ui/win32/Win32Skin.h"

#include <objbase.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ui/MainWindow.h"
#include "ui/win32/AccessibleName.h"
#include "ui/win32/Resources.h"
#include "ui/win32/WideText.h"

namespace tpg::ui::win32 {

namespace {

// No WS_CLIPCHILDREN: group boxes do not paint their inside, so the window's
// background must be erased beneath them.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

std::size_t slot(ControlId id) {
    return static_cast<std::size_t>(id);
}

// The DPI services of Windows 10, looked up at run time so that an older
// system falls back to the screen's DPI.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <class Fn>
Fn user32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 == nullptr
               ? nullptr
               : reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

int dpiOf(HWND hwnd) {
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        const UINT dpi = getDpiForWindow(hwnd);
        if (dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

RECT windowRectFor(int clientWidth, int clientHeight, int dpi) {
    static const auto adjustForDpi =
        user32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT rect{0, 0, clientWidth, clientHeight};
    if (adjustForDpi != nullptr) {
        adjustForDpi(&rect, kWindowStyle, FALSE, 0, static_cast<UINT>(dpi));
    } else {
        AdjustWindowRectEx(&rect, kWindowStyle, FALSE, 0);
    }
    return rect;
}

struct NativeKind {
    const wchar_t* windowClass;
    DWORD style;
    DWORD exStyle;
};

NativeKind nativeKind(ControlKind kind) {
    switch (kind) {
        case ControlKind::Frame:
            return {L"BUTTON", BS_GROUPBOX, 0};
        case ControlKind::Button:
            return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
        case ControlKind::TextBox:
            return {L"EDIT", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::DropDownList:
            return {L"COMBOBOX", CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP, 0};
        case ControlKind::Label:
        case ControlKind::ValueLabel:
            return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
        case ControlKind::Timer:
            break;
    }
    return {L"STATIC", 0, 0};
}

// Entries a dropped-down list shows at once.
constexpr int kVisibleEntries = 12;

// Brings a closed combo box as near to height as the system allows, through
// the height of its selection field: the box adds borders of its own to the
// field, and some systems keep the field a little above the font's height.
void fitClosedHeight(HWND combo, int height) {
    const auto closedHeight = [combo] {
        RECT closed{};
        GetWindowRect(combo, &closed);
        return static_cast<int>(closed.bottom - closed.top);
    };
    const auto fieldHeight = [combo] {
        return static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    };
    int bestField = fieldHeight();
    int bestOff = height - closedHeight();
    int off = bestOff;
    for (int attempt = 0; attempt < 3 && off != 0 && bestField != CB_ERR; ++attempt) {
        const int wanted = fieldHeight() + off;
        if (wanted <= 0) {
            break;
        }
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), wanted);
        off = height - closedHeight();
        if (std::abs(off) < std::abs(bestOff)) {
            bestOff = off;
            bestField = fieldHeight();
        }
    }
    if (bestField != CB_ERR && bestField != fieldHeight()) {
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), bestField);
    }
}

void registerWindowClass(HINSTANCE instance, WNDPROC proc) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, Win32Skin::kWindowClass, &existing)) {
        return;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = Win32Skin::kWindowClass;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(TPG_IDI_APPLICATION),
                                             IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(TPG_IDI_APPLICATION),
                                               IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    RegisterClassExW(&wc);
}

}  // namespace

Win32Skin::Win32Skin(HINSTANCE instance) : instance_(instance) {
    // The controls' accessible objects are handed to screen readers through
    // COM; a thread that already runs COM in another model keeps it.
    comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    registerWindowClass(instance_, &Win32Skin::windowProc);
    hwnd_ = CreateWindowExW(0, kWindowClass, widen(std::string(kWindowRow.caption)).c_str(),
                            kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 400, 300, nullptr, nullptr,
                            instance_, this);
    dpi_ = dpiOf(hwnd_);
    timer_.setWindow(hwnd_);
    createControls();
    applyLayout();
}

Win32Skin::~Win32Skin() {
    window_ = nullptr;
    timer_.stop();
    if (IsWindow(hwnd_)) {
        DestroyWindow(hwnd_);
    }
    releaseFonts();
    if (comInitialized_) {
        CoUninitialize();
    }
}

void Win32Skin::createControls() {
    // A new child goes to the bottom of the z-order, so the controls are
    // created from the top of the stack down: the controls that take input
    // in tab order (the order in which IsDialogMessage moves the focus with
    // Tab), then the labels, then the group boxes, as if drawn on their
    // container: a label whose rectangle reaches under a list never covers it.
    std::vector<const ControlRow*> rows;
    const auto stack = stackingOrder();
    for (auto id = stack.rbegin(); id != stack.rend(); ++id) {
        rows.push_back(&row(*id));
    }

    for (const ControlRow* r : rows) {
        const NativeKind native = nativeKind(r->kind);
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS | native.style;
        if (r->visible) {
            style |= WS_VISIBLE;
        }
        HWND child = CreateWindowExW(
            native.exStyle, native.windowClass, widen(std::string(r->caption)).c_str(), style, 0, 0,
            0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + r->index)),
            instance_, nullptr);
        const std::size_t i = slot(r->id);
        controls_[i] = std::make_unique<ControlWindow>(r->id, child);
        switch (r->kind) {
            case ControlKind::Frame:
            case ControlKind::Button:
                plain_[i] = std::make_unique<PlainWin32>(*controls_[i]);
                break;
            case ControlKind::Label:
            case ControlKind::ValueLabel:
                labels_[i] = std::make_unique<LabelWin32>(*controls_[i]);
                break;
            case ControlKind::TextBox:
                texts_[i] = std::make_unique<TextWin32>(*controls_[i]);
                break;
            case ControlKind::DropDownList:
                lists_[i] = std::make_unique<ListWin32>(*controls_[i]);
                break;
            case ControlKind::Timer:
                break;
        }
    }
    for (const ControlRow* r : rows) {
        ControlWindow& control = *controls_[slot(r->id)];
        control.setEnabled(r->enabled);
        const auto frame = frameOf(r->container);
        control.setFrame(frame ? controls_[slot(*frame)].get() : nullptr);
    }
    // Screen readers would name an edit or combo box by the label just above
    // it in the z-order; here every label lies beneath every input (see
    // above), so each control that takes the focus is given its name.
    for (const ControlId id : focusOrder()) {
        setAccessibleName(control(id), widen(std::string(accessibleName(id))));
    }
}

HFONT Win32Skin::fontFor(const ControlRow& row) {
    const std::wstring face = widen(std::string(row.fontName));
    for (const Font& font : fonts_) {
        if (font.face == face && font.points == row.fontPoints) {
            return font.handle;
        }
    }
    const int height = -static_cast<int>(std::lround(row.fontPoints * dpi_ / 72.0));
    HFONT handle = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    fonts_.push_back({face, row.fontPoints, handle});
    return handle;
}

void Win32Skin::releaseFonts() {
    for (const Font& font : fonts_) {
        DeleteObject(font.handle);
    }
    fonts_.clear();
}

void Win32Skin::applyLayout() {
    const std::vector<Font> oldFonts = std::move(fonts_);
    fonts_.clear();
    const auto px = [this](int twips) { return twipsToPixels(twips, dpi_); };

    for (const auto& r : kControlTable) {
        if (r.kind == ControlKind::Timer) {
            continue;
        }
        int left = px(r.left);
        int top = px(r.top);
        if (const auto frame = frameOf(r.container)) {
            left += px(row(*frame).left);
            top += px(row(*frame).top);
        }
        const HWND child = controls_[slot(r.id)]->hwnd();
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(r)), FALSE);
        const int height = px(r.height);
        if (r.kind == ControlKind::DropDownList) {
            // The height given to a combo box includes its dropped-down list;
            // the closed box is then brought to the table's height through
            // the height of its selection field.
            SetWindowPos(child, nullptr, left, top, px(r.width), height * (kVisibleEntries + 1),
                         SWP_NOZORDER | SWP_NOACTIVATE);
            fitClosedHeight(child, height);
        } else {
            SetWindowPos(child, nullptr, left, top, px(r.width), height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    for (const Font& font : oldFonts) {
        DeleteObject(font.handle);
    }

    const RECT frame = windowRectFor(px(kWindowRow.clientWidth), px(kWindowRow.clientHeight), dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

HWND Win32Skin::control(ControlId id) const {
    const auto& c = controls_[slot(id)];
    return c ? c->hwnd() : nullptr;
}

std::optional<ControlId> Win32Skin::idOf(HWND child) const {
    if (child == nullptr || GetParent(child) != hwnd_) {
        return std::nullopt;
    }
    const int index = GetDlgCtrlID(child) - kControlIdBase;
    if (index < 1 || index > kControlCount) {
        return std::nullopt;
    }
    return kControlTable[static_cast<std::size_t>(index - 1)].id;
}

Widget& Win32Skin::plainWidget(ControlId id) {
    return *plain_[slot(id)];
}
LabelWidget& Win32Skin::labelWidget(ControlId id) {
    return *labels_[slot(id)];
}
TextWidget& Win32Skin::textWidget(ControlId id) {
    return *texts_[slot(id)];
}
ListWidget& Win32Skin::listWidget(ControlId id) {
    return *lists_[slot(id)];
}

void Win32Skin::show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    const HWND focus = GetFocus();
    if (focus == nullptr || GetParent(focus) != hwnd_) {
        const HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
        if (first != nullptr) {
            SetFocus(first);
        }
    }
}

void Win32Skin::messageBox(const std::string& text, const std::string& title) {
    // While the box is open its own loop runs; a timer tick that arrives then
    // waits in the window until the handler that opened the box is done. A
    // close asked for meanwhile is carried out after the box.
    ++modalDepth_;
    MessageBoxW(hwnd_, widen(text).c_str(), widen(title).c_str(), MB_OK);
    --modalDepth_;
    if (closePending_ && modalDepth_ == 0) {
        closePending_ = false;
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
}

std::string Win32Skin::decimalSeparator() const {
    // The user's separator, up to three characters, as UTF-8 for the number
    // grammar; "." when the locale cannot be read.
    wchar_t separator[8]{};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) > 1) {
        return narrow(separator);
    }
    return ".";
}

int Win32Skin::runMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        processMessage(message);
    }
    return static_cast<int>(message.wParam);
}

void Win32Skin::processMessage(MSG& message) {
    if (IsWindow(hwnd_) && IsDialogMessageW(hwnd_, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void Win32Skin::onCommand(WPARAM wParam, LPARAM lParam) {
    const auto id = idOf(reinterpret_cast<HWND>(lParam));
    if (!id || window_ == nullptr) {
        return;
    }
    const UINT code = HIWORD(wParam);
    switch (row(*id).kind) {
        case ControlKind::DropDownList:
            if (code == CBN_SELCHANGE) {
                window_->userPicked(*id, lists_[slot(*id)]->currentIndex());
            }
            break;
        case ControlKind::Button:
            if (code == BN_CLICKED) {
                window_->buttonPressed(*id);
            }
            break;
        default:
            break;
    }
}

LRESULT CALLBACK Win32Skin::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* skin = reinterpret_cast<Win32Skin*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (skin == nullptr || skin->hwnd_ != hwnd) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return skin->handle(message, wParam, lParam);
}

LRESULT Win32Skin::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(wParam, lParam);
            return 0;
        case WM_TIMER:
            if (wParam == TimerWin32::kTimerId && window_ != nullptr) {
                window_->timerTick();
            }
            return 0;
        case WM_CTLCOLORSTATIC: {
            const auto id = idOf(reinterpret_cast<HWND>(lParam));
            if (id && row(*id).kind == ControlKind::ValueLabel) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                focusOnDeactivate_ =
                    focus != nullptr && GetParent(focus) == hwnd_ ? focus : nullptr;
            } else if (focusOnDeactivate_ != nullptr && IsWindowEnabled(focusOnDeactivate_)) {
                SetFocus(focusOnDeactivate_);
                return 0;
            }
            break;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            applyLayout();
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_CLOSE:
            if (modalDepth_ > 0) {
                closePending_ = true;  // closed once the message box has ended
                return 0;
            }
            timer_.stop();
            if (window_ != nullptr) {
                window_->Form_Unload();
            }
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            if (quitOnDestroy_) {
                PostQuitMessage(0);
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace tpg::ui::win32
