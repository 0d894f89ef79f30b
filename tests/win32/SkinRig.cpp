#include "SkinRig.h"

#include "ui/win32/WideText.h"

namespace tpg::test {

namespace {

// The thread timer that closes message boxes runs while MessageBox's own
// loop does; it reports what it found here.
std::vector<SeenBox>* gSeenBoxes = nullptr;
DWORD gCloseAfter = 0;  // tick count before which a box is left open

BOOL CALLBACK inspectBoxChild(HWND child, LPARAM param) {
    auto& box = *reinterpret_cast<SeenBox*>(param);
    wchar_t cls[32]{};
    GetClassNameW(child, cls, 32);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child)) {
        ++box.buttons;
    }
    // The box may keep an icon control with no icon in it.
    if (lstrcmpiW(cls, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(child) && SendMessageW(child, STM_GETICON, 0, 0) != 0) {
        box.hasIcon = true;
    }
    return TRUE;
}

BOOL CALLBACK findBox(HWND top, LPARAM param) {
    wchar_t cls[16]{};
    GetClassNameW(top, cls, 16);
    if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(top)) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(param) = top;
    return FALSE;
}

void CALLBACK closeBoxes(HWND /*hwnd*/, UINT /*message*/, UINT_PTR /*id*/, DWORD /*time*/) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findBox, reinterpret_cast<LPARAM>(&box));
    if (box == nullptr || gSeenBoxes == nullptr ||
        static_cast<int>(gCloseAfter - GetTickCount()) > 0) {
        return;
    }
    SeenBox seen;
    wchar_t buffer[256]{};
    GetWindowTextW(box, buffer, 256);
    seen.title = buffer;
    GetDlgItemTextW(box, 0xFFFF, buffer, 256);
    seen.text = buffer;
    EnumChildWindows(box, inspectBoxChild, reinterpret_cast<LPARAM>(&seen));
    gSeenBoxes->push_back(seen);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

}  // namespace

void SkinRig::pump(int ms) const {
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    do {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            const_cast<ui::win32::Win32Skin&>(skin).processMessage(message);
        }
        if (ms > 0) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    } while (static_cast<int>(end - GetTickCount()) > 0);
}

bool SkinRig::pumpUntil(const std::function<bool()>& done, int timeoutMs) const {
    const DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
    while (!done()) {
        if (static_cast<int>(end - GetTickCount()) <= 0) {
            return false;
        }
        pump(10);
    }
    return true;
}

void SkinRig::pick(ControlId list, int index) const {
    SendMessageW(hwnd(list), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(skin.hwnd(), WM_COMMAND, MAKEWPARAM(controlId(list), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(hwnd(list)));
}

void SkinRig::type(ControlId box, const std::string& text) const {
    const std::wstring wide = ui::win32::widen(text);
    SendMessageW(hwnd(box), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void SkinRig::click(ControlId button) const {
    SendMessageW(hwnd(button), BM_CLICK, 0, 0);
}

std::vector<SeenBox> SkinRig::clickExpectingBox(ControlId button, int openMs) const {
    std::vector<SeenBox> seen;
    gSeenBoxes = &seen;
    gCloseAfter = GetTickCount() + static_cast<DWORD>(openMs);
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, closeBoxes);
    click(button);
    KillTimer(nullptr, timer);
    gSeenBoxes = nullptr;
    return seen;
}

std::string SkinRig::text(ControlId id) const {
    if (ui::row(id).kind == ui::ControlKind::DropDownList) {
        const int index = selected(id);
        return index < 0 ? std::string() : itemText(id, index);
    }
    wchar_t buffer[512]{};
    GetWindowTextW(hwnd(id), buffer, 512);
    return ui::win32::narrow(buffer);
}

int SkinRig::count(ControlId list) const {
    return static_cast<int>(SendMessageW(hwnd(list), CB_GETCOUNT, 0, 0));
}

int SkinRig::selected(ControlId list) const {
    return static_cast<int>(SendMessageW(hwnd(list), CB_GETCURSEL, 0, 0));
}

std::string SkinRig::itemText(ControlId list, int index) const {
    wchar_t buffer[256]{};
    SendMessageW(hwnd(list), CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(buffer));
    return ui::win32::narrow(buffer);
}

std::optional<ControlId> SkinRig::focused() const {
    const HWND focus = GetFocus();
    for (const auto& r : ui::kControlTable) {
        if (r.kind != ui::ControlKind::Timer && hwnd(r.id) == focus) {
            return r.id;
        }
    }
    return std::nullopt;
}

RECT SkinRig::clientRect(ControlId id) const {
    RECT rect{};
    GetWindowRect(hwnd(id), &rect);
    MapWindowPoints(HWND_DESKTOP, skin.hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace tpg::test
