// The faces that stand in for the control table's font names on Linux,
// where neither "Microsoft Sans Serif" nor "Arial" is installed. Point sizes
// are kept as the table gives them; only the family is replaced.
#pragma once

#include <QFont>
#include <QString>
#include <string_view>

namespace tpg::ui::qt {

// Scalable and metric-compatible with Arial, from fonts-liberation; it stands
// in for both of the table's faces. The only free "MS Sans Serif" clone on
// Debian (fonts-wine) holds bitmaps of 13, 16 and 20 pixels, of which Qt's
// font database registers the first alone: every size would be drawn at
// 13 pixels, the 12-point controls too.
inline constexpr const char* kSansSerifStandIn = "Liberation Sans";

// The family that draws the table's font name here.
QString familyFor(std::string_view tableFontName);

// The font a control of the table is drawn with: stand-in family, the
// table's point size, regular weight, upright, not underlined.
QFont fontFor(std::string_view tableFontName, double points);

}  // namespace tpg::ui::qt
