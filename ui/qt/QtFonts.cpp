#include "ui/qt/QtFonts.h"

namespace tpg::ui::qt {

QString familyFor(std::string_view tableFontName) {
    if (tableFontName == "Microsoft Sans Serif" || tableFontName == "Arial") {
        return QString::fromLatin1(kSansSerifStandIn);
    }
    // Any other name is asked for as it stands; the font database picks the
    // closest installed face.
    return QString::fromUtf8(tableFontName.data(), static_cast<qsizetype>(tableFontName.size()));
}

QFont fontFor(std::string_view tableFontName, double points) {
    QFont font(familyFor(tableFontName));
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

}  // namespace tpg::ui::qt
