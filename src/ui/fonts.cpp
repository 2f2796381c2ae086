#include "fonts.h"

namespace kanaroll {

QFont gothicFont(double pointSize)
{
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPointSizeF(pointSize);
    return f;
}

QFont serifFont(double pointSize, bool bold, bool italic)
{
    QFont f(QStringLiteral("Times New Roman"));
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

} // namespace kanaroll
