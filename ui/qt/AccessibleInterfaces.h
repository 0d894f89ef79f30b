// The interfaces assistive technology reads where Qt's own fall short, made
// by a factory that Qt asks before its own:
// - a top-level window of a class Qt knows only as QWidget (the tool's
//   window, the demo's bench window) is a window, a frame over AT-SPI; Qt
//   gives it the role of a client area, which AT-SPI reports as a filler;
// - the drop-down lists are named by their label (AccessibleList.h).
#pragma once

namespace tpg::ui::qt {

// Installs the factory, once per program; later calls do nothing.
void installAccessibleInterfaces();

}  // namespace tpg::ui::qt
