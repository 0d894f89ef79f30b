// The window's texts are UTF-8; the Win32 controls take UTF-16.
#pragma once

#include <string>

namespace tpg::ui::win32 {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);

}  // namespace tpg::ui::win32
