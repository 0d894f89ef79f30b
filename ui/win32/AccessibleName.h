// The name a screen reader reads for a control, given explicitly. Windows'
// standard accessible object names an edit or combo box without a caption of
// its own by the static control just above it in the z-order; the window
// keeps every label beneath every input, so that each input owns its pixels,
// and would leave the inputs unnamed. A control given a name here answers
// WM_GETOBJECT for its client area with the standard object wrapped so that
// its name is the one given; everything else (role, state, value, children,
// location) is the standard object's.
#pragma once

#include <windows.h>

#include <string>

namespace tpg::ui::win32 {

// Gives control the name for as long as it exists. False when the control
// could not be subclassed.
bool setAccessibleName(HWND control, const std::wstring& name);

}  // namespace tpg::ui::win32
