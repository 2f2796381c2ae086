#include "fonts.h"

#include <QStringList>

namespace kanaroll {

void installFontSubstitutions()
{
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               QStringList{QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    QFont::insertSubstitutions(QStringLiteral("Times New Roman"),
                               QStringList{QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif")});
}

} // namespace kanaroll
