#pragma once

#include <QFont>

namespace kanaroll {

// Maps the design's font names to the faces installed here. Call once,
// after the application object exists.
void installFontSubstitutions();

// The design's fonts.
QFont gothicFont(double pointSize); // ＭＳ Ｐゴシック
QFont serifFont(double pointSize, bool bold = false, bool italic = false); // Times New Roman

} // namespace kanaroll
