#include "RemoteTool.h"

#include "ui/win32/WideText.h"
#include "ui/win32/Win32Skin.h"

namespace tpg::test {

namespace {

// Each message waits this long at most for a window that may be busy with
// the generator; a hung tool fails the check instead of the driver.
constexpr UINT kMessageTimeoutMs = 20000;

struct Search {
    DWORD process;
    const wchar_t* windowClass;
    HWND found;
};

BOOL CALLBACK findTopWindow(HWND hwnd, LPARAM param) {
    auto& search = *reinterpret_cast<Search*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    wchar_t cls[64]{};
    GetClassNameW(hwnd, cls, 64);
    if (process == search.process && lstrcmpW(cls, search.windowClass) == 0 &&
        IsWindowVisible(hwnd)) {
        search.found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND topWindowOf(DWORD process, const wchar_t* windowClass) {
    Search search{process, windowClass, nullptr};
    EnumWindows(findTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

LRESULT send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, kMessageTimeoutMs, &result);
    return static_cast<LRESULT>(result);
}

std::string windowText(HWND hwnd) {
    wchar_t buffer[512]{};
    send(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer));
    return ui::win32::narrow(buffer);
}

BOOL CALLBACK countButtons(HWND child, LPARAM param) {
    wchar_t cls[16]{};
    GetClassNameW(child, cls, 16);
    if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child)) {
        ++*reinterpret_cast<int*>(param);
    }
    return TRUE;
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD periodMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(periodMs);
    }
    return true;
}

RemoteTool::~RemoteTool() {
    if (started_) {
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 1);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
}

bool RemoteTool::start(const std::wstring& exe) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &process_) != 0;
    return started_;
}

HWND RemoteTool::waitForWindow(DWORD timeoutMs) {
    if (!started_) {
        return nullptr;
    }
    waitUntil(
        [&] {
            window_ = topWindowOf(process_.dwProcessId, ui::win32::Win32Skin::kWindowClass);
            return window_ != nullptr || WaitForSingleObject(process_.hProcess, 0) != WAIT_TIMEOUT;
        },
        timeoutMs);
    return window_;
}

std::optional<DWORD> RemoteTool::waitForExit(DWORD timeoutMs) const {
    DWORD code = 0;
    if (!started_ || WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process_.hProcess, &code)) {
        return std::nullopt;
    }
    return code;
}

HWND RemoteTool::control(ui::ControlId id) const {
    return GetDlgItem(window_, ui::win32::Win32Skin::kControlIdBase + ui::row(id).index);
}

std::string RemoteTool::text(ui::ControlId id) const {
    // A drop-down list's own text is that of its selected entry.
    return windowText(control(id));
}

std::vector<std::string> RemoteTool::items(ui::ControlId list) const {
    const HWND hwnd = control(list);
    const auto count = send(hwnd, CB_GETCOUNT, 0, 0);
    std::vector<std::string> out;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t buffer[256]{};
        const auto length = send(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length >= 0 && length < 256) {
            send(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        }
        out.push_back(ui::win32::narrow(buffer));
    }
    return out;
}

int RemoteTool::selected(ui::ControlId list) const {
    return static_cast<int>(send(control(list), CB_GETCURSEL, 0, 0));
}

bool RemoteTool::enabled(ui::ControlId id) const {
    return IsWindowEnabled(control(id)) != 0;
}

std::optional<ui::ControlId> RemoteTool::focused() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(process_.dwThreadId, &info)) {
        return std::nullopt;
    }
    for (const auto& r : ui::kControlTable) {
        if (r.kind != ui::ControlKind::Timer && control(r.id) == info.hwndFocus) {
            return r.id;
        }
    }
    return std::nullopt;
}

void RemoteTool::type(ui::ControlId box, const std::string& text) const {
    const std::wstring wide = ui::win32::widen(text);
    send(control(box), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void RemoteTool::click(ui::ControlId button) const {
    send(control(button), BM_CLICK, 0, 0);
}

void RemoteTool::pick(ui::ControlId list, int index) const {
    const HWND hwnd = control(list);
    send(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    const int id = ui::win32::Win32Skin::kControlIdBase + ui::row(list).index;
    send(window_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(hwnd));
}

void RemoteTool::close() const {
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

std::optional<RemoteTool::Box> RemoteTool::clickExpectingBox(ui::ControlId button,
                                                             DWORD timeoutMs) const {
    // Posted: a sent click would wait for the end of the box's own loop.
    PostMessageW(control(button), BM_CLICK, 0, 0);
    HWND box = nullptr;
    if (!waitUntil([&] { return (box = topWindowOf(process_.dwProcessId, L"#32770")) != nullptr; },
                   timeoutMs)) {
        return std::nullopt;
    }
    Box seen;
    seen.title = windowText(box);
    seen.text = windowText(GetDlgItem(box, 0xFFFF));  // the box's text control
    EnumChildWindows(box, countButtons, reinterpret_cast<LPARAM>(&seen.buttons));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    // The click's handler goes on once the box has gone.
    waitUntil([&] { return IsWindow(box) == 0; }, timeoutMs);
    send(window_, WM_NULL, 0, 0);
    return seen;
}

}  // namespace tpg::test
