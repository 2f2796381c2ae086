#include "fonts.h"

#include <QStringList>

namespace kanaroll {

// Windows has both design fonts (ＭＳ Ｐゴシック with Japanese support); where
// the Japanese one is missing, the free face the Linux build uses if installed,
// then the Japanese faces every recent Windows ships.
void installFontSubstitutions()
{
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               QStringList{QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                                           QStringLiteral("Yu Gothic"), QStringLiteral("Meiryo"),
                                           QStringLiteral("MS UI Gothic")});
    QFont::insertSubstitutions(QStringLiteral("Times New Roman"), QStringList{QStringLiteral("Liberation Serif")});
}

} // namespace kanaroll
