// The faces that stand in for the control table's font names on Linux,
// where neither "Microsoft Sans Serif" nor "Arial" is installed. Point sizes
// are kept as the table gives them; only the family is replaced.
#pragma once

#include <QFont>
#include <QString>
#include <string_view>

namespace tpg::ui::qt {

// The free "MS Sans Serif" clone that Debian's fonts-wine ships.
inline constexpr const char* kSansSerifCloneFile = "/usr/share/wine/fonts/ms_sans_serif.ttf";
// Metric-compatible with Arial, from fonts-liberation; also the fallback.
inline constexpr const char* kArialStandIn = "Liberation Sans";

// Registers the sans-serif clone with the application's font database (once
// per process; later calls only return what the first found). Returns the
// family it registered, or an empty string when the file is missing.
QString loadSansSerifClone();

// The family that draws the table's font name here.
QString familyFor(std::string_view tableFontName);

// The font a control of the table is drawn with: stand-in family, the
// table's point size, regular weight, upright, not underlined.
QFont fontFor(std::string_view tableFontName, double points);

}  // namespace tpg::ui::qt
