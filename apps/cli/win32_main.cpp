// trelvix-pulse-cli.exe: the command line over the Windows HID services.
// Arguments arrive as UTF-16 and are handed on as UTF-8; output is UTF-8,
// and the console is told so.
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "hid/win32/WindowsHidPlatform.h"

namespace {

std::string utf8(const wchar_t* text, int length) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
    }
    return out;
}

class LastError : public tpg::cli::SystemError {
  public:
    void clear() override { SetLastError(ERROR_SUCCESS); }
    std::string text() const override {
        const DWORD code = GetLastError();
        if (code == ERROR_SUCCESS) {
            return {};
        }
        wchar_t* message = nullptr;
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
        std::string text = length > 0 ? utf8(message, static_cast<int>(length)) : std::string();
        LocalFree(message);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                                 text.back() == '.')) {
            text.pop_back();
        }
        return (text.empty() ? std::string("error") : text) + " (error " + std::to_string(code) +
               ")";
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(utf8(argv[i], lstrlenW(argv[i])));
    }
    tpg::hid::win32::WindowsHidPlatform platform;
    LastError errors;
    return tpg::cli::run(args, platform, errors, {std::cin, std::cout, std::cerr});
}
