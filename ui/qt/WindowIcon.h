// The window's icon: a pulse train on a dark panel, in a 32 x 32 and a
// 16 x 16 image of at most 16 colours each.
#pragma once

#include <QIcon>

namespace tpg::ui::qt {

QIcon windowIcon();

}  // namespace tpg::ui::qt
