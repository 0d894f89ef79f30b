#include "ui/qt/QtFonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace tpg::ui::qt {

QString loadSansSerifClone() {
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(kSansSerifCloneFile));
        if (id < 0) {
            return QString();
        }
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.front();
    }();
    return family;
}

QString familyFor(std::string_view tableFontName) {
    if (tableFontName == "Microsoft Sans Serif") {
        const QString clone = loadSansSerifClone();
        return clone.isEmpty() ? QString::fromLatin1(kArialStandIn) : clone;
    }
    if (tableFontName == "Arial") {
        return QString::fromLatin1(kArialStandIn);
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
