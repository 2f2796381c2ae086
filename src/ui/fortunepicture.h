#pragma once

#include <QImage>
#include <QString>

namespace kanaroll {

class MainWindow;

// The fortune as a picture: right-click on the drawing (or Ctrl+C while it
// has the focus) offers 画像をコピー and 画像を保存….
void setUpFortunePicture(MainWindow &window);

// The fortune as shown: the pair, the triangle, the faces and the
// percentage, at the window's device pixel ratio. Null while no fortune is
// shown (before the first, after a refusal, under the grid, while drawing).
QImage fortuneImage(MainWindow &window);

// `<self>と<partner>.png` in the working folder.
QString fortuneImageFileName(const MainWindow &window);

// Writes a PNG whole or not at all, and never through a link to anything but
// a regular file. An empty string on success, else the reason.
QString saveFortuneImage(const QImage &image, const QString &path);

} // namespace kanaroll
